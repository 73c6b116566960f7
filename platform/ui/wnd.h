// CWnd: a window object that exists with or without a window on screen. It keeps its own
// state (text, shown, enabled), readable and writable from any thread; a window system, when
// present, mirrors that state through the state-change hook. Messages reach WindowProc and then
// the message map.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/ui/gdi.h"
#include "platform/ui/menu.h"
#include "platform/ui/messages.h"
#include "platform/ui/restypes.h"

class CWnd;

// One entry of a message map. pfn receives the window the map belongs to.
struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    UINT nLastID;
    LRESULT (*pfn)(CWnd* wnd, WPARAM wParam, LPARAM lParam);
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

namespace platform::ui {
// What changed in a window's state, for the window system's mirror.
enum StateChange : unsigned {
    kText = 1u << 0,
    kVisible = 1u << 1,
    kEnabled = 1u << 2,
    kCheck = 1u << 3,
    kItems = 1u << 4,
    kSelection = 1u << 5,
    kRange = 1u << 6,
    kPosition = 1u << 7,
    kTicks = 1u << 8,
    kImage = 1u << 9,
    kOther = 1u << 10,
};
// Installed by a window system; called on the changing thread after a state change.
using StateChangeHook = void (*)(CWnd* wnd, unsigned what);
void SetStateChangeHook(StateChangeHook hook);
}  // namespace platform::ui

class CScrollBar;
struct DropFiles;
using HDROP = DropFiles*;
using HCURSOR = const void*;

// A message as the message loop sees it before dispatching (PreTranslateMessage).
struct MSG {
    CWnd* hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    POINT pt;  // screen position of the mouse
};

// The information of a WM_CTLCOLOR message (its lParam points to one).
struct CTLCOLORINFO {
    CDC* pDC = nullptr;
    CWnd* pWnd = nullptr;
    UINT nCtlColor = 0;
};

// Registers a window class for CWnd::Create; windows made here paint only what their WM_PAINT
// draws, so every argument may be 0. Returns the class name.
const char* AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = nullptr, HBRUSH hbrBackground = nullptr,
                                HICON hIcon = nullptr);

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    int GetDlgCtrlID() const { return m_nID; }
    void SetDlgCtrlID(int id) { m_nID = id; }
    CWnd* GetParent() const { return m_pParent; }
    void SetParent(CWnd* parent) { m_pParent = parent; }
    // The window at the top of the parent chain.
    CWnd* GetTopLevelParent();
    CWnd* GetSafeHwnd() { return this; }

    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    BOOL ShowWindow(int nCmdShow);
    BOOL IsWindowVisible() const;
    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;

    // Queues a message for the user-interface thread; safe from any thread.
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Runs the message at once on the calling thread.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return WindowProc(message, wParam, lParam); }

    // Every message arrives here; the default looks it up in the message map and hands what no
    // entry took to DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the first matching entry of the message map chain; false when none matched.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // The default processing of a message no handler took.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Sees a mouse or key message for this window (or a window inside it) before it is
    // dispatched; TRUE stops it. The window system asks the target and then its parents.
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // True while a window system shows this object.
    bool HasWindow() const { return m_bHasWindow; }
    void SetHasWindow(bool has) { m_bHasWindow = has; }

    // --- A child window that paints itself -----------------------------------------------------
    // Makes this object a child window of pParentWnd at rect (parent client pixels) with the
    // given id; it gets a client surface of the rectangle's size (black until painted). Shown
    // when the parent has a window and dwStyle has WS_VISIBLE.
    BOOL Create(const char* lpszClassName, const char* lpszWindowName, DWORD dwStyle, const RECT& rect,
                CWnd* pParentWnd, UINT nID);
    virtual BOOL DestroyWindow();

    // --- Geometry (pixels) -------------------------------------------------------------------
    void GetClientRect(LPRECT lpRect) const;
    // Screen rectangle of the window.
    void GetWindowRect(LPRECT lpRect) const;
    void ClientToScreen(LPPOINT lpPoint) const;
    void ClientToScreen(LPRECT lpRect) const;
    void ScreenToClient(LPPOINT lpPoint) const;
    void ScreenToClient(LPRECT lpRect) const;
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
    void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
    // Rectangle in the parent's client pixels (client size for a top-level window).
    CRect GetRect() const;
    void SetRect(const RECT& rect);

    // --- Painting --------------------------------------------------------------------------------
    // Marks the client area for painting: the background is erased first when bErase is set and
    // the window has a background, then WM_PAINT arrives (at the window system's next paint, or
    // at UpdateWindow).
    void Invalidate(BOOL bErase = TRUE);
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
    // Sends WM_PAINT at once when a paint is pending.
    void UpdateWindow();
    // Called by the window system when it paints; erases, sends WM_PAINT when one is pending.
    void PaintIfNeeded();
    bool IsPaintPending() const { return m_bPaintPending; }
    CDC* GetDC();
    int ReleaseDC(CDC* pDC);
    // The pixels of the client area (null for controls, which the window system draws).
    platform::ui::Surface* GetClientSurface() const { return m_surface.get(); }
    const std::shared_ptr<platform::ui::Surface>& ClientSurfacePtr() const { return m_surface; }
    // Gives the window a client surface of its size filled with background (dialogs).
    void MakeClientSurface(COLORREF background);
    // Background colour an erase fills with; CLR_INVALID when erasing paints nothing.
    COLORREF GetBackgroundColor() const { return m_background; }
    void SetBackgroundColor(COLORREF c) { m_background = c; }

    // --- Timers: WM_TIMER with the id every elapse ms on the user-interface thread ---------------
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, void* lpfnTimer = nullptr);
    BOOL KillTimer(UINT_PTR nIDEvent);
    bool IsTimerRunning(UINT_PTR nIDEvent) const;

    // --- Fonts, icons, menus, dropped files ---------------------------------------------------------
    void SetFont(CFont* pFont, BOOL bRedraw = TRUE);
    // The font spec set by SetFont, or the owner dialog's font when none was set.
    platform::ui::FontSpec GetFontSpec() const;
    bool HasOwnFont() const;
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    HICON GetIcon(BOOL bBigIcon) const;
    // The window menu of a top-level window (shown by the window system on Alt+Space); commands
    // chosen there arrive as WM_SYSCOMMAND.
    CMenu* GetSystemMenu(BOOL bRevert);
    BOOL IsIconic() const;
    void DragAcceptFiles(BOOL bAccept = TRUE);
    bool AcceptsFiles() const;

    // --- What a dialog template said about this window -------------------------------------------
    platform::ui::ItemKind GetItemKind() const { return m_kind; }
    void SetItemKind(platform::ui::ItemKind kind) { m_kind = kind; }
    DWORD GetStyle() const { return m_dwStyle; }
    void SetStyle(DWORD style) { m_dwStyle = style; }

    // --- Handlers' default processing (the base of the program's handlers) ------------------------
    void OnPaint() {}
    void OnTimer(UINT_PTR) {}
    void OnClose();
    void OnMouseMove(UINT, CPoint) {}
    void OnLButtonDown(UINT, CPoint) {}
    void OnLButtonUp(UINT, CPoint) {}
    void OnRButtonDown(UINT, CPoint) {}
    void OnHScroll(UINT, UINT, CScrollBar*) {}
    void OnVScroll(UINT, UINT, CScrollBar*) {}
    void OnDropFiles(HDROP) {}
    void OnSysCommand(UINT nID, LPARAM lParam);
    HCURSOR OnQueryDragIcon() { return nullptr; }
    HBRUSH OnCtlColor(CDC*, CWnd*, UINT) { return nullptr; }
    void OnShowWindow(BOOL, UINT) {}

protected:
    void NotifyStateChanged(unsigned what);
    mutable std::mutex m_stateMutex;

private:
    friend class CDialog;
    int m_nID = 0;
    CWnd* m_pParent = nullptr;
    bool m_bHasWindow = false;
    std::string m_strText;
    bool m_bVisible = true;
    bool m_bEnabled = true;
    // Geometry, painting and looks: user-interface thread only.
    CRect m_rect;
    platform::ui::ItemKind m_kind = platform::ui::ItemKind::None;
    DWORD m_dwStyle = 0;
    std::shared_ptr<platform::ui::Surface> m_surface;
    COLORREF m_background = CLR_INVALID;
    bool m_bPaintPending = false;
    bool m_bEraseBackground = false;
    CRect m_eraseRect;
    std::unique_ptr<platform::ui::FontSpec> m_pFont;
    HICON m_hIconBig = nullptr;
    HICON m_hIconSmall = nullptr;
    std::unique_ptr<CMenu> m_pSystemMenu;
    bool m_bAcceptFiles = false;
};

// Files dropped on a window (the wParam of WM_DROPFILES). The window system owns it and frees
// it after the message was handled.
struct DropFiles {
    std::vector<std::string> files;
    POINT point;  // client position of the drop
};
// With iFile 0xFFFFFFFF: the number of files. Else copies file iFile (at most cch - 1 bytes and a
// terminator) and returns its length, or with a null buffer returns the length it needs.
UINT DragQueryFile(HDROP hDrop, UINT iFile, char* lpszFile, UINT cch);
// The handler is done with the drop (the window system frees it afterwards).
void DragFinish(HDROP hDrop);

// State of a key at the moment of the call: negative when down (Ctrl, Shift).
short GetKeyState(int nVirtKey);

// Message map declaration and definition, in the class library's manner.
#define DECLARE_MESSAGE_MAP()                        \
public:                                              \
    static const AFX_MSGMAP* GetThisMessageMap();    \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                \
        using ThisClass = theClass;                                                  \
        using TheBaseClass = baseClass;                                              \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                       \
    {0, 0, 0, 0, nullptr}                                                                       \
    }                                                                                           \
    ;                                                                                           \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                                         \
    }

#define ON_BN_CLICKED(id, memberFxn)                                                         \
    {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), static_cast<UINT>(id),                   \
     [](CWnd* w, WPARAM, LPARAM) -> LRESULT { (static_cast<ThisClass*>(w)->*memberFxn)(); return 0; }},

#define ON_CBN_SELCHANGE(id, memberFxn)                                                      \
    {WM_COMMAND, CBN_SELCHANGE, static_cast<UINT>(id), static_cast<UINT>(id),                \
     [](CWnd* w, WPARAM, LPARAM) -> LRESULT { (static_cast<ThisClass*>(w)->*memberFxn)(); return 0; }},

#define ON_COMMAND(id, memberFxn)                                                            \
    {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(id),                            \
     [](CWnd* w, WPARAM, LPARAM) -> LRESULT { (static_cast<ThisClass*>(w)->*memberFxn)(); return 0; }},

#define ON_NOTIFY(code, id, memberFxn)                                                       \
    {WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id),       \
     [](CWnd* w, WPARAM, LPARAM l) -> LRESULT {                                              \
         LRESULT result = 0;                                                                 \
         (static_cast<ThisClass*>(w)->*memberFxn)(reinterpret_cast<NMHDR*>(l), &result);     \
         return result;                                                                      \
     }},

#define ON_MESSAGE(message, memberFxn)                                                       \
    {static_cast<UINT>(message), 0, 0, 0,                                                    \
     [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT { return (static_cast<ThisClass*>(w)->*memberFxn)(wp, lp); }},

#define ON_WM_CLOSE()                                                                        \
    {WM_CLOSE, 0, 0, 0, [](CWnd* w, WPARAM, LPARAM) -> LRESULT { static_cast<ThisClass*>(w)->OnClose(); return 0; }},

#define ON_WM_TIMER()                                                                        \
    {WM_TIMER, 0, 0, 0, [](CWnd* w, WPARAM wp, LPARAM) -> LRESULT {                          \
         static_cast<ThisClass*>(w)->OnTimer(static_cast<UINT_PTR>(wp)); return 0; }},

#define ON_WM_PAINT() \
    {WM_PAINT, 0, 0, 0, [](CWnd* w, WPARAM, LPARAM) -> LRESULT { static_cast<ThisClass*>(w)->OnPaint(); return 0; }},

#define ON_WM_MOUSEMOVE()                                                                    \
    {WM_MOUSEMOVE, 0, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT {                   \
         static_cast<ThisClass*>(w)->OnMouseMove(static_cast<UINT>(wp), CPoint(GET_X_LPARAM(lp), GET_Y_LPARAM(lp))); \
         return 0; }},

#define ON_WM_LBUTTONDOWN()                                                                  \
    {WM_LBUTTONDOWN, 0, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT {                 \
         static_cast<ThisClass*>(w)->OnLButtonDown(static_cast<UINT>(wp), CPoint(GET_X_LPARAM(lp), GET_Y_LPARAM(lp))); \
         return 0; }},

#define ON_WM_LBUTTONUP()                                                                    \
    {WM_LBUTTONUP, 0, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT {                   \
         static_cast<ThisClass*>(w)->OnLButtonUp(static_cast<UINT>(wp), CPoint(GET_X_LPARAM(lp), GET_Y_LPARAM(lp))); \
         return 0; }},

#define ON_WM_RBUTTONDOWN()                                                                  \
    {WM_RBUTTONDOWN, 0, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT {                 \
         static_cast<ThisClass*>(w)->OnRButtonDown(static_cast<UINT>(wp), CPoint(GET_X_LPARAM(lp), GET_Y_LPARAM(lp))); \
         return 0; }},

// WM_HSCROLL: wParam low word the scroll code, high word the position; lParam the control.
#define ON_WM_HSCROLL()                                                                      \
    {WM_HSCROLL, 0, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT {                     \
         static_cast<ThisClass*>(w)->OnHScroll(LOWORD(wp), HIWORD(wp), reinterpret_cast<CScrollBar*>(lp)); \
         return 0; }},

#define ON_WM_DROPFILES()                                                                    \
    {WM_DROPFILES, 0, 0, 0, [](CWnd* w, WPARAM wp, LPARAM) -> LRESULT {                      \
         static_cast<ThisClass*>(w)->OnDropFiles(reinterpret_cast<HDROP>(wp)); return 0; }},

#define ON_WM_SYSCOMMAND()                                                                   \
    {WM_SYSCOMMAND, 0, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT {                  \
         static_cast<ThisClass*>(w)->OnSysCommand(static_cast<UINT>(wp), lp); return 0; }},

#define ON_WM_QUERYDRAGICON()                                                                \
    {WM_QUERYDRAGICON, 0, 0, 0, [](CWnd* w, WPARAM, LPARAM) -> LRESULT {                     \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(w)->OnQueryDragIcon()); }},

// WM_CTLCOLOR: lParam points to a CTLCOLORINFO; the result is the background brush (null: the
// default background).
#define ON_WM_CTLCOLOR()                                                                     \
    {WM_CTLCOLOR, 0, 0, 0, [](CWnd* w, WPARAM, LPARAM lp) -> LRESULT {                       \
         auto* info = reinterpret_cast<CTLCOLORINFO*>(lp);                                   \
         return reinterpret_cast<LRESULT>(                                                   \
             static_cast<ThisClass*>(w)->OnCtlColor(info->pDC, info->pWnd, info->nCtlColor)); }},

#define ON_WM_SHOWWINDOW()                                                                   \
    {WM_SHOWWINDOW, 0, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT {                  \
         static_cast<ThisClass*>(w)->OnShowWindow(static_cast<BOOL>(wp), static_cast<UINT>(lp)); return 0; }},

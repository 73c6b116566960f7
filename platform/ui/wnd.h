// CWnd: a window object that exists with or without a window on screen. It keeps its own
// state (text, shown, enabled), readable and writable from any thread; a window system, when
// present, mirrors that state through the state-change hook. Messages reach WindowProc and then
// the message map.
#pragma once

#include <mutex>
#include <string>

#include "platform/base/types.h"
#include "platform/ui/messages.h"

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

    // Every message arrives here; the default looks it up in the message map.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the first matching entry of the message map chain; false when none matched.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // True while a window system shows this object.
    bool HasWindow() const { return m_bHasWindow; }
    void SetHasWindow(bool has) { m_bHasWindow = has; }

protected:
    void NotifyStateChanged(unsigned what);
    mutable std::mutex m_stateMutex;

private:
    int m_nID = 0;
    CWnd* m_pParent = nullptr;
    bool m_bHasWindow = false;
    std::string m_strText;
    bool m_bVisible = true;
    bool m_bEnabled = true;
};

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

using UINT_PTR = std::uintptr_t;

#include "platform/ui/wnd.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#include "platform/ui/menu.h"
#include "platform/ui/msgqueue.h"
#include "platform/ui/timers.h"
#include "platform/ui/windowsystem.h"

namespace platform::ui {
namespace {
std::atomic<StateChangeHook> g_stateHook{nullptr};
}
void SetStateChangeHook(StateChangeHook hook) { g_stateHook.store(hook); }
}  // namespace platform::ui

using platform::ui::GetWindowSystem;

const char* AfxRegisterWndClass(UINT, HCURSOR, HBRUSH, HICON) { return "SorvelPaintedWindow"; }

CWnd::~CWnd() {
    platform::ui::KillAllTimers(this);
    if (m_bHasWindow) {
        if (auto* ws = GetWindowSystem()) ws->DestroyWindowFor(this);
        m_bHasWindow = false;
    }
    platform::ui::DropMessagesFor(this);
}

void CWnd::NotifyStateChanged(unsigned what) {
    if (auto hook = platform::ui::g_stateHook.load()) hook(this, what);
}

CWnd* CWnd::GetTopLevelParent() {
    CWnd* w = this;
    while (w->m_pParent != nullptr && (w->m_dwStyle & WS_CHILD) != 0) w = w->m_pParent;
    return w;
}

void CWnd::SetWindowText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (m_strText == text) return;
        m_strText = text;
    }
    NotifyStateChanged(platform::ui::kText);
}

std::string CWnd::GetWindowText() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_strText;
}

BOOL CWnd::ShowWindow(int nCmdShow) {
    bool was = false;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        was = m_bVisible;
        m_bVisible = nCmdShow != SW_HIDE;
        if (was == m_bVisible) return was ? TRUE : FALSE;
    }
    NotifyStateChanged(platform::ui::kVisible);
    // A top-level window is told that it is being shown or hidden.
    if ((GetStyle() & WS_POPUP) != 0) SendMessage(WM_SHOWWINDOW, nCmdShow != SW_HIDE ? TRUE : FALSE, 0);
    return was ? TRUE : FALSE;
}

BOOL CWnd::IsWindowVisible() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_bVisible ? TRUE : FALSE;
}

BOOL CWnd::EnableWindow(BOOL bEnable) {
    bool wasDisabled = false;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        wasDisabled = !m_bEnabled;
        const bool now = bEnable != FALSE;
        if (now == m_bEnabled) return wasDisabled ? TRUE : FALSE;
        m_bEnabled = now;
    }
    NotifyStateChanged(platform::ui::kEnabled);
    return wasDisabled ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_bEnabled ? TRUE : FALSE;
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    platform::ui::PostToQueue(this, message, wParam, lParam);
    return TRUE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) platform::ui::TimerDelivered(this, static_cast<UINT_PTR>(wParam));
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result)) return result;
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0u) == SC_CLOSE) SendMessage(WM_CLOSE);
        return 0;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(GetIcon(TRUE));
    default:
        (void)lParam;
        return 0;
    }
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

void CWnd::OnClose() { DefWindowProc(WM_CLOSE, 0, 0); }

void CWnd::OnSysCommand(UINT nID, LPARAM lParam) { DefWindowProc(WM_SYSCOMMAND, nID, lParam); }

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    UINT code = 0;
    UINT id = 0;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr == nullptr) return false;
        code = hdr->code;
        id = hdr->idFrom;
    }
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e != nullptr && e->pfn != nullptr; ++e) {
            if (e->nMessage != message) continue;
            if (message == WM_COMMAND || message == WM_NOTIFY) {
                if (e->nCode != code || id < e->nID || id > e->nLastID) continue;
            }
            const LRESULT r = e->pfn(this, wParam, lParam);
            if (pResult) *pResult = r;
            return true;
        }
    }
    return false;
}

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

// --- Child windows that paint themselves ---------------------------------------------------------

BOOL CWnd::Create(const char*, const char* lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                  UINT nID) {
    if (m_bHasWindow || m_surface) return FALSE;
    const CRect r(rect);
    if (r.Width() <= 0 || r.Height() <= 0) return FALSE;
    m_nID = static_cast<int>(nID);
    m_pParent = pParentWnd;
    m_dwStyle = dwStyle;
    m_kind = platform::ui::ItemKind::None;
    m_rect = r;
    m_surface = std::make_shared<platform::ui::Surface>(r.Width(), r.Height(), RGB(0, 0, 0));
    m_background = CLR_INVALID;
    m_bPaintPending = true;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_strText = lpszWindowName ? lpszWindowName : "";
        m_bVisible = (dwStyle & WS_VISIBLE) != 0;
        m_bEnabled = (dwStyle & WS_DISABLED) == 0;
    }
    auto* ws = GetWindowSystem();
    if (ws != nullptr && pParentWnd != nullptr && pParentWnd->HasWindow()) {
        m_bHasWindow = ws->CreateWindowFor(this);
    }
    return TRUE;
}

BOOL CWnd::DestroyWindow() {
    platform::ui::KillAllTimers(this);
    if (m_bHasWindow) {
        if (auto* ws = GetWindowSystem()) ws->DestroyWindowFor(this);
        m_bHasWindow = false;
    }
    return TRUE;
}

// --- Geometry ------------------------------------------------------------------------------------

CRect CWnd::GetRect() const { return m_rect; }

void CWnd::SetRect(const RECT& rect) {
    m_rect = CRect(rect);
    if (m_surface) {
        const int w = std::max(0, static_cast<int>(m_rect.Width()));
        const int h = std::max(0, static_cast<int>(m_rect.Height()));
        if (w != m_surface->Width() || h != m_surface->Height()) {
            m_surface->Resize(w, h, m_background == CLR_INVALID ? RGB(0, 0, 0) : m_background);
        }
    }
}

void CWnd::GetClientRect(LPRECT lpRect) const {
    if (lpRect == nullptr) return;
    *lpRect = CRect(0, 0, m_rect.Width(), m_rect.Height());
}

void CWnd::ClientToScreen(LPPOINT lpPoint) const {
    if (lpPoint == nullptr) return;
    const CWnd* w = this;
    while (w->m_pParent != nullptr && (w->m_dwStyle & WS_CHILD) != 0) {
        lpPoint->x += w->m_rect.left;
        lpPoint->y += w->m_rect.top;
        w = w->m_pParent;
    }
    POINT origin{};
    if (auto* ws = GetWindowSystem(); ws != nullptr && w->m_bHasWindow) origin = ws->ClientOrigin(w);
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
}

void CWnd::ClientToScreen(LPRECT lpRect) const {
    if (lpRect == nullptr) return;
    POINT p{};
    ClientToScreen(&p);
    lpRect->left += p.x;
    lpRect->right += p.x;
    lpRect->top += p.y;
    lpRect->bottom += p.y;
}

void CWnd::ScreenToClient(LPPOINT lpPoint) const {
    if (lpPoint == nullptr) return;
    POINT p{};
    ClientToScreen(&p);
    lpPoint->x -= p.x;
    lpPoint->y -= p.y;
}

void CWnd::ScreenToClient(LPRECT lpRect) const {
    if (lpRect == nullptr) return;
    POINT p{};
    ClientToScreen(&p);
    lpRect->left -= p.x;
    lpRect->right -= p.x;
    lpRect->top -= p.y;
    lpRect->bottom -= p.y;
}

void CWnd::GetWindowRect(LPRECT lpRect) const {
    if (lpRect == nullptr) return;
    CRect r(0, 0, m_rect.Width(), m_rect.Height());
    ClientToScreen(static_cast<LPRECT>(&r));
    *lpRect = r;
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL) {
    SetRect(CRect(x, y, x + nWidth, y + nHeight));
    NotifyStateChanged(platform::ui::kOther);
}

void CWnd::MoveWindow(LPCRECT lpRect, BOOL bRepaint) {
    if (lpRect) MoveWindow(lpRect->left, lpRect->top, lpRect->right - lpRect->left, lpRect->bottom - lpRect->top, bRepaint);
}

// --- Painting ------------------------------------------------------------------------------------

void CWnd::Invalidate(BOOL bErase) { InvalidateRect(nullptr, bErase); }

void CWnd::InvalidateRect(LPCRECT lpRect, BOOL bErase) {
    const CRect all(0, 0, m_rect.Width(), m_rect.Height());
    const CRect r = lpRect ? CRect(*lpRect) : all;
    if (bErase) {
        if (!m_bEraseBackground || m_eraseRect.IsRectEmpty()) {
            m_eraseRect = r;
        } else {
            m_eraseRect = CRect(std::min(m_eraseRect.left, r.left), std::min(m_eraseRect.top, r.top),
                                std::max(m_eraseRect.right, r.right), std::max(m_eraseRect.bottom, r.bottom));
        }
        m_bEraseBackground = true;
    }
    m_bPaintPending = true;
    if (auto* ws = GetWindowSystem(); ws != nullptr && m_bHasWindow) ws->Repaint(this, &r);
}

void CWnd::PaintIfNeeded() {
    if (!m_bPaintPending) return;
    m_bPaintPending = false;
    if (m_bEraseBackground) {
        m_bEraseBackground = false;
        if (m_surface && m_background != CLR_INVALID) m_surface->Fill(m_eraseRect, m_background);
        m_eraseRect = CRect();
    }
    SendMessage(WM_PAINT);
}

void CWnd::UpdateWindow() {
    PaintIfNeeded();
    if (auto* ws = GetWindowSystem(); ws != nullptr && m_bHasWindow) ws->Repaint(this);
}

CDC* CWnd::GetDC() { return new CClientDC(this); }

int CWnd::ReleaseDC(CDC* pDC) {
    delete pDC;
    return 1;
}

// --- Timers --------------------------------------------------------------------------------------

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, void*) {
    platform::ui::StartTimer(this, nIDEvent, nElapse);
    return nIDEvent;
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return platform::ui::StopTimer(this, nIDEvent) ? TRUE : FALSE; }

bool CWnd::IsTimerRunning(UINT_PTR nIDEvent) const { return platform::ui::IsTimerRunning(this, nIDEvent); }

// --- Fonts, icons, menus, dropped files ------------------------------------------------------------

void CWnd::SetFont(CFont* pFont, BOOL) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (pFont == nullptr || !pFont->IsCreated()) m_pFont.reset();
        else m_pFont = std::make_unique<platform::ui::FontSpec>(pFont->Spec());
    }
    NotifyStateChanged(platform::ui::kOther);
}

bool CWnd::HasOwnFont() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_pFont != nullptr;
}

platform::ui::FontSpec CWnd::GetFontSpec() const {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (m_pFont) return *m_pFont;
    }
    if (m_pParent != nullptr && m_pParent != this) return m_pParent->GetFontSpec();
    return platform::ui::FontSpec{};
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
    HICON& slot = bBigIcon ? m_hIconBig : m_hIconSmall;
    HICON old = slot;
    slot = hIcon;
    if (auto* ws = GetWindowSystem(); ws != nullptr && m_bHasWindow) ws->SetIcon(this, hIcon, bBigIcon != FALSE);
    return old;
}

HICON CWnd::GetIcon(BOOL bBigIcon) const { return bBigIcon ? m_hIconBig : m_hIconSmall; }

CMenu* CWnd::GetSystemMenu(BOOL bRevert) {
    if (bRevert) {
        m_pSystemMenu.reset();
        return nullptr;
    }
    if (!m_pSystemMenu) {
        m_pSystemMenu = std::make_unique<CMenu>();
        m_pSystemMenu->CreatePopupMenu();
        m_pSystemMenu->AppendMenu(MF_STRING, SC_CLOSE, "閉じる(&C)");
    }
    return m_pSystemMenu.get();
}

BOOL CWnd::IsIconic() const {
    auto* ws = GetWindowSystem();
    return (ws != nullptr && m_bHasWindow && ws->IsIconic(this)) ? TRUE : FALSE;
}

void CWnd::DragAcceptFiles(BOOL bAccept) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_bAcceptFiles = bAccept != FALSE;
    }
    NotifyStateChanged(platform::ui::kOther);
}

bool CWnd::AcceptsFiles() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_bAcceptFiles;
}

UINT DragQueryFile(HDROP hDrop, UINT iFile, char* lpszFile, UINT cch) {
    if (hDrop == nullptr) return 0;
    if (iFile == 0xFFFFFFFFu) return static_cast<UINT>(hDrop->files.size());
    if (iFile >= hDrop->files.size()) return 0;
    const std::string& name = hDrop->files[iFile];
    if (lpszFile == nullptr || cch == 0) return static_cast<UINT>(name.size());
    const std::size_t n = std::min<std::size_t>(name.size(), cch - 1);
    std::memcpy(lpszFile, name.data(), n);
    lpszFile[n] = '\0';
    return static_cast<UINT>(n);
}

void DragFinish(HDROP) {}

void CWnd::MakeClientSurface(COLORREF background) {
    m_background = background;
    const COLORREF fill = background == CLR_INVALID ? RGB(0, 0, 0) : background;
    if (!m_surface) m_surface = std::make_shared<platform::ui::Surface>(m_rect.Width(), m_rect.Height(), fill);
    else m_surface->Resize(m_rect.Width(), m_rect.Height(), fill);
    m_bPaintPending = true;
}

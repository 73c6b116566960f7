#include "platform/ui/wnd.h"

#include <atomic>

#include "platform/ui/msgqueue.h"

namespace platform::ui {
namespace {
std::atomic<StateChangeHook> g_stateHook{nullptr};
}
void SetStateChangeHook(StateChangeHook hook) { g_stateHook.store(hook); }
}  // namespace platform::ui

CWnd::~CWnd() { platform::ui::DropMessagesFor(this); }

void CWnd::NotifyStateChanged(unsigned what) {
    if (auto hook = platform::ui::g_stateHook.load()) hook(this, what);
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
    LRESULT result = 0;
    OnWndMsg(message, wParam, lParam, &result);
    return result;
}

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

#include "platform/ui/controls.h"

#include <algorithm>

#include "platform/ui/windowsystem.h"


int CButton::GetCheck() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_nCheck;
}

void CButton::SetCheck(int nCheck) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (m_nCheck == nCheck) return;
        m_nCheck = nCheck;
    }
    NotifyStateChanged(platform::ui::kCheck);
}

int CComboBox::AddString(const std::string& text) {
    int index = 0;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_items.push_back(text);
        index = static_cast<int>(m_items.size()) - 1;
    }
    NotifyStateChanged(platform::ui::kItems);
    return index;
}

void CComboBox::ResetContent() {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_items.clear();
        m_nCurSel = CB_ERR;
    }
    NotifyStateChanged(platform::ui::kItems | platform::ui::kSelection);
}

int CComboBox::GetCount() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return static_cast<int>(m_items.size());
}

int CComboBox::GetCurSel() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_nCurSel;
}

int CComboBox::SetCurSel(int index) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (index < 0 || index >= static_cast<int>(m_items.size())) {
            m_nCurSel = CB_ERR;
            index = CB_ERR;
        } else {
            m_nCurSel = index;
        }
    }
    NotifyStateChanged(platform::ui::kSelection);
    return index;
}

std::string CComboBox::GetLBText(int index) const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (index < 0 || index >= static_cast<int>(m_items.size())) return {};
    return m_items[static_cast<size_t>(index)];
}

std::vector<std::string> CComboBox::GetItems() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_items;
}

void CSliderCtrl::SetRange(int nMin, int nMax, BOOL) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_nMin = nMin;
        m_nMax = std::max(nMin, nMax);
        m_nPos = std::clamp(m_nPos, m_nMin, m_nMax);
    }
    NotifyStateChanged(platform::ui::kRange | platform::ui::kPosition);
}

int CSliderCtrl::GetRangeMin() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_nMin;
}

int CSliderCtrl::GetRangeMax() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_nMax;
}

void CSliderCtrl::SetPos(int nPos) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        const int clamped = std::clamp(nPos, m_nMin, m_nMax);
        if (clamped == m_nPos) return;
        m_nPos = clamped;
    }
    NotifyStateChanged(platform::ui::kPosition);
}

int CSliderCtrl::GetPos() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_nPos;
}

void CSliderCtrl::SetPageSize(int nSize) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_nPage = nSize;
    }
    NotifyStateChanged(platform::ui::kOther);
}

int CSliderCtrl::GetPageSize() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_nPage;
}

BOOL CSliderCtrl::SetTic(int nTic) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (nTic < m_nMin || nTic > m_nMax) return FALSE;
        if (std::find(m_tics.begin(), m_tics.end(), nTic) == m_tics.end()) m_tics.push_back(nTic);
    }
    NotifyStateChanged(platform::ui::kTicks);
    return TRUE;
}

void CSliderCtrl::ClearTics(BOOL) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_tics.clear();
    }
    NotifyStateChanged(platform::ui::kTicks);
}

std::vector<int> CSliderCtrl::GetTics() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    std::vector<int> tics = m_tics;
    std::sort(tics.begin(), tics.end());
    return tics;
}

void CScrollBar::SetScrollRange(int nMin, int nMax, BOOL) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_nMin = nMin;
        m_nMax = std::max(nMin, nMax);
        m_nPos = std::clamp(m_nPos, m_nMin, m_nMax);
    }
    NotifyStateChanged(platform::ui::kRange | platform::ui::kPosition);
}

void CScrollBar::GetScrollRange(int* pMin, int* pMax) const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (pMin) *pMin = m_nMin;
    if (pMax) *pMax = m_nMax;
}

int CScrollBar::SetScrollPos(int nPos, BOOL) {
    int previous = 0;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        previous = m_nPos;
        m_nPos = std::clamp(nPos, m_nMin, m_nMax);
        if (m_nPos == previous) return previous;
    }
    NotifyStateChanged(platform::ui::kPosition);
    return previous;
}

int CScrollBar::GetScrollPos() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_nPos;
}

// --- Control messages answered from the state ---------------------------------------------------

HBITMAP CButton::SetBitmap(HBITMAP hBitmap) {
    HBITMAP old = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        old = m_hBitmap;
        if (old == hBitmap) return old;
        m_hBitmap = hBitmap;
    }
    NotifyStateChanged(platform::ui::kImage);
    return old;
}

HBITMAP CButton::GetBitmap() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_hBitmap;
}

LRESULT CButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case BM_GETCHECK: return GetCheck();
    case BM_SETCHECK: SetCheck(static_cast<int>(wParam)); return 0;
    case BM_GETIMAGE: return reinterpret_cast<LRESULT>(GetBitmap());
    case BM_SETIMAGE: return reinterpret_cast<LRESULT>(SetBitmap(reinterpret_cast<HBITMAP>(lParam)));
    default: return CWnd::WindowProc(message, wParam, lParam);
    }
}

LRESULT CComboBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case CB_GETCURSEL: return GetCurSel();
    case CB_SETCURSEL: return SetCurSel(static_cast<int>(wParam));
    case CB_GETCOUNT: return GetCount();
    default: return CWnd::WindowProc(message, wParam, lParam);
    }
}

LRESULT CSliderCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case TBM_GETPOS: return GetPos();
    case TBM_SETPOS: SetPos(static_cast<int>(lParam)); return 0;
    case TBM_SETTIC: return SetTic(static_cast<int>(lParam));
    default: return CWnd::WindowProc(message, wParam, lParam);
    }
}

// --- Tooltips ------------------------------------------------------------------------------------

BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD) {
    SetParent(pParentWnd);
    m_tools.clear();
    m_pShown = nullptr;
    return TRUE;
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, const std::string& text, LPCRECT, UINT_PTR) {
    if (pWnd == nullptr) return FALSE;
    for (auto& tool : m_tools) {
        if (tool.wnd == pWnd) {
            tool.text = text;
            return TRUE;
        }
    }
    m_tools.push_back(Tool{pWnd, text});
    return TRUE;
}

void CToolTipCtrl::DelTool(CWnd* pWnd, UINT_PTR) {
    if (m_pShown == pWnd) Pop();
    std::erase_if(m_tools, [pWnd](const Tool& t) { return t.wnd == pWnd; });
}

void CToolTipCtrl::UpdateTipText(const std::string& text, CWnd* pWnd, UINT_PTR) {
    for (auto& tool : m_tools) {
        if (tool.wnd == pWnd) tool.text = text;
    }
}

std::string CToolTipCtrl::GetToolText(CWnd* pWnd) const {
    for (const auto& tool : m_tools) {
        if (tool.wnd == pWnd) return tool.text;
    }
    return {};
}

int CToolTipCtrl::GetToolCount() const { return static_cast<int>(m_tools.size()); }

void CToolTipCtrl::Activate(BOOL bActivate) {
    m_bActive = bActivate != FALSE;
    if (!m_bActive) Pop();
}

void CToolTipCtrl::RelayEvent(MSG* pMsg) {
    if (pMsg == nullptr || pMsg->message != WM_MOUSEMOVE || !m_bActive) return;
    for (const auto& tool : m_tools) {
        if (tool.wnd != pMsg->hwnd) continue;
        if (m_pShown != tool.wnd) {
            m_pShown = tool.wnd;
            if (auto* ws = platform::ui::GetWindowSystem()) ws->ShowToolTip(tool.wnd, tool.text);
        }
        return;
    }
}

void CToolTipCtrl::Update() {
    if (m_pShown == nullptr || !m_bActive) return;
    if (auto* ws = platform::ui::GetWindowSystem()) ws->ShowToolTip(m_pShown, GetToolText(m_pShown));
}

void CToolTipCtrl::Pop() {
    if (m_pShown == nullptr) return;
    m_pShown = nullptr;
    if (auto* ws = platform::ui::GetWindowSystem()) ws->HideToolTip();
}

CWnd* CToolTipCtrl::GetShownTool() const { return m_pShown; }

#include "platform/ui/controls.h"

#include <algorithm>


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

// Control objects. Each keeps its own state (check, items and selection, range and position,
// ticks) under the window object's state lock, so any thread may read or write it, with or
// without a window. A window system mirrors the state and sends the user's changes back as
// notifications to the owner's message map.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/wnd.h"

class CButton : public CWnd {
public:
    int GetCheck() const;
    void SetCheck(int nCheck);

private:
    int m_nCheck = BST_UNCHECKED;
};

// A drop-down list: no typing, so the selection is always an index of the list or CB_ERR.
class CComboBox : public CWnd {
public:
    int AddString(const std::string& text);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    // Selects index (CB_ERR clears the selection); returns CB_ERR for an index outside the list.
    int SetCurSel(int index);
    std::string GetLBText(int index) const;
    std::vector<std::string> GetItems() const;

private:
    std::vector<std::string> m_items;
    int m_nCurSel = CB_ERR;
};

class CEdit : public CWnd {};

class CStatic : public CWnd {};

// Trackbar: range, position clamped to the range, page size and tick marks.
class CSliderCtrl : public CWnd {
public:
    void SetRange(int nMin, int nMax, BOOL bRedraw = FALSE);
    int GetRangeMin() const;
    int GetRangeMax() const;
    void SetPos(int nPos);
    int GetPos() const;
    void SetPageSize(int nSize);
    int GetPageSize() const;
    BOOL SetTic(int nTic);
    void ClearTics(BOOL bRedraw = FALSE);
    std::vector<int> GetTics() const;

private:
    int m_nMin = 0;
    int m_nMax = 100;
    int m_nPos = 0;
    int m_nPage = 10;
    std::vector<int> m_tics;
};

class CScrollBar : public CWnd {
public:
    void SetScrollRange(int nMin, int nMax, BOOL bRedraw = TRUE);
    void GetScrollRange(int* pMin, int* pMax) const;
    // Sets the position (clamped to the range); returns the previous position.
    int SetScrollPos(int nPos, BOOL bRedraw = TRUE);
    int GetScrollPos() const;

private:
    int m_nMin = 0;
    int m_nMax = 0;
    int m_nPos = 0;
};

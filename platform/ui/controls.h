// Control objects. Each keeps its own state (check, items and selection, range and position,
// ticks) under the window object's state lock, so any thread may read or write it, with or
// without a window. A window system mirrors the state and sends the user's changes back as
// notifications to the owner's message map.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/wnd.h"

// Push button (text or image), check box or radio button, as its dialog item says.
class CButton : public CWnd {
public:
    int GetCheck() const;
    void SetCheck(int nCheck);
    // The image of a BS_BITMAP button (the bitmap must outlive its use); returns the previous.
    HBITMAP SetBitmap(HBITMAP hBitmap);
    HBITMAP GetBitmap() const;
    // Answers BM_GETCHECK, BM_SETCHECK, BM_SETIMAGE and BM_GETIMAGE from the state.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int m_nCheck = BST_UNCHECKED;
    HBITMAP m_hBitmap = nullptr;
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
    // Answers CB_GETCURSEL, CB_SETCURSEL and CB_GETCOUNT from the state.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

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
    // Answers TBM_GETPOS, TBM_SETPOS and TBM_SETTIC from the state.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

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

// Tooltips for tool windows. The owner relays mouse moves (RelayEvent), which show the tip of
// the tool under the mouse; Pop hides it. The shown tool is state too, so that the rules of
// showing can be checked without a window system.
class CToolTipCtrl : public CWnd {
public:
    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = 0);
    BOOL AddTool(CWnd* pWnd, const std::string& text, LPCRECT lpRectTool = nullptr, UINT_PTR nIDTool = 0);
    void DelTool(CWnd* pWnd, UINT_PTR nIDTool = 0);
    void UpdateTipText(const std::string& text, CWnd* pWnd, UINT_PTR nIDTool = 0);
    std::string GetToolText(CWnd* pWnd) const;
    int GetToolCount() const;
    void Activate(BOOL bActivate);
    void RelayEvent(MSG* pMsg);
    // Shows the current tool's tip again (after its text or place changed).
    void Update();
    void Pop();
    // The tool whose tip is shown, or null.
    CWnd* GetShownTool() const;

private:
    struct Tool {
        CWnd* wnd;
        std::string text;
    };
    std::vector<Tool> m_tools;
    CWnd* m_pShown = nullptr;
    bool m_bActive = true;
};

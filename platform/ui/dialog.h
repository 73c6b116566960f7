// CDialog: a dialog object made from a template id. Without a window it still binds its control
// members by id (DoDataExchange), so the program's logic runs headless.
#pragma once

#include <map>

#include "platform/ui/wnd.h"

class CDialog;

class CDataExchange {
public:
    explicit CDataExchange(CDialog* dlg) : m_pDlgWnd(dlg) {}
    CDialog* m_pDlgWnd;
};

// Binds a control member to the dialog item with that id.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParent = nullptr);

    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int nResult);

    // Runs DoDataExchange once, so that every control member is bound to its id.
    void BindControls();
    void RegisterItem(int id, CWnd* item);
    CWnd* GetDlgItem(int id) const;

    UINT GetTemplateId() const { return m_nIDTemplate; }
    bool IsEnded() const { return m_bEnded; }
    int GetModalResult() const { return m_nModalResult; }

private:
    UINT m_nIDTemplate;
    std::map<int, CWnd*> m_items;
    bool m_bBound = false;
    bool m_bEnded = false;
    int m_nModalResult = 0;
};

#include "platform/ui/dialog.h"

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (pDX == nullptr || pDX->m_pDlgWnd == nullptr) return;
    pDX->m_pDlgWnd->RegisterItem(nIDC, &rControl);
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParent) : m_nIDTemplate(nIDTemplate) { SetParent(pParent); }

BOOL CDialog::OnInitDialog() {
    BindControls();
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    m_bEnded = true;
}

void CDialog::BindControls() {
    if (m_bBound) return;
    m_bBound = true;
    CDataExchange dx(this);
    DoDataExchange(&dx);
}

void CDialog::RegisterItem(int id, CWnd* item) {
    if (item == nullptr) return;
    item->SetDlgCtrlID(id);
    item->SetParent(this);
    m_items[id] = item;
}

CWnd* CDialog::GetDlgItem(int id) const {
    const auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

#include "app/AboutDlg.h"

#include "resources/resource_ids.h"

const char* BuildWordSizeText() { return sizeof(void*) == 8 ? "64bit program" : "32bit program"; }

CAboutDlg::CAboutDlg(CWnd* pParent) : CDialog(IDD, pParent) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ABOUT_EXTRA, m_staticExtra);
    DDX_Control(pDX, IDC_ABOUT_BUILD, m_staticBuild);
}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_staticBuild.SetWindowText(BuildWordSizeText());
    return TRUE;
}

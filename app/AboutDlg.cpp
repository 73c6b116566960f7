#include "app/AboutDlg.h"

#include <string>

#include "app/SystemReport.h"
#include "resources/resource_ids.h"

std::string BuildWordSizeText() { return std::to_string(BuildWordBits()) + "bit program"; }

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

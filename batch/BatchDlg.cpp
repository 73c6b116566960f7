#include "batch/BatchDlg.h"

#include <utility>

#include "platform/ui/menu.h"

CBatchDlg::CBatchDlg(CWnd* pParent) : CDialog(IDD, pParent) { Create(IDD, pParent); }

CBatchDlg::~CBatchDlg() {
    m_staticProgress.DestroyWindow();
    m_staticNote.DestroyWindow();
    m_staticTitle.DestroyWindow();
    m_staticFile.DestroyWindow();
    DestroyWindow();
}

void CBatchDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, 1102, m_staticProgress);
    DDX_Control(pDX, 1104, m_staticNote);
    DDX_Control(pDX, 1038, m_staticTitle);
    DDX_Control(pDX, 1039, m_staticFile);
}

BEGIN_MESSAGE_MAP(CBatchDlg, CDialog)
    ON_WM_CTLCOLOR()
    ON_BN_CLICKED(1088, &CBatchDlg::OnBnClickedAbort)
    ON_MESSAGE(CBatchDlg::WM_APP_BATCH_CHANGES, &CBatchDlg::OnApplyChanges)
END_MESSAGE_MAP()

BOOL CBatchDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The title bar cannot close the dialog: only 中止 ends a batch early.
    if (CMenu* menu = GetSystemMenu(FALSE)) menu->EnableMenuItem(SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    return TRUE;
}

HBRUSH CBatchDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    HBRUSH brush = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    if (nCtlColor == CTLCOLOR_STATIC && pWnd != nullptr && pWnd->GetDlgCtrlID() != 1104)
        pDC->SetTextColor(RGB(0, 0, 255));
    return brush;
}

void CBatchDlg::OnBnClickedAbort() { m_bAbort.store(TRUE, std::memory_order_release); }

void CBatchDlg::Queue(Change change) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.push_back(std::move(change));
    }
    PostMessage(WM_APP_BATCH_CHANGES);
}

void CBatchDlg::PostText(CWnd* target, const std::string& text) { Queue(Change{target, false, 0, text}); }

void CBatchDlg::PostShow(CWnd* target, int nCmdShow) { Queue(Change{target, true, nCmdShow, std::string()}); }

LRESULT CBatchDlg::OnApplyChanges(WPARAM, LPARAM) {
    for (;;) {
        Change change;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_pending.empty()) break;
            change = std::move(m_pending.front());
            m_pending.pop_front();
        }
        if (change.target == nullptr) continue;
        if (change.show) change.target->ShowWindow(change.nCmdShow);
        else change.target->SetWindowText(change.text);
    }
    return 0;
}

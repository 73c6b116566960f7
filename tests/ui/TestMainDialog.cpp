#include "TestMainDialog.h"

namespace {

LRESULT TestMainDialogCommand(CWnd* w, WPARAM wp, LPARAM) {
    auto* d = static_cast<TestMainDialog*>(w);
    const UINT code = HIWORD(wp);
    const char* name = code == BN_CLICKED ? "BN_CLICKED" : code == CBN_SELCHANGE ? "CBN_SELCHANGE" : "EN_CHANGE";
    d->Record(std::string(name) + " " + std::to_string(LOWORD(wp)));
    return 0;
}

LRESULT TestMainDialogNotify(CWnd* w, WPARAM, LPARAM lp) {
    const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
    static_cast<TestMainDialog*>(w)->Record("NM_CUSTOMDRAW " + std::to_string(hdr->idFrom));
    return 0;
}

}  // namespace

// Commands and notifications of every item (and the popup menu's commands) go to the log.
#define TEST_RECORD_RANGE(message, code) {message, code, 1000, 40000, &TestMainDialogCommand},

BEGIN_MESSAGE_MAP(TestMainDialog, CDialog)
    TEST_RECORD_RANGE(WM_COMMAND, BN_CLICKED)
    TEST_RECORD_RANGE(WM_COMMAND, CBN_SELCHANGE)
    TEST_RECORD_RANGE(WM_COMMAND, EN_CHANGE)
    {WM_NOTIFY, NM_CUSTOMDRAW, 1000, 1200, &TestMainDialogNotify},
    ON_WM_PAINT()
    ON_WM_TIMER()
    ON_WM_HSCROLL()
    ON_WM_DROPFILES()
    ON_WM_RBUTTONDOWN()
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_APP + 1, &TestMainDialog::OnTestPost)
END_MESSAGE_MAP()

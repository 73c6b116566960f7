// Painting of the main dialog: the input level meter is blanked black while nothing runs (a run
// draws it from the timer), and the "Buffer Full" text is red. User-interface thread only.
#include "app/WaveInOutDlg.h"
#include "resources/resource_ids.h"

namespace {
// The meter's left and right bars in client pixels (left, top, right, bottom).
const CRect kMeterBars[2] = {CRect(318, 28, 327, 88), CRect(328, 28, 337, 88)};
}  // namespace

void CWaveInOutDlg::OnPaint() {
    CPaintDC dc(this);
    if (m_nRunState.load() != 0) return;
    CClientDC client(this);
    for (const CRect& bar : kMeterBars) client.FillSolidRect(&bar, RGB(0, 0, 0));
}

HBRUSH CWaveInOutDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    HBRUSH brush = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    if (nCtlColor == CTLCOLOR_STATIC && pWnd != nullptr && pWnd->GetDlgCtrlID() == IDC_BUFFER_FULL && pDC != nullptr) {
        pDC->SetTextColor(RGB(255, 0, 0));
    }
    return brush;
}

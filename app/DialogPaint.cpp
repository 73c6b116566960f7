// Painting of the main dialog: the analyser's labels beside it, the input level meter blanked
// black while nothing runs (a run draws it from the timer), the "Buffer Full" text in red, and
// the analyser's highlight cleared when the mouse has left it. User-interface thread only.
#include "app/WaveInOutDlg.h"
#include "resources/resource_ids.h"

namespace {
// The meter's left and right bars in client pixels (left, top, right, bottom).
const CRect kMeterBars[2] = {CRect(318, 28, 327, 88), CRect(328, 28, 337, 88)};
}  // namespace

void CWaveInOutDlg::OnPaint() {
    CPaintDC dc(this);
    DrawAnalyzerLabels(FALSE);
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

void CWaveInOutDlg::OnMouseMove(UINT nFlags, CPoint point) {
    // The analyser has moves of its own: one over the dialog means the pointer has left it.
    if (m_fftScreen.m_nHoverKey >= 0) m_fftScreen.ClearHover();
    CDialog::OnMouseMove(nFlags, point);
}

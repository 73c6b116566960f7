#include "app/WaveInOutDlg.h"

// PENDING(start-up): device messages, play time, note name and level meter.
LRESULT CWaveInOutDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return CDialog::WindowProc(message, wParam, lParam);
}
void CWaveInOutDlg::OnTimer(UINT_PTR) {}

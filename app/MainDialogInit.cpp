#include "app/WaveInOutDlg.h"

// PENDING(start-up): the start-up sequence and the system report.
BOOL CWaveInOutDlg::OnInitDialog() { return CDialog::OnInitDialog(); }
void CWaveInOutDlg::WriteSystemReport() {}

#include "app/WaveInOutDlg.h"

// PENDING(controls): control states and the method switch.
void CWaveInOutDlg::UpdateControls() {}
void CWaveInOutDlg::SwitchAnalyzerView() {}

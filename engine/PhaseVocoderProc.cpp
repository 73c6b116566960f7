#include "app/WaveInOutDlg.h"

// PENDING(phase-vocoder): the phase-vocoder thread.
BOOL CWaveInOutDlg::StartPhaseVocoderThread() { return FALSE; }
void CWaveInOutDlg::JoinPhaseVocoderThread() {}

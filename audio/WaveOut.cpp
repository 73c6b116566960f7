#include "app/WaveInOutDlg.h"

// PENDING(runs): the playback wrapper.
BOOL CWaveInOutDlg::OnWomDone(HWAVEOUT, WAVEHDR*) { return FALSE; }

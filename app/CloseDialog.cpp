// Ending the program: the close operation (WM_CLOSE, EXIT) stops a batch and any run,
// joins every worker, frees the shared buffers, closes the dump, deletes the effect dialog
// (which hands its presets and reverb values back first), restores the timer resolution and
// writes the whole settings file once. It runs at most once; the destructor then closes what
// is left and removes the converter's temporary file.
#include <cstdio>

#include "app/WaveInOutDlg.h"
#include "batch/BatchDlg.h"
#include "effects/EQdlg.h"
#include "platform/base/clock.h"
#include "platform/ui/dialog.h"
#include "platform/ui/msgbox.h"

void CWaveInOutDlg::CloseOperation(BOOL bUserClose) {
    if (m_bCloseDone) return;
    m_bCloseDone = TRUE;
    WriteTrace("98-OnClose");
    // A batch owns the run state, its files and the engine's buffers while it converts a file:
    // it is stopped as 中止 stops it and its thread is waited for (the file it was converting
    // is closed by its own clean-up) before STOP and anything else touches them.
    StopBatch();
    OnBnClickedStop();
    WriteTrace("98-01");
    // STOP joined the workers of a run; a worker left from a run start that failed half-way
    // is ended here, before anything it could use is freed.
    m_bPsolaRun.store(FALSE, std::memory_order_release);
    m_bThreadRun.store(FALSE, std::memory_order_release);
    m_bPlayThreadRun.store(FALSE, std::memory_order_release);
    JoinEngineThreads();
    JoinPhaseVocoderThread();
    m_playThread.Join();

    WaveInFreeBuffers();
    WaveOutFreeBuffers();
    WriteTrace("98-02");
    FreeStreamBuffers();
    WriteTrace("98-03");
    WriteTrace("98-04");
    CloseDumpFile();
    delete m_pBatchDlg;
    m_pBatchDlg = nullptr;
    if (CEQdlg* effects = m_pEQDlg.exchange(nullptr, std::memory_order_acq_rel)) {
        effects->DestroyWindow();
        delete effects;
    }
    timeEndPeriod(1);
    // The old file stays whole when the new one cannot be written (a full disk): the user who
    // closed the window learns that this run's settings are not kept.
    if (!WriteSettingsFile()) {
        WriteTrace(kSettingsNotSavedMessage);
        if (bUserClose) AfxMessageBox(kSettingsNotSavedMessage);
    }
}

void CWaveInOutDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0u) == SC_CLOSE) m_bUserClosing = TRUE;
    CDialog::OnSysCommand(nID, lParam);
}

void CWaveInOutDlg::OnClose() {
    // A close request that arrives after the close operation has begun finds it under way or
    // done: it neither runs it again nor writes the end point again nor changes the dialog's
    // result. Only a box the close operation itself has open (the settings could not be saved)
    // is dismissed, as any box is, so that the close goes on to its end.
    if (m_bCloseDone) {
        platform::ui::DeferCloseBehindModals(this);
        return;
    }
    // A request that comes while a box, picker or dialog opened from this window is in its own
    // loop (a termination signal, the desktop's logout) closes those first; it comes back here
    // once the handler that opened them has returned, so nothing runs on freed state.
    if (platform::ui::DeferCloseBehindModals(this)) return;
    CloseOperation(m_bUserClosing);
    // The default handling of a close request: the modal dialog ends with the cancel result.
    EndDialog(IDCANCEL);
    WriteTrace("98-END");
}

// Enter and Escape do nothing in the main window: a key pressed by mistake must not end a run
// and the program. EXIT, the title bar's close button and the system's close request remain.
void CWaveInOutDlg::OnOK() {}

void CWaveInOutDlg::OnCancel() {}

BOOL CWaveInOutDlg::WriteSettingsFile() {
    CSettingsFile s(m_strAppFolder);
    s.m_nMethod = m_nMethod;
    s.m_nPitch = m_sliderPitch.GetPos();
    s.m_nFormant = m_sliderFormant.GetPos();
    s.m_nMinKey = m_comboMinKey.GetCurSel();
    s.m_nMaxKey = m_comboMaxKey.GetCurSel();
    s.m_nAxisMode = m_nAxisMode;
    s.m_nBatchOverSampling = m_nBatchOverSampling;
    for (int k = 0; k < 4; ++k) {
        for (int b = 0; b < 11; ++b) s.m_nPresetGain[k][b] = m_nPresetGain[k][b];
        s.m_fPresetQ[k] = m_fPresetQ[k];
        s.m_voicePreset[k] = m_voicePreset[k];
    }
    s.m_nSaveCounter = m_nSaveCounter;
    s.m_nDumpCounter = m_nDumpCounter;
    s.m_nA4 = m_nA4.load();
    if (!m_strOutputFolder.empty()) s.m_strOutputFolder = m_strOutputFolder;
    s.m_strConverterPath = m_strConverterPath;
    s.m_bShowVolumeGraph = m_bShowVolumeGraph;
    s.m_fReverbAttenuation = m_fReverbAttenuation;
    s.m_fReverbDelay = m_fReverbDelay;
    s.m_nReverbRepeat = m_nReverbRepeat;
    s.m_nMidiProgram = m_nMidiProgram;
    const int in = (m_nWaveInIndex >= 0 && m_nWaveInIndex <= m_nWaveInCount) ? m_nWaveInIndex : 0;
    const int out = (m_nWaveOutIndex >= 0 && m_nWaveOutIndex <= m_nWaveOutCount) ? m_nWaveOutIndex : 0;
    s.m_strWaveInName = in == 0 ? std::string(CSettingsFile::kMapperName) : std::string(m_waveInCaps[in].szPname);
    s.m_strWaveOutName = out == 0 ? std::string(CSettingsFile::kMapperName) : std::string(m_waveOutCaps[out].szPname);
    s.m_nLatencyMode = m_nLatencyMode;
    // Written whole into a temporary file and renamed over the old one: the file on disk is the
    // old one or the new one, never a part of either.
    if (!s.Write(m_strAppFolder + CSettingsFile::kFileName)) return FALSE;
    WriteTrace("98-05");
    WriteTrace("98-06");
    return TRUE;
}

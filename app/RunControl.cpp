// Run control: LIVE, OPEN (and the file start behind it), PLAY, STOP and EXIT. Every step
// writes its numbered trace point, so the trace shows where a run failed.
//
// Threads: all of this runs on the user-interface thread. Workers that need a run to end (the
// file player at the end of its file) post a message and return; STOP clears the run flags and
// joins the engine and player threads before it closes devices and files.
#include "app/WaveInOutDlg.h"
#include "platform/base/clock.h"
#include "platform/ui/dialog.h"

namespace {

constexpr UINT_PTR kDisplayTimer = 1;
constexpr UINT kDisplayTimerMs = 100;

const char* MethodName(int method) { return method == 1 ? "PhaseVocoder" : "TD-PSOLA"; }

std::string Traced(const char* head, int method) { return std::string(head) + "  " + MethodName(method); }

}  // namespace

CWaveInOutDlg::CStartInProgress::CStartInProgress(CWaveInOutDlg* dlg, const char* what)
    : m_pDlg(dlg), m_bHeld(dlg->m_nStartsInProgress == 0) {
    if (m_bHeld) {
        ++m_pDlg->m_nStartsInProgress;
    } else {
        m_pDlg->WriteTrace(std::string(what) + " refused: another start is in progress");
    }
}

CWaveInOutDlg::CStartInProgress::~CStartInProgress() {
    if (m_bHeld) --m_pDlg->m_nStartsInProgress;
}

bool CWaveInOutDlg::StartMayGoOn() const {
    return m_nRunState.load() == 0 && !IsBatchRunning() && !m_bCloseDone && !platform::ui::CloseRequested();
}

void CWaveInOutDlg::PrepareDevicesAndFiles(int channels) {
    m_nInputEnd.store(kNoInputEnd, std::memory_order_release);
    ResetEngineReach();
    WaveInClearState();
    WaveOutClearState();
    OpenOutputFiles(channels, FALSE, 1);
}

bool CWaveInOutDlg::StartEngine(int channels, const char* psolaTrace, const char* vocoderTrace) {
    m_bMarksReady.store(FALSE, std::memory_order_release);
    m_nMarkRead.store(1);
    if (m_nMethod == 1) {
        m_pitchScale.m_nChannels.store(channels, std::memory_order_release);
        if (!StartPhaseVocoderThread()) return false;
        WriteTrace(vocoderTrace);
    } else {
        if (!StartThreads()) return false;
        WriteTrace(psolaTrace);
    }
    return true;
}

void CWaveInOutDlg::OnBnClickedLive() {
    WriteTrace(Traced("1-LIVE button", m_nMethod));
    const CStartInProgress start(this, "LIVE");
    if (!start) return;
    // No run beside a batch: the batch converts in the buffers the run would use.
    if (m_nRunState.load() != 0 || IsBatchRunning() || m_bCloseDone) return;

    m_nRunState.store(1);
    m_nPlayState = 1;
    ++m_nRunSerial;
    UpdateControls();
    m_btnPlay.SetBitmap(&m_bmpPlay[3]);
    SetWindowText("sorvel");

    m_nOverSampling = 1;
    m_bPitchShiftEnable = TRUE;
    const int channels = m_nMethod + 1;
    m_waveInFmt.SetFormat(channels);
    m_waveOutFmt.SetFormat(channels);
    m_dOscPhase = 0.0;

    WriteTrace("1-01");
    PrepareDevicesAndFiles(channels);

    // A failing step has reported itself; what was opened is closed again and the rest (the
    // dump, the run state) is left to STOP.
    const auto started = [&]() -> bool {
        WriteTrace("1-02");
        if (!WaveInQuery(m_nWaveInId)) return false;
        WriteTrace("1-03");
        if (!WaveInOpen(m_nWaveInId, this)) return false;
        WriteTrace("1-04");
        if (!WaveInAddBuffers()) return false;
        WriteTrace("1-05");
        if (!WaveOutQuery(m_nWaveOutId)) return false;
        WriteTrace("1-06");
        if (!WaveOutOpen(m_nWaveOutId, this)) return false;
        WriteTrace("1-07");
        if (!WaveOutWriteBuffers()) return false;
        WriteTrace("1-08");
        if (!StartEngine(channels, "1-09", "1-10")) return false;
        KeepLiveDelay();
        WaveInStart();
        WriteTrace("1-11");
        SetTimer(kDisplayTimer, kDisplayTimerMs);
        return true;
    }();
    if (!started) {
        WriteTrace("1-12");
        WaveInStop();
        if (m_chkSave.GetCheck() != BST_UNCHECKED) m_saveFile.Close();
        WaveInClose();
        WaveOutStop();
        WaveOutClose();
        WriteTrace("1-13");
    }
    WriteTrace("1-END");
}

void CWaveInOutDlg::OnBnClickedOpen() {
    const CStartInProgress start(this, "OPEN");
    if (!start) {
        WriteTrace(Traced("2-OPEN button", m_nMethod));
        return;
    }
    OpenHeld();
}

void CWaveInOutDlg::OpenHeld() {
    WriteTrace(Traced("2-OPEN button", m_nMethod));
    // During a run nothing of it changes; the chorus-file loader sets its own values and calls
    // StartFile itself.
    if (m_nRunState.load() == 0) {
        m_nOverSampling = 1;
        m_bPitchShiftEnable = TRUE;
    }
    StartFile();
}

void CWaveInOutDlg::StartFile() {
    if (m_nRunState.load() != 0 || IsBatchRunning()) return;
    WriteTrace("2-01");
    // OpenInputFile looks at the run state again after each of its waits (picker, converter).
    if (!OpenInputFile()) return;

    WriteTrace("2-02");
    m_nRunState.store(2);
    m_nPlayState = 2;
    ++m_nRunSerial;
    UpdateControls();
    m_btnPlay.SetBitmap(&m_bmpPlay[2]);

    const int channels = m_nMethod == 1 ? m_inputFile.m_fmt.nChannels : 1;
    m_waveInFmt.SetFormat(channels);
    m_waveOutFmt.SetFormat(channels);
    m_dOscPhase = 0.0;
    PrepareDevicesAndFiles(channels);

    const auto started = [&]() -> bool {
        WriteTrace("2-03");
        if (!WaveOutQuery(m_nWaveOutId)) return false;
        WriteTrace("2-04");
        if (!WaveOutOpen(m_nWaveOutId, this)) return false;
        WriteTrace("2-05");
        if (!WaveOutWriteBuffers()) return false;
        WriteTrace("2-06");
        if (!StartEngine(channels, "2-07", "2-08")) return false;
        StartWavePlayThread();
        if (!m_playThread.IsRunning()) return false;
        WriteTrace("2-09");
        SetTimer(kDisplayTimer, kDisplayTimerMs);
        return true;
    }();
    if (!started) {
        WriteTrace("2-10");
        // Engine threads that did start end here, before the device they write for goes.
        m_bPsolaRun.store(FALSE, std::memory_order_release);
        m_bThreadRun.store(FALSE, std::memory_order_release);
        JoinEngineThreads();
        JoinPhaseVocoderThread();
        if (m_chkSave.GetCheck() != BST_UNCHECKED) m_saveFile.Close();
        WaveOutStop();
        WaveOutClose();
        WriteTrace("2-11");
    }
    WriteTrace("2-END");
}

void CWaveInOutDlg::OnBnClickedPlay() {
    WriteTrace(Traced("3-PLAY button", m_nMethod));
    WriteTrace("3-01");
    const CStartInProgress start(this, "PLAY");
    if (!start) return;
    if (m_nRunState.load() == 0 && m_nPlayState == 2) {
        // Replay of the last file: it starts paused and is resumed below.
        m_bReplay = TRUE;
        OpenHeld();
        WriteTrace("3-02");
        m_btnPlay.SetBitmap(&m_bmpPlay[0]);
        if (m_hWaveOut != nullptr) waveOutPause(m_hWaveOut);
    }
    if (m_nRunState.load() != 2) return;
    const HBITMAP shown = m_btnPlay.GetBitmap();
    if (shown != &m_bmpPlay[2]) {
        if (shown == &m_bmpPlay[0]) {
            WriteTrace("3-04");
            m_btnPlay.SetBitmap(&m_bmpPlay[2]);
            if (m_hWaveOut != nullptr) waveOutRestart(m_hWaveOut);
        }
    } else {
        WriteTrace("3-03");
        m_btnPlay.SetBitmap(&m_bmpPlay[0]);
        if (m_hWaveOut != nullptr) waveOutPause(m_hWaveOut);
    }
    WriteTrace("3-END");
}

void CWaveInOutDlg::OnBnClickedStop() {
    WriteTrace("4-STOP button");
    // A batch's run state is the batch's: its files and buffers are closed by its own thread
    // (中止 or the close operation end it), never here beside it.
    if (m_nRunState.load() == 0 || IsBatchRunning()) return;

    m_bPsolaRun.store(FALSE, std::memory_order_release);
    m_bPlayThreadRun.store(FALSE, std::memory_order_release);
    m_bThreadRun.store(FALSE, std::memory_order_release);
    WriteTrace("4-01");
    KillTimer(kDisplayTimer);
    // Every worker of the run has ended before its devices and files go.
    JoinEngineThreads();
    JoinPhaseVocoderThread();
    m_playThread.Join();

    WriteTrace("4-02");
    WaveInStop();
    WriteTrace("4-03");
    WaveInClose();
    WriteTrace("4-04");
    if (m_saveFile.IsOpen()) m_saveFile.Close();
    CloseDumpFile();
    WriteTrace("4-05");
    WaveOutStop();
    WriteTrace("4-06");
    WaveOutClose();
    WriteTrace("4-07");
    if (m_nRunState.load() == 2) m_inputFile.Close();
    InitHistoryScrollBar();
    WriteTrace("4-08");
    m_nRunState.store(0);
    // The level meter is blanked by the idle painting; nothing else would draw over its last level.
    const CRect meter(318, 28, 338, 88);
    InvalidateRect(&meter, FALSE);
    m_strChorusFile.clear();
    UpdateControls();
    m_btnPlay.SetBitmap(m_nPlayState == 2 ? &m_bmpPlay[0] : &m_bmpPlay[1]);
    WriteTrace("4-END");
}

LRESULT CWaveInOutDlg::OnBufferFull(WPARAM wParam, LPARAM) {
    // A notice of a run that has already ended changes nothing.
    if (static_cast<unsigned>(wParam) == m_nRunSerial && m_nRunState.load() != 0) OnBnClickedStop();
    return 0;
}

void CWaveInOutDlg::OnBnClickedExit() {
    if (m_bCloseDone) return;
    CloseOperation();
    WriteTrace("98-END");
    EndDialog(IDOK);
}

// The Batch button: the multi-selection picker, the progress dialog and the batch thread.
// Runs on the user-interface thread; the batch itself runs on its own thread.
#include "app/WaveInOutDlg.h"
#include "batch/BatchDlg.h"
#include "batch/BatchList.h"
#include "platform/ui/dialog.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/msgbox.h"

namespace {

constexpr const char* kWavOnlyFilter = "音声ファイル(*.wav)|*.wav||";
constexpr const char* kConverterFilter =
    "音声ファイル(*.wav;*.mp3;*.mp4;*.aac;*.flv)|*.wav;*.mp3;*.mp4;*.aac;*.flv|すべてのファイル(*.*)|*.*|";
constexpr const char* kTooManyFiles = "ファイル選択は1024個までです。";

}  // namespace

void CWaveInOutDlg::OnBnClickedBatch() {
    // One batch at a time, and never beside a run.
    const CStartInProgress start(this, "Batch");
    if (!start || IsBatchRunning() || m_nRunState.load() != 0 || m_bCloseDone) return;
    CFileDialog dlg(TRUE, "wav", nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                    m_strConverterPath == "none" ? kWavOnlyFilter : kConverterFilter, this);
    if (dlg.DoModal() != IDOK) return;
    // No batch starts once the program is closing, nor beside a run that began meanwhile.
    if (!StartMayGoOn()) {
        WriteTrace("BatchProc: a run or a close began while the files were chosen; no batch starts");
        return;
    }

    const std::vector<std::string>& chosen = dlg.GetPathNames();
    g_nBatchFiles = 0;
    if (chosen.size() > static_cast<std::size_t>(kBatchMaxFiles)) {
        AfxMessageBox(kTooManyFiles);
        return;
    }
    for (const std::string& path : chosen) g_strBatchFile[g_nBatchFiles++] = path;
    if (g_nBatchFiles == 0) return;

    if (m_pBatchDlg == nullptr) m_pBatchDlg = new CBatchDlg(this);
    m_pBatchDlg->ShowWindow(SW_SHOW);
    m_pBatchDlg->m_bAbort.store(FALSE, std::memory_order_release);

    // The thread of the previous batch has ended (it cleared the running flag last).
    m_batchThread.Join();
    m_bBatchRunning.store(true, std::memory_order_release);
    if (!m_batchThread.Start([this] { BatchThreadProc(this); })) {
        m_bBatchRunning.store(false, std::memory_order_release);
        m_pBatchDlg->ShowWindow(SW_HIDE);
        WriteTrace("BatchProc: thread start failed");
        return;
    }
    m_dwAnalyzeThreadId = m_batchThread.Id();
}

void CWaveInOutDlg::StopBatch() {
    if (m_pBatchDlg != nullptr) m_pBatchDlg->m_bAbort.store(TRUE, std::memory_order_release);
    // The batch thread may be waiting for the answer to a question (the converter's settings)
    // that only this thread could show: it is told "no" and ends instead of waiting for ever.
    platform::ui::DeclineWorkerQuestions(true);
    m_batchThread.Join();
    platform::ui::DeclineWorkerQuestions(false);
}

LRESULT CWaveInOutDlg::OnBatchEnded(WPARAM, LPARAM) {
    if (m_nRunState.load() != 0) return 0;
    UpdateControls();
    m_btnPlay.SetBitmap(m_nPlayState == 2 ? &m_bmpPlay[0] : &m_bmpPlay[1]);
    return 0;
}

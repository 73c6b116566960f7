// Start and end of the two TD-PSOLA threads.
#include <algorithm>

#include "app/WaveInOutDlg.h"

BOOL CWaveInOutDlg::StartThreads() {
    WriteTrace("5-StartThreads");
    m_bPsolaRun.store(TRUE, std::memory_order_release);
    for (auto& channel : m_nPeak)
        for (auto& slot : channel) slot.store(0, std::memory_order_relaxed);
    m_staticBufferFull.ShowWindow(SW_HIDE);
    // The pitch history belongs to the user-interface thread, whose timer adds the new run's
    // points as soon as marks arrive: its times are cleared here, before the threads start.
    if (m_pfHistTime != nullptr) std::fill(m_pfHistTime, m_pfHistTime + 2 * m_nRingLen, 0.0f);
    const bool analyzeStarted = m_analyzeThread.Start([this] { AnalyzeThreadProc(this); });
    const bool synthStarted = analyzeStarted && m_synthThread.Start([this] { SynthesizeThreadProc(this); });
    m_dwAnalyzeThreadId = m_analyzeThread.Id();
    m_dwSynthThreadId = m_synthThread.Id();
    if (!synthStarted) {
        // Without both threads there is no conversion: end what started and say so.
        m_bPsolaRun.store(FALSE, std::memory_order_release);
        JoinEngineThreads();
        WriteTrace("5-ERR thread start failed");
        return FALSE;
    }
    WriteTrace("5-END");
    return TRUE;
}

void CWaveInOutDlg::JoinEngineThreads() {
    m_analyzeThread.Join();
    m_synthThread.Join();
}

unsigned CWaveInOutDlg::AnalyzeThreadProc(void* pDlg) {
    static_cast<CWaveInOutDlg*>(pDlg)->AnalyzeProc();
    return 1;
}

unsigned CWaveInOutDlg::SynthesizeThreadProc(void* pDlg) {
    // A loaded pitch dump drives the chorus synthesis; the choice holds for the whole run.
    auto* dlg = static_cast<CWaveInOutDlg*>(pDlg);
    if (!dlg->m_strChorusFile.empty()) dlg->ChorusSynthesizeProc();
    else dlg->SynthesizeProc();
    return 1;
}

void CWaveInOutDlg::FillVoiceModeCombo() {
    static const char* const kModes[7] = {"歌声", "話声", "3度上を重ねる", "平坦化", "正弦波", "方形波", "鋸波"};
    m_comboVoiceMode.ResetContent();
    for (const char* name : kModes) m_comboVoiceMode.AddString(name);
    m_comboVoiceMode.SetCurSel(1);
}

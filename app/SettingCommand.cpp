// The settings command: the settings dialog runs on copies of the main dialog's values; after OK
// they are taken back. A4, folder, converter, volume graph and MIDI instrument count at once,
// the devices from the next LIVE or OPEN, the voice delay from the next start.
#include <algorithm>
#include <iterator>

#include "app/SettingDlg.h"
#include "app/WaveInOutDlg.h"
#include "platform/ui/msgbox.h"

namespace {
constexpr const char* kLatencyChangedMessage =
    "他の操作をしないで直ちにソルベルを終了して下さい。次回に音声遅延は適応されます。";
}

void CWaveInOutDlg::OnBnClickedSetting() { OnSetting(); }

void CWaveInOutDlg::OnSetting() {
    CSettingDlg dlg(this);
    dlg.m_strConverterPath = m_strConverterPath;
    dlg.m_nA4 = m_nA4.load();
    dlg.m_strAppFolder = m_strAppFolder;
    dlg.m_strOutputFolder = m_strOutputFolder;
    dlg.m_nBatchOverSampling = m_nBatchOverSampling;
    dlg.m_bShowVolumeGraph = m_bShowVolumeGraph;
    dlg.m_nMidiProgram = m_nMidiProgram;
    dlg.m_nWaveInCount = std::clamp(m_nWaveInCount, 0, kDeviceTableSize - 1);
    dlg.m_nWaveOutCount = std::clamp(m_nWaveOutCount, 0, kDeviceTableSize - 1);
    std::copy(std::begin(m_waveInCaps), std::end(m_waveInCaps), std::begin(dlg.m_waveInCaps));
    std::copy(std::begin(m_waveOutCaps), std::end(m_waveOutCaps), std::begin(dlg.m_waveOutCaps));
    dlg.m_nWaveInIndex = m_nWaveInIndex;
    dlg.m_nWaveOutIndex = m_nWaveOutIndex;
    dlg.m_nRunState = m_nRunState.load();
    dlg.m_nLatencyMode = m_nLatencyMode;

    if (dlg.DoModal() == IDOK) {
        m_nA4.store(dlg.m_nA4);
        m_strConverterPath = dlg.m_strConverterPath;
        m_nBatchOverSampling = dlg.m_nBatchOverSampling;
        m_strOutputFolder = dlg.m_strOutputFolder;
        m_bShowVolumeGraph = dlg.m_bShowVolumeGraph;
        // Both device ids follow the new choices (entry 0, the mapper, opens as all bits set).
        m_nWaveInIndex = dlg.m_nWaveInIndex;
        m_nWaveInId = static_cast<UINT>(m_nWaveInIndex - 1);
        m_nWaveOutIndex = dlg.m_nWaveOutIndex;
        m_nWaveOutId = static_cast<UINT>(m_nWaveOutIndex - 1);
        if (dlg.m_nMidiProgram != m_nMidiProgram) {
            m_nMidiProgram = dlg.m_nMidiProgram;
            m_fftScreen.SetMidiProgram(m_nMidiProgram);
        }
        if (dlg.m_nLatencyMode != m_nLatencyMode) {
            AfxMessageBox(kLatencyChangedMessage);
            // Kept for the settings file; the block size stays until the next start.
            m_nLatencyMode = dlg.m_nLatencyMode;
        }
    }
    WriteSystemReport();
}

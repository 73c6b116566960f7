// The Chorus file button: the user picks a pitch dump; when the whole dump reads well, its
// marks, amplitudes and chorus column go into the engine's arrays, its levels, pitch-shift
// switch and oversampling into the dialog, its key range and threshold into the controls, and a
// file run starts on the WAV the dump was made from. A dump that fails any check changes
// nothing. Runs on the user-interface thread while no run is active, so no engine thread reads
// the arrays while they change.
#include <algorithm>

#include "app/WaveInOutDlg.h"
#include "audio/PitchDumpLoader.h"
#include "platform/ui/dialog.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/msgbox.h"

void CWaveInOutDlg::OnBnClickedChorusFile() {
    const CStartInProgress start(this, "Chorus file");
    if (!start || m_nRunState.load() != 0 || IsBatchRunning() || m_bCloseDone) return;
    CFileDialog dlg(TRUE, "txt", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "*.txt|*.txt||", this);
    if (dlg.DoModal() != IDOK) return;
    // The arrays are gone once the program has closed; nothing is loaded then. Nor while a run
    // or a batch reads them: the engine would see them change under it.
    if (!StartMayGoOn() || m_pnMark == nullptr) {
        WriteTrace("Chorus file: a run, a batch or a close began while the dump was chosen; it is not loaded");
        return;
    }

    pitch_dump::ChorusDump dump;
    const pitch_dump::LoadStatus status = pitch_dump::ReadChorusDump(dlg.GetPathName(), 2 * m_nRingLen, &dump);
    if (status != pitch_dump::LoadStatus::Ok) {
        AfxMessageBox(pitch_dump::LoadMessage(status, dump.wavPath));
        return;
    }
    ApplyChorusDump(dump);
    StartFile();
    // A run that did not start forgets the dump: the next OPEN asks for a file again and LIVE
    // converts the microphone as usual.
    if (m_nRunState.load() == 0) {
        m_strChorusFile.clear();
        UpdateControls();
    }
}

void CWaveInOutDlg::ApplyChorusDump(const pitch_dump::ChorusDump& dump) {
    const int n = m_nRingLen;
    const int rows = std::min(static_cast<int>(dump.marks.size()), 2 * n);
    // Rows 0..N-1 are the mark ring itself; rows N..2N-1 wait in the second arrays until the
    // analysis reaches them. Entries without a row are zero in both halves.
    std::fill(m_pnMark, m_pnMark + n, 0);
    std::fill(m_psMarkAmp, m_psMarkAmp + n, static_cast<short>(0));
    std::fill(m_pnMark2, m_pnMark2 + n, 0);
    std::fill(m_psMarkAmp2, m_psMarkAmp2 + n, static_cast<short>(0));
    std::fill(m_pfChorus, m_pfChorus + 2 * n, 127.0f);
    for (int i = 0; i < rows; ++i) {
        const auto row = static_cast<std::size_t>(i);
        if (i < n) {
            m_pnMark[i] = dump.marks[row];
            m_psMarkAmp[i] = dump.amplitudes[row];
        } else {
            m_pnMark2[i - n] = dump.marks[row];
            m_psMarkAmp2[i - n] = dump.amplitudes[row];
        }
        m_pfChorus[i] = dump.chorus[row];
    }

    m_nOverSampling = dump.overSampling;
    m_bPitchShiftEnable = dump.pitchShiftEnable ? TRUE : FALSE;
    m_fMixOriginal = dump.mixOriginal;
    m_fMixChorus = dump.mixChorus;
    m_comboMinKey.SetCurSel(dump.minKey);
    m_comboMaxKey.SetCurSel(dump.maxKey);
    m_editCorrTh.SetWindowText(dump.corrThText);
    m_strChorusFile = dump.wavPath;
    if (!dump.pitchShiftEnable) {
        // Without pitch shifting the main voice is the input itself: both trackbars go to 0 and
        // the ratios follow at once, as they would at the trackbars' next redraw.
        m_sliderPitch.SetPos(0);
        OnCustomDrawPitch(nullptr, nullptr);
        m_sliderFormant.SetPos(0);
        OnCustomDrawFormant(nullptr, nullptr);
    }
}

// The files a run leaves: the output WAV (when the save box is ticked or the batch forces it)
// and, in TD-PSOLA runs with Dump ticked, the pitch dump with its header. Runs on the
// user-interface thread before the engine threads start, or on the batch thread per file.
#include <cstdio>

#include "app/WaveInOutDlg.h"
#include "audio/OutputNames.h"
#include "audio/PitchDump.h"
#include "platform/ui/msgbox.h"

namespace {

constexpr const char* kWavNumbersFull =
    "連番が100を超えています。ファイルを消去して下さい。\r\n今回は_100.wavとして保存します。";
constexpr const char* kDumpNumbersFull =
    "連番が100を超えています。ファイルを消去して下さい。\r\n今回は_dump_100.txtとして保存します。";

}  // namespace

void CWaveInOutDlg::OpenOutputFiles(int nChannels, BOOL bForceSave, int nOverSampling) {
    const bool live = m_nRunState.load() == 1;
    const std::string base = output_names::BaseName(m_strInputFile);

    if (m_chkSave.GetCheck() != BST_UNCHECKED || bForceSave) {
        std::string name;
        if (live) {
            name = output_names::NextLiveName(m_strOutputFolder, "save", ".wav", &m_nSaveCounter);
        } else {
            bool full = false;
            name = output_names::NextFileRunName(m_strOutputFolder, base, "", ".wav", &full);
            if (full) AfxMessageBox(kWavNumbersFull);
        }
        m_saveFile.SetOwner(this);
        // A file still open from an earlier run is finished first, never appended to.
        m_saveFile.Close();
        m_saveFile.SetFormat(nChannels);
        m_saveFile.Reset();
        // A failure has been reported by the file object; the run goes on without a saved file.
        m_saveFile.OpenWrite(name);
    }

    CloseDumpFile();
    if (m_nMethod == 1 || m_chkDump.GetCheck() == BST_UNCHECKED) return;

    std::string name;
    if (live) {
        name = output_names::NextLiveName(m_strOutputFolder, "dump", ".txt", &m_nDumpCounter);
    } else {
        bool full = false;
        name = output_names::NextFileRunName(m_strOutputFolder, base, "_dump", ".txt", &full);
        if (full) AfxMessageBox(kDumpNumbersFull);
    }
    // Binary mode: the line ends are written as CR LF by the formatter.
    std::FILE* fp = std::fopen(name.c_str(), "wb");
    if (fp == nullptr) {
        AfxMessageBox("_dump_xx.txt open error !");
        return;
    }

    pitch_dump::Header h;
    h.liveInput = live;
    h.inputPath = m_strInputFile;
    h.overSampling = nOverSampling;
    h.a4 = m_nA4.load();
    h.minKey = m_comboMinKey.GetCurSel();
    h.maxKey = m_comboMaxKey.GetCurSel();
    const auto keyName = [this](int key) {
        if (key < 0 || key >= kKeyCount) return std::string();
        return std::string(FreqToNoteName(m_nKeyBoundaryHz[key] + 1));
    };
    h.minKeyName = keyName(h.minKey);
    h.maxKeyName = keyName(h.maxKey);
    h.corrThText = m_editCorrTh.GetWindowText().substr(0, 511);
    h.flattening = m_comboVoiceMode.GetCurSel() == 3;
    if (h.flattening) {
        const float target = pitch_dump::TargetHz(h.a4, h.minKey, h.maxKey);
        h.targetNote = FreqToNoteName(static_cast<int>(target + 0.5f));
    }
    const std::string text = pitch_dump::FormatHeader(h);
    std::fwrite(text.data(), 1, text.size(), fp);

    std::lock_guard<CCriticalSection> lock(m_csDump);
    m_pDumpFile = fp;
}

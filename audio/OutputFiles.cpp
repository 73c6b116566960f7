// The files a run leaves: the output WAV (when the save box is ticked or the batch forces it)
// and, in TD-PSOLA runs with Dump ticked, the pitch dump with its header. Runs on the
// user-interface thread before the engine threads start, or on the batch thread per file.
#include <algorithm>
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
constexpr const char* kWavFull =
    "wav16: 出力音声ファイルがWAVファイルの最大サイズ(4GB)に達したので、ここまでで保存を終了しました。";
constexpr const char* kDumpCut = "dump01: ディスクに書き込めないため、ピッチダンプファイルの書き込みを中止しました。";

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
    // The header reaches the file at once, like every row after it.
    if (std::fwrite(text.data(), 1, text.size(), fp) != text.size() || std::fflush(fp) != 0) {
        std::fclose(fp);
        PostMessage(WM_APP_SAVE_NOTICE, kSaveNoticeDumpCut, 0);
        return;
    }

    std::lock_guard<CCriticalSection> lock(m_csDump);
    m_pDumpFile = fp;
}

void CWaveInOutDlg::AppendToSaveFile(const void* samples, LONG bytes) {
    if (!m_saveFile.IsOpen()) return;
    const bool wasFull = m_saveFile.IsFull();
    m_saveFile.Write(samples, bytes);
    // The file stays valid and complete up to its limit; the user learns that it ends there.
    if (!wasFull && m_saveFile.IsFull()) PostMessage(WM_APP_SAVE_NOTICE, kSaveNoticeWavFull, 0);
}

LRESULT CWaveInOutDlg::OnSaveNotice(WPARAM wParam, LPARAM) {
    const char* text = wParam == kSaveNoticeWavFull ? kWavFull : kDumpCut;
    WriteTrace(text);
    AfxMessageBox(text);
    return 0;
}

int CWaveInOutDlg::SamplesBeforeInputEnd(long long first, int count) const {
    const long long end = m_nInputEnd.load(std::memory_order_acquire);
    return static_cast<int>(std::clamp<long long>(end - first, 0, count));
}

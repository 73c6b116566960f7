// The files a run leaves: the output WAV (when the save box is ticked or the batch forces it)
// and, in TD-PSOLA runs with Dump ticked, the pitch dump with its header. Runs on the
// user-interface thread before the engine threads start, or on the batch thread per file.
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "app/WaveInOutDlg.h"
#include "audio/OutputNames.h"
#include "audio/PitchDump.h"
#include "platform/base/fileopen.h"
#include "platform/ui/msgbox.h"

namespace {

constexpr const char* kWavNumbersFull =
    "連番が100を超えています。ファイルを消去して下さい。\r\n今回は_100.wavとして保存します。";
constexpr const char* kDumpNumbersFull =
    "連番が100を超えています。ファイルを消去して下さい。\r\n今回は_dump_100.txtとして保存します。";
constexpr const char* kWavFull =
    "wav16: 出力音声ファイルがWAVファイルの最大サイズ(4GB)に達したので、ここまでで保存を終了しました。";
constexpr const char* kDumpCut = "dump01: ディスクに書き込めないため、ピッチダンプファイルの書き込みを中止しました。";
constexpr const char* kWavWriteFailed = "wav17: ディスクに書き込めないため、出力音声ファイルの保存を中止しました。";

// Names an output and creates it. The first free name is taken; a name found taken only when the
// file is created (made meanwhile, or a link) is passed over for the next one, so no file is
// ever replaced and no link followed. create(name, replace) makes the file (replace: the one
// name left when every number is taken, which the naming rules overwrite; a file there that has
// another name too keeps its data under that name, and a new file takes this one) and returns
// false only when the name exists.
template <typename Create>
void CreateOutput(bool live, const std::string& folder, const std::string& base, const char* prefix, const char* tag,
                  const char* suffix, int* counter, const char* numbersFull, Create create) {
    if (live) {
        for (int tries = 0; tries <= 10000; ++tries) {
            bool allTaken = false;
            const std::string name =
                output_names::NextLiveName(folder, prefix, suffix, counter, output_names::FileExists, &allTaken);
            if (create(name, allTaken)) return;
        }
        return;
    }
    bool told = false;
    for (int tries = 0; tries <= 100; ++tries) {
        bool full = false;
        const std::string name = output_names::NextFileRunName(folder, base, tag, suffix, &full);
        if (full && !told) {
            AfxMessageBox(numbersFull);
            told = true;
        }
        if (create(name, full)) return;
    }
}

}  // namespace

void CWaveInOutDlg::OpenOutputFiles(int nChannels, BOOL bForceSave, int nOverSampling) {
    const bool live = m_nRunState.load() == 1;
    const std::string base = output_names::BaseName(m_strInputFile);

    const bool save = m_chkSave.GetCheck() != BST_UNCHECKED || bForceSave;
    if (save) {
        m_saveFile.SetOwner(this);
        // A file still open from an earlier run is finished first, never appended to.
        m_saveFile.Close();
        m_saveFile.SetFormat(nChannels);
        m_saveFile.Reset();
        // A failure has been reported by the file object; the run goes on without a saved file.
        CreateOutput(live, m_strOutputFolder, base, "save", "", ".wav", &m_nSaveCounter, kWavNumbersFull,
                     [this](const std::string& name, bool replace) {
                         return m_saveFile.OpenWrite(name, !replace) != MMIOERR_FILEEXISTS;
                     });
    }

    CloseDumpFile();
    m_bBatchDumpCut.store(false);
    if (m_nMethod == 1 || m_chkDump.GetCheck() == BST_UNCHECKED) return;
    // A batch file whose output WAV could not be made is given up: it gets no dump either.
    if (bForceSave && !m_saveFile.IsOpen()) return;

    std::string name;
    std::FILE* fp = nullptr;
    bool openFailed = false;
    bool created = false;
    CreateOutput(live, m_strOutputFolder, base, "dump", "_dump", ".txt", &m_nDumpCounter, kDumpNumbersFull,
                 [&](const std::string& candidate, bool replace) {
                     // Binary mode: the line ends are written as CR LF by the formatter.
                     fp = replace ? platform::OpenForOverwrite(candidate)
                                  : platform::CreateNewFile(candidate);
                     if (fp == nullptr && !replace && errno == EEXIST) return false;
                     name = candidate;
                     openFailed = fp == nullptr;
                     created = !replace;
                     return true;
                 });
    if (fp == nullptr) {
        if (openFailed) AfxMessageBox("_dump_xx.txt open error !");
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
    // The header reaches the file at once, like every row after it. A dump made here whose
    // header cannot be written holds nothing of use and goes again.
    if (std::fwrite(text.data(), 1, text.size(), fp) != text.size() || std::fflush(fp) != 0) {
        if (created) platform::RemoveCreatedFile(fileno(fp), name);
        std::fclose(fp);
        TellDumpCut();
        return;
    }

    std::lock_guard<CCriticalSection> lock(m_csDump);
    m_pDumpFile = fp;
}

void CWaveInOutDlg::AppendToSaveFile(const void* samples, LONG bytes) {
    if (!m_saveFile.IsOpen() || m_saveFile.WriteFailed()) return;
    const bool wasFull = m_saveFile.IsFull();
    m_saveFile.Write(samples, bytes);
    // The file stays valid and complete up to its limit; the user learns that it ends there.
    if (!wasFull && m_saveFile.IsFull()) PostMessage(WM_APP_SAVE_NOTICE, kSaveNoticeWavFull, 0);
    // A full disk: the file keeps what it got, the run goes on unsaved, and the user learns it now.
    if (m_saveFile.WriteFailed()) PostMessage(WM_APP_SAVE_NOTICE, kSaveNoticeWavWriteFailed, 0);
}

void CWaveInOutDlg::TellDumpCut() {
    if (m_bBatchRunning.load(std::memory_order_acquire)) {
        m_bBatchDumpCut.store(true);
        return;
    }
    PostMessage(WM_APP_SAVE_NOTICE, kSaveNoticeDumpCut, 0);
}

LRESULT CWaveInOutDlg::OnSaveNotice(WPARAM wParam, LPARAM) {
    const char* text = wParam == kSaveNoticeWavFull ? kWavFull : wParam == kSaveNoticeWavWriteFailed ? kWavWriteFailed : kDumpCut;
    WriteTrace(text);
    AfxMessageBox(text);
    return 0;
}

int CWaveInOutDlg::SamplesBeforeInputEnd(long long first, int count) const {
    const long long end = m_nInputEnd.load(std::memory_order_acquire);
    return static_cast<int>(std::clamp<long long>(end - first, 0, count));
}

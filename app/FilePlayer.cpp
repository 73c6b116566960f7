// File runs: choosing and opening the input file, and the file player thread that feeds the
// engine one block of the file each time the playback device has finished a buffer.
//
// Threads: the player is the only writer of the input ring, m_nInputCount and the peaks during
// a file run; it stores the samples before the count that announces them (release) and waits
// until the engine threads have published (release) that they are past the ring entries it
// reuses (InputRingHasRoom, acquire). m_bNextBlock is raised by the
// user-interface thread at every finished playback buffer and cleared by the player; a player
// that finds it clear sleeps 2 ms and looks again. At the end of the file the player posts
// WM_APP_FILE_ENDED and ends; STOP (and PLAY for Repeat) then run on the user-interface thread.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "audio/OutputNames.h"
#include "platform/base/clock.h"
#include "platform/ui/dialog.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/msgbox.h"

namespace {

constexpr const char* kWavOnlyFilter = "音声ファイル(*.wav)|*.wav||";
constexpr const char* kConverterFilter =
    "音声ファイル(*.wav;*.mp3;*.mp4;*.aac;*.flv)|*.wav;*.mp3;*.mp4;*.aac;*.flv|すべてのファイル(*.*)|*.*|";
constexpr const char* kNotPlayable = "再生できる形式のファイルではありません。";
constexpr const char* kWrongFormat = "16bit,44.1kHzでないWAVファイルは利用できません。";
constexpr const char* kConverterFailed = "EcoDecoTooLでの変換に失敗しました。";

// Silent blocks after the end of a file: the engine puts a block's output two playback buffers
// ahead, so two more blocks bring the file's last block to the device.
constexpr int kTailBlocks = 2;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool AcceptedFormat(const CWaveFile& file) {
    const WAVEFORMATEX& f = file.m_fmt;
    return file.IsPcm() && (f.nChannels == 1 || f.nChannels == 2) && f.wBitsPerSample == 16 && f.nSamplesPerSec == 44100;
}

}  // namespace

void CWaveInOutDlg::OnDropFiles(HDROP hDropInfo) {
    // The first dropped file, whole (a cut path would name another file); the others are ignored.
    const UINT length = DragQueryFile(hDropInfo, 0, nullptr, 0);
    if (length > 0) {
        std::string name(length + 1, '\0');
        DragQueryFile(hDropInfo, 0, name.data(), length + 1);
        name.resize(length);
        m_strDropFile = name;
        // A drop acts as a click on OPEN with that file. Inside another start (its picker or
        // wait) it starts nothing: the file stays for the next OPEN, as during a run.
        const CStartInProgress start(this, "Dropped file");
        if (start) OpenHeld();
    }
    DragFinish(hDropInfo);
}

BOOL CWaveInOutDlg::OpenInputFile() {
    // Once the program is closing no file run starts: the buffers it would use are going.
    if (m_bCloseDone || platform::ui::CloseRequested()) return FALSE;
    std::string name;
    if (m_bReplay) {
        m_bReplay = FALSE;
        name = m_strLastFile;
    } else {
        const bool converter = m_strConverterPath != settings_default::kConverterPath;
        if (!m_strChorusFile.empty()) {
            name = m_strChorusFile;
        } else if (!m_strDropFile.empty()) {
            name = m_strDropFile;
            m_strDropFile.clear();
        } else {
            CFileDialog dlg(TRUE, "wav", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                            converter ? kConverterFilter : kWavOnlyFilter, this);
            if (dlg.DoModal() != IDOK) return FALSE;
            name = dlg.GetPathName();
            // Nothing may have begun while the picker was open.
            if (!StartMayGoOn()) {
                WriteTrace("2-01 a run or a close began while the file was chosen; no run starts");
                return FALSE;
            }
        }
        m_strLastFile = name;
        m_strInputFile = name;
        // Files of other formats go through the outside converter into temp.wav.
        if (Upper(output_names::Extension(name)) != ".WAV") {
            if (!converter) {
                AfxMessageBox(kNotPlayable);
                return FALSE;
            }
            if (!ConvertInputFile(&name)) return FALSE;
        }
    }

    m_inputFile.SetOwner(this);
    m_inputFile.Reset();
    if (m_inputFile.OpenRead(name) != 0) return FALSE;
    WAVEFORMATEX* fmt = &m_inputFile.m_fmt;
    if (!AcceptedFormat(m_inputFile)) {
        // A WAV in another format is converted once, when a converter is set.
        const bool convertible = name == m_strInputFile && m_strConverterPath != settings_default::kConverterPath &&
                                 Upper(output_names::Extension(name)) == ".WAV";
        if (!convertible) {
            AfxMessageBox(kWrongFormat);
            m_inputFile.Close();
            return FALSE;
        }
        m_inputFile.Close();
        if (!ConvertInputFile(&name)) return FALSE;
        m_inputFile.Reset();
        if (m_inputFile.OpenRead(name) != 0) return FALSE;
        fmt = &m_inputFile.m_fmt;
        if (!AcceptedFormat(m_inputFile)) {
            AfxMessageBox(kWrongFormat);
            m_inputFile.Close();
            return FALSE;
        }
    }
    // What the timer and the player derive from the format follows from channels, bits and
    // rate, whatever the header stated.
    fmt->nBlockAlign = static_cast<WORD>(2 * fmt->nChannels);
    fmt->nAvgBytesPerSec = 44100u * fmt->nBlockAlign;

    SetWindowText(output_names::BaseName(m_strInputFile) + output_names::Extension(m_strInputFile));
    return TRUE;
}

BOOL CWaveInOutDlg::ConvertInputFile(std::string* name) {
    const std::string temp = m_strAppFolder + "temp.wav";
    BOOL told = FALSE;
    if (!RunConverter(m_strLastFile, temp, &told)) {
        // A converter that failed or wrote nothing is told as the batch tells it.
        if (!told) AfxMessageBox(kConverterFailed);
        return FALSE;
    }
    // The wait handled what came meanwhile; nothing of it may have begun a run or a close.
    if (!StartMayGoOn()) {
        WriteTrace("2-01 a run or a close began during the conversion; no run starts");
        return FALSE;
    }
    m_strLastFile = temp;
    *name = temp;
    return TRUE;
}

void CWaveInOutDlg::StartWavePlayThread() {
    m_bPlayThreadRun.store(TRUE, std::memory_order_release);
    m_nInputCount.store(0, std::memory_order_release);
    m_bNextBlock.store(FALSE, std::memory_order_release);
    if (!m_playThread.Start([this] { WavePlayThreadProc(this); })) {
        m_bPlayThreadRun.store(FALSE, std::memory_order_release);
        WriteTrace("9-ERR thread start failed");
    }
    m_dwPlayThreadId = m_playThread.Id();
}

unsigned CWaveInOutDlg::WavePlayThreadProc(void* pDlg) {
    static_cast<CWaveInOutDlg*>(pDlg)->WavePlayProc();
    return 1;
}

void CWaveInOutDlg::WavePlayProc() {
    WriteTrace("9-WavePlayProc(Thread)");
    const unsigned serial = m_nRunSerial;
    const int ch = m_inputFile.m_fmt.nChannels == 2 ? 2 : 1;
    const int half = m_nBlockBytes / 2;  // samples of one block
    std::vector<short> buf(static_cast<std::size_t>(half * ch), 0);
    bool ended = false;

    // After the end of the file, kTailBlocks silent blocks carry its last block through the
    // engine and onto the playback device; the run ends at the next finished buffer after them,
    // once the file's end has been heard. -1 while the file lasts.
    int tailBlocks = -1;
    bool holding = false;  // the next block waits for room; the trace has said so

    while (m_bPlayThreadRun.load(std::memory_order_acquire)) {
        if (!m_bNextBlock.load(std::memory_order_acquire)) {
            Sleep(2);
            continue;
        }
        if (tailBlocks == 0) {
            ended = true;
            break;
        }
        const std::int64_t count = m_nInputCount.load(std::memory_order_relaxed);
        // The block waits until the engine has passed the ring entries it overwrites (the
        // phase vocoder: has taken the block before): nothing of the file is lost, the
        // playback starves instead, as in a stall.
        if (!InputRingHasRoom(count)) {
            if (!holding && IsTracing()) WriteTrace("File block held at " + std::to_string(count) + ": the engine is behind");
            holding = true;
            Sleep(1);
            continue;
        }
        holding = false;
        WriteTrace("9-01");
        const unsigned slot = static_cast<unsigned>((count * 2 / m_nBlockBytes) & 3);
        int peakL = 0;
        int peakR = 0;
        int stored = 0;  // samples of the file in this block
        if (m_nMethod == 1) {
            // The newest block alone at the start of the buffer, interleaved as in the file.
            const LONG got = tailBlocks < 0 ? m_inputFile.Read(buf.data(), m_nBlockBytes) : 0;
            const int n = got > 0 ? static_cast<int>(got / 2) : 0;
            m_vocoderInputSeq.BeginWrite();
            for (int i = 0; i < n; ++i) {
                const short s = buf[static_cast<std::size_t>(i)];
                CBlockSeq::Store(&m_pfInputBuf[i], static_cast<float>(s));
                const int a = std::abs(static_cast<int>(s));
                if (ch == 2 && (i & 1)) peakR = std::max(peakR, a);
                else peakL = std::max(peakL, a);
            }
            for (int i = n; i < half; ++i) CBlockSeq::Store(&m_pfInputBuf[i], 0.0f);
            m_vocoderInputSeq.EndWrite();
            if (ch == 1) peakR = peakL;
            if (IsTracing()) WriteTrace("9-03 " + std::to_string(ch) + "ch," + std::to_string(n));
            stored = n;
        } else {
            // Mono into the ring at the running count; a stereo file as (left + right) / 2.
            const LONG got = tailBlocks < 0 ? m_inputFile.Read(buf.data(), m_nBlockBytes * ch) : 0;
            const int f = got > 0 ? static_cast<int>(got / 2 / ch) : 0;
            for (int k = 0; k < f; ++k) {
                float v;
                if (ch == 2) {
                    const short l = buf[static_cast<std::size_t>(2 * k)];
                    const short r = buf[static_cast<std::size_t>(2 * k + 1)];
                    v = (static_cast<float>(l) + static_cast<float>(r)) * 0.5f;
                    peakL = std::max(peakL, std::abs(static_cast<int>(l)));
                    peakR = std::max(peakR, std::abs(static_cast<int>(r)));
                } else {
                    const short s = buf[static_cast<std::size_t>(k)];
                    v = static_cast<float>(s);
                    peakL = std::max(peakL, std::abs(static_cast<int>(s)));
                }
                m_pfInputBuf[(count + k) & m_nRingMask] = v;
            }
            if (ch == 1) peakR = peakL;
            if (IsTracing()) WriteTrace("9-02 " + std::to_string(ch) + "ch," + std::to_string(f));
            for (int k = f; k < half; ++k) m_pfInputBuf[(count + k) & m_nRingMask] = 0.0f;
            stored = f;
        }
        m_nPeak[0][slot].store(peakL, std::memory_order_relaxed);
        m_nPeak[1][slot].store(peakR, std::memory_order_relaxed);
        if (tailBlocks < 0 && stored < half) {
            // End of the file (a read error counts as one), in the units of the input count.
            m_nInputEnd.store(static_cast<long long>(count) + stored, std::memory_order_release);
            tailBlocks = kTailBlocks;
        } else if (tailBlocks > 0) {
            --tailBlocks;
        }
        // The samples are in place before the count that announces them.
        m_nInputCount.store(count + half, std::memory_order_release);
        m_bNextBlock.store(FALSE, std::memory_order_release);
        Sleep(2);
    }

    if (ended) {
        m_bPlayThreadRun.store(FALSE, std::memory_order_release);
        m_bNextBlock.store(FALSE, std::memory_order_release);
    }
    if (ended) {
        const LPARAM repeat = m_chkRepeat.GetCheck() != BST_UNCHECKED ? 1 : 0;
        PostMessage(WM_APP_FILE_ENDED, static_cast<WPARAM>(serial), repeat);
    }
    WriteTrace("9-END");
}

LRESULT CWaveInOutDlg::OnFileEnded(WPARAM wParam, LPARAM lParam) {
    // A notice of a run that has already ended (the user pressed STOP first) changes nothing.
    if (static_cast<unsigned>(wParam) != m_nRunSerial || m_nRunState.load() != 2) return 0;
    OnBnClickedStop();
    if (lParam != 0) OnBnClickedPlay();
    return 0;
}

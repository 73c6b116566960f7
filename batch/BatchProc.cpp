// The batch worker: converts the files of the batch list one after the other on the batch
// thread. Per file: name it in the progress dialog, pass a file of another format through the
// outside converter, open and check the WAV, read it whole mixed to mono and oversampled into
// buffers of its own, open the output files, convert (BatchPsola), close the output files and
// put the live buffers back. The main dialog is hidden for the whole batch.
//
// Threads: the batch thread writes the engine's buffers and counters of the main dialog without
// locks; no engine thread runs during a batch (the Batch button is offered only while nothing
// runs, and the main dialog is hidden). Window changes go to the user-interface thread through
// the progress dialog's queue; OK-only message boxes are posted by the window system.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "audio/OutputNames.h"
#include "batch/BatchDlg.h"
#include "batch/BatchList.h"
#include "platform/base/clock.h"
#include "platform/ui/msgbox.h"

std::string g_strBatchFile[kBatchMaxFiles];
int g_nBatchFiles = 0;
int g_nOverSampling = 1;
float* g_pfBatchFrame = nullptr;
float* g_pfBatchCorr = nullptr;

namespace {

constexpr const char* kConverterFailed = "EcoDecoTooLでの変換に失敗しました。";
constexpr const char* kOpenFailed = "Wavファイルの入力に失敗しました。";
constexpr const char* kWrongFormat = "16bit,44.1kHzでないWAVファイルは利用できません。";
constexpr const char* kTooLarge = "データが大き過ぎます。";
constexpr const char* kNoMemory = "メモリが不足しています。";
constexpr const char* kShortRead = "nRead != m_nDataSize";

// Zero-filled memory for the per-file buffers (fresh pages from the system are zero already).
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Buffer = std::unique_ptr<T[], FreeDeleter>;

template <typename T>
Buffer<T> Zeroed(long long count) {
    if (count <= 0) count = 1;
    return Buffer<T>(static_cast<T*>(std::calloc(static_cast<std::size_t>(count), sizeof(T))));
}

// The buffers of one file; while swapped in they stand in place of the live ones.
struct FileBuffers {
    Buffer<float> input;
    Buffer<float> ola;
    Buffer<std::int64_t> marks;
    Buffer<short> amps;
    Buffer<float> frame;
    Buffer<float> corr;
};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Frames read per step while the data chunk is converted.
constexpr long long kReadFrames = 1 << 18;

}  // namespace

unsigned CWaveInOutDlg::BatchThreadProc(void* pDlg) {
    static_cast<CWaveInOutDlg*>(pDlg)->BatchProc();
    return 1;
}

void CWaveInOutDlg::BatchPostText(CWnd* target, const std::string& text) {
    if (m_pBatchDlg != nullptr) m_pBatchDlg->PostText(target, text);
    else target->SetWindowText(text);
}

void CWaveInOutDlg::BatchPostShow(CWnd* target, int nCmdShow) {
    if (m_pBatchDlg != nullptr) m_pBatchDlg->PostShow(target, nCmdShow);
    else target->ShowWindow(nCmdShow);
}

void CWaveInOutDlg::BatchProc() {
    BatchPostShow(this, SW_HIDE);
    const DWORD t0 = timeGetTime();
    bool failed = false;
    const int files = std::clamp(g_nBatchFiles, 0, kBatchMaxFiles);
    for (int i = 0; i < files; ++i) {
        // An abort that came between two files ends the batch before the next one starts.
        if (m_pBatchDlg != nullptr && m_pBatchDlg->m_bAbort.load(std::memory_order_acquire)) break;
        const int result = BatchFile(i);
        if (result > 0) failed = true;
        if (result != 0) break;
    }
    if (m_pBatchDlg != nullptr) BatchPostShow(m_pBatchDlg, SW_HIDE);
    BatchPostShow(this, SW_SHOW);
    if (!failed) {
        char text[64];
        std::snprintf(text, sizeof text, "%.3f sec", static_cast<float>(timeGetTime() - t0) * 0.001f);
        BatchPostText(&m_staticProcTime, text);
    }
    m_bBatchRunning.store(false, std::memory_order_release);
    PostMessage(WM_APP_BATCH_ENDED);
}

int CWaveInOutDlg::BatchFile(int index) {
    const std::string& chosen = g_strBatchFile[index];
    m_strLastFile = chosen;
    m_strInputFile = chosen;
    const std::string name = output_names::BaseName(chosen);
    const std::string ext = output_names::Extension(chosen);
    if (m_pBatchDlg != nullptr) {
        char counter[96];
        std::snprintf(counter, sizeof counter, "TD-PSOLA バッチ処理中  %d/%d", index + 1, g_nBatchFiles);
        BatchPostText(&m_pBatchDlg->m_staticTitle, counter);
        BatchPostText(&m_pBatchDlg->m_staticFile, name + ext);
    }

    // Another format goes through the converter when one is set.
    if (Upper(ext) != ".WAV" && m_strConverterPath != "none") {
        const std::string temp = m_strAppFolder + "temp.wav";
        if (!RunConverter(chosen, temp)) {
            // A converter ended by 中止 did not fail: the batch just ends.
            if (m_pBatchDlg != nullptr && m_pBatchDlg->m_bAbort.load(std::memory_order_acquire)) return -1;
            AfxMessageBox(kConverterFailed);
            return 1;
        }
        m_strLastFile = temp;
    }

    const int factor = std::clamp(m_nBatchOverSampling, 1, 4);
    g_nOverSampling = factor;
    m_inputFile.SetOwner(this);
    m_inputFile.Reset();
    if (m_inputFile.OpenRead(m_strLastFile) != 0) {
        AfxMessageBox(kOpenFailed);
        if (m_inputFile.IsOpen()) m_inputFile.Close();
        return 1;
    }
    const WAVEFORMATEX fmt = m_inputFile.m_fmt;
    // Samples that are not plain PCM (compressed, float, an extensible layout of another kind)
    // are refused as OPEN refuses them, not read as if they were.
    if (!m_inputFile.IsPcm() || (fmt.nChannels != 1 && fmt.nChannels != 2) || fmt.wBitsPerSample != 16 ||
        fmt.nSamplesPerSec != 44100) {
        AfxMessageBox(kWrongFormat);
        m_inputFile.Close();
        return 1;
    }
    const int channels = fmt.nChannels;
    const long long frames = static_cast<long long>(m_inputFile.m_dwDataSize / 2) / channels;
    if (frames >= (1LL << 30) / factor) {
        AfxMessageBox(kTooLarge);
        m_inputFile.Close();
        return 1;
    }

    // A data chunk that claims more than the whole file holds (a cut-off download) would be read
    // short anyway: it is told so before any buffer is made for the size it claims.
    std::error_code sizeError;
    const auto fileBytes = std::filesystem::file_size(m_strLastFile, sizeError);
    if (!sizeError && static_cast<unsigned long long>(m_inputFile.m_dwDataSize) > fileBytes) {
        m_inputFile.Close();
        AfxMessageBox(kShortRead);
        return 1;
    }

    // Buffers of the file's own, made apart from the live ones (which stay as they are).
    const long long total = frames * factor;
    // Room for every grain of the overlap-add: twice the input, and the ceilings of the grain
    // spacings on top, within what an int position reaches.
    const long long olaLen = std::min(2 * total + total / 4 + 16384LL * factor, 0x7FFFFFFFLL);
    const long long markLen = std::max((frames / 2) * factor, 2LL);
    FileBuffers fb;
    fb.input = Zeroed<float>(total);
    fb.ola = Zeroed<float>(olaLen);
    fb.marks = Zeroed<std::int64_t>(markLen);
    fb.amps = Zeroed<short>(markLen);
    fb.frame = Zeroed<float>(static_cast<long long>(factor) * kBatchFrameSlots);
    fb.corr = Zeroed<float>(static_cast<long long>(factor) * kBatchCorrSlots);
    std::vector<short> read;
    bool allocated = fb.input && fb.ola && fb.marks && fb.amps && fb.frame && fb.corr;
    if (allocated) {
        try {
            read.resize(static_cast<std::size_t>(std::min(frames, kReadFrames) * channels));
        } catch (const std::bad_alloc&) {
            allocated = false;
        }
    }
    if (!allocated) {
        AfxMessageBox(kNoMemory);
        m_inputFile.Close();
        return 1;
    }

    // The data chunk, mixed to mono and oversampled: input[n F + j] = (1 - t) x[n-1] + t x[n]
    // with t = j / F and x[-1] = x[0] (the interpolation runs one source sample behind).
    float* input = fb.input.get();
    const float invF = 1.0f / static_cast<float>(factor);
    long long framesRead = 0;
    float previous = 0.0f;
    while (framesRead < frames) {
        const long long want = std::min(frames - framesRead, kReadFrames);
        const LONG bytes = static_cast<LONG>(want * channels * 2);
        const LONG got = m_inputFile.Read(read.data(), bytes);
        const long long n = got > 0 ? (got / 2) / channels : 0;
        for (long long i = 0; i < n; ++i) {
            const float x = channels == 2 ? (static_cast<float>(read[static_cast<std::size_t>(2 * i)]) +
                                             static_cast<float>(read[static_cast<std::size_t>(2 * i + 1)])) *
                                                0.5f
                                          : static_cast<float>(read[static_cast<std::size_t>(i)]);
            const long long frame = framesRead + i;
            if (frame == 0) previous = x;
            if (factor == 1) {
                input[frame] = x;
            } else {
                for (int j = 0; j < factor; ++j) {
                    const float t = static_cast<float>(j) * invF;
                    input[frame * factor + j] = (1.0f - t) * previous + t * x;
                }
            }
            previous = x;
        }
        framesRead += n;
        if (got != bytes) break;
    }
    m_inputFile.Close();
    read = std::vector<short>();
    if (framesRead != frames) {
        AfxMessageBox(kShortRead);
        return 1;
    }

    // The file's buffers take the live ones' places for the conversion. This is safe because a
    // batch and a run never overlap: the picker starts no batch beside a run, LIVE and OPEN start
    // no run while a batch goes on, and the main window is hidden until the batch ends, so no
    // engine or player thread reads these pointers now. The batch claims the run state here, so
    // a run that did start anyway finds it taken, and this file is refused instead.
    int idle = 0;
    if (!m_nRunState.compare_exchange_strong(idle, 2) || m_bThreadRun.load(std::memory_order_acquire) ||
        m_bPlayThreadRun.load(std::memory_order_acquire)) {
        if (idle == 0) m_nRunState.store(0);
        WriteTrace("BatchFile: a run is going on; the batch ends");
        return 1;
    }
    float* liveInput = m_pfInputBuf;
    float* liveOla = m_pfOla;
    std::int64_t* liveMarks = m_pnMark;
    short* liveAmps = m_psMarkAmp;
    m_pfInputBuf = input;
    m_pfOla = fb.ola.get();
    m_pnMark = fb.marks.get();
    m_psMarkAmp = fb.amps.get();
    g_pfBatchFrame = fb.frame.get();
    g_pfBatchCorr = fb.corr.get();
    m_nBatchOlaLen = olaLen;
    m_nBatchMarkLen = markLen;

    m_nInputCount.store(static_cast<int>(total), std::memory_order_release);
    // The output WAV whatever the save box says, and the pitch dump when Dump is ticked.
    OpenOutputFiles(1, TRUE, factor);
    const bool outputOpen = m_saveFile.IsOpen();
    m_nBatchStatus = 0;
    if (outputOpen) BatchPsola();
    // A file whose output could not be written (a full disk) gives one message: the WAV's, or
    // else the dump's. The WAV keeps what it got; a failed WAV ends the batch.
    const bool writeFailed = outputOpen && m_saveFile.WriteFailed();
    if (writeFailed) {
        PostMessage(WM_APP_SAVE_NOTICE, kSaveNoticeWavWriteFailed, 0);
    } else if (m_bBatchDumpCut.exchange(false)) {
        PostMessage(WM_APP_SAVE_NOTICE, kSaveNoticeDumpCut, 0);
    }

    m_saveFile.Close();
    CloseDumpFile();
    m_nRunState.store(0);
    m_nPlayState = 0;
    m_bReplay = FALSE;
    m_nMarkCount.store(0);
    m_nInputCount.store(0, std::memory_order_release);
    // The live buffers are back, untouched; the file's are freed with fb.
    m_pfInputBuf = liveInput;
    m_pfOla = liveOla;
    m_pnMark = liveMarks;
    m_psMarkAmp = liveAmps;
    g_pfBatchFrame = nullptr;
    g_pfBatchCorr = nullptr;
    m_nBatchOlaLen = 0;
    m_nBatchMarkLen = 0;

    // An output that could not be opened or written ends the batch like the other failures (its
    // message has been shown).
    if (!outputOpen || writeFailed) return 1;
    return m_nBatchStatus == -1 ? -1 : 0;
}

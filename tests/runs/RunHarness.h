// A main dialog set up as start-up would leave it, driven without a window: the test thread
// stands in for the user-interface thread and delivers the posted device messages.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/WaveInOutDlg.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/msgqueue.h"
#include "platform/wave/wavfileio.h"
#include "support/EngineHarness.h"
#include "support/CorrelationPitch.h"
#include "support/PitchTrack.h"
#include "support/ScopedEnv.h"
#include "support/StrictWav.h"
#include "support/TempFolder.h"
#include "support/TestData.h"

namespace runtest {

// The main dialog itself: its own window procedure routes the device notifications to the wrappers.
using RunDialog = CWaveInOutDlg;

// The dialog in the state start-up leaves it in: buffers, key table, combos, device tables,
// the PLAY images and the file objects' owner.
inline void SetUpLikeStartUp(CWaveInOutDlg& dlg, const std::string& outputFolder, int latencyMode = 0) {
    PrepareEngine(dlg, latencyMode);
    dlg.m_sliderPitch.SetRange(-48, 48);
    dlg.m_sliderFormant.SetRange(-24, 24);
    dlg.m_strOutputFolder = outputFolder;
    dlg.m_saveFile.SetOwner(&dlg);
    dlg.m_inputFile.SetOwner(&dlg);
    dlg.m_waveInFmt.SetOwner(&dlg);
    dlg.m_waveOutFmt.SetOwner(&dlg);
    dlg.BuildDeviceTables();
    const UINT playImages[4] = {139, 140, 137, 138};
    for (int i = 0; i < 4; ++i) dlg.m_bmpPlay[i].LoadBitmap(playImages[i]);
    dlg.m_btnPlay.SetBitmap(&dlg.m_bmpPlay[1]);
}

// Delivers posted messages until done() holds; false when the limit passed first (the limit
// only keeps a broken run from hanging the suite).
inline bool PumpUntil(const std::function<bool()>& done, double limitSeconds = 60.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
    while (!done()) {
        if (platform::ui::DeliverPostedMessages() == 0) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

using ::ScopedEnv;

// Writes a 16-bit PCM file of interleaved samples.
inline void WriteWav(const std::string& path, const std::vector<short>& samples, WORD channels = 1,
                     DWORD rate = 44100) {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = static_cast<WORD>(2 * channels);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    platform::wave::CWavWriter w;
    std::string error;
    ASSERT_TRUE(w.Open(path, f, &error)) << error;
    ASSERT_TRUE(w.Write(samples.data(), samples.size() * sizeof(short)));
    ASSERT_TRUE(w.Close());
}

inline std::vector<short> Tone(double hz, int n, double amplitude = 8000.0) {
    std::vector<short> s(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) s[static_cast<std::size_t>(i)] = static_cast<short>(amplitude * std::sin(2.0 * M_PI * hz * i / 44100.0));
    return s;
}

inline void PumpFor(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    PumpUntil([&] { return std::chrono::steady_clock::now() > end; }, seconds + 1.0);
}

// Speed of the virtual devices for a test: the most they run at. They wait for the engine
// whenever it falls behind, also under the slow thread sanitizer.
inline std::string DeviceSpeed(int fast) { return std::to_string(fast); }
#if defined(__SANITIZE_THREAD__)
// Blocks a start/stop cycle lets through at most (fewer under the slow sanitizer).
inline constexpr int kCycleBlocks = 2;
#else
inline constexpr int kCycleBlocks = 4;
#endif

using ::TestDataFile;

inline bool Exists(const std::string& path) { return std::ifstream(path).good(); }

using riffbytes::ReadFile;

inline std::vector<std::string> TraceLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Reads a WAV file made by another program, as leniently as the program's own reader.
inline platform::wave::WavAudio ReadForeignWav(const std::string& path) {
    platform::wave::WavAudio audio;
    std::string error;
    EXPECT_TRUE(platform::wave::ReadWavFile(path, &audio, &error)) << path << ": " << error;
    return audio;
}

// Reads a WAV file strictly (sizes true to the file, data not empty unless allowEmpty).
inline platform::wave::WavAudio ReadWav(const std::string& path, bool allowEmpty = false) {
    strictwav::Audio strict;
    std::string error;
    strictwav::Options options;
    options.allowEmpty = allowEmpty;
    EXPECT_TRUE(strictwav::Read(path, &strict, &error, options)) << path << ": " << error;
    platform::wave::WavAudio audio;
    audio.format = strict.format;
    audio.samples = std::move(strict.samples);
    return audio;
}

inline std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const auto& box : platform::ui::TakeHeadlessMessageBoxes()) texts.push_back(box.text);
    return texts;
}

using pitchtrack::FrameF0;
using pitchtrack::Median;
using pitchtrack::MedianPitchRatio;
using pitchtrack::PitchRatios;

// Mono mix of interleaved stereo samples.
inline std::vector<short> Mono(const platform::wave::WavAudio& a) {
    if (a.format.nChannels == 1) return std::vector<short>(a.samples.begin(), a.samples.end());
    std::vector<short> m(a.samples.size() / 2);
    for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<short>((a.samples[2 * i] + a.samples[2 * i + 1]) / 2);
    return m;
}

// Lag (within lo..hi, in steps of 64) at which the 256-sample energy envelopes of a and b match best.
inline long EnvelopeLag(const std::vector<short>& a, const std::vector<short>& b, long lo, long hi) {
    const auto envelope = [](const std::vector<short>& s) {
        std::vector<double> e(s.size() / 64, 0.0);
        for (std::size_t i = 0; i < e.size(); ++i) {
            double sum = 0.0;
            for (std::size_t k = 0; k < 64; ++k) sum += std::abs(double(s[i * 64 + k]));
            e[i] = sum;
        }
        return e;
    };
    const std::vector<double> ea = envelope(a);
    const std::vector<double> eb = envelope(b);
    long bestLag = lo;
    double best = -1.0;
    for (long lag = lo; lag <= hi; lag += 64) {
        const long shift = lag / 64;
        double c = 0.0;
        double na = 0.0;
        double nb = 0.0;
        for (std::size_t i = 0; i < ea.size(); ++i) {
            const long j = static_cast<long>(i) + shift;
            if (j < 0 || j >= static_cast<long>(eb.size())) continue;
            c += ea[i] * eb[static_cast<std::size_t>(j)];
            na += ea[i] * ea[i];
            nb += eb[static_cast<std::size_t>(j)] * eb[static_cast<std::size_t>(j)];
        }
        const double score = (na > 0.0 && nb > 0.0) ? c / std::sqrt(na * nb) : 0.0;
        if (score > best) {
            best = score;
            bestLag = lag;
        }
    }
    return bestLag;
}

inline int CountLines(const std::string& tracePath, const std::string& line) {
    int n = 0;
    for (const std::string& l : TraceLines(tracePath)) n += l == line ? 1 : 0;
    return n;
}

// A dialog set up as start-up leaves it, on the virtual devices: the recording device delivers
// `input`, the playback device records into played.wav, both `speed` times faster than real
// time; the trace is on.
class VirtualRunTest : public ::testing::Test {
protected:
    void StartDialog(const std::string& input, int speed) {
        std::FILE* trace = std::fopen(Trace().c_str(), "w");
        if (trace != nullptr) std::fclose(trace);
        played = folder.File("played.wav");
        in = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_IN", input);
        out = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_OUT", played);
        speedEnv = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_SPEED", DeviceSpeed(speed));
        dlg = std::make_unique<RunDialog>(folder.Path());
        SetUpLikeStartUp(*dlg, folder.Path());
        platform::ui::TakeHeadlessMessageBoxes();
    }
    void TearDown() override {
        dlg.reset();
        platform::ui::DeliverPostedMessages();
    }

    std::string Trace() const { return folder.File("debug.txt"); }

    // LIVE, then STOP once `seconds` of input have arrived.
    void LiveFor(double seconds) {
        dlg->OnBnClickedLive();
        ASSERT_EQ(dlg->m_nRunState.load(), 1);
        const int want = static_cast<int>(seconds * 44100.0);
        ASSERT_TRUE(PumpUntil([&] { return dlg->m_nInputCount.load() >= want; }));
        dlg->OnBnClickedStop();
    }

    // OPEN of a file (as a dropped file, without the file dialog).
    void Open(const std::string& path) {
        dlg->m_strDropFile = path;
        dlg->OnBnClickedOpen();
    }

    bool WaitIdle(double limit = 60.0) {
        return PumpUntil([&] { return dlg->m_nRunState.load() == 0; }, limit);
    }

    TempFolder folder;
    std::string played;
    std::unique_ptr<ScopedEnv> in, out, speedEnv;
    std::unique_ptr<RunDialog> dlg;
};

// The dialog on the virtual devices with the voice recording as its input, at four times the
// real speed; the test is skipped when the recording was not made.
class VoiceRunTest : public VirtualRunTest {
protected:
    void SetUp() override {
        voice = TestDataFile("voice.wav");
        if (!Exists(voice)) GTEST_SKIP() << "no " << voice << " (make it with scripts/make-voice.sh)";
        StartDialog(voice, 4);
    }

    std::string voice;
};

}  // namespace runtest

// The display timer's analyser during real runs on the virtual devices: the engine threads write
// marks or spectrum frames while the timer (here the test thread, standing in for the
// user-interface thread) draws them. These tests also run under the thread sanitizer.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "AnalyserSupport.h"
#include "runs/RunHarness.h"
#include "support/RiffBytes.h"

namespace {

class AnalyserRun : public runtest::VirtualRunTest {
protected:
    void SetUp() override {
        voice = runtest::TestDataFile("voice.wav");
        stereo = runtest::TestDataFile("voice-stereo.wav");
        if (!runtest::Exists(voice) || !runtest::Exists(stereo)) GTEST_SKIP() << "no voice files (scripts/make-voice.sh)";
    }
    // Pumps the run's messages and fires timer 1 every 25 ms until `seconds` of input arrived.
    void RunWithTimer(double seconds) {
        const int want = static_cast<int>(seconds * 44100.0);
        auto next = std::chrono::steady_clock::now();
        ASSERT_TRUE(runtest::PumpUntil([&] {
            if (std::chrono::steady_clock::now() >= next) {
                dlg->OnTimer(1);
                ++ticks;
                next += std::chrono::milliseconds(25);
            }
            return dlg->m_nInputCount.load() >= want;
        }));
    }
    int Count(COLORREF c) {
        int n = 0;
        for (int y = 0; y < 250; ++y)
            for (int x = 0; x < 452; ++x) n += ImagePixel(dlg->m_fftScreen, x, y) == c;
        return n;
    }
    std::string voice, stereo;
    int ticks = 0;
};

TEST_F(AnalyserRun, PitchTrackOfALiveRunFollowsTheVoice) {
    StartDialog(voice, 4);
    dlg->m_nKeyRange = 0;  // C2..C4: the whole speaking voice on the grid
    dlg->OnBnClickedLive();
    ASSERT_EQ(dlg->m_nRunState.load(), 1);
    RunWithTimer(8.0);
    dlg->OnBnClickedStop();
    ASSERT_GT(ticks, 10);

    // The history holds the run's voiced points; their median pitch is the voice's.
    const int n = dlg->m_nHistoryPos;
    ASSERT_GT(n, 200);
    std::vector<double> shown;
    for (int i = 0; i < n; ++i) {
        const float p = dlg->m_pfHistPitch[i];
        if (p > 0.0f) shown.push_back(440.0 * std::pow(2.0, -3.75) * std::pow(2.0, p / 12.0));
    }
    ASSERT_GT(shown.size(), static_cast<std::size_t>(n / 5));
    const auto audio = runtest::ReadWav(voice).samples;
    std::vector<double> measured;
    for (std::size_t t = 0; t + 2048 < std::min<std::size_t>(audio.size(), 8 * 44100); t += 512) {
        const double hz = runtest::FrameF0(audio, t, 1024);
        if (hz > 0.0) measured.push_back(hz);
    }
    ASSERT_FALSE(measured.empty());
    const double ratio = runtest::Median(shown) / runtest::Median(measured);
    EXPECT_LT(std::fabs(12.0 * std::log2(ratio)), 1.5) << runtest::Median(shown) << " Hz shown, "
                                                      << runtest::Median(measured) << " Hz measured";
    // The track is on the image, and STOP offered the run's page.
    EXPECT_GT(Count(kGreenPx), 300);
    EXPECT_EQ(dlg->m_fftScreen.m_nPageCount, 1);
    EXPECT_TRUE(dlg->m_scrollHistory.IsWindowEnabled());
}

// The column of the highest pixel of a colour in the plot (the loudest bin's place), or -1.
int PeakColumn(const CFFTScreen& screen, COLORREF c) {
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 452; ++x)
            if (ImagePixel(screen, x, y) == c) return x;
    return -1;
}

TEST_F(AnalyserRun, SpectrumOfAPhaseVocoderRunShowsEachChannelsToneWhereItsFrequencyLies) {
    // A3 (220 Hz) on the left, B5 (987.77 Hz) on the right.
    const double hz[2] = {220.0, 987.77};
    std::string samples;
    for (int i = 0; i < 44100 * 6; ++i) {
        for (double f : hz) {
            const double v = 12000.0 * std::sin(2.0 * 3.141592653589793 * f * i / 44100.0);
            samples += riffbytes::Le16(static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
        }
    }
    const std::string tones = folder.File("tones.wav");
    riffbytes::WriteFile(tones, riffbytes::Wave(2, samples));
    StartDialog(tones, 4);
    dlg->m_nMethod = 1;
    dlg->m_pitchScale.Init(2, 44100);
    dlg->m_fftScreen.InitSpectrumAnalyzer(440);
    const float binsPerPixel = 1024.0f / 452.0f;
    const float c2Edge = 440.0f * std::pow(2.0f, -2.7916667f) + 0.5f;
    for (int axis : {1, 2}) {
        SCOPED_TRACE(axis);
        dlg->m_nAxisMode = axis;
        dlg->m_fftScreen.SetAxisMode(axis);
        dlg->m_fftScreen.m_nScreenKind = 1;
        dlg->OnBnClickedLive();
        ASSERT_EQ(dlg->m_nRunState.load(), 1);
        RunWithTimer(3.0);
        dlg->OnBnClickedStop();
        const COLORREF colour[2] = {RGB(0, 255, 255), RGB(255, 0, 255)};
        for (int ch = 0; ch < 2; ++ch) {
            SCOPED_TRACE(ch);
            EXPECT_GT(Count(colour[ch]), 50);
            // Linear axis: 0 to 22050 Hz across; Keyboard axis: C2 to C6 in 49 semitone columns,
            // a mark from one pixel left of the note's place to five right of it.
            const double want = axis == 1 ? hz[ch] / (44100.0 / 2048.0) / binsPerPixel
                                          : 12.0 * std::log2(hz[ch] / c2Edge) * 452.0 / 49.0 - 1.0;
            EXPECT_NEAR(PeakColumn(dlg->m_fftScreen, colour[ch]), want, axis == 1 ? 1.5 : 2.5) << hz[ch] << " Hz";
        }
    }
}

}  // namespace

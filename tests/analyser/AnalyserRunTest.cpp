// The display timer's analyser during real runs on the virtual devices: the engine threads write
// marks or spectrum frames while the timer (here the test thread, standing in for the
// user-interface thread) draws them. These tests also run under the thread sanitizer.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "AnalyserSupport.h"
#include "runs/RunHarness.h"

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

TEST_F(AnalyserRun, SpectrumOfAPhaseVocoderRunShowsBothChannels) {
    StartDialog(stereo, 4);
    dlg->m_nMethod = 1;
    dlg->m_pitchScale.Init(2, 44100);
    dlg->m_fftScreen.InitSpectrumAnalyzer(440);
    for (int axis : {1, 2}) {
        SCOPED_TRACE(axis);
        dlg->m_nAxisMode = axis;
        dlg->m_fftScreen.SetAxisMode(axis);
        dlg->m_fftScreen.m_nScreenKind = 1;
        dlg->OnBnClickedLive();
        ASSERT_EQ(dlg->m_nRunState.load(), 1);
        RunWithTimer(4.0);
        dlg->OnBnClickedStop();
        EXPECT_GT(Count(RGB(0, 255, 255)), 50);
        EXPECT_GT(Count(RGB(255, 0, 255)), 50);
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/base/clock.h"
#include "support/EngineHarness.h"
#include "support/Signals.h"

namespace {

// Feeds `blocks` blocks of a 150 Hz voice-like tone to the running engine threads, then ends
// them. The producer is paced as the sound device paces it: the engine finishes a block (an
// analysis and a synthesis cycle) long before the next one arrives.
void FeedToneAndStop(EngineHarness& h, int blocks) {
    const auto tone = signals::Harmonic(150.0, 8, 9000.0, blocks * h.Half(), [](double hz) { return 500.0 / hz; });
    for (int b = 0; b < blocks; ++b) {
        h.FeedBlockOnly(tone.data() + b * h.Half(), h.Half());
        for (int wait = 0; wait < 1000 && h.dlg.m_nEngineProgress.load() < 2u * static_cast<unsigned>(b + 1); ++wait) Sleep(2);
    }
    h.dlg.m_bPsolaRun = FALSE;
    h.dlg.JoinEngineThreads();
}

// The two engine threads running against a producer that stores blocks as the capture wrapper
// does; built with the thread sanitizer this shows the hand-over is race-free.
TEST(EngineThreadsTest, ThreadsConvertStreamedBlocksAndEndWhenTheRunFlagClears) {
    EngineHarness h(1);  // small blocks keep the test short
    h.SetPitch(12);
    h.dlg.m_nInputCount = 0;
    ASSERT_EQ(h.dlg.StartThreads(), TRUE);
    FeedToneAndStop(h, 12);

    const auto* ring = reinterpret_cast<const short*>(h.dlg.m_pOutData[0]);
    int peak = 0;
    for (int i = 0; i < h.dlg.m_nRingLen; ++i) peak = std::max(peak, std::abs(static_cast<int>(ring[i])));
    EXPECT_GT(peak, 4000);
    EXPECT_GT(h.dlg.m_nMarkCount.load(), 100);
    EXPECT_NE(h.dlg.m_staticProcTime.GetWindowText().find("ProcTime"), std::string::npos);
}

// The timer adds the new run's first history points as soon as marks arrive, possibly before an
// engine thread has done anything: starting the threads clears the last run's points, and
// nothing the engine threads do later touches what the timer wrote.
TEST(EngineThreadsTest, StartClearsThePitchHistoryAndTheThreadsLeaveTheTimersPointsAlone) {
    EngineHarness h(1);
    const int len = 2 * h.dlg.m_nRingLen;
    std::fill(h.dlg.m_pfHistTime, h.dlg.m_pfHistTime + len, 7.0f);  // the last run's points
    h.dlg.m_nInputCount = 0;
    ASSERT_EQ(h.dlg.StartThreads(), TRUE);
    EXPECT_EQ(std::count(h.dlg.m_pfHistTime, h.dlg.m_pfHistTime + len, 0.0f), len);
    for (int i = 0; i < 100; ++i) h.dlg.m_pfHistTime[i] = 0.5f + static_cast<float>(i);
    FeedToneAndStop(h, 4);
    EXPECT_GT(h.dlg.m_nMarkCount.load(), 20);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(h.dlg.m_pfHistTime[i], 0.5f + static_cast<float>(i)) << i;
}

TEST(EngineThreadsTest, StopBeforeAnyInputEndsBothThreads) {
    EngineHarness h(1);
    ASSERT_EQ(h.dlg.StartThreads(), TRUE);
    Sleep(20);
    h.dlg.m_bPsolaRun = FALSE;
    h.dlg.JoinEngineThreads();
    EXPECT_EQ(h.dlg.m_nMarkCount.load(), 0);
}

}  // namespace

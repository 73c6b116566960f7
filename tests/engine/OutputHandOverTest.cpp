// The engine's output reaches the playback buffers only under the ring's read lock, which the
// playback device holds while it reads a buffer: while a reader holds it, no engine cycle
// changes a single played sample, and once it is let go the cycle's output is there.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../pv/VocoderHarness.h"
#include "support/EngineHarness.h"

namespace {

std::vector<short> Played(const CWaveInOutDlg& dlg) {
    const auto* p = reinterpret_cast<const short*>(dlg.m_pOutBlock);
    return std::vector<short>(p, p + 2 * dlg.m_nBlockBytes);
}

std::vector<short> Tone(int n, double hz, double amplitude) {
    std::vector<short> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = static_cast<short>(amplitude * std::sin(2.0 * M_PI * hz * i / 44100.0));
    return x;
}

// Runs `cycle` on an engine thread while this thread holds the read lock, as the device does
// while it plays: the played buffers must not move until the lock is let go, and must hold new
// output after.
void ExpectCycleWaitsForTheReader(CWaveInOutDlg& dlg, const std::function<void()>& cycle) {
    std::unique_lock<std::mutex> reading(dlg.m_outStage.ReadLock());
    const std::vector<short> before = Played(dlg);
    std::atomic<bool> done{false};
    std::thread engine([&] {
        cycle();
        done.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(Played(dlg), before) << "the engine wrote a buffer that was being read";
    EXPECT_FALSE(done.load());
    reading.unlock();
    engine.join();
    reading.lock();
    EXPECT_NE(Played(dlg), before) << "the cycle's output never reached the playback buffers";
}

TEST(OutputHandOver, PsolaSynthesisPublishesItsCycleOnlyBetweenReads) {
    EngineHarness h;
    h.SetPitch(12);
    h.Begin();
    const int half = h.Half();
    const std::vector<short> tone = Tone(6 * half, 196.0, 8000.0);
    for (int b = 0; b < 3; ++b) h.FeedBlock(tone.data() + b * half, half);
    h.FeedBlockOnly(tone.data() + 3 * half, half);
    ASSERT_TRUE(h.dlg.AnalyzeStep(h.analyze));
    ExpectCycleWaitsForTheReader(h.dlg, [&] { EXPECT_TRUE(h.dlg.SynthesizeStep(h.synth)); });
}

TEST(OutputHandOver, ThruCopyPublishesOnlyBetweenReads) {
    EngineHarness h;
    h.Begin();
    const int half = h.Half();
    const std::vector<short> tone = Tone(2 * half, 330.0, 6000.0);
    h.dlg.m_chkThru.SetCheck(BST_CHECKED);
    h.FeedBlockOnly(tone.data(), half);
    ExpectCycleWaitsForTheReader(h.dlg, [&] { EXPECT_TRUE(h.dlg.AnalyzeStep(h.analyze)); });
}

TEST(OutputHandOver, PhaseVocoderRoundPublishesOnlyBetweenReads) {
    VocoderHarness h(2);
    h.SetPitch(6);
    ASSERT_TRUE(h.Begin());
    const int s = h.Samples();
    std::vector<float> signal(static_cast<size_t>(4 * s));
    for (size_t i = 0; i < signal.size(); ++i) signal[i] = static_cast<float>(7000.0 * std::sin(2.0 * M_PI * 440.0 * static_cast<double>(i / 2) / 44100.0));
    for (int b = 0; b < 3; ++b) h.Feed(signal, b);
    h.Store(signal.data() + 3 * s, s);
    ExpectCycleWaitsForTheReader(h.dlg, [&] { EXPECT_TRUE(h.dlg.PhaseVocoderStep(h.state)); });
}

}  // namespace

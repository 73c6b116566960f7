// The phase-vocoder thread itself: started by a run, converting blocks that a producer stores as
// the capture wrapper does, ended by its run flag and joined. Built with the thread sanitizer
// this shows that the hand-over of input, output and effects is race-free.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "effects/EQdlg.h"
#include "platform/base/clock.h"
#include "pv/VocoderHarness.h"
#include "support/Signals.h"

namespace {

// Waits (at most about two seconds) until the thread has finished `rounds` rounds.
bool WaitForRounds(CWaveInOutDlg& dlg, unsigned rounds) {
    for (int wait = 0; wait < 1000; ++wait) {
        if (dlg.m_nEngineProgress.load(std::memory_order_acquire) >= rounds) return true;
        Sleep(2);
    }
    return false;
}

TEST(PhaseVocoderThread, ConvertsStreamedBlocksAndEndsWhenTheRunFlagClears) {
    VocoderHarness h(2, 1);  // small blocks keep the test short
    CEQdlg effects(&h.dlg);
    effects.m_chkReverb.SetCheck(BST_CHECKED);
    effects.OnBnClickedReverbEnable();
    h.dlg.m_pEQDlg = &effects;
    ASSERT_EQ(h.dlg.StartPhaseVocoderThread(), TRUE);
    const int frames = 4 * h.Samples();
    const std::vector<float> tone = InterleavePair(signals::FloatSine(700.0, 9000.0, frames), signals::FloatSine(500.0, 6000.0, frames));
    for (int b = 0; b < 8; ++b) {
        std::vector<float> block(tone.begin() + b * h.Samples(), tone.begin() + (b + 1) * h.Samples());
        h.Store(block.data(), h.Samples());
        // Paced as the sound device paces it: each block is converted before the next arrives.
        ASSERT_TRUE(WaitForRounds(h.dlg, static_cast<unsigned>(b + 1))) << "block " << b;
    }
    h.dlg.m_bThreadRun = FALSE;
    h.dlg.JoinPhaseVocoderThread();
    h.dlg.m_pEQDlg = nullptr;

    EXPECT_FALSE(h.dlg.m_vocoderThread.IsRunning());
    // Every buffer holds converted sound: the tones at 0.98295 of their level, with echoes.
    for (int k = 0; k < 4; ++k) {
        int peak = 0;
        for (short v : h.Slot(k)) peak = std::max(peak, std::abs(static_cast<int>(v)));
        EXPECT_GT(peak, 9000) << "buffer " << k;
    }
    EXPECT_EQ(h.dlg.m_staticProcTime.GetWindowText().rfind("ProcTime ", 0), 0u);
}

TEST(PhaseVocoderThread, StartClearsTheCountsAndPutsTheFormantTrackbarAtZero) {
    VocoderHarness h(1);
    h.dlg.m_sliderFormant.SetRange(-24, 24);
    h.dlg.m_sliderFormant.SetPos(-10);
    h.dlg.m_nInputCount = 12345;
    h.dlg.m_nPeak[1][2] = 999;
    h.dlg.m_bNextBlock = TRUE;
    ASSERT_EQ(h.dlg.StartPhaseVocoderThread(), TRUE);
    EXPECT_EQ(h.dlg.m_nInputCount.load(), 0);
    EXPECT_EQ(h.dlg.m_nPeak[1][2].load(), 0);
    EXPECT_EQ(h.dlg.m_bNextBlock.load(), FALSE);
    EXPECT_EQ(h.dlg.m_bThreadRun.load(), TRUE);
    EXPECT_EQ(h.dlg.m_sliderFormant.GetPos(), 0);
    EXPECT_NE(h.dlg.m_dwVocoderThreadId, 0u);
    h.dlg.m_bThreadRun = FALSE;
    h.dlg.JoinPhaseVocoderThread();
}

TEST(PhaseVocoderThread, StopBeforeAnyInputEndsTheThread) {
    VocoderHarness h(2, 1);
    ASSERT_EQ(h.dlg.StartPhaseVocoderThread(), TRUE);
    Sleep(20);
    h.dlg.m_bThreadRun = FALSE;
    h.dlg.JoinPhaseVocoderThread();
    EXPECT_FALSE(h.dlg.m_vocoderThread.IsRunning());
    EXPECT_EQ(h.dlg.m_nEngineProgress.load(), 0u);
}

TEST(PhaseVocoderThread, RunWithAChannelCountOtherThanOneOrTwoDoesNotStart) {
    VocoderHarness h(3);
    EXPECT_EQ(h.dlg.StartPhaseVocoderThread(), FALSE);
    EXPECT_EQ(h.dlg.m_bThreadRun.load(), FALSE);
    EXPECT_FALSE(h.dlg.m_vocoderThread.IsRunning());
}

TEST(PhaseVocoderThread, SecondStartEndsAThreadThatWasNeverJoined) {
    VocoderHarness h(2, 1);
    ASSERT_EQ(h.dlg.StartPhaseVocoderThread(), TRUE);
    ASSERT_EQ(h.dlg.StartPhaseVocoderThread(), TRUE);
    EXPECT_TRUE(h.dlg.m_vocoderThread.IsRunning());
    h.dlg.m_bThreadRun = FALSE;
    h.dlg.JoinPhaseVocoderThread();
}

}  // namespace

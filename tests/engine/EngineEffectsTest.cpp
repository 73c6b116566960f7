#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "effects/EQdlg.h"
#include "engine/SampleMath.h"
#include "support/EngineHarness.h"
#include "support/Signals.h"

namespace {

class EngineEffectsTest : public ::testing::Test {
protected:
    EngineHarness h;
    std::unique_ptr<CEQdlg> effects;

    void SetUp() override {
        effects = std::make_unique<CEQdlg>(&h.dlg);
        h.dlg.m_pEQDlg = effects.get();
    }
    void TearDown() override { h.dlg.m_pEQDlg = nullptr; }

    void SetAllBands(int gain) {
        for (int k = 0; k < kEqBands; ++k) {
            effects->m_sliderBand[k].SetPos(-gain);
            NMHDR hdr;
            hdr.idFrom = static_cast<UINT>(CEQdlg::IDC_SLIDER_BAND0 + k);
            hdr.code = NM_CUSTOMDRAW;
            effects->SendMessage(WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
        }
    }
    static int Peak(const std::vector<short>& s, size_t from, size_t to) {
        int peak = 0;
        for (size_t i = from; i < to; ++i) peak = std::max(peak, std::abs(static_cast<int>(s[i])));
        return peak;
    }
};

TEST_F(EngineEffectsTest, EqualiserOnLowersEveryInputBlockBeforeAnalysis) {
    SetAllBands(-12);
    effects->m_chkEQ.SetCheck(BST_CHECKED);
    effects->OnBnClickedEqEnable();
    ASSERT_TRUE(effects->m_bEQ);
    h.Begin();
    const auto tone = signals::Sine(1000.0, 10000.0, 2 * h.Half());
    // Two blocks arrive before one analysis cycle: both are equalised, in order.
    h.FeedBlockOnly(tone.data(), h.Half());
    h.FeedBlockOnly(tone.data() + h.Half(), h.Half());
    h.dlg.AnalyzeStep(h.analyze);
    float peakFirst = 0;
    float peakSecond = 0;
    for (int i = 1000; i < h.Half(); ++i) {
        peakFirst = std::max(peakFirst, std::fabs(h.dlg.m_pfInputBuf[i]));
        peakSecond = std::max(peakSecond, std::fabs(h.dlg.m_pfInputBuf[h.Half() + i]));
    }
    EXPECT_LT(peakFirst, 10000.0f * 0.5f);
    EXPECT_LT(peakSecond, 10000.0f * 0.5f);
}

TEST_F(EngineEffectsTest, ReverbOnLeavesEchoesAfterTheVoiceEnds) {
    auto in = signals::Harmonic(200.0, 8, 9000.0, 6 * h.Half(), [](double hz) { return 300.0 / hz; });
    for (size_t i = static_cast<size_t>(3 * h.Half()); i < in.size(); ++i) in[i] = 0;
    const auto dry = h.Run(in);
    effects->m_chkReverb.SetCheck(BST_CHECKED);
    effects->OnBnClickedReverbEnable();
    ASSERT_TRUE(effects->m_bReverb);
    const auto wet = h.Run(in);
    // Just after the voice stops, the dry output is silent and the wet one still sounds.
    const size_t from = static_cast<size_t>(3 * h.Half()) + 2000;
    const size_t to = from + 4000;
    EXPECT_LT(Peak(dry, from, to), 50);
    EXPECT_GT(Peak(wet, from, to), 500);
}


// A synthesis cycle that yields more than half a block of output (the formant lowered stretches
// it) hears its reverb as one block: every echo reaches as far back as the history allows, as
// when the reverb is fed that whole stretch at once.
TEST(EngineReverbTest, LongSynthesisCycleIsReverberatedAsOneBlock) {
    EngineHarness dryRun;
    EngineHarness wetRun;
    for (EngineHarness* run : {&dryRun, &wetRun}) {
        run->SetFormant(-8);
        run->Begin();
    }
    CEQdlg effects(&wetRun.dlg);
    effects.m_sliderRepeat.SetPos(15);
    effects.OnCustomDrawRepeat(nullptr, nullptr);
    effects.m_sliderDelay.SetPos(10);
    effects.OnCustomDrawDelay(nullptr, nullptr);
    effects.m_chkReverb.SetCheck(BST_CHECKED);
    effects.OnBnClickedReverbEnable();
    wetRun.dlg.m_pEQDlg = &effects;

    ReverbTaps taps;
    taps.delay = effects.m_fDelay;
    taps.repeat = effects.m_nRepeat;
    std::copy(std::begin(effects.m_fEchoGain), std::end(effects.m_fEchoGain), std::begin(taps.gain));
    CReverb reference(wetRun.dlg.m_nBlockBytes / 2);
    reference.Publish(taps);

    const int half = dryRun.Half();
    const auto in = signals::Harmonic(180.0, 8, 9000.0, 10 * half, [](double hz) { return 300.0 / hz; });
    const auto* dryRing = reinterpret_cast<const short*>(dryRun.dlg.m_pOutData[0]);
    const auto* wetRing = reinterpret_cast<const short*>(wetRun.dlg.m_pOutData[0]);
    int longest = 0;
    int mismatches = 0;
    for (int b = 0; b < 10; ++b) {
        const int first = wetRun.synth.out;
        for (EngineHarness* run : {&dryRun, &wetRun}) run->FeedBlock(in.data() + static_cast<size_t>(b) * half, half);
        ASSERT_EQ(dryRun.synth.out, wetRun.synth.out);
        const int n = wetRun.synth.out - first;
        if (n < 1) continue;
        longest = std::max(longest, n);
        std::vector<float> expected(static_cast<size_t>(n));
        const int mask = wetRun.dlg.m_nRingMask;
        const int latency = wetRun.dlg.m_nBlockBytes;
        for (int i = 0; i < n; ++i) expected[static_cast<size_t>(i)] = dryRing[(latency + first + i) & mask];
        reference.Process(expected.data(), n, 1);
        for (int i = 0; i < n; ++i)
            if (wetRing[(latency + first + i) & mask] != ToSample16(expected[static_cast<size_t>(i)])) ++mismatches;
    }
    ASSERT_GT(longest, half);
    EXPECT_EQ(mismatches, 0);
    wetRun.dlg.m_pEQDlg = nullptr;
}

}  // namespace

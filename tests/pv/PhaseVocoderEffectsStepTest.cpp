// The equaliser and the reverb in the phase-vocoder thread's round: the equaliser works on the
// interleaved input block before the conversion, the reverb on the finished 16-bit block, both
// with the run's channel count, and neither while its box is unticked.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/Signals.h"
#include "VocoderHarness.h"
#include "effects/EQdlg.h"

namespace {

using signals::FloatSine;

void SetAllBands(CEQdlg& fx, int gain) {
    for (int k = 0; k < kEqBands; ++k) {
        fx.m_sliderBand[k].SetPos(-gain);
        NMHDR hdr{};
        hdr.idFrom = static_cast<UINT>(CEQdlg::IDC_SLIDER_BAND0 + k);
        hdr.code = NM_CUSTOMDRAW;
        fx.SendMessage(WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
    }
}

void SwitchEq(CEQdlg& fx, bool on) {
    fx.m_chkEQ.SetCheck(on ? BST_CHECKED : BST_UNCHECKED);
    fx.OnBnClickedEqEnable();
}

void SwitchReverb(CEQdlg& fx, bool on) {
    fx.m_chkReverb.SetCheck(on ? BST_CHECKED : BST_UNCHECKED);
    fx.OnBnClickedReverbEnable();
}

// A harness with an effect dialog attached, as the main dialog has one after the first Effect.
struct EffectsHarness {
    explicit EffectsHarness(int channels) : h(channels), fx(std::make_unique<CEQdlg>(&h.dlg)) { h.dlg.m_pEQDlg = fx.get(); }
    ~EffectsHarness() { h.dlg.m_pEQDlg = nullptr; }
    VocoderHarness h;
    std::unique_ptr<CEQdlg> fx;
};

class EffectsStepTest : public ::testing::TestWithParam<int> {
protected:
    int Channels() const { return GetParam(); }
    // A voice-like mixture, different in the two channels of a stereo run.
    std::vector<float> Signal(int blocks) const {
        const int n = blocks * 16384 / Channels();
        std::vector<float> a = FloatSine(220.0, 6000.0, n), b = FloatSine(1800.0, 3000.0, n), c = FloatSine(330.0, 5000.0, n);
        for (size_t i = 0; i < a.size(); ++i) a[i] += b[i];
        return Channels() == 2 ? InterleavePair(a, c) : a;
    }
    // Output of a run without any effect dialog.
    std::vector<short> Plain(const std::vector<float>& x) {
        VocoderHarness plain(Channels());
        EXPECT_TRUE(plain.Begin());
        return plain.Run(x);
    }
};

INSTANTIATE_TEST_SUITE_P(Channels, EffectsStepTest, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) { return info.param == 1 ? "Mono" : "Stereo"; });

TEST_P(EffectsStepTest, EffectsWithBothBoxesUntickedChangeNothing) {
    const std::vector<float> x = Signal(4);
    EffectsHarness e(Channels());
    SetAllBands(*e.fx, -12);
    ASSERT_TRUE(e.h.Begin());
    EXPECT_EQ(e.h.Run(x), Plain(x));
}

TEST_P(EffectsStepTest, EqualiserFiltersTheInputBlockBeforeTheConversion) {
    const std::vector<float> x = Signal(4);
    EffectsHarness e(Channels());
    SetAllBands(*e.fx, -12);
    SwitchEq(*e.fx, true);
    ASSERT_TRUE(e.h.Begin());
    const std::vector<short> out = e.h.Run(x);

    // The same input equalised block by block by an equaliser of the same design, then
    // converted without effects, gives the same samples.
    VocoderHarness plain(Channels());
    CEQdlg reference(&plain.dlg);
    SetAllBands(reference, -12);
    std::vector<float> equalised(x.size());
    const int s = plain.Samples();
    for (size_t b = 0; b + static_cast<size_t>(s) <= x.size(); b += static_cast<size_t>(s)) {
        std::vector<float> block(x.begin() + static_cast<long>(b), x.begin() + static_cast<long>(b) + s);
        for (float& v : block) v = std::trunc(v);
        reference.ProcessEQ(block.data(), s, Channels());
        std::copy(block.begin(), block.end(), equalised.begin() + static_cast<long>(b));
    }
    ASSERT_TRUE(plain.Begin());
    EXPECT_EQ(out, plain.Run(equalised));
    EXPECT_NE(out, Plain(x));
}

TEST_P(EffectsStepTest, ReverbAddsEchoesToTheFinishedBlock) {
    const std::vector<float> x = Signal(4);
    EffectsHarness e(Channels());
    SwitchReverb(*e.fx, true);
    ASSERT_TRUE(e.h.Begin());
    const std::vector<short> out = e.h.Run(x);

    // The plain output, block by block through a reverb of the same values, stored truncated.
    const std::vector<short> plain = Plain(x);
    VocoderHarness other(Channels());
    CEQdlg reference(&other.dlg);
    SwitchReverb(reference, true);
    const int s = other.Samples();
    std::vector<short> want(plain.size());
    for (size_t b = 0; b + static_cast<size_t>(s) <= plain.size(); b += static_cast<size_t>(s)) {
        std::vector<float> block(plain.begin() + static_cast<long>(b), plain.begin() + static_cast<long>(b) + s);
        reference.ProcessReverb(block.data(), s, Channels());
        FloatsToSamples16(block.data(), s, want.data() + b);
    }
    EXPECT_EQ(out, want);
    EXPECT_NE(out, plain);
}

TEST_P(EffectsStepTest, OriginalTakesTheEqualisedInputWithoutReverb) {
    const std::vector<float> x = Signal(2);
    EffectsHarness e(Channels());
    SetAllBands(*e.fx, 6);
    SwitchEq(*e.fx, true);
    SwitchReverb(*e.fx, true);
    e.h.dlg.m_chkOriginal.SetCheck(BST_CHECKED);
    ASSERT_TRUE(e.h.Begin());
    const std::vector<short> out = e.h.Run(x);

    VocoderHarness other(Channels());
    CEQdlg reference(&other.dlg);
    SetAllBands(reference, 6);
    const int s = other.Samples();
    for (size_t b = 0; b + static_cast<size_t>(s) <= x.size(); b += static_cast<size_t>(s)) {
        std::vector<float> block(x.begin() + static_cast<long>(b), x.begin() + static_cast<long>(b) + s);
        for (float& v : block) v = std::trunc(v);
        reference.ProcessEQ(block.data(), s, Channels());
        for (int i = 0; i < s; ++i) ASSERT_EQ(out[b + static_cast<size_t>(i)], static_cast<short>(block[static_cast<size_t>(i)])) << b + i;
    }
}

TEST(PhaseVocoderEffectsStep, StereoReverbEchoesAreInvertedOnTheRight) {
    // A burst in both channels, the same; the conversion passes it at 0.98295, and the first
    // echo (0.07 s = 3087 frames later) is positive on the left and negative on the right.
    EffectsHarness e(2);
    SwitchReverb(*e.fx, true);
    ASSERT_TRUE(e.h.Begin());
    const int frames = 4 * 8192;
    std::vector<float> burst = FloatSine(1000.0, 8000.0, frames);
    for (int i = 0; i < frames; ++i)
        if (i < 8192 + 2000 || i >= 8192 + 2441) burst[static_cast<size_t>(i)] = 0.0f;
    const std::vector<short> out = e.h.Run(InterleavePair(burst, burst));
    const std::vector<float> l = ChannelOf(out, 0, 2);
    const std::vector<float> r = ChannelOf(out, 1, 2);
    const float g1 = e.fx->m_reverb.TapsInUse().gain[1];
    ASSERT_GT(g1, 0.2f);
    // Around the echo of the burst's middle: left follows +g1 times the dry output, right -g1.
    double left = 0.0, right = 0.0, dry = 0.0;
    for (int i = 8192 + 2100 + 1792; i < 8192 + 2341 + 1792; ++i) {
        const size_t d = static_cast<size_t>(i), echo = static_cast<size_t>(i + 3087);
        left += l[echo] * l[d];
        right += r[echo] * r[d];
        dry += l[d] * l[d];
    }
    EXPECT_NEAR(left / dry, g1, 0.02);
    EXPECT_NEAR(right / dry, -g1, 0.02);
}

}  // namespace

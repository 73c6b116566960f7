#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "support/Signals.h"
#include "engine/PhaseVocoderRound.h"

namespace {

constexpr int kBlock = 16384;  // B/2 samples with B = 32768
constexpr int kDelay = 1792;

std::vector<float> Interleave(const std::vector<float>& l, const std::vector<float>& r) {
    std::vector<float> x(2 * l.size());
    for (size_t i = 0; i < l.size(); ++i) {
        x[2 * i] = l[i];
        x[2 * i + 1] = r[i];
    }
    return x;
}

// Runs the rounds over x (a whole number of blocks) and returns the rendered samples.
std::vector<short> RunRounds(CPhaseVocoderRound& round, const std::vector<float>& x, float ratio, int mode = 0,
                             float lowHz = 100.0f) {
    std::vector<short> out(x.size());
    for (size_t b = 0; b + kBlock <= x.size(); b += kBlock) {
        round.TakeInput(x.data() + b);
        EXPECT_TRUE(round.Convert(ratio, mode, lowHz));
        round.Render(out.data() + b);
    }
    return out;
}

class PhaseVocoderRoundTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(manager.Init(0, 0), 1); }
    CPitchScaleManager manager;
    CPhaseVocoderRound round{manager};
};

// --- the one float-to-sample conversion ----------------------------------------------------

TEST(ToSample16, ClampsInFloatTruncatesTowardZeroAndMapsNanToZero) {
    EXPECT_EQ(ToSample16(1.9f), 1);
    EXPECT_EQ(ToSample16(-1.9f), -1);
    EXPECT_EQ(ToSample16(32767.9f), 32767);
    EXPECT_EQ(ToSample16(-32768.0f), -32767);
    EXPECT_EQ(ToSample16(1.0e20f), 32767);
    EXPECT_EQ(ToSample16(-std::numeric_limits<float>::infinity()), -32767);
    EXPECT_EQ(ToSample16(std::numeric_limits<float>::quiet_NaN()), 0);
}

// --- gain, delay and clamping ----------------------------------------------------------------

TEST(PhaseVocoderGain, IsFixedFromRatioOneUpAndGrowsAsOneOverRootBelow) {
    EXPECT_FLOAT_EQ(CPhaseVocoderRound::OutputGain(1.0f) * 1.5f, 0.98295f);
    EXPECT_FLOAT_EQ(CPhaseVocoderRound::OutputGain(4.0f), 0.6553f);
    EXPECT_NEAR(CPhaseVocoderRound::OutputGain(0.5f), 0.92673f, 1e-5f);
    EXPECT_NEAR(CPhaseVocoderRound::OutputGain(0.25f), 1.3106f, 1e-5f);
}

TEST_F(PhaseVocoderRoundTest, RatioOneStereoOutputIsTheInputTimes0_98295Delayed) {
    const int frames = 6 * kBlock / 2;
    const std::vector<float> l = signals::FloatSine(1000.0, 10000.0, frames);
    const std::vector<float> r = signals::FloatSine(700.0, 6000.0, frames);
    ASSERT_TRUE(round.Begin(kBlock));
    ASSERT_EQ(round.Channels(), 2);
    const std::vector<short> out = RunRounds(round, Interleave(l, r), 1.0f);
    std::vector<float> outL(static_cast<size_t>(frames)), outR(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        outL[static_cast<size_t>(i)] = out[2 * static_cast<size_t>(i)];
        outR[static_cast<size_t>(i)] = out[2 * static_cast<size_t>(i) + 1];
    }
    EXPECT_NEAR(signals::AmplitudeAt(outL.data() + 8192, 32768, 1000.0), 0.98295 * 10000.0, 0.003 * 9829.5);
    EXPECT_NEAR(signals::AmplitudeAt(outR.data() + 8192, 32768, 700.0), 0.98295 * 6000.0, 0.003 * 5897.7);
    // Delay: the output follows the input 1792 samples later, not a sample earlier or later.
    double at = 0.0, before = 0.0;
    for (int i = 8192; i < frames; ++i) {
        at += std::fabs(outL[static_cast<size_t>(i)] - 0.98295 * l[static_cast<size_t>(i - kDelay)]);
        before += std::fabs(outL[static_cast<size_t>(i)] - 0.98295 * l[static_cast<size_t>(i - kDelay + 1)]);
    }
    EXPECT_LT(at, 0.1 * before);
}

TEST_F(PhaseVocoderRoundTest, HalfRatioAppliesGain0_92673ToTheUnitOutput) {
    const int frames = 4 * kBlock / 2;
    const std::vector<float> l = signals::FloatSine(800.0, 9000.0, frames);
    const std::vector<float> r = signals::FloatSine(1300.0, 9000.0, frames);
    const std::vector<float> x = Interleave(l, r);
    ASSERT_TRUE(round.Begin(kBlock));
    const std::vector<short> out = RunRounds(round, x, 0.5f);

    // The same blocks through a manager of its own, gain applied here.
    CPitchScaleManager reference;
    ASSERT_EQ(reference.Init(0, 0), 1);
    reference.SetPitchRatio(0.5f);
    const int perBlock = kBlock / 2;
    std::vector<float> refL(static_cast<size_t>(perBlock)), refR(static_cast<size_t>(perBlock));
    int worst = 0;
    for (int b = 0; b < frames / perBlock; ++b) {
        int produced = 0;
        reference.Process(l.data() + b * perBlock, r.data() + b * perBlock, perBlock, refL.data(), refR.data(), &produced,
                          VocalParams{{0.0f, 100.0f, 16000.0f, 0.5f, 0.5f}}.value, b == 0 ? 1 : 0);
        for (int i = 0; i < perBlock; ++i) {
            const double wantL = std::trunc(refL[static_cast<size_t>(i)] * 0.92673);
            const double wantR = std::trunc(refR[static_cast<size_t>(i)] * 0.92673);
            const size_t at = 2 * static_cast<size_t>(b * perBlock + i);
            worst = std::max(worst, static_cast<int>(std::fabs(out[at] - wantL)));
            worst = std::max(worst, static_cast<int>(std::fabs(out[at + 1] - wantR)));
        }
    }
    EXPECT_LE(worst, 1);
}

TEST_F(PhaseVocoderRoundTest, OutputBeyondTheSampleRangeIsClampedSymmetrically) {
    // 1.5 * 40000 = 60000 before the gain; 60000 * 0.6553 lies above 32767.
    const std::vector<float> m = signals::FloatSine(440.0, 40000.0, 3 * kBlock);
    manager.m_nChannels = 1;
    ASSERT_TRUE(round.Begin(kBlock));
    const std::vector<short> out = RunRounds(round, m, 1.0f);
    short hi = 0, lo = 0;
    for (size_t i = kBlock; i < out.size(); ++i) hi = std::max(hi, out[i]), lo = std::min(lo, out[i]);
    EXPECT_EQ(hi, 32767);
    EXPECT_EQ(lo, -32767);
}

// --- the round's own bookkeeping -------------------------------------------------------------

TEST_F(PhaseVocoderRoundTest, FirstRoundAndEveryChangeOfRatioOrModeReset) {
    const std::vector<float> x(kBlock, 0.0f);
    ASSERT_TRUE(round.Begin(kBlock));
    auto step = [&](float ratio, int mode) {
        round.TakeInput(x.data());
        round.Convert(ratio, mode, 100.0f);
        return round.LastRoundReset();
    };
    EXPECT_TRUE(step(1.0f, 0));
    EXPECT_FALSE(step(1.0f, 0));
    EXPECT_TRUE(step(1.0f, 1));   // cut
    EXPECT_TRUE(step(1.0f, 0));   // cut to off
    EXPECT_TRUE(step(1.25f, 0));
    EXPECT_FALSE(step(1.25f, 0));
    ASSERT_TRUE(round.Begin(kBlock));  // a new run starts afresh
    EXPECT_TRUE(step(1.25f, 0));
}

TEST_F(PhaseVocoderRoundTest, RatioNotAboveZeroWorksAsRatioOne) {
    const std::vector<float> x = Interleave(signals::FloatSine(1000.0, 8000.0, kBlock), signals::FloatSine(500.0, 8000.0, kBlock));
    ASSERT_TRUE(round.Begin(kBlock));
    const std::vector<short> bad = RunRounds(round, x, 0.0f);
    EXPECT_EQ(round.LastRatio(), 1.0f);
    EXPECT_EQ(manager.Unit(0)->GetPitchRatio(), 1.0f);

    CPitchScaleManager other;
    ASSERT_EQ(other.Init(0, 0), 1);
    CPhaseVocoderRound good(other);
    ASSERT_TRUE(good.Begin(kBlock));
    EXPECT_EQ(RunRounds(good, x, 1.0f), bad);
    EXPECT_EQ(RunRounds(round, x, -3.0f), RunRounds(good, x, std::numeric_limits<float>::quiet_NaN()));
}

TEST_F(PhaseVocoderRoundTest, PrivateCopyIsNotTouchedByABlockArrivingMidRound) {
    const std::vector<float> x = Interleave(signals::FloatSine(1000.0, 8000.0, kBlock), signals::FloatSine(500.0, 8000.0, kBlock));
    CPitchScaleManager other;
    ASSERT_EQ(other.Init(0, 0), 1);
    CPhaseVocoderRound reference(other);
    ASSERT_TRUE(reference.Begin(kBlock));
    ASSERT_TRUE(round.Begin(kBlock));
    for (int b = 0; b < 3; ++b) {
        std::vector<float> shared = x;  // the input block's place in the dialog
        round.TakeInput(shared.data());
        for (float& v : shared) v = 12345.0f;  // the next block lands while the round runs
        std::vector<short> got(kBlock), want(kBlock);
        round.Convert(1.0f, 0, 100.0f);
        round.Render(got.data());
        reference.TakeInput(x.data());
        reference.Convert(1.0f, 0, 100.0f);
        reference.Render(want.data());
        ASSERT_EQ(got, want) << "block " << b;
        ASSERT_EQ(round.Input()[0], x[0]);
    }
}

TEST_F(PhaseVocoderRoundTest, MonoRoundRendersOneChannelThroughUnitZero) {
    manager.m_nChannels = 1;
    const std::vector<float> m = signals::FloatSine(1000.0, 10000.0, 3 * kBlock);
    ASSERT_TRUE(round.Begin(kBlock));
    EXPECT_EQ(round.Channels(), 1);
    const std::vector<short> out = RunRounds(round, m, 1.0f);
    std::vector<float> f(out.begin(), out.end());
    EXPECT_NEAR(signals::AmplitudeAt(f.data() + kBlock, 2 * kBlock, 1000.0), 9829.5, 0.003 * 9829.5);
    EXPECT_GT(manager.Unit(0)->AnaMag()[46], 1000.0f);
    EXPECT_EQ(manager.Unit(1)->AnaMag()[46], 0.0f);
}

TEST_F(PhaseVocoderRoundTest, RunWithThreeChannelsCannotBegin) {
    manager.m_nChannels = 3;
    EXPECT_FALSE(round.Begin(kBlock));
    EXPECT_FALSE(round.Convert(1.0f, 0, 100.0f));
}

TEST(PhaseVocoderSlot, IsTwoBlocksBehindTheNewestAndSafeForLongRuns) {
    EXPECT_EQ(CPhaseVocoderRound::PlaybackSlot(kBlock, kBlock), 3);
    EXPECT_EQ(CPhaseVocoderRound::PlaybackSlot(2 * kBlock, kBlock), 0);
    EXPECT_EQ(CPhaseVocoderRound::PlaybackSlot(5 * kBlock, kBlock), 3);
    // Near the top of the count the block number still comes out right (count * 2 / B would
    // overflow here).
    const int last = (INT_MAX / kBlock) * kBlock;
    EXPECT_EQ(CPhaseVocoderRound::PlaybackSlot(last, kBlock), (INT_MAX / kBlock - 2) & 3);
    EXPECT_EQ(CPhaseVocoderRound::PlaybackSlot(last, 8192), (last / 8192 - 2) & 3);
}

}  // namespace

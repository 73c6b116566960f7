#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/VectorWidth.h"
#include "support/Signals.h"
#include "engine/PitchScaleUnit.h"

namespace {

using signals::AmplitudeAt;
using signals::DominantHz;
using signals::Rms;
using signals::FloatSine;

constexpr int kDelay = 1792;

// Runs a fresh unit over x in calls of `block` samples, resetting on the first call only.
std::vector<float> Shift(CPitchScaleUnit& unit, const std::vector<float>& x, float ratio, int block = 4096) {
    unit.SetPitchRatio(ratio);
    std::vector<float> y(x.size());
    for (size_t i = 0; i < x.size(); i += static_cast<size_t>(block)) {
        const int count = static_cast<int>(std::min(x.size() - i, static_cast<size_t>(block)));
        int produced = -1;
        unit.Process(x.data() + i, count, y.data() + i, &produced, i == 0 ? 1 : 0);
        EXPECT_EQ(produced, count);
    }
    return y;
}

std::vector<float> Sum(const std::vector<float>& a, const std::vector<float>& b, float sign = 1.0f) {
    std::vector<float> s(a.size());
    for (size_t i = 0; i < a.size(); ++i) s[i] = a[i] + sign * b[i];
    return s;
}

struct StereoOut {
    std::vector<float> left, right;
};

StereoOut Vocal(CPitchScaleUnit& unit, const std::vector<float>& l, const std::vector<float>& r, const float* params) {
    StereoOut out{std::vector<float>(l.size()), std::vector<float>(l.size())};
    const int block = 4096;
    for (size_t i = 0; i < l.size(); i += block) {
        const int count = static_cast<int>(std::min(l.size() - i, static_cast<size_t>(block)));
        int produced = -1;
        unit.ProcessVocal(count, l.data() + i, r.data() + i, params, &produced, out.left.data() + i,
                          out.right.data() + i);
        EXPECT_EQ(produced, count);
    }
    return out;
}

class PitchScaleUnitTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(unit.Init(0, 44100, 0)); }
    CPitchScaleUnit unit;
};

// --- pitch shift -------------------------------------------------------------------------

TEST_F(PitchScaleUnitTest, RatioOneDelaysBy1792SamplesAtOneAndAHalfTimesTheAmplitude) {
    const std::vector<float> x = FloatSine(1000.0, 1000.0, 44100);
    const std::vector<float> y = Shift(unit, x, 1.0f);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(y[static_cast<size_t>(i)], 0.0f) << "fresh unit, sample " << i;
    // A sample leaves the unit when seven of its eight frames have been added: the frame in
    // which it sits at window position j = t mod 256 comes after it was read. So the gain is
    // 1.5 less half the squared window there (at most 0.7 % below 1.5).
    double worst = 0.0;
    for (size_t t = 4096; t < x.size(); ++t) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * signals::kPi * static_cast<double>(t % 256) / 2048.0);
        worst = std::max(worst, std::fabs(y[t] - (1.5 - 0.5 * w * w) * x[t - kDelay]));
    }
    EXPECT_LT(worst, 0.0005 * 1500.0);
    EXPECT_NEAR(AmplitudeAt(y.data() + 8192, 32768, 1000.0), 1500.0, 0.003 * 1500.0);
}

TEST_F(PitchScaleUnitTest, AnalysisFindsTheTrueFrequencyBetweenBinCentres) {
    // 1000 Hz lies between the centres of bins 46 (990.5 Hz) and 47; the bins of its main lobe
    // all see it from their phase advance once frames follow without reset.
    const std::vector<float> x = FloatSine(1000.0, 5000.0, 16384);
    Shift(unit, x, 1.0f);
    for (int k = 45; k <= 48; ++k) EXPECT_NEAR(unit.AnaFreq()[k], 1000.0f, 0.05f) << "bin " << k;
    EXPECT_NEAR(unit.AnaMag()[46], 5000.0f * 2048 / 4 * 0.8f, 5000.0f * 2048 / 4 * 0.2f);
}

TEST_F(PitchScaleUnitTest, RatioTwoDoublesTheFrequencyWithinOneBin) {
    const std::vector<float> x = FloatSine(440.0, 8000.0, 32768);
    const std::vector<float> y = Shift(unit, x, 2.0f);
    EXPECT_NEAR(DominantHz(y.data() + 16384, 8192), 880.0, 44100.0 / 2048);
}

TEST_F(PitchScaleUnitTest, RatioHalfHalvesTheFrequencyWithinOneBin) {
    const std::vector<float> x = FloatSine(3000.0, 8000.0, 32768);
    const std::vector<float> y = Shift(unit, x, 0.5f);
    EXPECT_NEAR(DominantHz(y.data() + 16384, 8192), 1500.0, 44100.0 / 2048);
}

TEST_F(PitchScaleUnitTest, HighToneKeepsItsAmplitudeAfterAMinuteOfRunning) {
    // The running phase of bin 697 grows by about 550 radians per hop; kept as an
    // ever-growing float it would lose all precision within the minute.
    const double hz = 15000.0;
    const int seconds = 60;
    CPitchScaleUnit& u = unit;
    u.SetPitchRatio(1.0f);
    std::vector<float> in(44100), out(44100);
    double phase = 0.0;
    const double step = 2.0 * signals::kPi * hz / signals::kRate;
    for (int s = 0; s < seconds; ++s) {
        for (float& v : in) {
            v = static_cast<float>(4000.0 * std::sin(phase));
            phase = std::fmod(phase + step, 2.0 * signals::kPi);
        }
        int produced = 0;
        u.Process(in.data(), 44100, out.data(), &produced, s == 0 ? 1 : 0);
    }
    EXPECT_NEAR(AmplitudeAt(out.data() + 4100, 40000, hz), 6000.0, 60.0);
}

TEST_F(PitchScaleUnitTest, NonFiniteInputPassesAndTheToneReturnsIntact) {
    std::vector<float> x = FloatSine(1000.0, 1000.0, 44100);
    for (size_t i = 4096; i < 4096 + 300; ++i) x[i] = std::numeric_limits<float>::quiet_NaN();
    x[5000] = std::numeric_limits<float>::infinity();
    const std::vector<float> y = Shift(unit, x, 1.0f);
    // After the bad samples have left the frames the output is finite again and carries the
    // tone (the bins' phases no longer line up as after a reset, so some level is lost).
    for (size_t i = 12000; i < y.size(); ++i) ASSERT_TRUE(std::isfinite(y[i])) << i;
    EXPECT_GT(AmplitudeAt(y.data() + 24000, 16384, 1000.0), 0.75 * 1500.0);
}

TEST_F(PitchScaleUnitTest, RatioNotAboveZeroStaysOne) {
    for (float bad : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        unit.SetPitchRatio(2.0f);
        unit.SetPitchRatio(bad);
        EXPECT_EQ(unit.GetPitchRatio(), 1.0f) << bad;
    }
}

TEST_F(PitchScaleUnitTest, CountZeroChangesNothingAndReportsZero) {
    float out[4] = {7.0f, 7.0f, 7.0f, 7.0f};
    int produced = -1;
    unit.Process(nullptr, 0, out, &produced, 1);
    EXPECT_EQ(produced, 0);
    EXPECT_EQ(out[0], 7.0f);
    produced = -1;
    unit.ProcessVocal(0, nullptr, nullptr, nullptr, &produced, out, out);
    EXPECT_EQ(produced, 0);
}

TEST(PitchScaleUnitUninitialised, ProcessesNothingBeforeInit) {
    CPitchScaleUnit unit;
    float in[8] = {}, out[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    int produced = -1;
    unit.Process(in, 8, out, &produced, 1);
    EXPECT_EQ(produced, 0);
    EXPECT_EQ(out[0], 1.0f);
}

// --- vocal cut and extract ---------------------------------------------------------------

TEST_F(PitchScaleUnitTest, VocalCutOfAnIdenticalPairSilencesTheBandAndPassesWhatLiesBelow) {
    const float params[5] = {1.0f, 200.0f, 16000.0f, 0.5f, 0.5f};
    const std::vector<float> low = FloatSine(40.0, 3000.0, 65536);
    const std::vector<float> voice = Sum(FloatSine(1000.0, 5000.0, 65536), FloatSine(3100.0, 2000.0, 65536));
    const std::vector<float> both = Sum(low, voice);
    const StereoOut y = Vocal(unit, both, both, params);
    const float* l = y.left.data() + 16384;
    EXPECT_LT(AmplitudeAt(l, 32768, 1000.0), 5.0);
    EXPECT_LT(AmplitudeAt(l, 32768, 3100.0), 5.0);
    EXPECT_NEAR(AmplitudeAt(l, 32768, 40.0), 4500.0, 45.0);
    EXPECT_NEAR(AmplitudeAt(y.right.data() + 16384, 32768, 40.0), 4500.0, 45.0);
}

TEST_F(PitchScaleUnitTest, VocalCutKeepsOnlyTheSideContent) {
    const float params[5] = {1.0f, 100.0f, 16000.0f, 0.5f, 0.5f};
    const std::vector<float> centre = FloatSine(1000.0, 5000.0, 65536);
    const std::vector<float> side = FloatSine(3000.0, 3000.0, 65536);
    const StereoOut y = Vocal(unit, Sum(centre, side), Sum(centre, side, -1.0f), params);
    const float* l = y.left.data() + 16384;
    const float* r = y.right.data() + 16384;
    EXPECT_LT(AmplitudeAt(l, 32768, 1000.0), 10.0);
    EXPECT_NEAR(AmplitudeAt(l, 32768, 3000.0), 4500.0, 45.0);
    EXPECT_NEAR(AmplitudeAt(r, 32768, 3000.0), 4500.0, 45.0);
}

TEST_F(PitchScaleUnitTest, VocalExtractKeepsOnlyTheCentredContent) {
    const float params[5] = {2.0f, 100.0f, 16000.0f, 0.5f, 0.5f};
    const std::vector<float> centre = FloatSine(1000.0, 5000.0, 65536);
    const std::vector<float> side = FloatSine(3000.0, 3000.0, 65536);
    const StereoOut y = Vocal(unit, Sum(centre, side), Sum(centre, side, -1.0f), params);
    const float* l = y.left.data() + 16384;
    const float* r = y.right.data() + 16384;
    EXPECT_NEAR(AmplitudeAt(l, 32768, 1000.0), 7500.0, 75.0);
    EXPECT_NEAR(AmplitudeAt(r, 32768, 1000.0), 7500.0, 75.0);
    EXPECT_LT(AmplitudeAt(l, 32768, 3000.0), 10.0);
}

TEST_F(PitchScaleUnitTest, VocalExtractOfOppositeChannelsLeavesAlmostNothing) {
    const float params[5] = {2.0f, 100.0f, 16000.0f, 0.5f, 0.5f};
    const std::vector<float> x = Sum(FloatSine(440.0, 6000.0, 65536), FloatSine(2500.0, 3000.0, 65536));
    const StereoOut y = Vocal(unit, x, Sum(std::vector<float>(x.size(), 0.0f), x, -1.0f), params);
    EXPECT_LT(Rms(y.left.data() + 16384, 32768), 0.01 * Rms(x.data(), 32768));
}

TEST_F(PitchScaleUnitTest, VocalBandBeyondTheSpectrumIsClampedToIt) {
    // Edges far outside 0..22050 Hz: the whole spectrum above bin 0 is the band.
    const float params[5] = {1.0f, -500.0f, 1.0e9f, 0.5f, 0.5f};
    const std::vector<float> x = Sum(FloatSine(1000.0, 5000.0, 32768), FloatSine(20000.0, 5000.0, 32768));
    const StereoOut y = Vocal(unit, x, x, params);
    EXPECT_LT(Rms(y.left.data() + 8192, 16384), 5.0);
    const float nanParams[5] = {1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::quiet_NaN(),
                                0.5f, 0.5f};
    const StereoOut z = Vocal(unit, x, x, nanParams);  // no band at all: passes at 1.5
    EXPECT_NEAR(AmplitudeAt(z.left.data() + 16384, 16384, 1000.0), 7500.0, 75.0);
}

TEST_F(PitchScaleUnitTest, VocalBandWithLowEdgeAboveHighEdgeKeepsTheDefaultMask) {
    const std::vector<float> x = FloatSine(1000.0, 5000.0, 32768);
    const float cut[5] = {1.0f, 18000.0f, 16000.0f, 0.5f, 0.5f};
    const StereoOut y = Vocal(unit, x, x, cut);
    EXPECT_NEAR(AmplitudeAt(y.left.data() + 16384, 16384, 1000.0), 7500.0, 75.0);
    const float extract[5] = {2.0f, 18000.0f, 16000.0f, 0.5f, 0.5f};
    const StereoOut z = Vocal(unit, x, x, extract);
    EXPECT_LT(Rms(z.left.data() + 16384, 16384), 1.0);
}

// --- vector widths -----------------------------------------------------------------------

// The unit's loops run four, eight or sixteen lanes at a time depending on the processor; a
// lane that did its arithmetic differently would change the sound on some machines only.
TEST(PitchScaleUnitLanes, EveryVectorWidthGivesTheSameSamplesAndAnalysis) {
    std::vector<float> x(44100);
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        x[i] = static_cast<float>(6000.0 * std::sin(2 * 3.14159265358979 * (180.0 + 400.0 * t) * t) +
                                  900.0 * std::sin(2 * 3.14159265358979 * 2750.0 * t));
    }
    // Up by a fifth and down by more than an octave (neighbouring target bins then take source
    // bins far apart).
    for (float ratio : {1.3348f, 0.3f}) {
        std::vector<float> want, wantFreq;
        for (int lanes : {4, 8, 16}) {
            LimitVectorFloats(lanes);
            if (VectorFloats() != lanes) continue;  // not on this processor
            CPitchScaleUnit unit;
            ASSERT_TRUE(unit.Init(0, 44100, 0));
            const std::vector<float> y = Shift(unit, x, ratio, 1000);
            const std::vector<float> freq(unit.AnaFreq(), unit.AnaFreq() + CPitchScaleUnit::kBins);
            if (want.empty()) {
                want = y;
                wantFreq = freq;
                continue;
            }
            EXPECT_EQ(y, want) << lanes << " lanes, ratio " << ratio;
            EXPECT_EQ(freq, wantFreq) << lanes << " lanes, ratio " << ratio;
        }
    }
    LimitVectorFloats(0);
}

// --- sine and cosine ----------------------------------------------------------------------

TEST(SinCos4, MatchesTheLibraryWithinOneMillionthOverOneTurnEachWay) {
    alignas(16) float x[4], s[4], c[4];
    double worst = 0.0;
    for (int i = -20000; i < 20000; i += 4) {
        for (int j = 0; j < 4; ++j) x[j] = static_cast<float>((i + j) * (3.14159265358979 / 20000.0));
        SinCos4(x, s, c);
        for (int j = 0; j < 4; ++j) {
            worst = std::max(worst, std::fabs(s[j] - std::sin(static_cast<double>(x[j]))));
            worst = std::max(worst, std::fabs(c[j] - std::cos(static_cast<double>(x[j]))));
        }
    }
    EXPECT_LT(worst, 1e-6);
}

}  // namespace

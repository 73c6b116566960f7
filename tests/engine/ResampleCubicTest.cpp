#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/VectorWidth.h"
#include "engine/ResampleCubic.h"

namespace {

TEST(ResampleCubicTest, ConstantSegmentGivesTheConstantEverywhere) {
    // The weights add up to one only to single precision, so truncation may land one below.
    const std::vector<float> t(101, 1234.0f);
    for (int nOut : {1, 37, 100, 250})
        for (int i = 0; i < nOut; ++i) EXPECT_NEAR(ResampleCubic(t.data(), 100, nOut, i), 1234, 1) << nOut << " " << i;
}

TEST(ResampleCubicTest, FirstOutputIsTheCarriedSample) {
    std::vector<float> t = {-700.0f, 10.0f, 20.0f, 30.0f, 40.0f};
    EXPECT_EQ(ResampleCubic(t.data(), 4, 9, 0), -700);
    EXPECT_EQ(ResampleCubicDouble(t.data(), 4, 9, 0), -700);
}

TEST(ResampleCubicTest, EqualLengthsFollowTheSamples) {
    std::vector<float> t(301);
    for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<float>((static_cast<int>(i) * 7919) % 20001 - 10000);
    for (int i = 0; i < 300; ++i) EXPECT_NEAR(ResampleCubic(t.data(), 300, 300, i), t[static_cast<size_t>(i)], 1.0) << i;
}

TEST(ResampleCubicTest, EndsBlendLinearly) {
    std::vector<float> t = {0.0f, 1000.0f};
    // nIn = 1: every position lies between t[0] and t[1].
    EXPECT_EQ(ResampleCubic(t.data(), 1, 4, 1), 250);
    EXPECT_EQ(ResampleCubic(t.data(), 1, 4, 3), 750);
    std::vector<float> ramp = {0.0f, 100.0f, 200.0f, 300.0f, 400.0f, 500.0f};
    // Last interval of a 5-sample segment (j = nIn - 1) is linear too.
    EXPECT_EQ(ResampleCubic(ramp.data(), 5, 10, 9), 450);
}

TEST(ResampleCubicTest, InsideThePolynomialPassesThroughAndStaysBetween) {
    std::vector<float> t = {0.0f, 0.0f, 1000.0f, 2000.0f, 2000.0f, 2000.0f, 2000.0f};
    // Upsampling by 4 over a smooth step: monotonic inside, endpoints hit exactly.
    int previous = -1;
    for (int i = 0; i < 24; ++i) {
        const int y = ResampleCubic(t.data(), 6, 24, i);
        EXPECT_GE(y, previous - 40) << i;
        previous = y;
    }
    EXPECT_EQ(ResampleCubic(t.data(), 6, 24, 8), 1000);
}

TEST(ResampleCubicTest, InsideItBlendsFourSamplesNotTwo) {
    // Halfway between two equal samples whose outer neighbours are 0 the four weights give
    // 0.575 + 0.575 of them (a straight line would give the samples themselves).
    const std::vector<float> step = {0.0f, 0.0f, 0.0f, 1000.0f, 1000.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(ResampleCubic(step.data(), 7, 14, 7), 1150);
    // A sine of 16 samples per cycle upsampled by 4 stays within 60 of the true curve (a
    // straight line between the samples strays up to 188).
    std::vector<float> t(201);
    for (size_t k = 0; k < t.size(); ++k) t[k] = static_cast<float>(10000.0 * std::sin(2.0 * 3.141592653589793 * static_cast<double>(k) / 16.0));
    // t[0] is the carried sample: output i lies at i / 4 on t[0..200].
    double worst = 0.0;
    for (int i = 8; i < 4 * 200 - 8; ++i) {
        const double truth = 10000.0 * std::sin(2.0 * 3.141592653589793 * (i / 4.0) / 16.0);
        worst = std::max(worst, std::fabs(ResampleCubic(t.data(), 200, 800, i) - truth));
    }
    EXPECT_LT(worst, 60.0);
}

TEST(ResampleCubicTest, NoOutputOrNoInputGivesZero) {
    std::vector<float> t = {5.0f, 6.0f};
    EXPECT_EQ(ResampleCubic(t.data(), 1, 0, 0), 0);
    EXPECT_EQ(ResampleCubic(t.data(), 0, 5, 0), 0);
}

TEST(ResampleCubicTest, RoundedLastPositionNeverReadsPastTheSegment) {
    // With many outputs the single-precision position of the last one can round up to nIn.
    const int nIn = 16777;
    std::vector<float> t(static_cast<size_t>(nIn) + 1, 3.0f);
    for (int nOut : {16776, 16779, 33553, 50000}) {
        for (int i = nOut - 3; i < nOut; ++i) EXPECT_EQ(ResampleCubic(t.data(), nIn, nOut, i), 3);
    }
}

// The blend written out with the remainder taken by fmod, as the rule states it: the resampler
// must give the same integer at every position, whichever way it finds the fraction.
int BlendWithRemainder(const std::vector<float>& t, int nIn, double pos) {
    double a = std::fmod(pos, 1.0);
    int j = static_cast<int>(std::floor(pos));
    if (j >= nIn) {
        j = nIn - 1;
        a = 1.0;
    }
    if (j <= 0 || j >= nIn - 1) return static_cast<int>(static_cast<double>(t[j + 1]) * a + (1.0 - a) * static_cast<double>(t[j]));
    const float af = static_cast<float>(a), bf = static_cast<float>(1.0 - a);
    const float A = (af * af - 1.0f) * af * 0.16666667f, B = (bf * bf - 1.0f) * bf * 0.16666667f;
    float y = ((12.0f * A - 18.0f * B) * 0.2f + bf) * t[j] + ((8.0f * B - 2.0f * A) * 0.2f) * t[j - 1];
    y = y + ((12.0f * B - 18.0f * A) * 0.2f + af) * t[j + 1];
    y = y + ((8.0f * A - 2.0f * B) * 0.2f) * t[j + 2];
    return static_cast<int>(y);
}

TEST(ResampleCubicTest, EveryOutputEqualsTheBlendWithTheRemainderTakenByFmod) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> dist(-30000.0f, 30000.0f);
    for (int nIn : {1, 2, 3, 7, 300, 1021, 16384}) {
        std::vector<float> t(static_cast<size_t>(nIn) + 1);
        for (float& v : t) v = dist(rng);
        for (int nOut : {1, 5, nIn, nIn + 1, 2 * nIn + 3, (nIn * 7) / 5 + 1, 16384}) {
            const float inv = 1.0f / static_cast<float>(nOut);
            for (int i = 0; i < nOut; ++i) {
                const float pos = static_cast<float>(i) * static_cast<float>(nIn) * inv;
                ASSERT_EQ(ResampleCubic(t.data(), nIn, nOut, i), BlendWithRemainder(t, nIn, pos)) << nIn << " " << nOut << " " << i;
                const double posD = static_cast<double>(i) * static_cast<double>(nIn) * (1.0 / static_cast<double>(nOut));
                ASSERT_EQ(ResampleCubicDouble(t.data(), nIn, nOut, i), BlendWithRemainder(t, nIn, posD)) << nIn << " " << nOut;
            }
        }
    }
}

// The synthesis takes its outputs a run at a time (on vectors where the processor has them):
// every one must be the value ResampleCubic gives for it, at every width, from runs starting
// anywhere, over segments that stretch and squeeze.
TEST(ResampleCubicTest, RunsGiveTheSameValuesAsOneOutputAtATimeAtEveryWidth) {
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> dist(-40000.0f, 40000.0f);
    for (int lanes : {4, 8, 16}) {
        LimitVectorFloats(lanes);
        if (VectorFloats() != lanes) continue;
        for (int nIn : {1, 2, 5, 64, 777, 16384}) {
            std::vector<float> t(static_cast<size_t>(nIn) + 1);
            for (float& v : t) v = dist(rng);
            for (int nOut : {1, 3, nIn, (nIn * 3) / 2 + 1, nIn / 2 + 1, 16384}) {
                std::vector<int> run(static_cast<size_t>(nOut));
                for (int first = 0; first < nOut; first += 253)
                    ResampleCubicRun(t.data(), nIn, nOut, first, std::min(253, nOut - first), run.data() + first);
                for (int i = 0; i < nOut; ++i)
                    ASSERT_EQ(run[static_cast<size_t>(i)], ResampleCubic(t.data(), nIn, nOut, i))
                        << lanes << " lanes, " << nIn << " in, " << nOut << " out, output " << i;
            }
        }
    }
    LimitVectorFloats(0);
}

}  // namespace

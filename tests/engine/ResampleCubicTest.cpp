#include <gtest/gtest.h>

#include <vector>

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

}  // namespace

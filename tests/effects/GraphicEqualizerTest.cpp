#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "effects/GraphicEqualizer.h"
#include "effects/PeakingDesign.h"

namespace {

EqDesign MakeDesign(const int (&gains)[kEqBands], float q) {
    EqDesign design;
    for (int k = 0; k < kEqBands; ++k) {
        DesignPeaking(static_cast<float>(EqBandFrequency(k)), static_cast<float>(gains[k]), q, design.b[k], design.a[k]);
    }
    return design;
}

const int kMixedGains[kEqBands] = {3, -6, 12, 0, -24, 7, -1, 12, -12, 5, -3};

std::vector<float> Voice(int n, int channels) {
    std::vector<float> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const float t = static_cast<float>(i / channels);
        v[static_cast<size_t>(i)] = std::trunc(6000.0f * std::sin(t * 0.031f) + 2500.0f * std::sin(t * 0.4f + static_cast<float>(i % channels)));
    }
    return v;
}

// The cascade as eleven separate passes of whole blocks, alternating between two buffers, then
// every value truncated toward zero and limited to the 16-bit range.
std::vector<float> BandByBand(const EqDesign& design, const std::vector<float>& in, int channels) {
    std::vector<float> a = in;
    std::vector<float> b(in.size());
    for (int k = 0; k < kEqBands; ++k) {
        CIIRUnit unit;
        for (int i = 0; i < 3; ++i) {
            unit.m_fB[i] = design.b[k][i];
            unit.m_fA[i] = design.a[k][i];
        }
        unit.Process(a.data(), static_cast<int>(a.size()), channels, b.data());
        a.swap(b);
    }
    for (float& v : a) v = std::trunc(std::fmax(-32767.0f, std::fmin(32767.0f, v)));
    return a;
}

TEST(GraphicEqualizer, CascadeEqualsElevenBandsOneAfterTheOther) {
    const EqDesign design = MakeDesign(kMixedGains, 1.3f);
    for (int channels : {1, 2}) {
        CGraphicEqualizer eq;
        eq.Publish(design);
        std::vector<float> buf = Voice(4096, channels);
        const std::vector<float> expected = BandByBand(design, buf, channels);
        eq.Process(buf.data(), static_cast<int>(buf.size()), channels);
        EXPECT_EQ(buf, expected) << channels << " channels";
    }
}

TEST(GraphicEqualizer, BlocksOfAnyLengthGiveTheSameStream) {
    const EqDesign design = MakeDesign(kMixedGains, 0.7f);
    for (int channels : {1, 2}) {
        const std::vector<float> in = Voice(3001, channels);
        CGraphicEqualizer whole;
        whole.Publish(design);
        std::vector<float> expected = in;
        whole.Process(expected.data(), static_cast<int>(expected.size()), channels);

        CGraphicEqualizer pieces;
        pieces.Publish(design);
        std::vector<float> buf = in;
        const int lengths[] = {0, 1, 2, 3, 512, 1, 0, 77};
        int pos = 0;
        for (int i = 0; pos < static_cast<int>(buf.size()); ++i) {
            const int len = std::min(lengths[i % 8], static_cast<int>(buf.size()) - pos);
            pieces.Process(buf.data() + pos, len, channels);
            pos += len;
        }
        EXPECT_EQ(buf, expected) << channels << " channels";
    }
}

TEST(GraphicEqualizer, OutputIsTruncatedTowardZero) {
    CGraphicEqualizer eq;  // identity bands
    std::vector<float> buf = {1.75f, -1.75f, 0.5f, -0.5f, 32766.9f};
    eq.Process(buf.data(), 5, 1);
    EXPECT_EQ(buf, (std::vector<float>{1.0f, -1.0f, 0.0f, -0.0f, 32766.0f}));
}

TEST(GraphicEqualizer, OverflowingValuesTakeTheLimitOfTheirOwnSign) {
    int gains[kEqBands];
    std::fill(std::begin(gains), std::end(gains), 12);
    CGraphicEqualizer eq;
    eq.Publish(MakeDesign(gains, 0.1f));
    std::vector<float> buf(8192);
    for (size_t i = 0; i < buf.size(); ++i) buf[i] = (i / 40) % 2 ? 30000.0f : -30000.0f;
    eq.Process(buf.data(), static_cast<int>(buf.size()), 1);
    int top = 0;
    int bottom = 0;
    for (float v : buf) {
        ASSERT_LE(std::fabs(v), 32767.0f);
        top += v == 32767.0f;
        bottom += v == -32767.0f;
    }
    EXPECT_GT(top, 100);
    EXPECT_GT(bottom, 100);
    // Far beyond any integer's range: still limited by sign, never wrapped around.
    CGraphicEqualizer identity;
    std::vector<float> huge = {1e30f, -1e30f, std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
    identity.Process(huge.data(), 4, 2);
    EXPECT_EQ(huge, (std::vector<float>{32767.0f, -32767.0f, 32767.0f, -32767.0f}));
}

TEST(GraphicEqualizer, NonFiniteInputGivesSilenceAndDoesNotPoisonLaterBlocks) {
    CGraphicEqualizer eq;
    eq.Publish(MakeDesign(kMixedGains, 1.0f));
    std::vector<float> bad = Voice(256, 1);
    bad[100] = std::numeric_limits<float>::quiet_NaN();
    eq.Process(bad.data(), 256, 1);
    EXPECT_EQ(bad[100], 0.0f);
    for (int k = 0; k < kEqBands; ++k) EXPECT_TRUE(eq.Band(k).HistoryIsFinite()) << k;

    std::vector<float> good = Voice(256, 1);
    eq.Process(good.data(), 256, 1);
    CGraphicEqualizer fresh;
    fresh.Publish(MakeDesign(kMixedGains, 1.0f));
    std::vector<float> expected = Voice(256, 1);
    fresh.Process(expected.data(), 256, 1);
    EXPECT_EQ(good, expected);
}

TEST(GraphicEqualizer, PublishedDesignTakesEffectAtTheStartOfTheNextBlock) {
    const EqDesign design = MakeDesign(kMixedGains, 2.0f);
    CGraphicEqualizer eq;
    std::vector<float> first = Voice(64, 1);
    const std::vector<float> original = first;
    eq.Process(first.data(), 64, 1);
    EXPECT_EQ(first, original);  // nothing published yet: identity bands
    eq.Publish(design);
    for (int k = 0; k < kEqBands; ++k) EXPECT_EQ(eq.Band(k).m_fB[0], 1.0f);  // not before the block
    std::vector<float> second = Voice(64, 1);
    eq.Process(second.data(), 64, 1);
    for (int k = 0; k < kEqBands; ++k) EXPECT_EQ(eq.Band(k).m_fB[2], design.b[k][2]) << k;
}

}  // namespace

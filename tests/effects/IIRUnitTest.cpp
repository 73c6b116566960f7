#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "effects/IIRUnit.h"

namespace {

std::vector<float> TestSignal(int n, int seed) {
    std::vector<float> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        v[static_cast<size_t>(i)] =
            std::trunc(9000.0f * std::sin(0.013f * static_cast<float>(i * (seed + 1))) + 700.0f * static_cast<float>((i * 37 + seed) % 11) - 3000.0f);
    }
    return v;
}

CIIRUnit BoostUnit() {
    CIIRUnit unit;
    unit.SetPeakingEQ(523.2512f, 12.0f, 0.7f);
    return unit;
}

// Filters the whole signal in calls of the given lengths, cycling through them.
std::vector<float> FilterInPieces(CIIRUnit unit, const std::vector<float>& in, int channels, const std::vector<int>& lengths) {
    std::vector<float> out(in.size());
    size_t pos = 0;
    size_t next = 0;
    while (pos < in.size()) {
        const size_t len = std::min(static_cast<size_t>(lengths[next++ % lengths.size()]), in.size() - pos);
        std::vector<float> piece(in.begin() + static_cast<long>(pos), in.begin() + static_cast<long>(pos + len));
        std::vector<float> result(len);
        unit.Process(piece.data(), static_cast<int>(len), channels, result.data());
        std::copy(result.begin(), result.end(), out.begin() + static_cast<long>(pos));
        pos += len;
    }
    return out;
}

TEST(IIRUnit, InitialStatePassesInputUnchanged) {
    CIIRUnit unit;
    const std::vector<float> in = TestSignal(64, 1);
    std::vector<float> out(in.size());
    unit.Process(in.data(), 64, 1, out.data());
    EXPECT_EQ(out, in);
}

TEST(IIRUnit, SilenceWithSilentHistoryStaysSilentWhateverTheCoefficients) {
    CIIRUnit unit = BoostUnit();
    const std::vector<float> zeros(40, 0.0f);
    std::vector<float> out(40, 1.0f);
    unit.Process(zeros.data(), 40, 2, out.data());
    EXPECT_EQ(out, zeros);
}

TEST(IIRUnit, PeakingFilterScalesASineAtItsCentreByItsGain) {
    for (float gainDb : {12.0f, -24.0f}) {
        CIIRUnit unit;
        unit.SetPeakingEQ(1046.5024f, gainDb, 1.0f);
        std::vector<float> in(8820);
        for (size_t i = 0; i < in.size(); ++i) in[i] = 1000.0f * static_cast<float>(std::sin(2.0 * M_PI * 1046.5024 * static_cast<double>(i) / 44100.0));
        std::vector<float> out(in.size());
        unit.Process(in.data(), static_cast<int>(in.size()), 1, out.data());
        float peak = 0.0f;
        for (size_t i = in.size() - 2000; i < in.size(); ++i) peak = std::max(peak, std::fabs(out[i]));
        EXPECT_NEAR(peak, 1000.0f * std::pow(10.0f, gainDb / 20.0f), 1000.0f * std::pow(10.0f, gainDb / 20.0f) * 0.01f) << gainDb;
    }
}

TEST(IIRUnit, MonoInPiecesOfAnyLengthMatchesOneCall) {
    const std::vector<float> in = TestSignal(997, 2);
    const std::vector<float> whole = FilterInPieces(BoostUnit(), in, 1, {997});
    EXPECT_EQ(FilterInPieces(BoostUnit(), in, 1, {2}), whole);
    EXPECT_EQ(FilterInPieces(BoostUnit(), in, 1, {1}), whole);
    EXPECT_EQ(FilterInPieces(BoostUnit(), in, 1, {0, 1, 3, 0, 2, 17, 1}), whole);
}

TEST(IIRUnit, StereoInPiecesOfAnyLengthMatchesOneCall) {
    const std::vector<float> in = TestSignal(1000, 3);
    const std::vector<float> whole = FilterInPieces(BoostUnit(), in, 2, {1000});
    EXPECT_EQ(FilterInPieces(BoostUnit(), in, 2, {4}), whole);
    EXPECT_EQ(FilterInPieces(BoostUnit(), in, 2, {2}), whole);
    EXPECT_EQ(FilterInPieces(BoostUnit(), in, 2, {1}), whole);
    EXPECT_EQ(FilterInPieces(BoostUnit(), in, 2, {0, 1, 3, 0, 5, 2, 33}), whole);
}

TEST(IIRUnit, StereoChannelsAreFilteredIndependently) {
    std::vector<float> left = TestSignal(300, 4);
    std::vector<float> right = TestSignal(300, 5);
    std::vector<float> stereo;
    for (size_t i = 0; i < left.size(); ++i) {
        stereo.push_back(left[i]);
        stereo.push_back(right[i]);
    }
    const std::vector<float> both = FilterInPieces(BoostUnit(), stereo, 2, {64});
    const std::vector<float> l = FilterInPieces(BoostUnit(), left, 1, {300});
    const std::vector<float> r = FilterInPieces(BoostUnit(), right, 1, {300});
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(both[2 * i], l[i]) << i;
        ASSERT_EQ(both[2 * i + 1], r[i]) << i;
    }
}

TEST(IIRUnit, HistorySlotsHoldTheLastValuesOfTheCall) {
    CIIRUnit unit = BoostUnit();
    const float in[6] = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f};
    float out[6];
    unit.Process(in, 6, 1, out);
    EXPECT_EQ(unit.m_fXHist[0], 5.0f);
    EXPECT_EQ(unit.m_fXHist[1], 6.0f);
    EXPECT_EQ(unit.m_fYHist[0], out[4]);
    EXPECT_EQ(unit.m_fYHist[1], out[5]);

    unit.Process(in, 6, 2, out);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(unit.m_fXHist[s], in[2 + s]) << s;
        EXPECT_EQ(unit.m_fYHist[s], out[2 + s]) << s;
    }
}

TEST(IIRUnit, MonoCallAfterStereoTakesSlotZeroAsTwoBackAndSlotOneAsOneBack) {
    CIIRUnit unit;
    unit.m_fB[0] = 0.0f;
    unit.m_fB[1] = 1.0f;  // y = x[-1]
    const float stereo[4] = {10.0f, 20.0f, 30.0f, 40.0f};
    float out[4];
    unit.Process(stereo, 4, 2, out);
    const float mono[2] = {0.0f, 0.0f};
    float monoOut[2];
    unit.Process(mono, 2, 1, monoOut);
    EXPECT_EQ(monoOut[0], 20.0f);  // slot [1]: right of the second-to-last frame

    CIIRUnit twoBack;
    twoBack.m_fB[0] = 0.0f;
    twoBack.m_fB[2] = 1.0f;  // y = x[-2]
    twoBack.Process(stereo, 4, 2, out);
    twoBack.Process(mono, 2, 1, monoOut);
    EXPECT_EQ(monoOut[0], 10.0f);  // slot [0]: left of the second-to-last frame
}

TEST(IIRUnit, ResetRestoresExactPassThrough) {
    CIIRUnit unit = BoostUnit();
    const std::vector<float> in = TestSignal(50, 6);
    std::vector<float> out(in.size());
    unit.Process(in.data(), 50, 1, out.data());
    unit.Reset();
    unit.Process(in.data(), 50, 1, out.data());
    EXPECT_EQ(out, in);
}

}  // namespace

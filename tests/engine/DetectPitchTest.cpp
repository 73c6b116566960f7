#include <gtest/gtest.h>

#include <cmath>

#include "support/EngineHarness.h"

namespace {

class DetectPitchTest : public ::testing::Test {
protected:
    EngineHarness h;

    void FillRing(double hz, double amplitude) {
        for (int i = 0; i < h.dlg.m_nRingLen; ++i)
            h.dlg.m_pfInputBuf[i] = static_cast<float>(amplitude * std::sin(2 * 3.14159265358979 * hz * i / 44100.0));
    }
    void FillConstant(float v) {
        for (int i = 0; i < h.dlg.m_nRingLen; ++i) h.dlg.m_pfInputBuf[i] = v;
    }
    // The search of the default range, keys 7..40 (95 Hz to 679 Hz), over two lowest periods.
    void Detect(float* hz, int* period, float corrTh = 0.5f, int fLo = 95, int fHi = 679, int start = 0) {
        const int w2 = 2 * static_cast<int>(44100.0f / static_cast<float>(fLo));
        h.dlg.DetectPitch(hz, period, start, w2 + 1, corrTh, fLo, fHi);
    }
};

TEST_F(DetectPitchTest, PureToneGivesItsPeriod) {
    FillRing(220.5, 8000.0);
    float hz = 0;
    int period = 0;
    Detect(&hz, &period);
    EXPECT_EQ(period, 200);
    EXPECT_FLOAT_EQ(hz, 220.5f);
}

TEST_F(DetectPitchTest, WindowWrapsAroundTheRingEnd) {
    FillRing(220.5, 8000.0);
    // A tone continuous across the ring's end: 65536 is not a multiple of 200, so rebuild it so.
    const int n = h.dlg.m_nRingLen;
    for (int i = 0; i < 1000; ++i) {
        const int x = n - 500 + i;
        h.dlg.m_pfInputBuf[x & h.dlg.m_nRingMask] = static_cast<float>(8000.0 * std::sin(2 * 3.14159265358979 * 220.5 * x / 44100.0));
    }
    float hz = 0;
    int period = 0;
    Detect(&hz, &period, 0.5f, 95, 679, n - 500);
    EXPECT_EQ(period, 200);
}

TEST_F(DetectPitchTest, SilenceAndConstantInputAreUnvoiced) {
    float hz = 1;
    int period = 1;
    FillConstant(0.0f);
    Detect(&hz, &period);
    EXPECT_EQ(period, 0);
    EXPECT_EQ(hz, 0.0f);
    FillConstant(1234.0f);
    hz = 1;
    period = 1;
    Detect(&hz, &period);
    EXPECT_EQ(period, 0);
    EXPECT_EQ(hz, 0.0f);
}

TEST_F(DetectPitchTest, OctaveGuardPrefersTheShorterPeriod) {
    // Fundamental 110.25 Hz plus a strong octave: the correlation at 400 is as high as at 200's
    // neighbourhood; the guard takes the first rise above 90 % of the best.
    for (int i = 0; i < h.dlg.m_nRingLen; ++i) {
        const double t = i / 44100.0;
        h.dlg.m_pfInputBuf[i] = static_cast<float>(8000.0 * std::sin(2 * 3.14159265358979 * 220.5 * t) +
                                                   50.0 * std::sin(2 * 3.14159265358979 * 110.25 * t));
    }
    float hz = 0;
    int period = 0;
    Detect(&hz, &period);
    EXPECT_EQ(period, 200);
}

TEST_F(DetectPitchTest, ThresholdDecidesVoicing) {
    // A tone buried in pseudo-random noise correlates well below 1 at its period.
    unsigned seed = 12345;
    for (int i = 0; i < h.dlg.m_nRingLen; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 3000.0;
        h.dlg.m_pfInputBuf[i] = static_cast<float>(4000.0 * std::sin(2 * 3.14159265358979 * 220.5 * i / 44100.0) + noise);
    }
    float hz = 0;
    int period = 0;
    Detect(&hz, &period, 0.5f);
    EXPECT_NEAR(period, 200, 10);  // noise ripples can end the octave guard's climb early
    Detect(&hz, &period, 0.99f);
    EXPECT_EQ(period, 0);
    EXPECT_EQ(hz, 0.0f);
}

TEST_F(DetectPitchTest, LimitsThatLeaveNoLagAreUnvoiced) {
    FillRing(220.5, 8000.0);
    float hz = 1;
    int period = 1;
    h.dlg.DetectPitch(&hz, &period, 0, 929, 0.5f, 679, 95);  // upper limit below the lower one
    EXPECT_EQ(period, 0);
    h.dlg.DetectPitch(&hz, &period, 0, 929, 0.5f, 0, 679);  // no lower limit
    EXPECT_EQ(period, 0);
    h.dlg.DetectPitch(&hz, &period, 0, 929, 0.5f, 95, 88200);  // lag below 1
    EXPECT_EQ(period, 0);
    h.dlg.DetectPitch(&hz, &period, 0, CWaveInOutDlg::kFrameSlots + 1, 0.5f, 95, 679);  // window too long
    EXPECT_EQ(period, 0);
}

TEST_F(DetectPitchTest, WidestRangeAtLowTuningStaysInsideTheScratchArrays) {
    EngineHarness low(0, 220);
    const int fLo = low.dlg.m_nKeyBoundaryHz[0];
    const int fHi = low.dlg.m_nKeyBoundaryHz[62];
    ASSERT_EQ(fLo, 32);
    const int maxLag = static_cast<int>(44100.0f / static_cast<float>(fLo));
    const int minLag = static_cast<int>(44100.0f / static_cast<float>(fHi));
    ASSERT_LE(maxLag - minLag + 1, CWaveInOutDlg::kCorrSlots);
    // A pulse-like tone of 50 Hz (period 882) with twenty equal harmonics.
    for (int i = 0; i < low.dlg.m_nRingLen; ++i) {
        double x = 0.0;
        for (int k = 1; k <= 20; ++k) x += std::sin(2 * 3.14159265358979 * 50.0 * k * i / 44100.0);
        low.dlg.m_pfInputBuf[i] = static_cast<float>(600.0 * x);
    }
    float hz = 0;
    int period = 0;
    low.dlg.DetectPitch(&hz, &period, 100, 2 * maxLag + 1, 0.5f, fLo, fHi);
    EXPECT_EQ(period, 882);
}

}  // namespace

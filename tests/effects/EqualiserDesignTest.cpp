#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>

#include "effects/EqResponse.h"
#include "effects/GraphicEqualizer.h"
#include "effects/IIRUnit.h"
#include "effects/PeakingDesign.h"

namespace {

// Within 1e-6 of the reference, relative to the reference or to 1 when it is smaller (a
// coefficient near zero comes out of a difference of two values near 1).
void ExpectCoefficient(float actual, double expected, const char* what, int band) {
    EXPECT_NEAR(actual, expected, 1e-6 * std::max(1.0, std::fabs(expected))) << what << " band " << band;
}

TEST(EqualiserDesign, BandCentresAreOctavesOfC0) {
    EXPECT_DOUBLE_EQ(EqBandFrequency(0), 16.3516);
    EXPECT_DOUBLE_EQ(EqBandFrequency(5), 523.2512);
    EXPECT_DOUBLE_EQ(EqBandFrequency(10), 16744.0384);
}

TEST(EqualiserDesign, CoefficientsMatchThePeakingFormula) {
    for (int gain : {12, 5, 0, -7, -24}) {
        for (float q : {0.25f, 1.0f, 4.5f}) {
            for (int k = 0; k < kEqBands; ++k) {
                float b[3];
                float a[3];
                DesignPeaking(static_cast<float>(EqBandFrequency(k)), static_cast<float>(gain), q, b, a);
                const double amp = std::pow(10.0, gain / 40.0);
                const double w0 = 2.0 * M_PI * EqBandFrequency(k) / 44100.0;
                const double alpha = std::sin(w0) / (2.0 * q);
                const double a0 = 1.0 + alpha / amp;
                ExpectCoefficient(b[0], (1.0 + alpha * amp) / a0, "b0", k);
                ExpectCoefficient(b[1], -2.0 * std::cos(w0) / a0, "b1", k);
                ExpectCoefficient(b[2], (1.0 - alpha * amp) / a0, "b2", k);
                ExpectCoefficient(a[0], 1.0, "a0", k);
                ExpectCoefficient(a[1], -2.0 * std::cos(w0) / a0, "a1", k);
                ExpectCoefficient(a[2], (1.0 - alpha / amp) / a0, "a2", k);
                EXPECT_EQ(b[1], a[1]);
            }
        }
    }
}

TEST(EqualiserDesign, FlatBandHasUnitNumeratorAndZeroDecibelResponse) {
    for (int k = 0; k < kEqBands; ++k) {
        float b[3];
        float a[3];
        DesignPeaking(static_cast<float>(EqBandFrequency(k)), 0.0f, 1.0f, b, a);
        EXPECT_NEAR(b[0], 1.0f, 1e-6f);
        EXPECT_EQ(b[1], a[1]);
        EXPECT_EQ(b[2], a[2]);
        float resp[kEqResponsePoints];
        CalcEqResponse(b, a, resp);
        for (int j = 0; j < kEqResponsePoints; ++j) ASSERT_NEAR(resp[j], 0.0f, 1e-5f) << "band " << k << " point " << j;
    }
}

// The response computed the way the graph defines it, step by step in single precision.
float ReferenceResponse(const float* b, const float* a, int point) {
    float f = 16.3516f;
    const float ratio = std::pow(2.0f, 0.025f);
    for (int j = 0; j < point; ++j) f = f * ratio;
    const float w = static_cast<float>(static_cast<double>(f) * 6.283185307179586 * 2.2675736961451248e-5);
    const std::complex<float> z1(std::cos(-w), std::sin(-w));
    const std::complex<float> z2(std::cos(w * -2.0f), std::sin(w * -2.0f));
    const std::complex<float> num(b[1] * z1.real() + b[0] + b[2] * z2.real(), b[2] * z2.imag() + b[1] * z1.imag());
    const std::complex<float> den(a[1] * z1.real() + 1.0f + a[2] * z2.real(), a[2] * z2.imag() + a[1] * z1.imag());
    const std::complex<float> h = num / den;
    return 10.0f * std::log10(h.real() * h.real() + h.imag() * h.imag());
}

TEST(EqualiserDesign, ResponseFollowsTheGraphsSinglePrecisionEvaluation) {
    for (int gain : {12, -24, 3}) {
        for (int k : {0, 4, 10}) {
            float b[3];
            float a[3];
            DesignPeaking(static_cast<float>(EqBandFrequency(k)), static_cast<float>(gain), 0.8f, b, a);
            float resp[kEqResponsePoints];
            CalcEqResponse(b, a, resp);
            for (int j = 0; j < kEqResponsePoints; j += 7) {
                const float expected = ReferenceResponse(b, a, j);
                ASSERT_NEAR(resp[j], expected, std::max(1e-5, 1e-6 * std::fabs(expected))) << "gain " << gain << " band " << k << " point " << j;
            }
        }
    }
}

TEST(EqualiserDesign, ResponseAgreesWithTheExactTransferFunction) {
    // Bands from C4 up: their single-precision evaluation is well conditioned.
    for (int k = 4; k < kEqBands; ++k) {
        float b[3];
        float a[3];
        DesignPeaking(static_cast<float>(EqBandFrequency(k)), -9.0f, 1.5f, b, a);
        float resp[kEqResponsePoints];
        CalcEqResponse(b, a, resp);
        for (int j = 0; j < kEqResponsePoints; j += 13) {
            const double w = 2.0 * M_PI * 16.3516 * std::pow(2.0, j / 40.0) / 44100.0;
            const std::complex<double> z1 = std::polar(1.0, -w);
            const std::complex<double> z2 = std::polar(1.0, -2.0 * w);
            const double bd[3] = {b[0], b[1], b[2]};
            const double ad[3] = {a[0], a[1], a[2]};
            const std::complex<double> h = (bd[0] + bd[1] * z1 + bd[2] * z2) / (1.0 + ad[1] * z1 + ad[2] * z2);
            ASSERT_NEAR(resp[j], 10.0 * std::log10(std::norm(h)), 2e-3) << "band " << k << " point " << j;
        }
    }
}

TEST(EqualiserDesign, BoostedBandPeaksAtItsCentrePoint) {
    for (int k = 0; k < kEqBands - 1; ++k) {
        float b[3];
        float a[3];
        DesignPeaking(static_cast<float>(EqBandFrequency(k)), 12.0f, 1.0f, b, a);
        float resp[kEqResponsePoints];
        CalcEqResponse(b, a, resp);
        const int peak = static_cast<int>(std::max_element(resp, resp + kEqResponsePoints) - resp);
        EXPECT_NEAR(peak, 40 * k, 1) << "band " << k;
        EXPECT_NEAR(resp[40 * k], 12.0f, 0.01f) << "band " << k;
    }
}

}  // namespace

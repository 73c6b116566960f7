#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

#include "engine/VectorWidth.h"
#include "engine/FFT.h"

namespace {

using Complex = std::complex<double>;

std::vector<float> RandomPoints(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> a(static_cast<size_t>(2 * n));
    for (float& v : a) v = dist(rng);
    return a;
}

// Direct DFT in double precision; sign -1 forward (unscaled), +1 inverse (divided by n).
std::vector<Complex> ReferenceDft(const std::vector<float>& a, int n, int sign) {
    std::vector<Complex> out(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        Complex sum = 0.0;
        for (int j = 0; j < n; ++j) {
            const double angle = sign * 2.0 * 3.14159265358979323846 * static_cast<double>((static_cast<long long>(j) * k) % n) / n;
            sum += Complex(a[2 * j], a[2 * j + 1]) * std::polar(1.0, angle);
        }
        out[static_cast<size_t>(k)] = sign > 0 ? sum / static_cast<double>(n) : sum;
    }
    return out;
}

// Relative error in the 2-norm over all bins.
double RelativeError(const std::vector<float>& got, const std::vector<Complex>& want) {
    double err = 0.0, ref = 0.0;
    for (size_t k = 0; k < want.size(); ++k) {
        err += std::norm(Complex(got[2 * k], got[2 * k + 1]) - want[k]);
        ref += std::norm(want[k]);
    }
    return std::sqrt(err / ref);
}

// Single-precision FFT error grows with the number of stages: allow one unit of rounding
// (2^-24) per radix-2 level plus two for the twiddles and the input, in the relative 2-norm
// over all bins (a correct transform stays near 0.15 of this; a wrong butterfly is near 1).
double ErrorBound(int n) {
    const double u = std::ldexp(1.0, -24);
    return (std::log2(static_cast<double>(n)) + 2.0) * u;
}

// Every accuracy case runs on both stage widths (the wide one only where the processor has it).
class FFTAccuracy : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!GetParam() && !CFFT::HasWideStages()) GTEST_SKIP() << "no 256-bit vectors here";
        CFFT::UseFourWideOnly(GetParam());
    }
    void TearDown() override { CFFT::UseFourWideOnly(false); }
};

INSTANTIATE_TEST_SUITE_P(StageWidth, FFTAccuracy, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "FourWide" : "Wide"; });

TEST_P(FFTAccuracy, ForwardMatchesDoublePrecisionDftForEverySizeUpTo4096) {
    for (int n = 1; n <= 4096; n *= 2) {
        CFFT fft;
        ASSERT_TRUE(fft.Init(n, 0, 1));
        std::vector<float> a = RandomPoints(n, static_cast<unsigned>(n));
        const std::vector<Complex> want = ReferenceDft(a, n, -1);
        fft.Transform(a.data());
        EXPECT_LE(RelativeError(a, want), ErrorBound(n)) << "N = " << n;
    }
}

TEST_P(FFTAccuracy, InverseMatchesScaledDoublePrecisionDftForEverySizeUpTo4096) {
    for (int n = 1; n <= 4096; n *= 2) {
        CFFT fft;
        ASSERT_TRUE(fft.Init(n, 0, 0));
        std::vector<float> a = RandomPoints(n, 1000u + static_cast<unsigned>(n));
        const std::vector<Complex> want = ReferenceDft(a, n, +1);
        fft.Transform(a.data());
        EXPECT_LE(RelativeError(a, want), ErrorBound(n)) << "N = " << n;
    }
}

TEST_P(FFTAccuracy, ForwardThenInverseReturnsTheInputWithin1e6Relative) {
    for (int n = 1; n <= 4096; n *= 2) {
        CFFT forward, inverse;
        ASSERT_TRUE(forward.Init(n, 0, 1));
        ASSERT_TRUE(inverse.Init(n, 0, 0));
        const std::vector<float> x = RandomPoints(n, 7u * static_cast<unsigned>(n));
        std::vector<float> a = x;
        forward.Transform(a.data());
        inverse.Transform(a.data());
        double err = 0.0, ref = 0.0;
        for (size_t i = 0; i < x.size(); ++i) {
            err = std::max(err, std::fabs(static_cast<double>(a[i]) - x[i]));
            ref = std::max(ref, std::fabs(static_cast<double>(x[i])));
        }
        EXPECT_LE(err / ref, 1e-6) << "N = " << n;
    }
}

// Transforms x at four floats per vector and at every wider width the processor has; the
// results must be the same floats.
template <typename Transform>
void ExpectSameAtEveryWidth(Transform& fft, const std::vector<float>& x, const std::string& what) {
    std::vector<float> narrow = x;
    LimitVectorFloats(4);
    fft.Transform(narrow.data());
    for (int floats = 8; floats <= WidestVectorFloats(); floats *= 2) {
        std::vector<float> wide = x;
        LimitVectorFloats(floats);
        fft.Transform(wide.data());
        EXPECT_EQ(wide, narrow) << what << ", " << floats << " floats";
    }
    LimitVectorFloats(0);
}

TEST(FFT, EveryVectorWidthGivesIdenticalResults) {
    if (!CFFT::HasWideStages()) GTEST_SKIP() << "no 256-bit vectors here";
    for (int forward = 0; forward <= 1; ++forward) {
        const std::string direction = forward ? " forward" : " inverse";
        for (int n = 2; n <= 4096; n *= 2) {
            CFFT fft;
            ASSERT_TRUE(fft.Init(n, 0, forward));
            ExpectSameAtEveryWidth(fft, RandomPoints(n, 3u * static_cast<unsigned>(n)), "N = " + std::to_string(n) + direction);
        }
        for (int n = 4; n <= 4096; n *= 2) {
            CRealFFT fft;
            ASSERT_TRUE(fft.Init(n, forward));
            ExpectSameAtEveryWidth(fft, RandomPoints(n / 2 + 1, 5u * static_cast<unsigned>(n)),
                                   "real N = " + std::to_string(n) + direction);
        }
    }
}

TEST(FFT, ImpulseGivesOneInEveryBin) {
    CFFT fft;
    ASSERT_TRUE(fft.Init(2048, 0, 1));
    std::vector<float> a(4096, 0.0f);
    a[0] = 1.0f;
    fft.Transform(a.data());
    for (int k = 0; k < 2048; ++k) {
        ASSERT_EQ(a[2 * k], 1.0f) << k;
        ASSERT_EQ(a[2 * k + 1], 0.0f) << k;
    }
}

TEST(FFT, PositiveExponentialLandsInItsBinWithGainN) {
    const int n = 2048;
    CFFT fft;
    ASSERT_TRUE(fft.Init(n, 0, 1));
    std::vector<float> a(2 * n);
    for (int j = 0; j < n; ++j) {
        const double angle = 2.0 * 3.14159265358979323846 * 5.0 * j / n;
        a[2 * j] = static_cast<float>(std::cos(angle));
        a[2 * j + 1] = static_cast<float>(std::sin(angle));
    }
    fft.Transform(a.data());
    EXPECT_NEAR(a[10], 2048.0f, 2e-3f);
    EXPECT_NEAR(a[11], 0.0f, 2e-3f);
    for (int k = 0; k < n; ++k) {
        if (k == 5) continue;
        ASSERT_LT(std::hypot(a[2 * k], a[2 * k + 1]), 2e-3f) << k;
    }
}

TEST(FFT, TwoPointsUseTheSameButterflyBothWaysAndInverseHalves) {
    CFFT forward, inverse;
    ASSERT_TRUE(forward.Init(2, 0, 1));
    ASSERT_TRUE(inverse.Init(2, 0, 0));
    float a[4] = {3.0f, 1.0f, 1.0f, -5.0f};
    float b[4] = {3.0f, 1.0f, 1.0f, -5.0f};
    forward.Transform(a);
    inverse.Transform(b);
    const float want[4] = {4.0f, -4.0f, 2.0f, 6.0f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a[i], want[i]);
        EXPECT_EQ(b[i], want[i] / 2.0f);
    }
}

TEST(FFT, OnePointIsLeftAsItIs) {
    CFFT forward, inverse;
    ASSERT_TRUE(forward.Init(1, 0, 1));
    ASSERT_TRUE(inverse.Init(1, 0, 0));
    float a[2] = {0.25f, -3.5f};
    forward.Transform(a);
    inverse.Transform(a);
    EXPECT_EQ(a[0], 0.25f);
    EXPECT_EQ(a[1], -3.5f);
}

TEST(FFT, SecondInitWithLargerSizeRebuildsTheTables) {
    CFFT fft;
    ASSERT_TRUE(fft.Init(16, 0, 1));
    ASSERT_TRUE(fft.Init(1024, 0, 1));
    EXPECT_EQ(fft.Size(), 1024);
    std::vector<float> a = RandomPoints(1024, 99u);
    const std::vector<Complex> want = ReferenceDft(a, 1024, -1);
    fft.Transform(a.data());
    EXPECT_LE(RelativeError(a, want), ErrorBound(1024));
}

TEST(FFT, InitRefusesSizesThatAreNotPowersOfTwoAndThenTransformsNothing) {
    CFFT fft;
    EXPECT_FALSE(fft.Init(0, 0, 1));
    EXPECT_FALSE(fft.Init(-8, 0, 1));
    EXPECT_FALSE(fft.Init(1000, 0, 1));
    float a[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    fft.Transform(a);
    EXPECT_EQ(a[0], 1.0f);
    EXPECT_EQ(a[3], 4.0f);
}

// The real transforms against the double-precision DFT of the same samples: forward gives the
// bins 0..N/2 of the real sequence, inverse the real part of the one-sided inverse.
TEST(RealFFT, ForwardGivesTheBinsOfTheRealSequenceForEverySizeUpTo4096) {
    for (int n = 4; n <= 4096; n *= 2) {
        CRealFFT fft;
        ASSERT_TRUE(fft.Init(n, 1));
        const std::vector<float> x = RandomPoints(n / 2, 11u * static_cast<unsigned>(n));  // n reals
        std::vector<float> points(static_cast<size_t>(2 * n), 0.0f);
        for (int j = 0; j < n; ++j) points[2 * static_cast<size_t>(j)] = x[static_cast<size_t>(j)];
        const std::vector<Complex> full = ReferenceDft(points, n, -1);
        std::vector<float> a(x);
        a.resize(static_cast<size_t>(n + 2), 99.0f);
        fft.Transform(a.data());
        const std::vector<Complex> want(full.begin(), full.begin() + n / 2 + 1);
        EXPECT_LE(RelativeError(a, want), ErrorBound(n)) << "N = " << n;
        EXPECT_EQ(a[1], 0.0f);
        EXPECT_EQ(a[static_cast<size_t>(n) + 1], 0.0f);
    }
}

TEST(RealFFT, InverseGivesTheRealPartOfTheOneSidedInverseForEverySizeUpTo4096) {
    for (int n = 4; n <= 4096; n *= 2) {
        CRealFFT fft;
        ASSERT_TRUE(fft.Init(n, 0));
        const std::vector<float> half = RandomPoints(n / 2, 13u * static_cast<unsigned>(n));  // bins 0..n/2-1
        std::vector<float> points(static_cast<size_t>(2 * n), 0.0f);
        std::copy(half.begin(), half.end(), points.begin());
        const std::vector<Complex> full = ReferenceDft(points, n, +1);
        std::vector<float> a(half);
        a.push_back(77.0f);  // beyond the input: left alone
        fft.Transform(a.data());
        double err = 0.0, ref = 0.0;
        for (int j = 0; j < n; ++j) {
            err += std::pow(a[static_cast<size_t>(j)] - full[static_cast<size_t>(j)].real(), 2);
            ref += std::pow(full[static_cast<size_t>(j)].real(), 2);
        }
        EXPECT_LE(std::sqrt(err / ref), ErrorBound(n)) << "N = " << n;
        EXPECT_EQ(a[static_cast<size_t>(n)], 77.0f);
    }
}

TEST(RealFFT, InitRefusesSizesBelowFourOrNotPowersOfTwo) {
    CRealFFT fft;
    EXPECT_FALSE(fft.Init(2, 1));
    EXPECT_FALSE(fft.Init(1000, 0));
    float a[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    fft.Transform(a);
    EXPECT_EQ(a[0], 1.0f);
    EXPECT_EQ(a[3], 4.0f);
}

}  // namespace

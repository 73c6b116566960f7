#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/VectorWidth.h"
#include "engine/DotProduct.h"

namespace {

// The lag sums and the normalisation at every vector width the processor has, against the
// lag-by-lag computation they stand for: every lag's sum is DotProduct's, so the results are
// equal, not just close, whatever the width, the window length and the number of lags.
TEST(Correlation, EveryWidthGivesTheDotProductAndNormalisationOfEveryLag) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> dist(-3000.0f, 3000.0f);
    for (int lanes : {4, 8, 16}) {
        LimitVectorFloats(lanes);
        if (VectorFloats() != lanes) continue;
        for (int count : {1, 15, 16, 17, 127, 128, 129, 401, 1380}) {
            const int firstLag = 37;
            const int w = count == 15 ? 7 : (count == 17 ? 45 : 300 + count % 7);
            std::vector<float> x(static_cast<size_t>(firstLag + count + w + kLagPadding), 0.0f);
            for (size_t i = 0; i + kLagPadding < x.size(); ++i) x[i] = dist(rng);
            std::vector<float> cross(static_cast<size_t>(count + kLagPadding));
            Correlate(x.data(), w, firstLag, count, cross.data());
            std::vector<float> energy(cross.size()), r(cross.size());
            for (int l = 0; l < count; ++l) {
                const float sum = DotProduct(x.data(), x.data() + firstLag + l, w);
                ASSERT_EQ(cross[static_cast<size_t>(l)], sum) << lanes << " lanes, " << count << " lags, lag " << l;
                energy[static_cast<size_t>(l)] = std::fabs(dist(rng) * dist(rng)) + 1.0f;
            }
            const float e0 = 4.0e6f;
            Normalise(cross.data(), energy.data(), e0, count, r.data());
            for (int l = 0; l < count; ++l) {
                const double denom = static_cast<double>(std::sqrt(e0 * energy[static_cast<size_t>(l)])) + 0.001;
                float want = static_cast<float>(static_cast<double>(cross[static_cast<size_t>(l)]) / denom);
                if (want >= 1.0f) want = 1.0f;
                else if (want <= -1.0f) want = -1.0f;
                ASSERT_EQ(r[static_cast<size_t>(l)], want) << lanes << " lanes, lag " << l;
            }
        }
    }
    LimitVectorFloats(0);
}

// The window sums and the mean removal give the same floats at every width (the detector's
// choice must not depend on the processor), close to the plain sums.
TEST(Correlation, WindowSumsAreTheSameAtEveryWidthAndCloseToThePlainSums) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> dist(-20000.0f, 20000.0f);
    std::vector<float> x(1377);
    for (float& v : x) v = dist(rng) + 300.0f;
    float plainSum = 0.0f, plainAbs = 0.0f;
    for (float v : x) {
        plainSum += v;
        plainAbs += std::fabs(v);
    }
    std::vector<float> first;
    for (int lanes : {4, 8, 16}) {
        LimitVectorFloats(lanes);
        if (VectorFloats() != lanes) continue;
        for (int n : {1, 15, 16, 17, 1377}) {
            float sum = 0.0f, sumAbs = 0.0f, meanFreeAbs = 0.0f;
            WindowSums(x.data(), n, &sum, &sumAbs);
            std::vector<float> y(x.begin(), x.begin() + n);
            SubtractMean(y.data(), n, 300.0f, &meanFreeAbs);
            for (int i = 0; i < n; ++i) ASSERT_EQ(y[static_cast<size_t>(i)], x[static_cast<size_t>(i)] - 300.0f);
            std::vector<float> got = {sum, sumAbs, meanFreeAbs};
            if (n == 1377) {
                EXPECT_NEAR(sum, plainSum, 1e-5 * plainAbs);
                EXPECT_NEAR(sumAbs, plainAbs, 1e-5 * plainAbs);
                if (first.empty()) first = got;
                EXPECT_EQ(got, first) << lanes << " lanes";
            }
        }
    }
    LimitVectorFloats(0);
}

TEST(Correlation, FirstMaximumTakesTheFirstOfEqualMaximaAndNeverANumberThatIsNone) {
    const float nan = std::nanf("");
    for (int lanes : {4, 8, 16}) {
        LimitVectorFloats(lanes);
        if (VectorFloats() != lanes) continue;
        std::vector<float> v(41, 0.25f);
        v[3] = nan;
        v[17] = 0.75f;
        v[33] = 0.75f;
        v[40] = nan;
        float best = 0.0f;
        EXPECT_EQ(FirstMaximum(v.data(), 41, -1e10f, &best), 17) << lanes;
        EXPECT_EQ(best, 0.75f);
        v[39] = 0.9f;  // in the part after the last whole vector
        EXPECT_EQ(FirstMaximum(v.data(), 40, -1e10f, &best), 39) << lanes;
        const std::vector<float> none = {nan, -2.0f, nan};
        EXPECT_EQ(FirstMaximum(none.data(), 3, -1.0f, &best), -1) << lanes;
        EXPECT_EQ(best, -1.0f);
    }
    LimitVectorFloats(0);
}

}  // namespace

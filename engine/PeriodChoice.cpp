#include "engine/PeriodChoice.h"

#include <algorithm>

#include "engine/DotProduct.h"

int ChoosePeriod(const float* corr, int minLag, int maxLag, float corrTh, float peakRatio) {
    // Best lag: the first of equal maxima.
    float best = -1e10f;
    const int index = std::max(0, FirstMaximum(corr, maxLag - minLag + 1, best, &best));
    if (best < corrTh || minLag + index < 1) return 0;

    // Octave guard: the top of the first rising run that passes the share of the maximum.
    const float t = peakRatio * best;
    auto r = [&](int k) { return corr[k - minLag]; };
    int k = minLag + 1;
    while (k <= maxLag && !(r(k) > t)) ++k;
    if (k > maxLag) return minLag + index;
    while (k <= maxLag && r(k) > r(k - 1)) ++k;
    return k - 1;
}

#include "engine/PeriodChoice.h"

int ChoosePeriod(const float* corr, int minLag, int maxLag, float corrTh, float peakRatio) {
    float best = -1e10f;
    int index = 0;
    for (int j = 0; j <= maxLag - minLag; ++j) {
        if (corr[j] > best) {
            best = corr[j];
            index = j;
        }
    }
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

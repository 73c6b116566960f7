// Pitch-period measurement of the batch conversion at one pitch mark of a whole file: the
// normalised autocorrelation of the mean-free window over the lags between the periods of the
// upper and the lower frequency limit, at the oversampled rate, with a voicing threshold and an
// octave guard. Unlike the live detector it has no silence gates, seeds both energies with
// 1e-10 instead of adding a constant to the root, and leaves the correlation unclamped.
#include <cmath>

#include "app/WaveInOutDlg.h"
#include "batch/BatchList.h"
#include "batch/LagProducts.h"

void CWaveInOutDlg::DetectPeriod(float* pF0, int* pPeriod, int start, int len, float fs, float corrTh, int fLo,
                                 int fHi) {
    *pF0 = 0.0f;
    *pPeriod = 0;
    const int factor = g_nOverSampling >= 1 ? g_nOverSampling : 1;
    if (g_pfBatchFrame == nullptr || g_pfBatchCorr == nullptr || fLo <= 0 || fHi <= 0 || len < 1 ||
        len > factor * kBatchFrameSlots || start < 0 || static_cast<long long>(start) + len > m_nInputCount.load())
        return;
    const int minLag = static_cast<int>(fs / static_cast<float>(fHi));
    const int maxLag = static_cast<int>(fs / static_cast<float>(fLo));
    // A lowest key above the highest leaves no lag to test: unvoiced.
    if (minLag < 1 || minLag > maxLag || maxLag - minLag + 1 > factor * kBatchCorrSlots) return;
    const int W = len - maxLag;
    if (W < 1) return;

    float* x = g_pfBatchFrame;
    const float* in = m_pfInputBuf + start;
    // The mean in eight partial sums.
    float part[8] = {};
    int i0 = 0;
    for (; i0 + 8 <= len; i0 += 8) {
        for (int l = 0; l < 8; ++l) {
            x[i0 + l] = in[i0 + l];
            part[l] += in[i0 + l];
        }
    }
    float sum = ((part[0] + part[1]) + (part[2] + part[3])) + ((part[4] + part[5]) + (part[6] + part[7]));
    for (; i0 < len; ++i0) {
        x[i0] = in[i0];
        sum += in[i0];
    }
    const float mean = sum / static_cast<float>(len);
    for (int i = 0; i < len; ++i) x[i] = x[i] - mean;

    float e0 = 1e-10f;
    float ek = 1e-10f;
    for (int i = 0; i < W; ++i) {
        e0 += x[i] * x[i];
        ek += x[minLag - 1 + i] * x[minLag - 1 + i];
    }
    float* corr = g_pfBatchCorr;
    LagProducts(x, x + minLag, W, maxLag - minLag + 1, corr);
    for (int k = minLag; k <= maxLag; ++k) {
        // The lagged energy slides to the window x[k .. k+W-1].
        ek = ek - x[k - 1] * x[k - 1] + x[k - 1 + W] * x[k - 1 + W];
        corr[k - minLag] = corr[k - minLag] / std::sqrt(e0 * ek);
    }

    float best = -1e10f;
    int index = 0;
    for (int j = 0; j <= maxLag - minLag; ++j) {
        if (corr[j] > best) {
            best = corr[j];
            index = j;
        }
    }
    if (!(best >= corrTh)) return;
    int period = minLag + index;

    // Octave guard: the top of the first rising run that passes the share of the maximum.
    const float t = m_fPeakRatio * best;
    auto r = [&](int k) { return corr[k - minLag]; };
    int k = minLag + 1;
    while (k <= maxLag && !(r(k) > t)) ++k;
    if (k <= maxLag) {
        while (k <= maxLag && r(k) > r(k - 1)) ++k;
        period = k - 1;
    }
    *pPeriod = period;
    *pF0 = fs / static_cast<float>(period);
}

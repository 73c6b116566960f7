// Pitch-period measurement of the batch conversion at one pitch mark of a whole file: the
// normalised autocorrelation of the mean-free window over the lags between the periods of the
// upper and the lower frequency limit, at the oversampled rate, with a voicing threshold and an
// octave guard. Unlike the live detector it has no silence gates, seeds both energies with
// 1e-10 instead of adding a constant to the root, and leaves the correlation unclamped.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/WaveInOutDlg.h"
#include "batch/BatchList.h"
#include "engine/DotProduct.h"
#include "engine/PeriodChoice.h"

void CWaveInOutDlg::DetectPeriod(float* pF0, int* pPeriod, int start, int len, float fs, float corrTh, int fLo,
                                 int fHi) {
    *pF0 = 0.0f;
    *pPeriod = 0;
    const int factor = g_nOverSampling >= 1 ? g_nOverSampling : 1;
    if (g_pfBatchFrame == nullptr || g_pfBatchCorr == nullptr || fLo <= 0 || fHi <= 0 || len < 1 ||
        len + 2 * kLagPadding > factor * kBatchFrameSlots || start < 0 || static_cast<long long>(start) + len > m_nInputCount.load())
        return;
    const int minLag = static_cast<int>(fs / static_cast<float>(fHi));
    const int maxLag = static_cast<int>(fs / static_cast<float>(fLo));
    // A lowest key above the highest leaves no lag to test: unvoiced.
    if (minLag < 1 || minLag > maxLag || maxLag - minLag + 1 + kLagPadding > factor * kBatchCorrSlots) return;
    const int W = len - maxLag;
    if (W < 1) return;

    float* x = g_pfBatchFrame;
    std::memcpy(x, m_pfInputBuf + start, sizeof(float) * static_cast<std::size_t>(len));
    float sum = 0.0f;
    float sumAbs = 0.0f;
    WindowSums(x, len, &sum, &sumAbs);
    SubtractMean(x, len, sum / static_cast<float>(len), &sumAbs);

    float e0 = 1e-10f;
    float ek = 1e-10f;
    for (int i = 0; i < W; ++i) {
        e0 += x[i] * x[i];
        ek += x[minLag - 1 + i] * x[minLag - 1 + i];
    }
    float* corr = g_pfBatchCorr;
    const int count = maxLag - minLag + 1;
    // Correlate reads a little past the window: zeros there.
    std::fill(x + len, x + std::min(len + 2 * kLagPadding, factor * kBatchFrameSlots), 0.0f);
    Correlate(x, W, minLag, count, corr);
    for (int k = minLag; k <= maxLag; ++k) {
        // The lagged energy slides to the window x[k .. k+W-1].
        ek = ek - x[k - 1] * x[k - 1] + x[k - 1 + W] * x[k - 1 + W];
        corr[k - minLag] = corr[k - minLag] / std::sqrt(e0 * ek);
    }

    const int period = ChoosePeriod(corr, minLag, maxLag, corrTh, m_fPeakRatio);
    if (period < 1) return;
    *pPeriod = period;
    *pF0 = fs / static_cast<float>(period);
}

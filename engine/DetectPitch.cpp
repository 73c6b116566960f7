// Pitch-period measurement at one pitch mark of the live input: a normalised autocorrelation of
// the mean-free window over the lags between the periods of the upper and lower frequency limit,
// a voicing threshold and an octave guard.
#include <algorithm>
#include <cmath>

#include "app/WaveInOutDlg.h"
#include "engine/DotProduct.h"
#include "engine/PeriodChoice.h"

void CWaveInOutDlg::DetectPitch(float* pHz, int* pPeriod, int start, int len, float corrTh, int fLo, int fHi) {
    *pHz = 0.0f;
    *pPeriod = 0;
    std::fill(m_pfCorr, m_pfCorr + kCorrSlots, 0.0f);
    // Limits that leave no valid lag, or a window the scratch arrays cannot hold, count as unvoiced.
    if (fLo <= 0 || fHi <= 0 || len < 1 || len > kFrameSlots) return;
    const int minLag = static_cast<int>(44100.0f / static_cast<float>(fHi));
    const int maxLag = static_cast<int>(44100.0f / static_cast<float>(fLo));
    if (minLag < 1 || minLag > maxLag || maxLag - minLag + 1 > kCorrSlots || len < maxLag + 1) return;
    const int W = len - maxLag;

    float* x = m_pfFrame;
    float sum = 0.0f;
    float sumAbs = 0.0f;
    for (int i = 0; i < len; ++i) {
        const float v = m_pfInputBuf[(start + i) & m_nRingMask];
        x[i] = v;
        sum += v;
        sumAbs += std::fabs(v);
    }
    if (sumAbs < 1.0f) return;
    const float mean = sum / static_cast<float>(len);
    sumAbs = 0.0f;
    for (int i = 0; i < len; ++i) {
        x[i] = x[i] - mean;
        sumAbs += std::fabs(x[i]);
    }
    if (sumAbs < 1.0f) return;

    float e0 = 0.0f;
    float ek = 0.0f;
    for (int i = 0; i < W; ++i) {
        e0 += x[i] * x[i];
        ek += x[minLag - 1 + i] * x[minLag - 1 + i];
    }
    float* corr = m_pfCorr;
    for (int k = minLag; k <= maxLag; ++k) {
        // Slide the lagged energy to the window x[k .. k+W-1].
        ek = x[k - 1 + W] * x[k - 1 + W] + (ek - x[k - 1] * x[k - 1]);
        const float cross = DotProduct(x, x + k, W);
        const double denom = static_cast<double>(std::sqrt(e0 * ek)) + 0.001;
        float r = static_cast<float>(static_cast<double>(cross) / denom);
        if (r >= 1.0f) r = 1.0f;
        else if (r <= -1.0f) r = -1.0f;
        corr[k - minLag] = r;
    }

    const int period = ChoosePeriod(corr, minLag, maxLag, corrTh, m_fPeakRatio);
    if (period < 1) return;
    *pPeriod = period;
    *pHz = 44100.0f / static_cast<float>(period);
}

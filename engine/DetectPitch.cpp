// Pitch-period measurement at one pitch mark of the live input: a normalised autocorrelation of
// the mean-free window over the lags between the periods of the upper and lower frequency limit,
// a voicing threshold and an octave guard.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/WaveInOutDlg.h"
#include "engine/DotProduct.h"

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
    // Scratch of the correlation: the window with zeros after it (the last block of lags may
    // read a little past the window), and the lagged energy and cross product of every lag.
    const int count = maxLag - minLag + 1;
    alignas(64) float window[kFrameSlots + 2 * kLagPadding];
    alignas(64) float energy[kCorrSlots + kLagPadding];
    alignas(64) float cross[kCorrSlots + kLagPadding];
    std::memcpy(window, x, sizeof(float) * static_cast<size_t>(len));
    std::fill(window + len, window + len + 2 * kLagPadding, 0.0f);
    for (int k = minLag; k <= maxLag; ++k) {
        // Slide the lagged energy to the window x[k .. k+W-1].
        ek = x[k - 1 + W] * x[k - 1 + W] + (ek - x[k - 1] * x[k - 1]);
        energy[k - minLag] = ek;
    }
    std::fill(energy + count, energy + count + kLagPadding, 0.0f);
    Correlate(window, W, minLag, count, cross);
    Normalise(cross, energy, e0, count, cross);
    float* corr = m_pfCorr;
    std::memcpy(corr, cross, sizeof(float) * static_cast<size_t>(count));

    float best = -1e10f;
    int index = 0;
    for (int j = 0; j <= maxLag - minLag; ++j) {
        if (corr[j] > best) {
            best = corr[j];
            index = j;
        }
    }
    const int lag = minLag + index;
    if (best < corrTh || lag < 1) return;
    *pPeriod = lag;
    *pHz = 44100.0f / static_cast<float>(lag);

    // Octave guard: the top of the first rising run that passes the share of the maximum.
    const float t = m_fPeakRatio * best;
    auto r = [&](int k) { return corr[k - minLag]; };
    int k = minLag + 1;
    while (k <= maxLag && !(r(k) > t)) ++k;
    if (k > maxLag) return;
    while (k <= maxLag && r(k) > r(k - 1)) ++k;
    *pPeriod = k - 1;
    *pHz = 44100.0f / static_cast<float>(k - 1);
}

// Pitch-period measurement at one pitch mark of the live input: a normalised autocorrelation of
// the mean-free window over the lags between the periods of the upper and lower frequency limit,
// a voicing threshold and an octave guard.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/WaveInOutDlg.h"
#include "engine/DotProduct.h"
#include "engine/PeriodChoice.h"

void CWaveInOutDlg::DetectPitch(float* pHz, int* pPeriod, int start, int len, float corrTh, int fLo, int fHi) {
    *pHz = 0.0f;
    *pPeriod = 0;
    // Every correlation slot is 0 unless this call computes it.
    auto unvoiced = [this] { std::fill(m_pfCorr, m_pfCorr + kCorrSlots, 0.0f); };
    // Limits that leave no valid lag, or a window the scratch arrays cannot hold, count as unvoiced.
    if (fLo <= 0 || fHi <= 0 || len < 1 || len > kFrameSlots) return unvoiced();
    const int minLag = static_cast<int>(44100.0f / static_cast<float>(fHi));
    const int maxLag = static_cast<int>(44100.0f / static_cast<float>(fLo));
    if (minLag < 1 || minLag > maxLag || maxLag - minLag + 1 > kCorrSlots || len < maxLag + 1) return unvoiced();
    const int W = len - maxLag;

    // The window, in at most two pieces where it wraps around the ring's end.
    float* x = m_pfFrame;
    const int first = start & m_nRingMask;
    const int head = std::min(len, m_nRingLen - first);
    std::memcpy(x, m_pfInputBuf + first, sizeof(float) * static_cast<size_t>(head));
    std::memcpy(x + head, m_pfInputBuf, sizeof(float) * static_cast<size_t>(len - head));
    float sum = 0.0f;
    float sumAbs = 0.0f;
    WindowSums(x, len, &sum, &sumAbs);
    if (sumAbs < 1.0f) return unvoiced();
    const float mean = sum / static_cast<float>(len);
    SubtractMean(x, len, mean, &sumAbs);
    if (sumAbs < 1.0f) return unvoiced();

    // The energies are summed in order: the lagged one is slid from lag to lag below, so its
    // start value's rounding carries through every lag.
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
    std::fill(corr + count, corr + kCorrSlots, 0.0f);

    const int period = ChoosePeriod(corr, minLag, maxLag, corrTh, m_fPeakRatio);
    if (period < 1) return;
    *pPeriod = period;
    *pHz = 44100.0f / static_cast<float>(period);
}

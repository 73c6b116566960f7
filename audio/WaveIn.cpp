// Capture wrapper: the conversion of one returned recording buffer into the engine's input.
#include <algorithm>
#include <cstdlib>

#include "app/WaveInOutDlg.h"

BOOL CWaveInOutDlg::StoreInputBlock(WAVEHDR* pHdr) {
    if (pHdr == nullptr || pHdr->lpData == nullptr) return FALSE;
    DWORD n = pHdr->dwBytesRecorded;
    if (pHdr->dwBufferLength != 0) n = std::min(n, pHdr->dwBufferLength);
    if (n < 1) return FALSE;
    const int count = m_nInputCount.load(std::memory_order_relaxed);
    // The engine is done with what it read of the entries about to be overwritten (four blocks ago).
    (void)m_nEngineProgress.load(std::memory_order_acquire);
    const unsigned slot = (static_cast<unsigned>(count) * 2u / static_cast<unsigned>(m_nBlockBytes)) & 3u;
    const auto* samples = reinterpret_cast<const short*>(pHdr->lpData);
    const int nSamples = static_cast<int>(n / 2);
    if (m_nMethod == 0) {
        // Mono: sample by sample with the ring mask, so a short buffer never misaligns the ring.
        int peak = 0;
        for (int k = 0; k < nSamples; ++k) {
            const short s = samples[k];
            m_pfInputBuf[(count + k) & m_nRingMask] = static_cast<float>(s);
            peak = std::max(peak, std::abs(static_cast<int>(s)));
        }
        m_nPeak[0][slot].store(peak, std::memory_order_relaxed);
        m_nPeak[1][slot].store(peak, std::memory_order_relaxed);
    } else {
        // Stereo: the newest block alone, interleaved, at the start of the buffer.
        const int frames = static_cast<int>(n / 4);
        int peakL = 0;
        int peakR = 0;
        for (int f = 0; f < frames; ++f) {
            const short l = samples[2 * f];
            const short r = samples[2 * f + 1];
            m_pfInputBuf[2 * f] = static_cast<float>(l);
            m_pfInputBuf[2 * f + 1] = static_cast<float>(r);
            peakL = std::max(peakL, std::abs(static_cast<int>(l)));
            peakR = std::max(peakR, std::abs(static_cast<int>(r)));
        }
        m_nPeak[0][slot].store(peakL, std::memory_order_relaxed);
        m_nPeak[1][slot].store(peakR, std::memory_order_relaxed);
    }
    // The samples are in place before the count that announces them.
    m_nInputCount.store(count + nSamples, std::memory_order_release);
    return TRUE;
}

// PENDING(runs): the capture wrapper.
BOOL CWaveInOutDlg::OnWimData(WAVEHDR*) { return FALSE; }

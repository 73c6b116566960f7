#include "effects/Reverb.h"

#include <algorithm>
#include <cstring>

#include "engine/SampleMath.h"

CReverb::CReverb(int historyValues) {
    // Even, so that the history keeps left values at even positions, and at least one frame.
    m_nHistory = std::max(2, historyValues + (historyValues & 1));
    m_history.assign(static_cast<size_t>(m_nHistory) * 3, 0.0f);
}

void CReverb::ClearHistory() { std::fill(m_history.begin(), m_history.end(), 0.0f); }

void CReverb::Process(float* buf, int n, int channels) {
    if (m_bClearRequested.exchange(false, std::memory_order_acq_rel)) ClearHistory();
    m_pending.TakeNewest(m_taps);
    if (buf == nullptr || n <= 0) return;
    const int piece = 2 * m_nHistory;
    for (int done = 0; done < n; done += piece) ProcessPiece(buf + done, std::min(piece, n - done), channels);
}

void CReverb::ProcessPiece(float* buf, int n, int channels) {
    const int hist = m_nHistory;
    float* h = m_history.data();
    std::memcpy(h + hist, buf, sizeof(float) * static_cast<size_t>(n));

    const float d = m_taps.delay * 44100.0f;  // the delay in samples; the rate is fixed
    // A tap must lie in the past: with a delay that is not a non-negative number there are no echoes.
    const int repeat = (d >= 0.0f) ? std::clamp(m_taps.repeat, 0, kMaxEchoes) : 0;
    const float* g = m_taps.gain;
    // t = H + trunc(offset) is at least 0 exactly when the offset is above -(H + 1); the offset is
    // checked in float before it becomes an integer.
    const float reach = -static_cast<float>(hist + 1);

    if (channels == 1) {
        for (int i = 0; i < n; ++i) {
            float y = buf[i];
            const float fi = static_cast<float>(i);
            for (int k = 1; k <= repeat; ++k) {
                const float offset = fi - static_cast<float>(k) * d;
                if (offset > reach) {
                    const int t = hist + static_cast<int>(offset);
                    y = y + h[t] * g[k];
                }
            }
            buf[i] = ClampToSampleRange(y);
        }
    } else {
        int i = 0;
        for (; i + 1 < n; i += 2) {
            float left = buf[i];
            float right = buf[i + 1];
            const float fi = static_cast<float>(i);
            for (int k = 1; k <= repeat; ++k) {
                const float offset = fi - static_cast<float>(2 * k) * d;
                if (offset > reach) {
                    const int t = (hist + static_cast<int>(offset)) & ~1;
                    left = left + g[k] * h[t];
                    right = right - h[t + 1] * g[k];
                }
            }
            buf[i] = ClampToSampleRange(left);
            buf[i + 1] = ClampToSampleRange(right);
        }
        if (i < n) buf[i] = ClampToSampleRange(buf[i]);
    }

    // The last H values of the old history followed by the block.
    std::memmove(h, h + n, sizeof(float) * static_cast<size_t>(hist));
}

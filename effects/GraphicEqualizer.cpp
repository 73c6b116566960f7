#include "effects/GraphicEqualizer.h"

#include "engine/SampleMath.h"

double EqBandFrequency(int band) {
    double f = 16.3516;
    for (int k = 0; k < band; ++k) f = f * 2.0;
    return f;
}

EqDesign::EqDesign() {
    for (int k = 0; k < kEqBands; ++k) {
        b[k][0] = 1.0f;
        b[k][1] = 0.0f;
        b[k][2] = 0.0f;
        a[k][0] = 1.0f;
        a[k][1] = 0.0f;
        a[k][2] = 0.0f;
    }
}

void CGraphicEqualizer::TakeNewestDesign() {
    if (!m_pending.TakeNewest(m_taken)) return;
    for (int k = 0; k < kEqBands; ++k) {
        for (int i = 0; i < 3; ++i) {
            m_iir[k].m_fB[i] = m_taken.b[k][i];
            m_iir[k].m_fA[i] = m_taken.a[k][i];
        }
    }
}

namespace {

// The cascade value by value: band k filters band k-1's output of the same value. Every band
// computes exactly what it would over the whole block one band after the other, but the eleven
// recursions overlap in the processor instead of waiting for each other.
template <int kChannels>
void CascadeScalar(const float (*b)[3], const float (*a)[3], CIIRUnit::Lane (*lanes)[2], float* buf, int frames) {
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < kChannels; ++c) {
            float v = buf[f * kChannels + c];
            for (int k = 0; k < kEqBands; ++k) v = CIIRUnit::Step(b[k], a[k], lanes[k][c], v);
            buf[f * kChannels + c] = TruncateToSampleValue(v);
        }
    }
}

#if defined(__GNUC__)
// Stereo with both channels of a frame side by side in one vector register: each lane performs
// the same single-precision operations in the same order as the scalar recursion, so the result
// is identical, in half the instructions.
using FrameVector = float __attribute__((vector_size(16)));  // left, right, unused, unused

void CascadeStereo(const float (*b)[3], const float (*a)[3], CIIRUnit::Lane (*lanes)[2], float* buf, int frames) {
    FrameVector b0[kEqBands], b1[kEqBands], b2[kEqBands], a1[kEqBands], a2[kEqBands];
    FrameVector x1[kEqBands], x2[kEqBands], y1[kEqBands], y2[kEqBands];
    for (int k = 0; k < kEqBands; ++k) {
        b0[k] = FrameVector{b[k][0], b[k][0], 0.0f, 0.0f};
        b1[k] = FrameVector{b[k][1], b[k][1], 0.0f, 0.0f};
        b2[k] = FrameVector{b[k][2], b[k][2], 0.0f, 0.0f};
        a1[k] = FrameVector{a[k][1], a[k][1], 0.0f, 0.0f};
        a2[k] = FrameVector{a[k][2], a[k][2], 0.0f, 0.0f};
        x1[k] = FrameVector{lanes[k][0].x1, lanes[k][1].x1, 0.0f, 0.0f};
        x2[k] = FrameVector{lanes[k][0].x2, lanes[k][1].x2, 0.0f, 0.0f};
        y1[k] = FrameVector{lanes[k][0].y1, lanes[k][1].y1, 0.0f, 0.0f};
        y2[k] = FrameVector{lanes[k][0].y2, lanes[k][1].y2, 0.0f, 0.0f};
    }
    for (int f = 0; f < frames; ++f) {
        FrameVector v = {buf[2 * f], buf[2 * f + 1], 0.0f, 0.0f};
        for (int k = 0; k < kEqBands; ++k) {
            const FrameVector y = b0[k] * v + b1[k] * x1[k] + b2[k] * x2[k] - a1[k] * y1[k] - a2[k] * y2[k];
            x2[k] = x1[k];
            x1[k] = v;
            y2[k] = y1[k];
            y1[k] = y;
            v = y;
        }
        buf[2 * f] = TruncateToSampleValue(v[0]);
        buf[2 * f + 1] = TruncateToSampleValue(v[1]);
    }
    for (int k = 0; k < kEqBands; ++k) {
        for (int c = 0; c < 2; ++c) lanes[k][c] = CIIRUnit::Lane{x1[k][c], x2[k][c], y1[k][c], y2[k][c]};
    }
}
#else
void CascadeStereo(const float (*b)[3], const float (*a)[3], CIIRUnit::Lane (*lanes)[2], float* buf, int frames) {
    CascadeScalar<2>(b, a, lanes, buf, frames);
}
#endif

// The whole cascade over one block; the result of the last band becomes a 16-bit sample value.
template <int kChannels>
void RunCascade(CIIRUnit* iir, float* buf, int n) {
    float b[kEqBands][3];
    float a[kEqBands][3];
    CIIRUnit::Lane lanes[kEqBands][2];
    for (int k = 0; k < kEqBands; ++k) {
        for (int i = 0; i < 3; ++i) {
            b[k][i] = iir[k].m_fB[i];
            a[k][i] = iir[k].m_fA[i];
        }
        iir[k].LoadLanes(kChannels, lanes[k]);
    }
    const int frames = n / kChannels;
    if constexpr (kChannels == 1) {
        CascadeScalar<1>(b, a, lanes, buf, frames);
    } else {
        CascadeStereo(b, a, lanes, buf, frames);
        if (frames * 2 < n) {  // a lone left value at the end of an odd stereo block
            float v = buf[n - 1];
            for (int k = 0; k < kEqBands; ++k) v = CIIRUnit::Step(b[k], a[k], lanes[k][0], v);
            buf[n - 1] = TruncateToSampleValue(v);
        }
    }
    for (int k = 0; k < kEqBands; ++k) iir[k].StoreLanes(kChannels, n, lanes[k]);
}

}  // namespace

void CGraphicEqualizer::Process(float* buf, int n, int channels) {
    TakeNewestDesign();
    if (buf == nullptr || n <= 0) return;
    if (channels == 1) {
        RunCascade<1>(m_iir, buf, n);
    } else {
        RunCascade<2>(m_iir, buf, n);
    }
    for (CIIRUnit& unit : m_iir) {
        if (!unit.HistoryIsFinite()) unit.ClearHistory();
    }
}

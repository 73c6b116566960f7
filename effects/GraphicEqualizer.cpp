#include "effects/GraphicEqualizer.h"

#include "effects/SampleRange.h"

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
template <int kLanes>
void RunCascade(CIIRUnit* iir, float* buf, int n, int channels) {
    float b[kEqBands][3];
    float a[kEqBands][3];
    CIIRUnit::Lane lanes[kEqBands][2];
    for (int k = 0; k < kEqBands; ++k) {
        for (int i = 0; i < 3; ++i) {
            b[k][i] = iir[k].m_fB[i];
            a[k][i] = iir[k].m_fA[i];
        }
        iir[k].LoadLanes(channels, lanes[k]);
    }
    int i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        for (int c = 0; c < kLanes; ++c) {
            float v = buf[i + c];
            for (int k = 0; k < kEqBands; ++k) v = CIIRUnit::Step(b[k], a[k], lanes[k][c], v);
            buf[i + c] = TruncateToSampleValue(v);
        }
    }
    if (i < n) {  // a lone left value at the end of an odd stereo block
        float v = buf[i];
        for (int k = 0; k < kEqBands; ++k) v = CIIRUnit::Step(b[k], a[k], lanes[k][0], v);
        buf[i] = TruncateToSampleValue(v);
    }
    for (int k = 0; k < kEqBands; ++k) iir[k].StoreLanes(channels, n, lanes[k]);
}

}  // namespace

void CGraphicEqualizer::Process(float* buf, int n, int channels) {
    TakeNewestDesign();
    if (buf == nullptr || n <= 0) return;
    if (channels == 1) {
        RunCascade<1>(m_iir, buf, n, channels);
    } else {
        RunCascade<2>(m_iir, buf, n, channels);
    }
    for (CIIRUnit& unit : m_iir) {
        if (!unit.HistoryIsFinite()) unit.ClearHistory();
    }
}

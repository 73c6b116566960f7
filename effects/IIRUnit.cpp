#include "effects/IIRUnit.h"

#include <cmath>

#include "effects/PeakingDesign.h"

CIIRUnit::CIIRUnit() { Reset(); }

CIIRUnit::~CIIRUnit() = default;

void CIIRUnit::Reset() {
    m_fA[0] = 1.0f;
    m_fA[1] = 0.0f;
    m_fA[2] = 0.0f;
    m_fB[0] = 1.0f;
    m_fB[1] = 0.0f;
    m_fB[2] = 0.0f;
    ClearHistory();
}

void CIIRUnit::ClearHistory() {
    for (int i = 0; i < 4; ++i) {
        m_fXHist[i] = 0.0f;
        m_fYHist[i] = 0.0f;
    }
}

bool CIIRUnit::HistoryIsFinite() const {
    for (int i = 0; i < 4; ++i) {
        if (!std::isfinite(m_fXHist[i]) || !std::isfinite(m_fYHist[i])) return false;
    }
    return true;
}

void CIIRUnit::SetPeakingEQ(float freq, float gainDb, float q) { DesignPeaking(freq, gainDb, q, m_fB, m_fA); }

void CIIRUnit::LoadLanes(int channels, Lane lanes[2]) const {
    if (channels == 1) {
        lanes[0] = Lane{m_fXHist[1], m_fXHist[0], m_fYHist[1], m_fYHist[0]};
        lanes[1] = lanes[0];
        return;
    }
    // The first value of the block is a left value: one back is slot [2], two back slot [0].
    lanes[0] = Lane{m_fXHist[2], m_fXHist[0], m_fYHist[2], m_fYHist[0]};
    lanes[1] = Lane{m_fXHist[3], m_fXHist[1], m_fYHist[3], m_fYHist[1]};
}

void CIIRUnit::StoreLanes(int channels, int n, const Lane lanes[2]) {
    if (channels == 1) {
        m_fXHist[0] = lanes[0].x2;
        m_fXHist[1] = lanes[0].x1;
        m_fYHist[0] = lanes[0].y2;
        m_fYHist[1] = lanes[0].y1;
        return;
    }
    // The lane that took the block's last value holds the newest and the fourth-newest values.
    const Lane& last = lanes[(n & 1) ? 0 : 1];
    const Lane& other = lanes[(n & 1) ? 1 : 0];
    m_fXHist[3] = last.x1;
    m_fXHist[2] = other.x1;
    m_fXHist[1] = last.x2;
    m_fXHist[0] = other.x2;
    m_fYHist[3] = last.y1;
    m_fYHist[2] = other.y1;
    m_fYHist[1] = last.y2;
    m_fYHist[0] = other.y2;
}

void CIIRUnit::Process(const float* in, int n, int channels, float* out) {
    if (n <= 0) return;
    Lane lanes[2];
    LoadLanes(channels, lanes);
    if (channels == 1) {
        for (int i = 0; i < n; ++i) out[i] = Step(m_fB, m_fA, lanes[0], in[i]);
    } else {
        int i = 0;
        for (; i + 1 < n; i += 2) {
            out[i] = Step(m_fB, m_fA, lanes[0], in[i]);
            out[i + 1] = Step(m_fB, m_fA, lanes[1], in[i + 1]);
        }
        if (i < n) out[i] = Step(m_fB, m_fA, lanes[0], in[i]);
    }
    StoreLanes(channels, n, lanes);
}

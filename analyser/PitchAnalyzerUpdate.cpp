// The pitch analyser's side of the main dialog: every timer tick of a TD-PSOLA run turns the new
// pitch marks into points of time, pitch and level, cleans the pitch values and draws them ten
// points late; the points are kept as the run's history, which the scroll bar pages through
// after STOP, 10 seconds a page. User-interface thread only; the marks are read up to the count
// the caller loaded (acquire), which the analysis thread stored after writing them.
#include <algorithm>
#include <cmath>
#include <vector>

#include "app/WaveInOutDlg.h"

namespace {

constexpr float kBaseNoteF[8] = {0.0f, 7.0f, 12.0f, 19.0f, 24.0f, 0.0f, 0.0f, 0.0f};
constexpr float kSecondsPerSample = 1.0f / 44100.0f;
// A point this many semitones or more from a neighbour is an isolated jump.
constexpr float kJump = 6.0f;
// A point this far or more below the mean of its voiced neighbours is an octave error.
constexpr float kBelowMean = 2.0f;
constexpr int kHalfWindow = 10;
constexpr int kMinVoiced = 5;

int KeyRangeIndex(int range) { return range >= 0 && range < 8 ? range : 0; }

}  // namespace

void CWaveInOutDlg::UpdatePitchAnalyzer(int markCount, const std::int64_t* marks, const short* amps, int minHz,
                                        int maxHz) {
    CPitchTrackCarry& carry = m_pitchCarry;
    constexpr int kC = CPitchTrackCarry::kCarried;
    // 1. A new run.
    if (markCount < carry.prevCount || carry.restart) {
        carry = CPitchTrackCarry{};
        m_nHistoryPos = 0;
        m_fftScreen.RestartPitchTrack();
    }
    // 2. Points are processed in batches of at least 21.
    const int n = markCount - carry.prevCount;
    if (n <= kC) return;

    // 3. Time, pitch and level of each new period.
    const int mask = m_nRingMask;
    const int os = m_nOverSampling > 0 ? m_nOverSampling : 1;
    const float c1 = std::pow(2.0f, -3.75f) * static_cast<float>(m_nA4.load());
    std::vector<float> P(static_cast<std::size_t>(n + kC));
    std::vector<float> T(static_cast<std::size_t>(n + kC));
    std::vector<float> L(static_cast<std::size_t>(n));
    std::copy(carry.pitch, carry.pitch + kC, P.begin());
    std::copy(carry.time, carry.time + kC, T.begin());
    for (int j = 0; j < n; ++j) {
        const int i = carry.prevCount + j;
        const std::int64_t m0 = marks[i & mask];
        const std::int64_t m1 = marks[(i + 1) & mask];
        T[kC + j] = static_cast<float>(m1 / os) * kSecondsPerSample;
        const std::int64_t period = (m1 - m0) / os;
        const int a = amps[i & mask];
        float p = 0.0f;
        if (period > 0) {
            const float f = 44100.0f / static_cast<float>(period);
            p = std::log(f / c1) * m_fSemitonesPerLn;
            if (f < static_cast<float>(minHz) || f > static_cast<float>(maxHz) || a <= m_nAmpThreshold) p = 0.0f;
        }
        P[kC + j] = p;
        // A negative amplitude marks an unvoiced period: its level is no number (no bar).
        L[j] = 20.0f * std::log10(static_cast<float>(a) / 32768.0f);
    }
    // 4.
    std::copy(P.begin() + n, P.begin() + n + kC, carry.pitch);
    std::copy(T.begin() + n, T.begin() + n + kC, carry.time);

    // 5. Isolated jumps: decided on P, written to Q.
    std::vector<float> Q = P;
    for (int k = 1; k <= n + kC - 2; ++k) {
        if (std::fabs(P[k - 1] - P[k]) >= kJump || std::fabs(P[k] - P[k + 1]) >= kJump) Q[k] = 0.0f;
    }
    P = Q;
    // 6. Sparse points and points well below their voiced neighbours: decided on Q only.
    for (int i = kHalfWindow; i <= n + kHalfWindow - 1; ++i) {
        int c = 0;
        float s = 0.0f;
        for (int k = i - kHalfWindow; k <= i + kHalfWindow; ++k) {
            if (Q[k] > 0.0f) {
                ++c;
                s += Q[k];
            }
        }
        if (c < kMinVoiced || s / static_cast<float>(c) - Q[i] >= kBelowMean) P[i] = 0.0f;
    }

    // 7. Draw ten points late.
    const int range = KeyRangeIndex(m_nKeyRange);
    if (m_fftScreen.DrawPitchTrack(n, P.data() + kHalfWindow, T.data() + kHalfWindow, kBaseNoteF[range], range,
                                   m_bShowVolumeGraph ? L.data() : nullptr)) {
        DrawAnalyzerLabels(FALSE);
    }

    // 8. The history, as drawn.
    carry.prevCount = markCount;
    const int room = std::max(0, 2 * m_nRingLen - m_nHistoryPos);
    const int keep = std::min(n, room);
    if (m_pfHistPitch != nullptr && keep > 0) {
        std::copy(P.begin() + kHalfWindow, P.begin() + kHalfWindow + keep, m_pfHistPitch + m_nHistoryPos);
        std::copy(L.begin(), L.begin() + keep, m_pfHistLevel + m_nHistoryPos);
        std::copy(T.begin() + kHalfWindow, T.begin() + kHalfWindow + keep, m_pfHistTime + m_nHistoryPos);
        m_nHistoryPos += keep;
    }
}

void CWaveInOutDlg::RedrawHistoryPage(int page) {
    const CFFTScreen& screen = m_fftScreen;
    if (page < 1 || page > screen.m_nPageCount || page >= CFFTScreen::kMaxPages) return;
    const int range = KeyRangeIndex(m_nKeyRange);
    // The page's points, from its second on, within the history that was kept.
    const int first = std::clamp(screen.m_nPageStart[page - 1] + 1, 0, m_nHistoryPos);
    const int end = std::clamp(screen.m_nPageStart[page], first, m_nHistoryPos);
    const int count = end - first;
    if (count <= 0 || m_pfHistTime == nullptr) {
        // An empty page still shows its grid and its own ten seconds.
        const float start = 10.0f * static_cast<float>(page - 1);
        m_fftScreen.DrawPitchTrack(0, nullptr, &start, kBaseNoteF[range], range + 8, nullptr);
        return;
    }
    m_fftScreen.DrawPitchTrack(count, m_pfHistPitch + first, m_pfHistTime + first, kBaseNoteF[range], range + 8,
                               m_bShowVolumeGraph ? m_pfHistLevel + first : nullptr);
}

void CWaveInOutDlg::InitHistoryScrollBar() {
    // Whatever the method, the next pitch update belongs to a new run.
    m_pitchCarry.restart = true;
    if (m_nMethod == 1) return;
    m_scrollHistory.ShowWindow(SW_SHOW);
    const int pages = m_fftScreen.m_nPageCount;
    if (pages < 1) {
        m_scrollHistory.EnableWindow(FALSE);
        return;
    }
    m_scrollHistory.EnableWindow(TRUE);
    m_scrollHistory.SetScrollRange(1, pages, TRUE);
    m_scrollHistory.SetScrollPos(pages, TRUE);
}

void CWaveInOutDlg::OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) {
    if (pScrollBar == &m_scrollHistory) {
        const int current = m_scrollHistory.GetScrollPos();
        int next = current;
        switch (nSBCode) {
        case SB_LINELEFT: next = current - 1; break;
        case SB_LINERIGHT: next = current + 1; break;
        case SB_PAGELEFT: next = current - 4; break;
        case SB_PAGERIGHT: next = current + 4; break;
        case SB_THUMBPOSITION: next = static_cast<int>(nPos); break;
        default: break;
        }
        const int pages = m_fftScreen.m_nPageCount;
        next = std::clamp(next, 1, std::max(1, pages));
        m_scrollHistory.SetScrollPos(next, TRUE);
        // The live track owns the view while a run goes on.
        if (next != current && m_nRunState.load() == 0) RedrawHistoryPage(next);
    }
    CDialog::OnHScroll(nSBCode, nPos, pScrollBar);
}

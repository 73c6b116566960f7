// The added-voice modes (a voice a third above, a voice flattened to one note) and the
// oscillator modes (sine, square, saw following the marks' pitch and the periods' amplitudes).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/WaveInOutDlg.h"
#include "engine/Grain.h"
#include "engine/ResampleCubic.h"
#include "engine/SampleMath.h"

namespace {
constexpr double kTwoPi = 6.283185307179586;
}

int CWaveInOutDlg::GrainHalfLength(float exact) const {
    const float c = std::ceil(exact);
    if (!(c >= 1.0f) || c > static_cast<float>(m_nRingLen / 2)) return 0;
    return static_cast<int>(c);
}

int CWaveInOutDlg::PeriodAtMark(int k) const {
    const std::int64_t t = m_pnMark[(k + 1) & m_nRingMask] - m_pnMark[k & m_nRingMask];
    return (t < 0 || t > m_nRingLen) ? 0 : static_cast<int>(t);
}

int CWaveInOutDlg::OscillatorStep(CSynthState& st, int mode, float p, int last, bool bypass) {
    CPsolaVoice& v = st.main;
    short* outRing = m_outStage.Samples();
    const int latency = m_nBlockBytes;
    int nSum = 0;
    while (v.k < last) {
        int t = PeriodAtMark(v.k);
        if (t < 1 || t > m_nRingLen / 2) {
            WriteTrace("7-09 T<=0 error");
            t = 100;
        }
        const int a0 = std::max(0, static_cast<int>(m_psMarkAmp[v.k & m_nRingMask]));
        const int a1 = std::max(0, static_cast<int>(m_psMarkAmp[(v.k + 1) & m_nRingMask]));
        const float slope = (static_cast<float>(a1) - static_cast<float>(a0)) / static_cast<float>(t);
        const double inc = kTwoPi / (static_cast<double>(t) * (1.0 / static_cast<double>(p)));
        for (int i = 0; i < t; ++i) {
            float s = 0.0f;
            if (mode == 4) {
                s = static_cast<float>(std::sin(m_dOscPhase));
            } else if (mode == 5) {
                const double sv = std::sin(m_dOscPhase);
                s = sv > 0.0 ? 0.5f : (sv < 0.0 ? -0.5f : 0.0f);
            } else {
                s = static_cast<float>(std::fmod(m_dOscPhase * 0.22281692032865347, 1.4) - 0.7);
            }
            if (!bypass) {
                const float y = (static_cast<float>(i) * slope + static_cast<float>(a0)) * s;
                outRing[(latency + st.out + nSum + i) & m_nRingMask] = ToSample16(y);
            }
            m_dOscPhase += inc;
        }
        nSum += t;
        v.grainPos += t;
        v.k += 1;
    }
    m_dOscPhase = std::fmod(m_dOscPhase, kTwoPi);
    // Keep the overlap-add position in step, so that a later overlap-add mode carries on from
    // here instead of going back to where the oscillator began.
    v.markPos = static_cast<double>(v.k);
    v.prevMarkPos = v.markPos;
    return nSum;
}

void CWaveInOutDlg::AddedVoiceStep(CSynthState& st, int mode, const CPsolaVoice& mainAtStart, float q, float step,
                                   int last, int newest, std::int64_t count, int nOut, bool bypass) {
    (void)last;
    const COlaRing ola2{m_pfOla2, m_nOlaMask};
    const CInputRing in{m_pfInputBuf, m_nRingMask};
    CPsolaVoice& a = st.added;
    // Every grain of the added voice stands for an input position, as the main voice's grains
    // do: the fractional mark position one mark on. Overlap-add position x between two grains
    // stands for the input position in proportion, and the output sample y is taken from the
    // position that stands for input y. So the added voice keeps its own grain spacing (its
    // pitch) exactly, whatever the main voice's cycle spans.
    const auto anchor = [this](double markPos) { return MarkTimeAt(m_pnMark, m_nRingMask, markPos + 1.0); };
    if (st.lastMode != 2 && st.lastMode != 3) {
        // Entering an added-voice mode: the added voice starts where the main voice's output
        // ended, instead of replaying everything since the run began. Its overlap-add position
        // 0 stands for that input position, the last one output (st.out - 1).
        a = CPsolaVoice{};
        a.markPos = mainAtStart.prevMarkPos;
        a.prevMarkPos = a.markPos;
        a.k = static_cast<int>(std::ceil(a.markPos));
        a.readPos = 1;
        std::memset(m_pfOla2, 0, static_cast<size_t>(2 * m_nRingLen) * sizeof(float));
        a.cleared = 2 * m_nRingLen;
    }
    const float pRatio = 1.0f / step;
    const float fRatio = pRatio / q;
    float step2 = step;
    float gainMain = 0.0f;
    float gainAdded = 1.0f;
    double span = 0.0;    // flatten: input samples per grain, the target period over p
    float spacing = 0.0f;  // flatten: the grains' spacing, the target period times f/p
    if (mode == 2) {
        step2 = step * 0.8f;
        gainMain = 1.0f;
        gainAdded = 0.5f;
    } else {
        const int minKey = std::clamp(m_comboMinKey.GetCurSel(), 0, kKeyCount - 1);
        const int maxKey = std::clamp(m_comboMaxKey.GetCurSel(), 0, kKeyCount - 1);
        const int c = (maxKey + minKey) / 2;
        const float ft = static_cast<float>(m_nA4.load()) * std::pow(2.0f, static_cast<float>(c - 33) * 0.083333336f);
        // Each grain moves on through the input by exactly one target period over p and is
        // laid that period times f/p after the last: the added voice sounds at Ft × p and keeps
        // in time with the input, however the sung periods change from mark to mark.
        span = 44100.0 / static_cast<double>(ft) / static_cast<double>(pRatio);
        spacing = 44100.0f / ft * fRatio / pRatio;
    }

    // Grains until the newest one stands for input beyond this cycle's output (the last output
    // sample, st.out + nOut - 1), so that every overlap-add position the output needs is complete.
    const double end = static_cast<double>(st.out + nOut - 1);
    double newestAt = anchor(a.markPos);
    while (newestAt <= end) {
        const CPsolaVoice before = a;
        const bool stepped = mode == 3 ? StepByInputSpan(a, m_pnMark, m_nRingMask, span, newest)
                                       : StepToNextGrainMark(a, static_cast<double>(step2), newest);
        if (!stepped) break;
        int t2 = PeriodAtMark(a.k);
        if (t2 < 1) {
            WriteTrace("7-10 interval<=0 error");
            t2 = 100;
        }
        const double at = anchor(a.markPos);
        // Third above: spaced by the input the grain moves on by, times f, as the main voice's
        // grains are; its step of 0.8 marks makes the pitch 1.25 times the main voice's.
        float exact = mode == 3 ? spacing : static_cast<float>((at - newestAt) * static_cast<double>(fRatio));
        if (!(exact > 0.0f)) exact = static_cast<float>(t2) / (q * 1.25f);
        int pa2 = GrainHalfLength(exact);
        if (pa2 < 1) pa2 = 100;
        if (!LayGrain(ola2, in, a, pa2, t2, m_pnMark[a.k & m_nRingMask], count)) {
            a = before;
            break;
        }
        a.prevMarkPos = before.markPos;
        newestAt = at;
    }

    // The overlap-add position that stands for the last output sample: between the newest
    // grain and its predecessor, in proportion to their input positions; the newest grain's
    // centre when the marks ran out before the output's end.
    int nIn2 = 0;
    if (a.pa > 0) {
        const double predecessorAt = anchor(a.prevMarkPos);
        const std::int64_t newestPos = a.grainPos;
        const std::int64_t predecessorPos = a.grainPos - a.pa;
        double endPos = static_cast<double>(newestPos);
        if (newestAt > end && newestAt > predecessorAt) {
            const double share = std::clamp((end - predecessorAt) / (newestAt - predecessorAt), 0.0, 1.0);
            endPos = static_cast<double>(predecessorPos) + share * static_cast<double>(a.pa);
        }
        nIn2 = static_cast<int>(static_cast<std::int64_t>(std::floor(endPos + 0.5)) - a.readPos + 1);
        if (nIn2 < 1) {
            WriteTrace("7-11 Nin<=0 error");
            nIn2 = 0;
        }
    }
    std::vector<float>& seg2 = st.segment2;
    if (nIn2 > 0) BuildSegment(ola2, a, nIn2, seg2);
    short* outRing = m_outStage.Samples();
    const int latency = m_nBlockBytes;
    const bool shifted = m_bPitchShiftEnable != FALSE;
    for (int i = 0; i < nOut; ++i) {
        const int h = nIn2 > 0 ? ResampleCubic(seg2.data(), nIn2, nOut, i) : 0;
        const int pos = (latency + st.out + i) & m_nRingMask;
        const float x = shifted ? static_cast<float>(outRing[pos]) : m_pfInputBuf[(st.out + i) & m_nRingMask];
        const float y = x * gainMain + static_cast<float>(h) * gainAdded;
        if (!bypass) outRing[pos] = ToSample16(y);
    }
    if (nIn2 > 0) {
        a.readPos += nIn2;
        a.carried = seg2[static_cast<size_t>(nIn2)];
    }
}

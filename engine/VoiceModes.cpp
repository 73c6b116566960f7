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
    return nSum;
}

void CWaveInOutDlg::AddedVoiceStep(CSynthState& st, int mode, const CPsolaVoice& mainAtStart, float q, float step,
                                   int last, int newest, std::int64_t count, int nOut, bool bypass) {
    const COlaRing ola2{m_pfOla2, m_nOlaMask};
    const CInputRing in{m_pfInputBuf, m_nRingMask};
    CPsolaVoice& a = st.added;
    if (st.lastMode != 2 && st.lastMode != 3) {
        // Entering an added-voice mode: the added voice starts where the main voice began this
        // cycle, instead of replaying everything since the run began.
        a = CPsolaVoice{};
        a.markPos = mainAtStart.markPos;
        a.k = mainAtStart.k;
        std::memset(m_pfOla2, 0, static_cast<size_t>(2 * m_nRingLen) * sizeof(float));
        a.cleared = 2 * m_nRingLen;
    }
    float q2 = q;
    float step2 = step;
    float gainMain = 0.0f;
    float gainAdded = 1.0f;
    float ft = 0.0f;
    if (mode == 2) {
        q2 = q * 1.25f;
        step2 = step * 0.8f;
        gainMain = 1.0f;
        gainAdded = 0.5f;
    } else {
        const int minKey = std::clamp(m_comboMinKey.GetCurSel(), 0, kKeyCount - 1);
        const int maxKey = std::clamp(m_comboMaxKey.GetCurSel(), 0, kKeyCount - 1);
        const int c = (maxKey + minKey) / 2;
        ft = static_cast<float>(m_nA4.load()) * std::pow(2.0f, static_cast<float>(c - 33) * 0.083333336f);
    }

    int grains = 0;
    while (a.k < last) {
        const CPsolaVoice before = a;
        if (!StepToNextGrainMark(a, static_cast<double>(step2), newest)) break;
        int t2 = PeriodAtMark(a.k);
        if (t2 < 1) {
            WriteTrace("7-10 interval<=0 error");
            t2 = 100;
        }
        if (mode == 3) {
            const float r = static_cast<float>(static_cast<double>(ft) / (44100.0 / static_cast<double>(static_cast<float>(t2))));
            step2 = step / r;
            q2 = r * q;
        }
        int pa2 = GrainHalfLength(static_cast<float>(t2) / q2);
        if (pa2 < 1) pa2 = 100;
        if (!LayGrain(ola2, in, a, pa2, t2, m_pnMark[a.k & m_nRingMask], count)) {
            a = before;
            break;
        }
        ++grains;
    }

    int nIn2 = 0;
    if (grains > 0) {
        nIn2 = static_cast<int>(a.grainPos - a.pa - a.readPos + 1);
        if (nIn2 < 1) {
            WriteTrace("7-11 Nin<=0 error");
            nIn2 = m_nBlockBytes / 2;
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

// The chorus synthesis thread: while a pitch dump drives the run it takes the synthesis
// thread's place. From the dump's marks it builds two voices by overlap-add at the dump's
// oversampled rate: the main voice (pitch p, formant f, locked to the marks) and a chorus voice
// moved, period by period, by the dump's chorus column (127: no chorus voice for that period).
// Both are mixed at the dump's levels and every OS-th mixed sample goes to the output ring.
//
// Threads: the thread alone owns its overlap-add rings and mix buffer (CChorusState). It reads
// the marks, the chorus column and the input ring only while m_bMarksReady is raised, writes
// the output ring ahead of playback and the output WAV, then clears the flag.
#include <algorithm>
#include <cmath>
#include <new>

#include "app/WaveInOutDlg.h"
#include "engine/ChorusState.h"
#include "engine/Grain.h"
#include "engine/ResampleCubic.h"
#include "engine/SampleMath.h"
#include "platform/base/clock.h"

namespace {

// A period without chorus voice: the grain's whole stretch becomes silence, including what
// earlier grains left in it.
void SilenceGrain(const COlaRing& ola, std::int64_t grainPos, int half) {
    for (std::int64_t e = grainPos - half; e <= grainPos + half; ++e) ola.data[e & ola.mask] = 0.0f;
}

// Half-length of a grain, ceil(exact); 0 when the period makes no grain (marks equal, out of
// order, or no number), at most `limit`.
int ChorusHalfLength(float exact, int limit) {
    const float c = std::ceil(exact);
    if (!(c >= 1.0f)) return 0;
    return c > static_cast<float>(limit) ? limit : static_cast<int>(c);
}

}  // namespace

void CWaveInOutDlg::ChorusSynthesizeProc() {
    CChorusState st;
    const bool ready = ChorusSynthesizeBegin(st);
    while (m_bPsolaRun.load(std::memory_order_acquire)) {
        if (ready) {
            ChorusSynthesizeStep(st);
        } else if (m_bMarksReady.load(std::memory_order_acquire)) {
            // Without its buffers the thread makes no sound but keeps the analysis going.
            m_bMarksReady.store(FALSE, std::memory_order_release);
        }
        Sleep(2);
    }
}

bool CWaveInOutDlg::ChorusSynthesizeBegin(CChorusState& st) {
    st = CChorusState{};
    st.os = std::clamp(m_nOverSampling, 1, 8);
    st.pitchShift = m_bPitchShiftEnable != FALSE;
    st.mixOriginal = m_fMixOriginal;
    st.mixChorus = m_fMixChorus;
    // Rings of 2N × OS floats, rounded up to a power of two so that positions wrap by a mask.
    std::size_t len = 1;
    while (len < static_cast<std::size_t>(2 * m_nRingLen) * static_cast<std::size_t>(st.os)) len <<= 1;
    try {
        st.ola.assign(len, 0.0f);
        st.ola2.assign(len, 0.0f);
        // A round may have to catch up on several blocks (the analysis hands over all input
        // that arrived meanwhile); its output can be as long as the whole output ring.
        st.mix.assign(static_cast<std::size_t>(m_nRingLen) * static_cast<std::size_t>(st.os), 0);
    } catch (const std::bad_alloc&) {
        st = CChorusState{};
        return false;
    }
    st.olaMask = static_cast<int>(len - 1);
    st.main.cleared = static_cast<int>(len);
    st.chorus.cleared = static_cast<int>(len);
    return true;
}

bool CWaveInOutDlg::ChorusSynthesizeStep(CChorusState& st) {
    if (m_bMarksReady.load(std::memory_order_acquire) != TRUE) return false;
    ChorusRound(st);
    return true;
}

void CWaveInOutDlg::ChorusRound(CChorusState& st) {
    const float p = m_fPitchRatio.load(std::memory_order_relaxed);
    const float f = m_fFormantRatio.load(std::memory_order_relaxed);
    const float step = 1.0f / p;
    const float q = p / f;
    const std::int64_t count = m_nInputCount.load(std::memory_order_acquire);
    const int newest = m_nMarkCount.load(std::memory_order_acquire);
    const int last = newest - 2;
    const int os = st.os;
    const int latency = m_nBlockBytes;
    const int chorusRows = 2 * m_nRingLen;
    // A grain stays within an eighth of its ring and reads at most a quarter of the input ring.
    const int limit = std::min((st.olaMask + 1) / 8, m_nRingLen / 4 * os);
    short* outRing = m_outStage.Samples();
    const COlaRing ola{st.ola.data(), st.olaMask};
    const COlaRing ola2{st.ola2.data(), st.olaMask};
    const CInputRing in{m_pfInputBuf, m_nRingMask};
    const auto mark = [this](int k) { return m_pnMark[k & m_nRingMask]; };

    // Main voice: grains Pa = ceil(T × f / p) apart, as the speaking voice makes them.
    CPsolaVoice& v = st.main;
    const float invQ = 1.0f / q;
    std::int64_t reach = -1;  // mark of the round's newest grain
    while (v.k < last) {
        const CPsolaVoice before = v;
        if (!StepToNextGrainMark(v, static_cast<double>(step), newest)) break;
        const int t = mark(v.k + 1) - mark(v.k);
        const int pa = ChorusHalfLength(static_cast<float>(t) * invQ, limit);
        if (pa < 1) continue;
        if (!LayGrain(ola, in, v, pa, t, mark(v.k), count, os)) {
            v = before;  // its window reaches input that has not arrived: the next round takes it
            break;
        }
        reach = mark(v.k);
    }
    // The output reaches the newest grain's mark (marks after it that made no grain, such as
    // the zeros after a dump's last row, do not count), at most the output ring per round.
    const int nIn = reach >= 0 ? static_cast<int>(v.grainPos - v.pa - v.readPos + 1) : 0;
    const long long wanted = static_cast<long long>(reach) - st.out + 1;
    int nOut = static_cast<int>(std::min<long long>(wanted, static_cast<long long>(st.mix.size())));
    if (nIn < 1 || nOut < 1) nOut = 0;
    if (nOut > 0) {
        BuildSegment(ola, v, nIn, st.segment);
        for (int i = 0; i < nOut; ++i)
            st.mix[static_cast<std::size_t>(i)] = static_cast<short>(ClampSample(ResampleCubic(st.segment.data(), nIn, nOut, i)));
        v.carried = st.segment[static_cast<std::size_t>(nIn)];
        v.readPos += nIn;
    }

    // Chorus voice: its ratio comes from the chorus value of its previous grain's mark.
    CPsolaVoice& c = st.chorus;
    while (c.k < last) {
        bool voiced = false;
        float step2 = step;
        float q2 = q;
        if (c.k < chorusRows && m_pfChorus[c.k] != 127.0f) {
            const float r = std::pow(2.0f, m_pfChorus[c.k] * 0.083333336f);
            voiced = true;
            step2 = step / r;
            q2 = r * q;
        }
        const CPsolaVoice before = c;
        if (!StepToNextGrainMark(c, static_cast<double>(step2), newest)) break;
        const int t2 = mark(c.k + 1) - mark(c.k);
        const int pa2 = ChorusHalfLength(static_cast<float>(t2) / q2, limit);
        if (pa2 < 1) continue;
        if (voiced) {
            if (!LayGrain(ola2, in, c, pa2, t2, mark(c.k), count, os)) {
                c = before;
                break;
            }
        } else {
            const int half = GrainShape(pa2, t2).half;
            c.pa = pa2;
            c.grainPos += pa2;
            ClearAhead(ola2, c, c.grainPos, half);
            SilenceGrain(ola2, c.grainPos, half);
        }
    }

    if (nOut > 0) {
        // The mix of the two voices at the dump's levels.
        const int nIn2 = c.pa > 0 ? static_cast<int>(c.grainPos - c.pa - c.readPos + 1) : 0;
        if (nIn2 >= 1) BuildSegment(ola2, c, nIn2, st.segment2);
        for (int i = 0; i < nOut; ++i) {
            const int h = nIn2 >= 1 ? ResampleCubic(st.segment2.data(), nIn2, nOut, i) : 0;
            const float x = st.pitchShift ? static_cast<float>(st.mix[static_cast<std::size_t>(i)])
                                          : m_pfInputBuf[((st.out + i) / os) & m_nRingMask];
            st.mix[static_cast<std::size_t>(i)] = ToSample16(x * st.mixOriginal + static_cast<float>(h) * st.mixChorus);
        }
        if (nIn2 >= 1) {
            c.carried = st.segment2[static_cast<std::size_t>(nIn2)];
            c.readPos += nIn2;
        }

        // Each 44100 Hz output sample is the mixed sample at the first oversampled position on it.
        for (long long j = (st.out + os - 1) / os; j * os < st.out + nOut; ++j)
            outRing[(latency + j) & m_nRingMask] = st.mix[static_cast<std::size_t>(j * os - st.out)];

        // The samples finished this round: those before the round's end at 44100 Hz.
        const long long o = st.out / os;
        const int n = static_cast<int>((st.out + nOut) / os - o);
        if (m_chkOriginal.GetCheck() != 0) {
            for (int j = 0; j < n; ++j) outRing[(latency + o + j) & m_nRingMask] = ToSample16(m_pfInputBuf[(o + j) & m_nRingMask]);
        }
        SaveOutput(st.mix, o, n);
        st.out += nOut;
    } else {
        // Stretches that no output can take (marks out of order) must not outgrow the rings.
        const int most = (st.olaMask + 1) / 2;
        if (v.grainPos - v.readPos > most) v.readPos = v.grainPos - v.pa + 1;
        if (c.grainPos - c.readPos > most) c.readPos = c.grainPos - c.pa + 1;
    }

    // The next round reads from each voice's newest grain's mark on, the unshifted mix and
    // Original from the output's position (all in input samples).
    const std::int64_t floor = std::min<std::int64_t>({st.out / os, mark(v.k) / os, mark(c.k) / os});
    m_nInputFloor[1].store(std::max<std::int64_t>(floor, 0), std::memory_order_release);
    FinishEngineCycle(m_nMarksInputCount.load(std::memory_order_acquire));
    m_bMarksReady.store(FALSE, std::memory_order_release);
    ShowProcTime(g_dwProcStart.load(std::memory_order_relaxed), &st.procMin, &st.procMax);
}

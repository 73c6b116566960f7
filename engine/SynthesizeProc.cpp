// The TD-PSOLA synthesis thread: for every block the analysis thread hands over, windowed
// grains of the input taken at the analysis marks are laid into the overlap-add ring at the
// spacing of the new pitch, and the ring's new stretch is resampled to the output length (which
// sets the formant) into the output ring, half a ring ahead of the input.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/WaveInOutDlg.h"
#include "effects/EQdlg.h"
#include "engine/Grain.h"
#include "engine/ResampleCubic.h"
#include "engine/SampleMath.h"
#include "platform/base/clock.h"

void CWaveInOutDlg::SynthesizeProc() {
    WriteTrace("7-SynthesizeProc(Thread)");
    CSynthState st;
    SynthesizeBegin(st);
    WriteTrace("7-01");
    while (m_bPsolaRun.load(std::memory_order_acquire)) {
        SynthesizeStep(st);
        Sleep(2);
    }
    st.saveBuf.clear();
    st.saveBuf.shrink_to_fit();
    WriteTrace("7-END");
}

void CWaveInOutDlg::SynthesizeBegin(CSynthState& st) {
    const size_t olaLen = static_cast<size_t>(2 * m_nRingLen);
    std::memset(m_pfOla, 0, olaLen * sizeof(float));
    std::memset(m_pfOla2, 0, olaLen * sizeof(float));
    st = CSynthState{};
    // Both overlap-add rings are zero now: every position of the first ring length is clean.
    st.main.cleared = static_cast<int>(olaLen);
    st.added.cleared = static_cast<int>(olaLen);
    st.saveBuf.assign(static_cast<size_t>(m_nBlockBytes), 0);
}

bool CWaveInOutDlg::SynthesizeStep(CSynthState& st) {
    if (m_bMarksReady.load(std::memory_order_acquire) != TRUE) return false;
    SynthesizeCycle(st);
    return true;
}

int CWaveInOutDlg::CurrentVoiceMode() const {
    const int mode = m_comboVoiceMode.GetCurSel();
    return (mode < 0 || mode > 6) ? 1 : mode;
}

void CWaveInOutDlg::SynthesizeCycle(CSynthState& st) {
    WriteTrace("7-02");
    const float p = m_fPitchRatio.load(std::memory_order_relaxed);
    const float f = m_fFormantRatio.load(std::memory_order_relaxed);
    const float step = 1.0f / p;
    const std::int64_t count = m_nInputCount.load(std::memory_order_acquire);
    const int newest = m_nMarkCount.load(std::memory_order_acquire);
    const float q = p / f;
    const bool bypass = m_chkOriginal.GetCheck() != 0;
    const int mode = CurrentVoiceMode();
    const int last = newest - 2;
    const int half = m_nBlockBytes / 2;
    const int latency = m_nBlockBytes;
    short* outRing = m_outStage.Samples();
    const COlaRing ola{m_pfOla, m_nOlaMask};
    const CInputRing in{m_pfInputBuf, m_nRingMask};
    CPsolaVoice& v = st.main;
    const int restart = m_nMarkRestart.load(std::memory_order_acquire);
    if (restart > st.restart) {
        // A new chain of marks after a Thru stretch, whose output Thru has played: the voices
        // begin again at its first mark, as at a run's start, and the overlap-add carries on
        // past everything written so far.
        st.restart = restart;
        v.markPos = restart;
        v.prevMarkPos = restart;
        v.k = restart;
        v.grainPos = v.cleared;
        v.readPos = v.cleared;
        v.pa = 0;
        v.carried = 0.0f;
        st.out = m_pnMark[restart & m_nRingMask];
        st.lastMode = -1;  // the added voice starts again with the main voice
    }
    const CPsolaVoice startOfCycle = v;

    int nIn = 0;
    int nOut = 0;
    if (mode <= 3) {
        // Main-voice grains, never past the newest analysed mark.
        int grains = 0;
        double exactSpacing = 0.0;  // the grains' spacings before rounding up, and after
        std::int64_t laidSpacing = 0;
        // The speaking modes tie every grain to an input position, the fractional mark position
        // one mark on (where the grain's content lies), and space each grain by the input between
        // its position and the one before, times f. A cycle's overlap-add then always stands for
        // the input its output spans, so no cycle is stretched or squeezed as a whole when the
        // voice changes between voiced and unvoiced periods inside it.
        const bool locked = mode != 0;
        double endTime = 0.0;  // input position of the newest grain's predecessor: the output's end
        while (v.k < last) {
            const CPsolaVoice before = v;
            if (!StepToNextGrainMark(v, static_cast<double>(step), newest)) break;
            const int t = PeriodAtMark(v.k);
            float exact = static_cast<float>(t) * (1.0f / q);
            const double from = locked ? MarkTimeAt(m_pnMark, m_nRingMask, before.markPos + 1.0) : 0.0;
            if (locked) {
                const double span = MarkTimeAt(m_pnMark, m_nRingMask, v.markPos + 1.0) - from;
                if (span > 0.0) exact = static_cast<float>(span * static_cast<double>(f));
            }
            int pa = GrainHalfLength(exact);
            if (pa < 1) {
                WriteTrace("7-03 Pa<=0 error");
                pa = 100;
                exact = 100.0f;
            }
            if (!LayGrain(ola, in, v, pa, t, m_pnMark[v.k & m_nRingMask], count)) {
                v = before;  // its window reaches input that has not arrived: the next cycle takes it
                break;
            }
            exactSpacing += static_cast<double>(exact);
            laidSpacing += pa;
            endTime = from;
            v.prevMarkPos = before.markPos;
            ++grains;
        }
        if (grains > 0) {
            nIn = static_cast<int>(v.grainPos - v.pa - v.readPos + 1);
            if (nIn < 1) {
                WriteTrace("7-04 Nin<=0 error");
                nIn = half;
            }
        }
        std::vector<float>& seg = st.segment;
        if (nIn > 0 && mode == 0) {
            const int target = static_cast<int>(std::floor(static_cast<float>(half) * f));
            if (v.readPos == 0 && nIn < target) {
                // The run starts with one full block: the first stretch is padded in front.
                WriteTrace("7-05 ***");
                seg.assign(static_cast<size_t>(target) + 1, 0.0f);
                for (int i = 0; i < nIn; ++i) seg[static_cast<size_t>(target - nIn + 1 + i)] = m_pfOla[i & m_nOlaMask];
                nIn = target;
                nOut = half;
            } else {
                WriteTrace("7-06");
                BuildSegment(ola, v, nIn, seg);
                // The length follows the overlap-add divided by f, taken at the grains' spacings
                // before they were rounded up to whole samples: the rounding would otherwise
                // lower the pitch and make the output gain on the marks.
                const double unrounded = laidSpacing > 0 ? exactSpacing / static_cast<double>(laidSpacing) : 1.0;
                nOut = static_cast<int>(std::floor(static_cast<double>(nIn) * unrounded / static_cast<double>(f) + 0.5));
                // What drift is left (a changing voice, a mode switch) is pulled back once it is
                // more than half a block off, by at most 0.5 % of a cycle's length (9 cents).
                const std::int64_t drift = st.out + nOut - (m_pnMark[v.k & m_nRingMask] + 1);
                const int allowed = half / 2;
                const int maxPull = std::max(1, nOut / 200);
                if (drift > allowed) nOut -= static_cast<int>(std::min<std::int64_t>(drift - allowed, maxPull));
                else if (drift < -allowed) nOut += static_cast<int>(std::min<std::int64_t>(-allowed - drift, maxPull));
            }
        } else if (nIn > 0) {
            BuildSegment(ola, v, nIn, seg);
            // The segment ends at the newest grain's predecessor, whose input position the
            // output reaches: the output stays with the input, at the grains' own pitch.
            nOut = static_cast<int>(static_cast<std::int64_t>(std::floor(endTime + 0.5)) - st.out + 1);
        }
        if (nIn > 0) {
            if (nOut >= 1) {
                WriteTrace("7-07");
                // A run of outputs at a time (the resampler works on vectors).
                int run[256];
                for (int i0 = 0; i0 < nOut; i0 += 256) {
                    const int n = std::min(256, nOut - i0);
                    ResampleCubicRun(seg.data(), nIn, nOut, i0, n, run);
                    for (int k = 0; k < n && !bypass; ++k)
                        outRing[(latency + st.out + i0 + k) & m_nRingMask] = static_cast<short>(ClampSample(run[k]));
                }
                WriteTrace("7-08");
            }
            v.carried = seg[static_cast<size_t>(nIn)];
        }
        if (mode >= 2 && nOut >= 1) AddedVoiceStep(st, mode, startOfCycle, q, step, last, newest, count, nOut, bypass);
    } else {
        nOut = OscillatorStep(st, mode, p, last, bypass);
        nIn = nOut;
    }
    st.lastMode = mode;

    if (nOut >= 1 && !bypass) ApplyOutputReverb(st, st.out, nOut);
    if (bypass) {
        for (std::int64_t u = count - half; u < count; ++u) outRing[(latency + u) & m_nRingMask] = ToSample16(m_pfInputBuf[u & m_nRingMask]);
    }
    if (nOut >= 1) SaveOutput(st.saveBuf, st.out, nOut);

    // Bookkeeping of the main voice.
    if (nIn > 0) {
        if (v.readPos == 0) v.readPos = v.grainPos - v.pa + 1;
        else v.readPos += nIn;
    }
    if (nOut >= 1) st.out += nOut;
    m_nInputFloor[1].store(SynthesisInputFloor(st, count), std::memory_order_release);
    FinishEngineCycle(m_nMarksInputCount.load(std::memory_order_acquire));
    m_bMarksReady.store(FALSE, std::memory_order_release);
    ShowProcTime(g_dwProcStart.load(std::memory_order_relaxed), &st.procMin, &st.procMax);
    WriteTrace("7-12");
}

std::int64_t CWaveInOutDlg::SynthesisInputFloor(const CSynthState& st, std::int64_t count) const {
    const auto mark = [this](double k) { return m_pnMark[static_cast<std::int64_t>(std::floor(k)) & m_nRingMask]; };
    // Original copies the newest block; the unshifted added voice reads at the output's
    // position; a voice's next grain reads from its newest grain's mark on, and an added voice
    // that begins again starts from the main voice's predecessor mark.
    std::int64_t floor = std::min<std::int64_t>(count - m_nBlockBytes / 2, st.out);
    floor = std::min({floor, mark(st.main.k), mark(st.main.prevMarkPos)});
    if (st.lastMode == 2 || st.lastMode == 3) floor = std::min({floor, mark(st.added.k), mark(st.added.prevMarkPos)});
    return std::max<std::int64_t>(floor, 0);
}

void CWaveInOutDlg::ApplyOutputReverb(CSynthState& st, std::int64_t first, int count) {
    CEQdlg* effects = m_pEQDlg.load(std::memory_order_acquire);
    if (effects == nullptr || !effects->m_bReverb.load(std::memory_order_acquire)) return;
    short* outRing = m_outStage.Samples();
    // The reverb takes up to a whole device block of values (B) in one call; a cycle's output is
    // handed over whole up to that length, since a cut inside it would change which earlier
    // values its echoes reach.
    const int piece = m_nBlockBytes;
    st.work.resize(static_cast<size_t>(piece));
    for (int done = 0; done < count; done += piece) {
        const int n = std::min(piece, count - done);
        for (int i = 0; i < n; ++i)
            st.work[static_cast<size_t>(i)] = static_cast<float>(outRing[(m_nBlockBytes + first + done + i) & m_nRingMask]);
        effects->ProcessReverb(st.work.data(), n, 1);
        for (int i = 0; i < n; ++i)
            outRing[(m_nBlockBytes + first + done + i) & m_nRingMask] = ToSample16(st.work[static_cast<size_t>(i)]);
    }
}

void CWaveInOutDlg::SaveOutput(std::vector<short>& buffer, long long first, int count) {
    if (m_chkSave.GetCheck() == 0 || !m_saveFile.IsOpen()) return;
    // A file run's output ends where its input ends: the silence that carried the last block
    // through is played but not saved.
    count = SamplesBeforeInputEnd(first, count);
    const short* outRing = m_outStage.Samples();
    const int piece = m_nBlockBytes / 2;
    for (int done = 0; done < count; done += piece) {
        const int n = std::min(piece, count - done);
        for (int i = 0; i < n; ++i) buffer[static_cast<size_t>(i)] = outRing[(m_nBlockBytes + first + done + i) & m_nRingMask];
        AppendToSaveFile(buffer.data(), static_cast<LONG>(n) * 2);
    }
}

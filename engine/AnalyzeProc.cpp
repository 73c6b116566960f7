// The TD-PSOLA analysis thread: takes each new block of the input ring, finds the pitch marks
// of the new input with the amplitude of every period, and hands the block to the synthesis
// thread. With Thru ticked it copies the input straight to the output ring instead.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/WaveInOutDlg.h"
#include "effects/EQdlg.h"
#include "engine/SampleMath.h"
#include "platform/base/clock.h"

namespace {
constexpr int kDefaultPeriod = 441;  // 10 ms: the step over an unvoiced period
}

void CWaveInOutDlg::AnalyzeProc() {
    WriteTrace("6-AnalyzeProc(Thread)");
    CAnalyzeState st;
    AnalyzeBegin(st);
    WriteTrace("6-01");
    while (m_bPsolaRun.load(std::memory_order_acquire)) {
        AnalyzeStep(st);
        Sleep(2);
    }
    WriteTrace("6-END");
}

void CWaveInOutDlg::AnalyzeBegin(CAnalyzeState& st) {
    m_bMarksReady.store(FALSE, std::memory_order_release);
    st = CAnalyzeState{};
    st.chorus = !m_strChorusFile.empty();
    m_pnMark[0] = 0;
    m_nMarkCount.store(0, std::memory_order_release);
    m_nMarkRestart.store(0, std::memory_order_release);
}

bool CWaveInOutDlg::AnalyzeStep(CAnalyzeState& st) {
    if (st.bufferFull) {
        // The run ends once the synthesis has taken the dump's last marks.
        if (!st.stopPosted && !m_bMarksReady.load(std::memory_order_acquire)) {
            st.stopPosted = true;
            PostMessage(WM_APP_BUFFER_FULL, static_cast<WPARAM>(m_nRunSerial), 0);
        }
        return false;
    }
    const std::int64_t count = m_nInputCount.load(std::memory_order_acquire);
    if (m_chkThru.GetCheck() != 0) {
        // The copy waits until the synthesis has taken the block before: both write the output ring.
        if (count == st.readPos || m_bMarksReady.load(std::memory_order_acquire)) return false;
        ThruCycle(st);
        return true;
    }
    if (count == st.readPos || m_bMarksReady.load(std::memory_order_acquire)) return false;
    AnalyzeCycle(st);
    return true;
}

void CWaveInOutDlg::ThruCycle(CAnalyzeState& st) {
    g_dwProcStart.store(timeGetTime(), std::memory_order_relaxed);
    const std::int64_t count = m_nInputCount.load(std::memory_order_acquire);
    const int latency = m_nBlockBytes;  // B samples: half the ring ahead of the input
    short* outRing = m_outStage.Samples();
    // Every sample that arrived since the last pass, in order (at most the last half ring).
    const std::int64_t from = std::max(st.readPos, count - m_nRingLen / 2);
    for (std::int64_t u = from; u != count; ++u) outRing[(u + latency) & m_nRingMask] = ToSample16(m_pfInputBuf[u & m_nRingMask]);
    st.readPos = count;
    st.afterThru = true;
    // After a Thru stretch both threads start again at its end: the marks begin a new chain
    // there and the synthesis restarts its voices on it (Original reads at most a block back).
    m_nInputFloor[0].store(st.readPos, std::memory_order_release);
    m_nInputFloor[1].store(std::max<std::int64_t>(m_nInputFloor[1].load(std::memory_order_relaxed), st.readPos - m_nBlockBytes / 2),
                           std::memory_order_release);
    FinishEngineCycle(count);
    ShowProcTime(g_dwProcStart.load(std::memory_order_relaxed), &st.procMin, &st.procMax);
}

void CWaveInOutDlg::AnalyzeCycle(CAnalyzeState& st) {
    if (IsTracing()) {
        const std::int64_t count = m_nInputCount.load(std::memory_order_acquire);
        char line[64];
        std::snprintf(line, sizeof line, "6-02 %lld(%lld)", static_cast<long long>(count), static_cast<long long>(count - st.readPos));
        WriteTrace(line);
    }
    g_dwProcStart.store(timeGetTime(), std::memory_order_relaxed);
    // Every block that arrived since the last cycle is equalised, in order, before it is analysed.
    const std::int64_t read = m_nInputCount.load(std::memory_order_acquire);
    ApplyInputEqualiser(st.readPos, read);

    // Search range: the lower edge of the lowest key to the upper edge of the highest key.
    const int minKey = std::clamp(m_comboMinKey.GetCurSel(), 0, kKeyCount - 1);
    const int maxKey = std::clamp(m_comboMaxKey.GetCurSel(), 0, kKeyCount - 1);
    const int fLo = m_nKeyBoundaryHz[minKey];
    const int fHi = m_nKeyBoundaryHz[maxKey + 1];
    // Two periods of the lowest frequency.
    const int w2 = fLo > 0 ? 2 * static_cast<int>(std::floor(44100.0f / static_cast<float>(fLo))) : 2 * kDefaultPeriod;

    std::string thText = m_editCorrTh.GetWindowText();
    if (thText.size() > 100) thText.resize(100);
    float corrTh = static_cast<float>(std::atof(thText.c_str()));
    if (!(corrTh >= 0.0f && corrTh <= 1.0f)) {
        m_editCorrTh.SetWindowText("0.5");
        corrTh = 0.5f;
    }

    const std::int64_t taken = st.readPos;  // input before this has been handled
    st.readPos = read;

    if (st.chorus) {
        TakeChorusMarks(st, read, w2);
        // No detection: only the equaliser reads the input, from the new block on.
        m_nInputFloor[0].store(st.readPos, std::memory_order_release);
        m_nMarksInputCount.store(read, std::memory_order_release);
        m_nEngineProgress.fetch_add(1, std::memory_order_release);
        m_bMarksReady.store(TRUE, std::memory_order_release);
        WriteTrace("6-04");
        return;
    }

    int markCount = m_nMarkCount.load(std::memory_order_relaxed);
    if (IsTracing()) {
        char line[64];
        std::snprintf(line, sizeof line, "6-03 %d %d %lld", markCount, w2, static_cast<long long>(m_pnMark[markCount & m_nRingMask]));
        WriteTrace(line);
    }
    if (st.afterThru) {
        // Thru played the input up to where it stopped: the marks start again there, as at a
        // run's start, instead of covering the whole stretch (long since overwritten in the ring).
        // The period that spans the stretch counts as silent; the synthesis begins its voices
        // again at the new chain.
        st.afterThru = false;
        const std::int64_t m = m_pnMark[markCount & m_nRingMask];
        if (taken > m) {
            ++markCount;
            m_pnMark[markCount & m_nRingMask] = taken;
            m_psMarkAmp[markCount & m_nRingMask] = 0;
            m_nMarkCount.store(markCount, std::memory_order_release);
            m_nMarkRestart.store(markCount, std::memory_order_release);
            if (m_chkDump.GetCheck() == BST_CHECKED) WriteDumpLine(static_cast<int>(m), static_cast<int>(taken), 0, 1);
        }
    }
    // Marks for every window m .. m+W2 that has fully arrived.
    for (;;) {
        const std::int64_t m = m_pnMark[markCount & m_nRingMask];
        if (!(m < read - w2)) break;
        float hz = 0.0f;
        int period = 0;
        DetectPitch(&hz, &period, m, w2 + 1, corrTh, fLo, fHi);
        const int step = period >= 1 ? period : kDefaultPeriod;
        const std::int64_t next = m + step;
        // The period's peak, from input that has arrived (an unvoiced step may reach past it).
        const std::int64_t scanEnd = std::min(next, read);
        int amp = 0;
        for (std::int64_t s = m; s < scanEnd; ++s) {
            const float v = std::fabs(m_pfInputBuf[s & m_nRingMask]);
            const int a = !(v == v) ? 0 : (v >= 32767.0f ? 32767 : static_cast<int>(v));
            if (a > amp) amp = a;
        }
        if (period < 1) amp = -amp;
        ++markCount;
        m_pnMark[markCount & m_nRingMask] = next;
        m_psMarkAmp[markCount & m_nRingMask] = static_cast<short>(amp);
        m_nMarkCount.store(markCount, std::memory_order_release);
        // One dump row per period while the Dump box is ticked (the writer checks that the dump is open).
        // (The dump ends at 2N rows, long before a mark passes the 32-bit range.)
        if (m_chkDump.GetCheck() == BST_CHECKED) WriteDumpLine(static_cast<int>(m), static_cast<int>(next), amp, 1);
    }

    // The next cycle reads from the newest mark on (its detection window) and equalises from
    // the new block on.
    m_nInputFloor[0].store(std::min(st.readPos, m_pnMark[markCount & m_nRingMask]), std::memory_order_release);
    m_nMarksInputCount.store(read, std::memory_order_release);
    m_nEngineProgress.fetch_add(1, std::memory_order_release);
    m_bMarksReady.store(TRUE, std::memory_order_release);
    WriteTrace("6-04");
}

void CWaveInOutDlg::TakeChorusMarks(CAnalyzeState& st, std::int64_t read, int w2) {
    // The dump's marks are in oversampled units; rows N..2N-1 move into the ring as the count
    // passes N. No detection runs and no dump rows are written.
    const int n = m_nRingLen;
    const int os = m_nOverSampling >= 1 ? m_nOverSampling : 1;
    int markCount = m_nMarkCount.load(std::memory_order_relaxed);
    while (m_pnMark[markCount & m_nRingMask] / os < read - w2) {
        ++markCount;
        if (markCount >= n && markCount < 2 * n) {
            m_pnMark[markCount - n] = m_pnMark2[markCount - n];
            m_psMarkAmp[markCount - n] = m_psMarkAmp2[markCount - n];
        }
        // The dump's marks end at 2N, or where a mark lies before its predecessor: the zeros
        // after its last row. This cycle hands over the marks up to there, the synthesis plays
        // them, then the run ends once, by STOP on the user-interface thread.
        if (markCount >= 2 * n || m_pnMark[markCount & m_nRingMask] < m_pnMark[(markCount - 1) & m_nRingMask]) {
            m_nMarkCount.store(markCount, std::memory_order_release);
            m_staticBufferFull.ShowWindow(SW_SHOW);
            st.bufferFull = true;
            return;
        }
        m_nMarkCount.store(markCount, std::memory_order_release);
    }
}

void CWaveInOutDlg::ApplyInputEqualiser(std::int64_t from, std::int64_t to) {
    CEQdlg* effects = m_pEQDlg.load(std::memory_order_acquire);
    if (effects == nullptr || !effects->m_bEQ.load(std::memory_order_acquire)) return;
    // Samples older than half the ring are being overwritten by the capture already.
    from = std::max(from, to - m_nRingLen / 2);
    while (from != to) {
        const int start = static_cast<int>(from & m_nRingMask);
        const int n = static_cast<int>(std::min<std::int64_t>(to - from, m_nRingLen - start));  // never across the ring's end
        effects->ProcessEQ(m_pfInputBuf + start, n, 1);
        from += n;
    }
}

void CWaveInOutDlg::ShowProcTime(DWORD start, int* pMin, int* pMax) {
    const int elapsed = static_cast<int>(timeGetTime() - start);
    if (elapsed < *pMin) *pMin = elapsed;
    if (elapsed > *pMax) *pMax = elapsed;
    char text[64];
    std::snprintf(text, sizeof text, "ProcTime %dms (%d-%d)", elapsed, *pMin, *pMax);
    m_staticProcTime.SetWindowText(text);
}

// Offline TD-PSOLA conversion of one whole batch file: pitch marks of the whole oversampled
// input (0..80 %), pitch-synchronous overlap-add (80..90 %), resampling by the formant ratio
// and decimation back to 44100 Hz (90..100 %), appended to the open output WAV.
//
// Runs on the batch thread on the per-file buffers that the worker has swapped in:
// m_pfInputBuf (m_nInputCount samples), m_pfOla (m_nBatchOlaLen floats, zeroed), m_pnMark and
// m_psMarkAmp (m_nBatchMarkLen entries). The abort flag of the progress dialog is polled once
// per analysed period and once per grain.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "batch/BatchDlg.h"
#include "batch/BatchList.h"
#include "engine/Grain.h"
#include "engine/ResampleCubic.h"
#include "engine/SampleMath.h"

namespace {

// Percent step of the analysis texts: finer for longer inputs.
int ProgressStep(long long total) {
    if (total <= 5000000) return 10;
    if (total <= 10000000) return 5;
    return 2;
}

// The CorrTh text as a number; anything outside 0..1 (NaN included) is out of range.
bool ReadCorrTh(const std::string& text, float* value) {
    std::string t = text.substr(0, 99);
    const float v = static_cast<float>(std::atof(t.c_str()));
    if (!(v >= 0.0f && v <= 1.0f)) return false;
    *value = v;
    return true;
}

// Samples of the output written per call (the WAV object takes 32-bit byte counts).
constexpr std::size_t kWriteChunk = 1 << 20;

}  // namespace

void CWaveInOutDlg::BatchPsola() {
    CBatchDlg* progressDlg = m_pBatchDlg;
    auto aborted = [&] { return progressDlg != nullptr && progressDlg->m_bAbort.load(std::memory_order_acquire); };
    auto showPercent = [&](const char* text) {
        if (progressDlg != nullptr) BatchPostText(&progressDlg->m_staticProgress, text);
    };

    const int factor = std::clamp(g_nOverSampling, 1, 4);
    const int fs = 44100 * factor;
    const int total = m_nInputCount.load(std::memory_order_relaxed);
    const long long markLen = m_nBatchMarkLen;
    std::int64_t* mark = m_pnMark;

    // 1. Settings, once per file.
    mark[0] = 0;
    int M = 0;
    m_nMarkCount.store(0, std::memory_order_relaxed);
    const int minKey = std::clamp(m_comboMinKey.GetCurSel(), 0, kKeyCount - 1);
    const int maxKey = std::clamp(m_comboMaxKey.GetCurSel(), 0, kKeyCount - 1);
    const int fLo = m_nKeyBoundaryHz[minKey];
    const int fHi = m_nKeyBoundaryHz[maxKey + 1];
    const int defaultPeriod = static_cast<int>(std::floor(static_cast<float>(fs) * 0.01f));
    const int w2 = fLo > 0 ? 2 * static_cast<int>(std::floor(static_cast<float>(fs) / static_cast<float>(fLo)))
                           : 2 * defaultPeriod;
    float corrTh = 0.5f;
    if (!ReadCorrTh(m_editCorrTh.GetWindowText(), &corrTh)) {
        BatchPostText(&m_editCorrTh, "0.5");
        corrTh = 0.5f;
    }
    const int step = ProgressStep(total);
    const int unit = std::max(total / 80, 1);
    int nextPercent = 0;

    // 2. Analysis: one pitch mark per period, while a whole window fits before the end.
    while (mark[M] < total - w2 && M + 1 < markLen) {
        float f0 = 0.0f;
        int period = 0;
        DetectPeriod(&f0, &period, mark[M], w2 + 1, static_cast<float>(fs), corrTh, fLo, fHi);
        const int advance = period > 0 ? period : defaultPeriod;
        ++M;
        mark[M] = mark[M - 1] + advance;
        m_nMarkCount.store(M, std::memory_order_relaxed);
        if (m_chkDump.GetCheck() == BST_CHECKED && m_pDumpFile != nullptr) {
            // The period's peak, within the input (an unvoiced step may reach past its end).
            const int end = static_cast<int>(std::min<std::int64_t>(mark[M], total));
            int amp = 0;
            for (int s = mark[M - 1]; s < end; ++s) {
                const float v = std::fabs(m_pfInputBuf[s]);
                const int a = !(v == v) ? 0 : (v >= 32767.0f ? 32767 : static_cast<int>(v));
                if (a > amp) amp = a;
            }
            if (period <= 0) amp = -amp;
            m_psMarkAmp[M] = static_cast<short>(amp);
            WriteDumpLine(mark[M - 1], mark[M], amp, factor);
        }
        if (mark[M] / unit >= nextPercent) {
            char text[16];
            std::snprintf(text, sizeof text, "%3d %%", nextPercent);
            showPercent(text);
            nextPercent += step;
        }
        if (aborted()) {
            m_nBatchStatus = -1;
            return;
        }
    }
    showPercent(" 80 %");

    // 3. Synthesis: grains taken forward from the marks, placed Pa apart. The marks go on past
    // the analysis, a default period at a time, beyond the end of the input (which reads as
    // silence there), so that the grains reach the input's end and the output has its length.
    int marks = M;
    if (M >= 3) {
        const std::int64_t reach = static_cast<std::int64_t>(total) + w2 + 16LL * defaultPeriod;
        while (marks + 1 < markLen && mark[marks] < reach) {
            mark[marks + 1] = mark[marks] + defaultPeriod;
            ++marks;
        }
    }
    const float p = m_fPitchRatio.load();
    const float f = m_fFormantRatio.load();
    const float invP = 1.0f / p;
    const float fOverP = f / p;
    const bool flatten = m_comboVoiceMode.GetCurSel() == 3;
    double targetSpan = 0.0;      // flatten: input samples per grain, the target period over p
    float targetSpacing = 0.0f;  // flatten: the grains' spacing, the target period times f/p
    if (flatten) {
        const int centre = (std::clamp(m_comboMinKey.GetCurSel(), 0, kKeyCount - 1) +
                            std::clamp(m_comboMaxKey.GetCurSel(), 0, kKeyCount - 1)) / 2;
        const float target = static_cast<float>(m_nA4.load()) *
                             std::pow(2.0f, static_cast<float>(centre - 33) / 12.0f);
        const double period = static_cast<double>(fs) / static_cast<double>(target);
        targetSpan = period / static_cast<double>(p);
        targetSpacing = static_cast<float>(period) * fOverP;
    }

    const long long olaLen = m_nBatchOlaLen;
    // Whole-file buffers: a position is its own index.
    const COlaRing ola{m_pfOla, -1};
    const CInputRing in{m_pfInputBuf, -1};
    // Every grain stands for an input position, the fractional mark position one mark on, and
    // is laid where that position falls on one straight line through the start: overlap-add
    // position = slope × input position. The plain branch steps 1/p marks per grain and its
    // slope is f, so each grain's spacing is the input it moves on by times f. Flattening moves
    // on by exactly the target period over p per grain (however the periods change from mark
    // to mark) and its slope is the target spacing over that span. The resampling then maps
    // output sample x (at the oversampled rate) to overlap-add position slope × x.
    const int flatPa = flatten ? static_cast<int>(std::ceil(targetSpacing)) : 0;
    const double slope = flatten ? static_cast<double>(flatPa) / targetSpan : static_cast<double>(f);
    long long complete = 0;  // overlap-add positions below this hold every grain they will get
    if (M >= 3 && slope > 0.0 && std::isfinite(slope) && (!flatten || flatPa >= 1)) {
        CPsolaVoice voice;
        long long pos = static_cast<long long>(std::floor(slope * MarkTimeAt(mark, -1, 1.0) + 0.5));
        for (;;) {
            const bool stepped = flatten ? StepByInputSpan(voice, mark, -1, targetSpan, marks)
                                         : StepToNextGrainMark(voice, static_cast<double>(invP), marks);
            if (!stepped) break;
            const int k = voice.k;
            const int T = static_cast<int>(mark[k + 1] - mark[k]);
            const double at = MarkTimeAt(mark, -1, voice.markPos + 1.0);
            const long long target = static_cast<long long>(std::floor(slope * at + 0.5));
            const int pa = static_cast<int>(std::clamp<long long>(target - pos, 1, 100000000LL));
            // The overlap-add buffer holds every grain that fits; the synthesis ends before one
            // that would not.
            if (pos + 2LL * pa + 1 >= olaLen) break;
            pos += pa;
            AddGrain(ola, in, pos, GrainShape(pa, T), mark[k], total);
            complete = pos;
            if (aborted()) {
                m_nBatchStatus = -1;
                return;
            }
        }
    }
    showPercent(" 90 %");

    // 4. Resampling by the formant ratio and 5. decimation: only every F-th resampled sample
    // is kept, so only those are computed. The output has the input's length; what the grains
    // do not reach (a file too short to analyse) is silence.
    std::vector<short> out(static_cast<std::size_t>(total / factor), 0);
    const long long nInLong = static_cast<long long>(std::floor(slope * static_cast<double>(total) + 0.5));
    if (complete >= 2 && total >= 1 && nInLong >= 2 && nInLong + 1 < olaLen) {
        const int nIn = static_cast<int>(nInLong);
        const int nOut = total;
        m_pfOla[nIn] = m_pfOla[nIn - 1];
        for (std::size_t n = 0; n < out.size(); ++n) {
            const long long i = static_cast<long long>(n) * factor;
            // Only where the four samples the cubic reads are complete.
            if (static_cast<double>(i) * slope + 3.0 >= static_cast<double>(complete)) break;
            const int y = ResampleCubicDouble(m_pfOla, nIn, nOut, static_cast<int>(i));
            out[n] = static_cast<short>(ClampSample(y));
        }
    }
    showPercent("100 %");
    for (std::size_t first = 0; first < out.size(); first += kWriteChunk) {
        const std::size_t n = std::min(kWriteChunk, out.size() - first);
        m_saveFile.Write(out.data() + first, static_cast<LONG>(n * sizeof(short)));
    }
    m_nBatchStatus = 0;
}

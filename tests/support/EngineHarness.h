// Drives the TD-PSOLA engine of a main dialog without a window or threads: blocks are stored
// as the capture wrapper stores them, the analysis and synthesis cycles run in turn, and the
// output is taken from the output ring as playback would play it, without the ring's latency
// (output sample x belongs to input sample x).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "support/TempFolder.h"

// What the engine needs of a dialog before a run, as start-up leaves it: the shared buffers,
// the key table and the start selections of the key combos and the threshold.
inline void PrepareEngine(CWaveInOutDlg& dlg, int latencyMode = 0, int a4 = 440) {
    dlg.m_nLatencyMode = latencyMode;
    dlg.m_nA4 = a4;
    dlg.AllocStreamBuffers();
    dlg.BuildKeyTable();
    dlg.FillVoiceModeCombo();
    dlg.m_comboMinKey.SetCurSel(7);
    dlg.m_comboMaxKey.SetCurSel(40);
    dlg.m_editCorrTh.SetWindowText("0.5");
}

class EngineHarness {
public:
    explicit EngineHarness(int latencyMode = 0, int a4 = 440) : dlg(folder.Path()) { PrepareEngine(dlg, latencyMode, a4); }

    int Half() const { return dlg.m_nBlockBytes / 2; }

    void SetPitch(int position) { dlg.m_fPitchRatio = std::pow(2.0f, static_cast<float>(position) / 24.0f); }
    void SetFormant(int position) { dlg.m_fFormantRatio = std::pow(2.0f, static_cast<float>(position) / 24.0f); }

    void Begin() {
        dlg.m_nInputCount = 0;
        dlg.m_bMarksReady = FALSE;
        dlg.ResetEngineReach();
        dlg.AnalyzeBegin(analyze);
        dlg.SynthesizeBegin(synth);
        blocksIn = 0;
        first = 0;
    }

    // Begins as a run that has already gone on for `sample` input samples, with the main
    // voice's overlap-add position at olaPos: the stream positions of a long run.
    void BeginAt(std::int64_t sample, std::int64_t olaPos) {
        Begin();
        first = sample;
        dlg.m_nInputCount = sample;
        analyze.readPos = sample;
        dlg.m_pnMark[0] = sample;
        synth.out = sample;
        // The engine has read nothing before its stream positions.
        for (auto& floor : dlg.m_nInputFloor) floor = sample;
        dlg.m_nMarksInputCount = sample;
        dlg.m_nEngineDoneBytes = 2 * sample;
        synth.main.grainPos = olaPos;
        synth.main.cleared = olaPos + 2 * dlg.m_nRingLen;  // the whole ring is zero
    }

    // Stores one block (Half() samples; shorter input is padded with silence) through the
    // capture conversion, then runs one analysis and one synthesis cycle.
    void FeedBlock(const short* samples, int n) {
        FeedBlockOnly(samples, n);
        dlg.AnalyzeStep(analyze);
        dlg.SynthesizeStep(synth);
    }

    // Stores one block as the capture wrapper does, without running any cycle.
    void FeedBlockOnly(const short* samples, int n) {
        const int half = Half();
        char* data = dlg.m_pInData[blocksIn & 3];
        std::memset(data, 0, static_cast<size_t>(dlg.m_nBlockBytes));
        std::memcpy(data, samples, static_cast<size_t>(std::min(n, half)) * sizeof(short));
        WAVEHDR* hdr = dlg.m_pInHdr[blocksIn & 3];
        hdr->lpData = data;
        hdr->dwBufferLength = static_cast<DWORD>(dlg.m_nBlockBytes);
        hdr->dwBytesRecorded = static_cast<DWORD>(dlg.m_nBlockBytes);
        dlg.StoreInputBlock(hdr);
        ++blocksIn;
    }

    // Output block b (counted from the run's start) as playback plays it, once block b + 1 has
    // been processed.
    std::vector<short> OutputBlock(int b) const {
        const int half = Half();
        const auto* ring = reinterpret_cast<const short*>(dlg.m_pOutData[0]);
        std::vector<short> out(static_cast<size_t>(half));
        const std::int64_t at = first + static_cast<std::int64_t>(b) * half + dlg.m_nBlockBytes;
        for (int i = 0; i < half; ++i) out[static_cast<size_t>(i)] = ring[(at + i) & dlg.m_nRingMask];
        return out;
    }

    // Runs a whole signal through the engine and returns the output aligned with the input.
    std::vector<short> Run(const std::vector<short>& input) {
        Begin();
        return FeedAll(input, [this](const short* samples, int n) { FeedBlock(samples, n); });
    }

    // Feeds the input a block at a time through `feed` (which stores the block and runs the
    // cycles), then one block of silence, and returns the output aligned with the input (output
    // sample x belongs to input sample x).
    template <typename Feed>
    std::vector<short> FeedAll(const std::vector<short>& input, Feed feed) {
        const int half = Half();
        const int blocks = static_cast<int>((input.size() + static_cast<size_t>(half) - 1) / static_cast<size_t>(half));
        std::vector<short> out;
        std::vector<short> silence(static_cast<size_t>(half), 0);
        for (int b = 0; b <= blocks; ++b) {
            const size_t start = static_cast<size_t>(b) * static_cast<size_t>(half);
            if (start < input.size()) feed(input.data() + start, static_cast<int>(std::min(input.size() - start, static_cast<size_t>(half))));
            else feed(silence.data(), half);
            if (b >= 1) {
                const auto block = OutputBlock(b - 1);
                out.insert(out.end(), block.begin(), block.end());
            }
        }
        out.resize(input.size());
        return out;
    }

    TempFolder folder;
    CWaveInOutDlg dlg;
    CAnalyzeState analyze;
    CSynthState synth;
    int blocksIn = 0;
    std::int64_t first = 0;  // input sample the run began at
};

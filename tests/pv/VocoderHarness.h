// Drives the phase-vocoder thread's steps on a main dialog without a window or threads: blocks
// are stored as the capture wrapper (stereo) or the file player (mono) store them, one step runs
// per block, and the playback buffers are read as playback would play them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "engine/PhaseVocoderRound.h"
#include "support/TempFolder.h"

class VocoderHarness {
public:
    // latencyMode 0: B = 32768 bytes (16384 samples per block), 1: B = 16384.
    explicit VocoderHarness(int channels, int latencyMode = 0) : dlg(folder.Path()), state(dlg.m_pitchScale) {
        dlg.m_nLatencyMode = latencyMode;
        dlg.m_nMethod = 1;
        dlg.AllocStreamBuffers();
        dlg.BuildKeyTable();
        dlg.m_comboMinKey.SetCurSel(7);
        dlg.m_pitchScale.Init(0, 0);
        dlg.m_pitchScale.m_nChannels = channels;
    }

    int Samples() const { return dlg.m_nBlockBytes / 2; }
    int Channels() const { return dlg.m_pitchScale.m_nChannels.load(); }
    void SetPitch(int position) { dlg.m_fPitchRatio = std::pow(2.0f, static_cast<float>(position) / 24.0f); }

    bool Begin() {
        dlg.m_nInputCount = 0;
        blocksIn = 0;
        return dlg.PhaseVocoderBegin(state);
    }

    // Stores one block of Samples() interleaved values (shorter input padded with silence).
    void Store(const float* block, int n) {
        const int s = Samples();
        std::vector<short> samples(static_cast<size_t>(s), 0);
        for (int i = 0; i < std::min(n, s); ++i) samples[static_cast<size_t>(i)] = static_cast<short>(block[i]);
        if (Channels() == 2) {
            char* data = dlg.m_pInData[blocksIn & 3];
            std::memcpy(data, samples.data(), static_cast<size_t>(dlg.m_nBlockBytes));
            WAVEHDR* hdr = dlg.m_pInHdr[blocksIn & 3];
            hdr->lpData = data;
            hdr->dwBufferLength = static_cast<DWORD>(dlg.m_nBlockBytes);
            hdr->dwBytesRecorded = static_cast<DWORD>(dlg.m_nBlockBytes);
            dlg.StoreInputBlock(hdr);
        } else {
            // As the file player stores a mono block: at the start of the input buffer.
            for (int i = 0; i < s; ++i) dlg.m_pfInputBuf[i] = static_cast<float>(samples[static_cast<size_t>(i)]);
            dlg.m_nInputCount.store(dlg.m_nInputCount.load() + s, std::memory_order_release);
        }
        ++blocksIn;
    }

    // Stores block b of the signal and runs one step; returns the playback buffer the block's
    // output went to (as 16-bit samples).
    std::vector<short> Feed(const std::vector<float>& signal, int b) {
        const size_t start = static_cast<size_t>(b) * static_cast<size_t>(Samples());
        const int n = start < signal.size() ? static_cast<int>(std::min(signal.size() - start, static_cast<size_t>(Samples()))) : 0;
        Store(signal.data() + std::min(start, signal.size()), n);
        dlg.PhaseVocoderStep(state);
        return Slot(CPhaseVocoderRound::PlaybackSlot(dlg.m_nInputCount.load(), Samples()));
    }

    std::vector<short> Slot(int k) const {
        const auto* p = reinterpret_cast<const short*>(dlg.m_pOutData[k]);
        return std::vector<short>(p, p + Samples());
    }

    // Runs the whole signal, one step per block, and returns the outputs in order.
    std::vector<short> Run(const std::vector<float>& signal) {
        std::vector<short> out;
        const int blocks = static_cast<int>(signal.size() / static_cast<size_t>(Samples()));
        for (int b = 0; b < blocks; ++b) {
            const std::vector<short> block = Feed(signal, b);
            out.insert(out.end(), block.begin(), block.end());
        }
        return out;
    }

    TempFolder folder;
    CWaveInOutDlg dlg;
    CPhaseVocoderState state;
    int blocksIn = 0;
};

// Splits interleaved samples into one channel as floats.
inline std::vector<float> ChannelOf(const std::vector<short>& x, int channel, int channels) {
    std::vector<float> c(x.size() / static_cast<size_t>(channels));
    for (size_t i = 0; i < c.size(); ++i) c[i] = x[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    return c;
}

inline std::vector<float> InterleavePair(const std::vector<float>& l, const std::vector<float>& r) {
    std::vector<float> x(2 * l.size());
    for (size_t i = 0; i < l.size(); ++i) {
        x[2 * i] = l[i];
        x[2 * i + 1] = r[i];
    }
    return x;
}

// CPhaseVocoderRound: the conversion work of one round of the phase-vocoder thread, free of
// windows and devices. Given the newest interleaved input block (B/2 16-bit sample values as
// floats, 1 or 2 channels), the pitch ratio, the vocal mode and the lower band edge, it splits
// the channels, runs the manager, applies the output gain and clamping, and renders the 16-bit
// output block. The same object serves the live thread, the tests and the benchmark.
//
// The thread around it (CWaveInOutDlg::PhaseVocoderStep, B = block bytes, S = B/2 samples per
// block, c = channels) keeps a CPhaseVocoderState per run and in every cycle:
//   count = m_nInputCount (acquire load).
//   Thru checked and count != last: the newest block, truncated, into the playback buffer
//       PlaybackSlot(count, S); last = count; show the round time.
//   Thru checked, or count == last: nothing (Sleep(2), next cycle).
//   otherwise, a processing round:
//     1. TakeInput: a private copy of the newest block, taken first, so that a block arriving
//        while the round runs never mixes into it. The newest block sits at the start of
//        m_pfInputBuf; when the count moved on while the copy was taken, the copy is taken
//        again, so it holds one whole block.
//     2. Equaliser on: ProcessEQ(in, S, c) on the private copy.
//     3. Convert(m_fPitchRatio, m_nVocalMode, (float)m_nKeyBoundaryHz[lowest key]).
//     4. slot = PlaybackSlot(m_nInputCount, S) with the count read now: the output goes two
//        blocks behind the newest input block in the ring of four playback buffers.
//     5. Render into that slot of the engine's copy of the ring (m_outStage.Slot(slot)).
//     6. Reverb on: the slot's S samples as floats (a buffer made at the run's start),
//        ProcessReverb(array, S, c), back into the slot.
//     7. last = m_nInputCount.
//     8. Original checked: the slot from Input(), the equalised input.
//     9. Save checked and m_nInputCount <= 52,428,800: the slot's B bytes to the output file.
//    10. Publish the engine's copy into the playback buffers; show the round time.
//
// Block numbers are count / S, never count * 2 / B: the product overflows an int after about
// 2^30 samples (a few hours of stereo input), the quotient does not.
//
// Not shared: one thread uses an object (the manager inside takes its own lock).
#pragma once

#include <vector>

#include "engine/BlockSeq.h"
#include "engine/PitchScaleManager.h"
#include "engine/SampleMath.h"

// ToSample16 over count samples.
void FloatsToSamples16(const float* in, int count, short* out);

class CPhaseVocoderRound {
public:
    // Band parameters of the vocal cut and extract besides the lower edge.
    static constexpr float kUpperEdgeHz = 16000.0f;
    static constexpr float kCoherence = 0.5f;
    static constexpr float kLevelRatio = 0.5f;
    static constexpr float kGain = 0.6553f;

    explicit CPhaseVocoderRound(CPitchScaleManager& manager);

    // Start of a run: blocks of blockSamples samples (all channels together), channel count
    // from the manager. Allocates the private blocks and forgets the last ratio and mode, so
    // the first round resets the units' phases. False when the channel count is not 1 or 2,
    // the block does not divide into whole frames of c samples, or memory ran out.
    bool Begin(int blockSamples);

    // Copies the newest input block (blockSamples floats, interleaved) into the private copy
    // and returns that copy, which stays unchanged until the next TakeInput.
    float* TakeInput(const float* newest);
    // The same for a block handed over under seq; *copy is the copy, and false means a write
    // overlapped it (the copy is then not whole).
    bool TakeInput(const float* newest, const CBlockSeq& seq, float** copy);
    const float* Input() const { return m_input.data(); }

    // Sets the ratio of the units, decides the reset (the ratio or the mode changed, or either
    // ratio is not a number), splits the private copy per channel and runs the manager.
    // A ratio that is not above 0 counts as 1.0. vocalMode: 0 off, 1 cut, 2 extract.
    // False when the manager refused the block; the output is then silence.
    bool Convert(float pitchRatio, int vocalMode, float lowEdgeHz);

    // Output gain and clamping into blockSamples 16-bit samples, interleaved as the input.
    void Render(short* dst) const;

    // 0.6553, or 0.6553 / sqrt(ratio) below ratio 1.
    static float OutputGain(float pitchRatio);
    // Playback buffer (0..3) for the round: two blocks behind the newest block.
    static int PlaybackSlot(std::int64_t inputCount, int blockSamples);

    int Channels() const { return m_nChannels; }
    int BlockSamples() const { return m_nBlockSamples; }
    bool LastRoundReset() const { return m_bLastReset; }
    float LastRatio() const { return m_fRatio; }
    const float* OutL() const { return m_outL.data(); }
    const float* OutR() const { return m_outR.data(); }

private:
    CPitchScaleManager& m_manager;
    int m_nBlockSamples = 0;
    int m_nChannels = 0;
    float m_fLastRatio = 0.0f;
    int m_nLastMode = -1;
    float m_fRatio = 1.0f;
    bool m_bLastReset = false;
    std::vector<float> m_input;
    std::vector<float> m_inL, m_inR, m_outL, m_outR;
};

// What the phase-vocoder thread keeps from one round to the next during a run. Made and begun
// by the run's start, then owned by the one thread of that run (or by a test that steps it).
struct CPhaseVocoderState {
    explicit CPhaseVocoderState(CPitchScaleManager& manager) : round(manager) {}
    CPhaseVocoderRound round;
    std::int64_t last = 0;  // input count of the last round (Thru or processing)
    int procMin = 1000;  // shortest and longest round time in ms
    int procMax = -1;
    std::vector<float> reverbBlock;  // the finished block as floats for the reverb
};

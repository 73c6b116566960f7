// CPitchScaleUnit: a phase vocoder for one channel of 44100 Hz audio. Frame 2048 samples, hop
// 256 (eight overlapping frames), periodic Hann window for analysis and synthesis. Process
// shifts the pitch by m_fPitchRatio without changing the duration; ProcessVocal takes a
// stereo pair and cuts or extracts the bins in which both channels agree in level and phase
// (the centred voice), without a pitch change.
//
// The unit is a stream: each input sample gives one output sample, N - H = 1792 samples
// later; a frame is processed inside the call that delivers its last sample. With the mask
// at 1 (and at ratio 1) the output is the input times about 1.5: each frame contributes the
// windowed input times 0.5 and eight overlapping squared Hann windows sum to 3. (A sample is
// read out before the last of its eight frames is added, the one where it sits in the first
// hop of the window, so the gain dips by up to 0.7 % toward the end of each hop.)
//
// Every array is zero-filled when allocated. The per-bin loops run four, eight or sixteen bins
// at a time (VocoderKernels, the same results at every width) with a vector arctangent; a bin
// whose phase is not a number (non-finite input) counts as having no deviation. The analysis
// uses the complex transform of N points; the synthesis builds only the bins below N/2, whose
// inverse's real part comes from a real transform of half the work (CRealFFT). The running synthesis phases are kept within one turn (whole turns
// removed after each increment), so high bins keep their precision in long runs and the sine
// and cosine are always taken in their accurate range.
//
// Threads: used by one thread at a time (the phase-vocoder thread, under its manager's
// lock); m_fPitchRatio is written under that lock too. The display arrays are copied out by
// the manager under the same lock.
#pragma once

#include <memory>

#include "engine/FFT.h"
#include "engine/VocoderKernels.h"

// The five floats that ProcessVocal and CalcVocalMask read, in this order.
struct VocalParams {
    enum Index {
        kMode = 0,        // 1 = cut, any other value = extract (truncated to an integer)
        kLowHz = 1,       // lower band edge in Hz
        kHighHz = 2,      // upper band edge in Hz
        kCoherence = 3,   // coherence threshold
        kLevelRatio = 4,  // level-ratio threshold
        kCount = 5
    };
    float value[kCount];
};


class CPitchScaleUnit {
public:
    static constexpr int kFrameSize = 2048;
    static constexpr int kBins = kFrameSize / 2;
    static constexpr int kOverSampling = 8;
    static constexpr int kHop = kFrameSize / kOverSampling;
    static constexpr int kDelay = kFrameSize - kHop;  // samples from input to output

    CPitchScaleUnit();
    virtual ~CPitchScaleUnit();
    CPitchScaleUnit(const CPitchScaleUnit&) = delete;
    CPitchScaleUnit& operator=(const CPitchScaleUnit&) = delete;

    // Allocates (zero-filled) and builds the window and both transforms; frame size, hop and
    // oversampling are fixed, so the first and third parameters are unused. A second Init
    // starts from empty streams. False when memory ran out (the unit then processes nothing).
    bool Init(int unused1, int sampleRate, int unused2);

    // One channel, pitch shift by m_fPitchRatio. Writes count samples to out and count to
    // *pOutCount (0, with nothing done, when count < 1 or before Init). bReset: the frames of
    // this call take their phases from the analysis (the start of a run, or a new ratio or
    // vocal mode).
    void Process(const float* in, int count, float* out, int* pOutCount, int bReset);
    // Two channels, vocal cut or extract by the VocalParams at params; no pitch change.
    // *pOutCount as for Process (0 also when params is null).
    void ProcessVocal(int count, const float* inL, const float* inR, const float* params, int* pOutCount,
                      float* outL, float* outR);

    // A ratio that is not above 0 (or not finite) leaves the unit at 1.0.
    void SetPitchRatio(float ratio);
    float GetPitchRatio() const { return m_fPitchRatio; }
    bool IsInitialised() const { return m_bInitialised != 0; }

    // Results of the last frame, for display (kBins floats each).
    const float* DispMag() const { return m_pfDispMag.get(); }
    const float* DispMagR() const { return m_fDispMagR; }
    const float* AnaMag() const { return m_pfAnaMag.get(); }
    const float* AnaFreq() const { return m_pfAnaFreq.get(); }

    struct AlignedDelete {
        void operator()(float* p) const;
    };
    using Buffer = std::unique_ptr<float[], AlignedDelete>;

private:
    // Steps of one frame.
    void Analyze(float* spectrum, int bReset);
    void ShiftAndSynthesize(float ratio, int bReset);
    void CalcVocalMask(float* specL, float* specR, const float* params);
    void ProcessFrame(int bReset);
    void ProcessVocalFrame(const float* params);
    void WindowInto(const float* fifo, float* frame) const;
    void OverlapAdd(const float* frame, float* acc) const;
    void OverlapAddRealAndShift(const float* frame, float* acc) const;
    static void ShiftDown(float* fifo);

    Buffer m_pfDispMag;          // magnitudes of the last frame (left channel in ProcessVocal)
    float m_fDispMagR[kBins];    // right-channel magnitudes of the last ProcessVocal frame
    Buffer m_pfAnaMag;           // analysis magnitude per bin
    Buffer m_pfAnaFreq;          // analysis true frequency per bin, Hz
    int m_nFrameSize = kFrameSize;
    int m_nLog2FrameSize = 11;
    int m_nHop = kHop;
    float m_fSampleRate = 44100.0f;
    int m_nOverSampling = kOverSampling;
    CFFT m_fftForward;           // N points
    CFFT m_fftInverse;           // N points: the vocal path
    CRealFFT m_realInverse;      // the pitch path's one-sided spectrum to real samples
    Buffer m_pfWindow;           // N: analysis and synthesis window
    Buffer m_pfFrame;            // 2N: working spectrum (mono or left)
    Buffer m_pfFrameR;           // 2N: working spectrum (right)
    Buffer m_pfLastPhase;        // phase per bin in the previous frame
    Buffer m_pfSynMag;           // magnitude per bin after the shift
    Buffer m_pfSynFreq;          // true frequency per bin after the shift, Hz
    Buffer m_pfSumPhase;         // running synthesis phase per bin, radians, kept within one turn
    Buffer m_pfInFifoL;          // N + H
    Buffer m_pfInFifoR;          // N + H
    Buffer m_pfOutAccL;          // N + H
    Buffer m_pfOutAccR;          // N + H
    int m_nOutPos = 0;           // next accumulator position to output (0..H)
    int m_nInPos = 0;            // next input FIFO position (N - H .. N)
    int m_bInitialised = 0;
    float m_fPitchRatio = 1.0f;
    Buffer m_pfMask;             // N: per-bin gain of the vocal cut or extract
};

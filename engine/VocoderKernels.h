// The loops of the phase-vocoder unit that run over every bin or sample of a frame, in
// vector form. Each is compiled for four-float vectors (any processor) and, on x86-64, also
// for 256-bit (AVX2) and 512-bit (AVX-512) vectors; VocoderKernels() picks the width of
// VectorFloats() (engine/VectorWidth.h). All widths give identical results.
#pragma once

struct VocoderAnalyzeArgs {
    const float* spectrum;  // bins interleaved (re, im)
    float* dispMag;
    float* anaMag;
    float* anaFreq;
    float* lastPhase;
    float* sumPhase;  // written only when reset
    int bins;         // a multiple of 16
    bool reset;
    float expected;      // phase advance of bin 1 over one hop
    float overSampling;  // frames per frame length
    float sampleRate;
    float invN;  // 1 / frame size
};

struct VocoderSynthesizeArgs {
    const float* anaMag;   // bins + 32 floats (the last 32 read, not used)
    const float* anaFreq;  // bins + 32 floats
    float* synMag;
    float* synFreq;
    float* sumPhase;
    float* frame;  // receives the bins interleaved (re, im)
    int bins;      // a multiple of 16
    int frameSize;
    bool reset;
    float ratio;  // above 0 and finite
    float expected;
    float invSampleRate;
    float invOverSampling;
};

struct VocoderKernelTable {
    int lanes;
    void (*analyze)(const VocoderAnalyzeArgs& a);
    // Bins taken from their source bins by the ratio, phases advanced, spectrum built.
    void (*synthesize)(const VocoderSynthesizeArgs& a);
    // count a multiple of 16 in the three below. Window: count real samples times the window
    // become count complex points with imaginary parts 0 (2 * count floats).
    void (*window)(const float* fifo, const float* w, float* frame, int count);
    // The real frame times the window added into the accumulator, which then moves down by
    // hop (count - hop a multiple of 16); its top hop values become 0.
    void (*overlapAddShift)(const float* frame, const float* w, float* acc, int count, int hop, float invOs);
    void (*sinCos)(const float* x, float* pSin, float* pCos, int count);
};

const VocoderKernelTable& VocoderKernels();

// Four single-precision sines and cosines of x[0..3] (a polynomial after reduction by
// multiples of pi/4; accurate to about 1e-7 for |x| up to a few thousand).
void SinCos4(const float* x, float* pSin, float* pCos);

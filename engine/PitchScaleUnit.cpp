// Phase-vocoder channel unit: stream framing, analysis, bin shift, synthesis and the stereo
// vocal mask.
#include "engine/PitchScaleUnit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr float kTwoPiF = 6.2831855f;
constexpr std::align_val_t kAlign{16};

CPitchScaleUnit::Buffer MakeBuffer(int count) {
    const size_t bytes = static_cast<size_t>(count) * sizeof(float);
    void* p = ::operator new[](bytes, kAlign, std::nothrow);
    if (p == nullptr) return CPitchScaleUnit::Buffer();
    std::memset(p, 0, bytes);
    return CPitchScaleUnit::Buffer(static_cast<float*>(p));
}

float SaneRatio(float ratio) { return (ratio > 0.0f && std::isfinite(ratio)) ? ratio : 1.0f; }

}  // namespace

void CPitchScaleUnit::AlignedDelete::operator()(float* p) const { ::operator delete[](p, kAlign); }

CPitchScaleUnit::CPitchScaleUnit() : m_pfDispMag(MakeBuffer(kBins)), m_fDispMagR() {}

CPitchScaleUnit::~CPitchScaleUnit() = default;

bool CPitchScaleUnit::Init(int /*unused1*/, int sampleRate, int /*unused2*/) {
    m_bInitialised = 0;
    m_fSampleRate = static_cast<float>(sampleRate);
    m_nOverSampling = kOverSampling;
    m_nFrameSize = kFrameSize;
    m_nLog2FrameSize = 1;
    while ((1 << m_nLog2FrameSize) < m_nFrameSize) ++m_nLog2FrameSize;
    const int n = m_nFrameSize;
    if (!m_fftForward.Init(n, 0, 1) || !m_fftInverse.Init(n, 0, 0) || !m_realInverse.Init(n, 0)) return false;
    m_nOutPos = 0;
    m_nHop = n / kOverSampling;
    m_nInPos = n - m_nHop;

    const int fifo = n + m_nHop;
    // 32 more: the synthesis may load (and not use) up to 31 floats beyond the last bin.
    m_pfAnaMag = MakeBuffer(kBins + 32);
    m_pfAnaFreq = MakeBuffer(kBins + 32);
    m_pfWindow = MakeBuffer(n);
    m_pfFrame = MakeBuffer(2 * n);
    m_pfFrameR = MakeBuffer(2 * n);
    m_pfLastPhase = MakeBuffer(kBins);
    m_pfSynMag = MakeBuffer(kBins);
    m_pfSynFreq = MakeBuffer(kBins);
    m_pfSumPhase = MakeBuffer(kBins);
    m_pfInFifoL = MakeBuffer(fifo);
    m_pfInFifoR = MakeBuffer(fifo);
    m_pfOutAccL = MakeBuffer(fifo);
    m_pfOutAccR = MakeBuffer(fifo);
    m_pfMask = MakeBuffer(n);
    if (!m_pfDispMag || !m_pfAnaMag || !m_pfAnaFreq || !m_pfWindow || !m_pfFrame || !m_pfFrameR || !m_pfLastPhase ||
        !m_pfSynMag || !m_pfSynFreq || !m_pfSumPhase || !m_pfInFifoL || !m_pfInFifoR || !m_pfOutAccL ||
        !m_pfOutAccR || !m_pfMask)
        return false;

    for (int k = 0; k < n; ++k)
        m_pfWindow[k] = static_cast<float>(0.5 - 0.5 * std::cos(k * 6.2831854820251465 / n));
    m_bInitialised = 1;
    return true;
}

void CPitchScaleUnit::SetPitchRatio(float ratio) { m_fPitchRatio = SaneRatio(ratio); }

void CPitchScaleUnit::WindowInto(const float* fifo, float* frame) const {
    VocoderKernels().window(fifo, m_pfWindow.get(), frame, m_nFrameSize);
}

void CPitchScaleUnit::OverlapAddRealAndShift(const float* frame, float* acc) const {
    VocoderKernels().overlapAddShift(frame, m_pfWindow.get(), acc, m_nFrameSize, m_nHop,
                                     1.0f / static_cast<float>(m_nOverSampling));
}

void CPitchScaleUnit::OverlapAdd(const float* frame, float* acc) const {
    const float* w = m_pfWindow.get();
    const float invOs = 1.0f / static_cast<float>(m_nOverSampling);
    for (int k = 0; k < m_nFrameSize; ++k) acc[k] += ((frame[2 * k] * 8.0f) * w[k]) * invOs;
}

// Elements H..H+N-1 move to 0..N-1; the top H elements are never written and stay 0, so the
// accumulator fills with zeros from the top.
void CPitchScaleUnit::ShiftDown(float* fifo) { std::memmove(fifo, fifo + kHop, sizeof(float) * kFrameSize); }

void CPitchScaleUnit::Analyze(float* spectrum, int bReset) {
    VocoderAnalyzeArgs a;
    a.spectrum = spectrum;
    a.dispMag = m_pfDispMag.get();
    a.anaMag = m_pfAnaMag.get();
    a.anaFreq = m_pfAnaFreq.get();
    a.lastPhase = m_pfLastPhase.get();
    a.sumPhase = m_pfSumPhase.get();
    a.bins = kBins;
    a.reset = bReset != 0;
    a.invN = 1.0f / static_cast<float>(m_nFrameSize);
    a.expected = kTwoPiF * static_cast<float>(m_nHop) * a.invN;  // advance of bin 1 per hop
    a.overSampling = static_cast<float>(m_nOverSampling);
    a.sampleRate = m_fSampleRate;
    VocoderKernels().analyze(a);
}

// Each target bin takes exactly one source bin, k / ratio truncated, with its frequency times
// the ratio (nothing is summed; targets whose source lies beyond the analysed bins stay
// silent); then the running phases advance and the one-sided spectrum is built.
void CPitchScaleUnit::ShiftAndSynthesize(float ratio, int bReset) {
    VocoderSynthesizeArgs a;
    a.anaMag = m_pfAnaMag.get();
    a.anaFreq = m_pfAnaFreq.get();
    a.synMag = m_pfSynMag.get();
    a.synFreq = m_pfSynFreq.get();
    a.sumPhase = m_pfSumPhase.get();
    a.frame = m_pfFrame.get();
    a.bins = kBins;
    a.frameSize = m_nFrameSize;
    a.reset = bReset != 0;
    a.ratio = SaneRatio(ratio);
    const float invN = 1.0f / static_cast<float>(m_nFrameSize);
    a.expected = kTwoPiF * static_cast<float>(m_nHop) * invN;
    a.invSampleRate = 1.0f / m_fSampleRate;
    a.invOverSampling = 1.0f / static_cast<float>(m_nOverSampling);
    VocoderKernels().synthesize(a);
}

void CPitchScaleUnit::ProcessFrame(int bReset) {
    // Only the real part of the inverse is kept, so the one-sided spectrum goes through the
    // real inverse (half the work). The analysis stays on the complex transform: the phases it
    // finds carry over from frame to frame, so they keep exactly the rounding they always had.
    float* frame = m_pfFrame.get();
    WindowInto(m_pfInFifoL.get(), frame);
    m_fftForward.Transform(frame);
    Analyze(frame, bReset);
    ShiftAndSynthesize(m_fPitchRatio, bReset);
    m_realInverse.Transform(frame);
    OverlapAddRealAndShift(frame, m_pfOutAccL.get());
    ShiftDown(m_pfInFifoL.get());
    m_nInPos -= m_nHop;
    m_nOutPos -= m_nHop;
}

void CPitchScaleUnit::Process(const float* in, int count, float* out, int* pOutCount, int bReset) {
    *pOutCount = (count < 1 || m_bInitialised == 0) ? 0 : count;
    if (*pOutCount == 0) return;
    const int n = m_nFrameSize;
    int i = 0;
    while (i < count) {
        const int run = std::min(count - i, n - m_nInPos);
        std::memcpy(m_pfInFifoL.get() + m_nInPos, in + i, sizeof(float) * static_cast<size_t>(run));
        std::memcpy(out + i, m_pfOutAccL.get() + m_nOutPos, sizeof(float) * static_cast<size_t>(run));
        m_nInPos += run;
        m_nOutPos += run;
        i += run;
        if (m_nInPos >= n) ProcessFrame(bReset);
    }
}

void CPitchScaleUnit::CalcVocalMask(float* specL, float* specR, const float* params) {
    const int n = m_nFrameSize;
    const bool cut = params[VocalParams::kMode] >= 1.0f && params[VocalParams::kMode] < 2.0f;
    // Band edges in bins, kept within the analysed half of the spectrum (lo at least 1).
    const float loBin = params[VocalParams::kLowHz] * static_cast<float>(n) / m_fSampleRate;
    const float hiBin = params[VocalParams::kHighHz] * static_cast<float>(n) / m_fSampleRate;
    int lo = 1;
    if (loBin > static_cast<float>(kBins))
        lo = kBins + 1;
    else if (loBin >= 1.0f)
        lo = static_cast<int>(loBin);
    int hi = -1;
    if (hiBin >= static_cast<float>(kBins))
        hi = kBins;
    else if (hiBin >= 0.0f)
        hi = static_cast<int>(hiBin);
    const float tR = params[VocalParams::kLevelRatio];
    const float tC = params[VocalParams::kCoherence];
    const float tRlo = static_cast<float>(static_cast<double>(tR) - 0.1);
    const float tRhi = static_cast<float>(static_cast<double>(tR) + 0.1);
    const float tClo = static_cast<float>(static_cast<double>(tC) - 0.1);
    const float tChi = static_cast<float>(static_cast<double>(tC) + 0.1);

    float* mask = m_pfMask.get();
    std::fill(mask, mask + n, cut ? 1.0f : 0.0f);
    for (int k = lo; k <= hi; ++k) {
        const float rl = specL[2 * k] + 0.1f;
        const float il = specL[2 * k + 1];
        const float rr = specR[2 * k] + 0.1f;
        const float ir = specR[2 * k + 1];
        const float aL = std::sqrt(il * il + rl * rl);
        const float aR = std::sqrt(ir * ir + rr * rr);
        const float r = aR >= aL ? aL / aR : aR / aL;
        const float c = (ir * il + rr * rl) / (aR * aL);
        float gain;
        if (cut) {
            const float gR = r <= tRlo ? 1.0f : (r <= tRhi ? (tRhi - r) / 0.2f : 0.0f);
            const float gC = c <= tClo ? 1.0f : (c <= tChi ? (tChi - c) / 0.2f : 0.0f);
            gain = std::max(gR, gC);
        } else {
            const float gR = r > tRhi ? 1.0f : (r > tRlo ? (r - tRlo) / 0.2f : 0.0f);
            const float gC = c > tChi ? 1.0f : (c > tClo ? (c - tClo) / 0.2f : 0.0f);
            gain = std::min(gR, gC);
        }
        mask[k] = gain;
        mask[n - k] = gain;
    }
    for (int k = 0; k < n; ++k) {
        const float g = mask[k] * 0.5f;
        specL[2 * k] *= g;
        specL[2 * k + 1] *= g;
        specR[2 * k] *= g;
        specR[2 * k + 1] *= g;
    }
}

void CPitchScaleUnit::ProcessVocalFrame(const float* params) {
    float* left = m_pfFrame.get();
    float* right = m_pfFrameR.get();
    WindowInto(m_pfInFifoL.get(), left);
    WindowInto(m_pfInFifoR.get(), right);
    m_fftForward.Transform(left);
    m_fftForward.Transform(right);
    for (int k = 0; k < kBins; ++k) {
        m_pfDispMag[k] = std::sqrt(left[2 * k] * left[2 * k] + left[2 * k + 1] * left[2 * k + 1]);
        m_fDispMagR[k] = std::sqrt(right[2 * k] * right[2 * k] + right[2 * k + 1] * right[2 * k + 1]);
    }
    CalcVocalMask(left, right, params);
    m_fftInverse.Transform(left);
    m_fftInverse.Transform(right);
    OverlapAdd(left, m_pfOutAccL.get());
    OverlapAdd(right, m_pfOutAccR.get());
    ShiftDown(m_pfInFifoL.get());
    ShiftDown(m_pfInFifoR.get());
    ShiftDown(m_pfOutAccL.get());
    ShiftDown(m_pfOutAccR.get());
    m_nInPos -= m_nHop;
    m_nOutPos -= m_nHop;
}

void CPitchScaleUnit::ProcessVocal(int count, const float* inL, const float* inR, const float* params,
                                   int* pOutCount, float* outL, float* outR) {
    *pOutCount = (count < 1 || m_bInitialised == 0 || params == nullptr) ? 0 : count;
    if (*pOutCount == 0) return;
    const int n = m_nFrameSize;
    const size_t floatSize = sizeof(float);
    int i = 0;
    while (i < count) {
        const int run = std::min(count - i, n - m_nInPos);
        const size_t bytes = floatSize * static_cast<size_t>(run);
        std::memcpy(m_pfInFifoL.get() + m_nInPos, inL + i, bytes);
        std::memcpy(m_pfInFifoR.get() + m_nInPos, inR + i, bytes);
        std::memcpy(outL + i, m_pfOutAccL.get() + m_nOutPos, bytes);
        std::memcpy(outR + i, m_pfOutAccR.get() + m_nOutPos, bytes);
        m_nInPos += run;
        m_nOutPos += run;
        i += run;
        if (m_nInPos >= n) ProcessVocalFrame(params);
    }
}

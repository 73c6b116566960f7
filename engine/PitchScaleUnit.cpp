// Phase-vocoder channel unit: stream framing, analysis, bin shift, synthesis and the stereo
// vocal mask.
#include "engine/PitchScaleUnit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr float kTwoPiF = 6.2831855f;
constexpr float kPiF = 3.14159265f;
constexpr float kInvTwoPiF = 0.15915494f;
constexpr std::align_val_t kAlign{16};

CPitchScaleUnit::Buffer MakeBuffer(int count) {
    const size_t bytes = static_cast<size_t>(count) * sizeof(float);
    void* p = ::operator new[](bytes, kAlign, std::nothrow);
    if (p == nullptr) return CPitchScaleUnit::Buffer();
    std::memset(p, 0, bytes);
    return CPitchScaleUnit::Buffer(static_cast<float*>(p));
}

float SaneRatio(float ratio) { return (ratio > 0.0f && std::isfinite(ratio)) ? ratio : 1.0f; }

// Brings a phase back into [-pi, pi]. The subtraction runs in double so that the value keeps
// its full single-precision accuracy; a phase too large to carry any information restarts at
// 0. Whole turns are rounded by the add-and-subtract of 1.5 * 2^52 (exact in double below
// 2^51), so no value is ever converted to an integer.
inline float WrapPhase(float phase) {
    constexpr double kTwoPi = 6.283185307179586476925286766559;
    constexpr double kRound = 6755399441055744.0;
    const double x = phase;
    const double turns = x * (1.0 / kTwoPi);
    if (!(std::fabs(turns) < 1e15)) return 0.0f;
    const double whole = (turns + kRound) - kRound;
    return static_cast<float>(x - kTwoPi * whole);
}

// Four-lane vectors of the compiler's generic vector type.
typedef float F4 __attribute__((vector_size(16)));
typedef int I4 __attribute__((vector_size(16)));
typedef unsigned U4 __attribute__((vector_size(16)));

inline F4 LoadF4(const float* p) {
    F4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void StoreF4(float* p, F4 v) { std::memcpy(p, &v, sizeof v); }

inline U4 Bits(F4 v) {
    U4 r;
    std::memcpy(&r, &v, sizeof r);
    return r;
}

inline F4 Floats(U4 v) {
    F4 r;
    std::memcpy(&r, &v, sizeof r);
    return r;
}

// mask lanes are all ones or all zeros (the result of a vector comparison).
inline F4 Select(I4 mask, F4 a, F4 b) {
    const U4 m = __builtin_convertvector(mask, U4);
    return Floats((Bits(a) & m) | (Bits(b) & ~m));
}

constexpr unsigned kSignBit = 0x80000000u;

// Four arctangents atan2(y, x) in single precision: the ratio of the smaller to the larger
// magnitude is brought below tan(pi/8) (by atan t = pi/4 + atan((t-1)/(t+1)) above it), a
// polynomial gives its arctangent, and the octant and quadrant are restored. Accurate to a few
// 1e-7 rad; not a number when either input is not a number or both are infinite.
inline F4 Atan2x4(F4 y, F4 x) {
    const F4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
    const F4 ax = Floats(Bits(x) & ~kSignBit);
    const F4 ay = Floats(Bits(y) & ~kSignBit);
    const I4 steep = ay > ax;
    const F4 num = Select(steep, ax, ay);
    const F4 den = Select(steep, ay, ax);
    const F4 t = Select(den == zero, zero, num / den);  // 0 / 0 gives angle 0
    const I4 upper = t > 0.41421356f;
    const F4 tr = Select(upper, (t - 1.0f) / (t + 1.0f), t);
    const F4 z = tr * tr;
    const F4 poly =
        (((8.05374449538e-2f * z - 1.38776856032e-1f) * z + 1.99777106478e-1f) * z - 3.33329491539e-1f) * z * tr + tr;
    F4 r = Select(upper, 0.78539816f + poly, poly);
    r = Select(steep, 1.57079637f - r, r);
    // x below zero, a negative zero included (as in the library's atan2): the far half-plane.
    const I4 negativeX = __builtin_convertvector(Bits(x) & kSignBit, I4) != 0;
    r = Select(negativeX, 3.14159274f - r, r);
    return Floats(Bits(r) | (Bits(y) & kSignBit));
}

}  // namespace

void CPitchScaleUnit::AlignedDelete::operator()(float* p) const { ::operator delete[](p, kAlign); }

void SinCos4(const float* x, float* pSin, float* pCos) {
    const F4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
    const F4 v = LoadF4(x);
    const U4 sign = Bits(v) & kSignBit;
    F4 a = Floats(Bits(v) & ~kSignBit);
    // Arguments beyond any meaningful phase are treated as 0 (no out-of-range conversion).
    a = Select(a < 1.0e7f, a, zero);
    I4 j = __builtin_convertvector(a * 1.2732395f, I4);
    j = (j + 1) & ~1;
    const F4 y = __builtin_convertvector(j, F4);
    const F4 r = ((a + y * -0.78515625f) + y * -0.00024187565f) + y * -3.774895e-08f;
    const F4 z = r * r;
    const F4 c = ((2.4433157e-05f * z - 0.0013887316f) * z + 0.041666646f) * z * z - 0.5f * z + 1.0f;
    const F4 s = ((-0.00019515296f * z + 0.008332161f) * z - 0.16666655f) * z * r + r;
    // j & 2: the two polynomials swap roles; the sine takes the argument's sign, flipped by
    // j & 4; the cosine is negated when (j - 2) & 4 is clear.
    const I4 swap = (j & 2) != 0;
    const U4 ju = __builtin_convertvector(j, U4);
    const F4 sine = Floats(Bits(Select(swap, c, s)) ^ sign ^ ((ju & 4u) << 29));
    const F4 cosine = Floats(Bits(Select(swap, s, c)) ^ ((~(ju - 2u) & 4u) << 29));
    StoreF4(pSin, sine);
    StoreF4(pCos, cosine);
}

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
    if (!m_fftForward.Init(n, 0, 1) || !m_fftInverse.Init(n, 0, 0)) return false;
    m_nOutPos = 0;
    m_nHop = n / kOverSampling;
    m_nInPos = n - m_nHop;

    const int fifo = n + m_nHop;
    m_pfAnaMag = MakeBuffer(kBins);
    m_pfAnaFreq = MakeBuffer(kBins);
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
    const float* w = m_pfWindow.get();
    for (int k = 0; k < m_nFrameSize; ++k) {
        frame[2 * k] = fifo[k] * w[k];
        frame[2 * k + 1] = 0.0f;
    }
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
    const int n = m_nFrameSize;
    const float invN = 1.0f / static_cast<float>(n);
    const float expected = kTwoPiF * static_cast<float>(m_nHop) * invN;  // advance of bin 1 per hop
    const float os = static_cast<float>(m_nOverSampling);
    const F4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
    const I4 ones = {1, 1, 1, 1};
    float* dispMag = m_pfDispMag.get();
    float* anaMag = m_pfAnaMag.get();
    float* anaFreq = m_pfAnaFreq.get();
    float* lastPhase = m_pfLastPhase.get();
    float* sumPhase = m_pfSumPhase.get();
    F4 bin = {0.0f, 1.0f, 2.0f, 3.0f};
    for (int k = 0; k < kBins; k += 4, bin += 4.0f) {
        const F4 v0 = LoadF4(spectrum + 2 * k);
        const F4 v1 = LoadF4(spectrum + 2 * k + 4);
        const F4 re = __builtin_shufflevector(v0, v1, 0, 2, 4, 6);
        const F4 im = __builtin_shufflevector(v0, v1, 1, 3, 5, 7);
        const F4 power = re * re + im * im;
        alignas(16) float mag[4];
        for (int i = 0; i < 4; ++i) mag[i] = std::sqrt(power[i]);
        std::memcpy(dispMag + k, mag, sizeof mag);
        std::memcpy(anaMag + k, mag, sizeof mag);

        F4 phase = Atan2x4(im, re);
        const I4 valid = phase == phase;  // not a number only for non-finite input
        phase = Select(valid, phase, zero);
        F4 d = phase - LoadF4(lastPhase + k);
        StoreF4(lastPhase + k, phase);
        d -= bin * expected;
        // Into (-pi, pi]: |d| stays below 2 pi + K * pi / 4, so the quotient fits an int. An
        // odd quotient moves one further away from zero.
        I4 q = __builtin_convertvector(d / kPiF, I4);
        const I4 odd = q & ones;
        q += (q >= 0) ? odd : -odd;
        d -= kPiF * __builtin_convertvector(q, F4);
        d = d * os * kInvTwoPiF;  // deviation from the bin centre, in bins
        d = Select(valid, d, zero);
        if (bReset != 0) {
            d = zero;
            StoreF4(sumPhase + k, phase);
        }
        StoreF4(anaFreq + k, ((bin + d) * m_fSampleRate) * invN);
    }
}

void CPitchScaleUnit::ShiftBins(float ratio) {
    ratio = SaneRatio(ratio);
    float* synMag = m_pfSynMag.get();
    float* synFreq = m_pfSynFreq.get();
    std::fill(synMag, synMag + kBins, 0.0f);
    std::fill(synFreq, synFreq + kBins, 0.0f);
    const float inv = 1.0f / ratio;
    for (int k = 0; k < kBins; ++k) {
        const float source = static_cast<float>(k) * inv;
        if (!(source < static_cast<float>(kBins))) continue;  // also when 0 * inf is not a number
        const int s = static_cast<int>(source);
        synMag[k] = m_pfAnaMag[s];
        synFreq[k] = m_pfAnaFreq[s] * ratio;
    }
}

void CPitchScaleUnit::Synthesize(int bReset) {
    const int n = m_nFrameSize;
    float* frame = m_pfFrame.get();
    std::fill(frame, frame + 2 * n, 0.0f);
    const float invN = 1.0f / static_cast<float>(n);
    const float invSr = 1.0f / m_fSampleRate;
    const float invOs = 1.0f / static_cast<float>(m_nOverSampling);
    const float expected = kTwoPiF * static_cast<float>(m_nHop) * invN;
    const float* synMag = m_pfSynMag.get();
    const float* synFreq = m_pfSynFreq.get();
    float* sumPhase = m_pfSumPhase.get();
    for (int k = 0; k < kBins; ++k) {
        float t = synFreq[k] * static_cast<float>(n) * invSr - static_cast<float>(k);
        t = t * kTwoPiF * invOs + static_cast<float>(k) * expected;
        if (bReset != 0 || !std::isfinite(t)) t = 0.0f;
        // Kept within one turn: the increment is added in full, only whole turns are removed.
        sumPhase[k] = WrapPhase(sumPhase[k] + t);
    }
    alignas(16) float s[4];
    alignas(16) float c[4];
    for (int k = 0; k < kBins; k += 4) {
        SinCos4(sumPhase + k, s, c);
        for (int i = 0; i < 4; ++i) {
            frame[2 * (k + i)] = synMag[k + i] * c[i];
            frame[2 * (k + i) + 1] = synMag[k + i] * s[i];
        }
    }
}

void CPitchScaleUnit::ProcessFrame(int bReset) {
    float* frame = m_pfFrame.get();
    WindowInto(m_pfInFifoL.get(), frame);
    m_fftForward.Transform(frame);
    Analyze(frame, bReset);
    ShiftBins(m_fPitchRatio);
    Synthesize(bReset);
    m_fftInverse.Transform(frame);
    OverlapAdd(frame, m_pfOutAccL.get());
    ShiftDown(m_pfInFifoL.get());
    ShiftDown(m_pfOutAccL.get());
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

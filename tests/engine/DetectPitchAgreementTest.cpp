// The detector against the straightforward computation of the same periods, on the voice
// recordings: the engine sums all lags of a window at once on vectors and the window's sums in
// partial sums; the reference below takes the window's sums in order and one dot product per
// lag. Where two lags come within rounding of each other the choice could flip, so the test
// counts agreement over every mark.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/DotProduct.h"
#include "platform/wave/wavfileio.h"
#include "support/EngineHarness.h"
#include "support/TestData.h"

namespace {

std::vector<short> Recording(const char* name) {
    const std::string path = TestDataFile(name);
    platform::wave::WavAudio audio;
    std::string error;
    EXPECT_TRUE(platform::wave::ReadWavFile(path, &audio, &error)) << path << ": " << error;
    std::vector<short> mono;
    const size_t channels = std::max<size_t>(1, audio.format.nChannels);
    for (size_t i = 0; i + channels <= audio.samples.size(); i += channels) {
        int sum = 0;
        for (size_t c = 0; c < channels; ++c) sum += audio.samples[i + c];
        mono.push_back(static_cast<short>(sum / static_cast<int>(channels)));
    }
    return mono;
}

// Period of the window x[0..len-1]: mean removed, normalised correlation of every lag, best
// lag, voicing threshold, octave guard (0 when unvoiced or silent).
int ReferencePeriod(const std::vector<float>& window, float corrTh, int fLo, int fHi, float peakRatio) {
    const int len = static_cast<int>(window.size());
    const int minLag = static_cast<int>(44100.0f / static_cast<float>(fHi));
    const int maxLag = static_cast<int>(44100.0f / static_cast<float>(fLo));
    const int w = len - maxLag;
    std::vector<float> x(window);
    float sum = 0.0f, sumAbs = 0.0f;
    for (float v : x) {
        sum += v;
        sumAbs += std::fabs(v);
    }
    if (sumAbs < 1.0f) return 0;
    const float mean = sum / static_cast<float>(len);
    sumAbs = 0.0f;
    for (float& v : x) {
        v = v - mean;
        sumAbs += std::fabs(v);
    }
    if (sumAbs < 1.0f) return 0;
    float e0 = 0.0f, ek = 0.0f;
    for (int i = 0; i < w; ++i) {
        e0 += x[i] * x[i];
        ek += x[minLag - 1 + i] * x[minLag - 1 + i];
    }
    std::vector<float> r;
    for (int k = minLag; k <= maxLag; ++k) {
        ek = x[k - 1 + w] * x[k - 1 + w] + (ek - x[k - 1] * x[k - 1]);
        const float cross = DotProduct(x.data(), x.data() + k, w);
        float q = static_cast<float>(static_cast<double>(cross) / (static_cast<double>(std::sqrt(e0 * ek)) + 0.001));
        r.push_back(q >= 1.0f ? 1.0f : (q <= -1.0f ? -1.0f : q));
    }
    float best = -1e10f;
    int index = 0;
    for (int j = 0; j < static_cast<int>(r.size()); ++j) {
        if (r[j] > best) {
            best = r[j];
            index = j;
        }
    }
    if (best < corrTh) return 0;
    const float t = peakRatio * best;
    int k = minLag + 1;
    while (k <= maxLag && !(r[k - minLag] > t)) ++k;
    if (k > maxLag) return minLag + index;
    while (k <= maxLag && r[k - minLag] > r[k - 1 - minLag]) ++k;
    return k - 1;
}

struct Agreement {
    int marks = 0;
    int agreed = 0;
    int voiced = 0;
};

// Walks the recording mark by mark as the analysis does (the next mark one period on, 441
// samples when unvoiced) and compares the detector's period at every mark with the reference.
Agreement Compare(const std::vector<short>& voice, int minKey, int maxKey, float corrTh) {
    EngineHarness h;
    CWaveInOutDlg& dlg = h.dlg;
    const int fLo = dlg.m_nKeyBoundaryHz[minKey];
    const int fHi = dlg.m_nKeyBoundaryHz[maxKey + 1];
    const int len = 2 * static_cast<int>(std::floor(44100.0f / static_cast<float>(fLo))) + 1;
    Agreement a;
    std::vector<float> window(static_cast<size_t>(len));
    for (int m = 0; m + len <= static_cast<int>(voice.size());) {
        for (int i = 0; i < len; ++i) {
            window[static_cast<size_t>(i)] = static_cast<float>(voice[static_cast<size_t>(m + i)]);
            dlg.m_pfInputBuf[(m + i) & dlg.m_nRingMask] = window[static_cast<size_t>(i)];
        }
        float hz = 0.0f;
        int period = 0;
        dlg.DetectPitch(&hz, &period, m, len, corrTh, fLo, fHi);
        const int want = ReferencePeriod(window, corrTh, fLo, fHi, dlg.m_fPeakRatio);
        ++a.marks;
        if (period == want) ++a.agreed;
        if (period > 0) ++a.voiced;
        m += period > 0 ? period : 441;
    }
    return a;
}

TEST(DetectPitchAgreement, PeriodsOfTheVoiceRecordingsAgreeWithTheLagByLagComputationOnAtLeast999Of1000Marks) {
    struct Case {
        const char* file;
        int minKey, maxKey;
        float corrTh;
    };
    const Case cases[] = {{"voice.wav", 7, 40, 0.5f}, {"voice.wav", 0, 61, 0.5f}, {"voice.wav", 3, 40, 0.3f},
                          {"voice-stereo.wav", 7, 40, 0.5f}};
    for (const Case& c : cases) {
        const std::vector<short> voice = Recording(c.file);
        ASSERT_GT(voice.size(), 44100u * 10) << c.file;
        const Agreement a = Compare(voice, c.minKey, c.maxKey, c.corrTh);
        SCOPED_TRACE(std::string(c.file) + " keys " + std::to_string(c.minKey) + ".." + std::to_string(c.maxKey));
        EXPECT_GT(a.voiced, a.marks / 3) << "the recording should be mostly voiced";
        EXPECT_GE(1000.0 * a.agreed, 999.0 * a.marks) << a.agreed << " of " << a.marks << " marks agree";
        std::printf("%s keys %d..%d threshold %.1f: %d of %d marks agree (%d voiced)\n", c.file, c.minKey, c.maxKey,
                    static_cast<double>(c.corrTh), a.agreed, a.marks, a.voiced);
    }
}

}  // namespace

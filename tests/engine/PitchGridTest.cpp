// The spoken voice recording through the speaking mode at every pitch and formant step of the
// trackbars (pitch in steps of 8, formant in steps of 12) and at the two fixed settings: the
// output's median F0, measured by a pitch tracker of the test's own, is the input's times the
// pitch ratio, and its level stays near the input's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/EngineHarness.h"
#include "support/PitchTrack.h"
#include "support/Signals.h"
#include "support/Speed.h"
#include "support/TestData.h"

namespace {

struct Setting {
    int pitch;
    int formant;
    int minKey = 3;  // D#2: the recording's voice reaches below the default lowest key
    int maxKey = 40;
};

const std::vector<short>& Voice() {
    static const std::vector<short> voice = ReadTestRecording("voice.wav");
    return voice;
}

// The recording played at double speed (a 1-2-1 low-pass, then every second sample): the same
// speech an octave higher, in the range of the woman-to-man setting.
const std::vector<short>& VoiceOctaveUp() {
    static const std::vector<short> voice = [] {
        const auto& v = Voice();
        std::vector<short> up;
        for (size_t i = 1; i + 1 < v.size(); i += 2) up.push_back(static_cast<short>((v[i - 1] + 2 * v[i] + v[i + 1]) / 4));
        return up;
    }();
    return voice;
}

// A pitch tracker reads a shifted voice somewhat off at the larger shifts (the tracker's, not the
// engine's, error), so the pitch bound is wider than the steady-tone bound below.
constexpr double kVoiceCents = 40.0;
constexpr double kLevelDb = 3.0;

// The output's F0 is compared with the input's frame by frame (both voiced at the same time), so
// the voice's own pitch movement cancels out; the median of those ratios times the input's
// median F0 is the output's median F0.
// The grid runs the engine on one thread for many minutes of sound: the thread sanitizer has
// nothing to look at in it and would take half an hour.
#if defined(__SANITIZE_THREAD__)
#define SKIP_UNDER_THREAD_SANITIZER() GTEST_SKIP() << "single-threaded sound measurement"
#else
#define SKIP_UNDER_THREAD_SANITIZER() (void)0
#endif

int FullScaleSamples(const std::vector<short>& s) {
    int n = 0;
    for (short x : s) n += (x >= 32767 || x <= -32767) ? 1 : 0;
    return n;
}

void ExpectShiftedVoice(const Setting& s, const std::vector<short>& in) {
    SCOPED_TRACE(testing::Message() << "pitch " << s.pitch << " formant " << s.formant);
    ASSERT_GT(in.size(), 44100u);
    const double inF0 = pitchtrack::MedianF0(in);
    ASSERT_GT(inF0, 80.0);
    ASSERT_LT(inF0, 300.0);

    EngineHarness h;
    h.SetPitch(s.pitch);
    h.SetFormant(s.formant);
    h.dlg.m_comboMinKey.SetCurSel(s.minKey);
    h.dlg.m_comboMaxKey.SetCurSel(s.maxKey);
    const auto out = h.Run(in);

    pitchtrack::Options frames;
    frames.threshold = 0.2;  // more frames of the sparse low voices count as voiced
    const auto ratios = pitchtrack::FrameRatios(in, out, frames);
    ASSERT_GE(ratios.size(), 20u) << "too few frames voiced in both";
    const double wanted = inF0 * std::pow(2.0, s.pitch / 24.0);
    const double outF0 = inF0 * pitchtrack::Median(ratios);
    const double levelDb = 20.0 * std::log10(pitchtrack::Rms(out, 0, out.size()) / pitchtrack::Rms(in, 0, in.size()));
    std::printf("pitch %3d formant %3d: F0 %6.1f Hz, wanted %6.1f Hz (%+7.1f cents), level %+5.2f dB\n", s.pitch,
                s.formant, outF0, wanted, pitchtrack::Cents(outF0, wanted), levelDb);
    EXPECT_LE(std::fabs(pitchtrack::Cents(outF0, wanted)), kVoiceCents) << outF0 << " Hz, wanted " << wanted;
    EXPECT_LE(std::fabs(levelDb), kLevelDb);
    // Whatever grains the setting raises to keep the level, none reaches full scale.
    EXPECT_EQ(FullScaleSamples(out), FullScaleSamples(in));
}

class PitchGridRow : public testing::TestWithParam<int> {};

TEST_P(PitchGridRow, EveryFormantStepGivesThePitchRatioAtTheInputsLevel) {
    SKIP_UNDER_THREAD_SANITIZER();
    for (int formant = -24; formant <= 24; formant += 12) ExpectShiftedVoice({GetParam(), formant}, Voice());
}

INSTANTIATE_TEST_SUITE_P(Pitch, PitchGridRow, testing::Range(-48, 49, 8),
                         [](const testing::TestParamInfo<int>& info) {
                             const int p = info.param;
                             return (p < 0 ? "Down" : "Up") + std::to_string(std::abs(p));
                         });

TEST(PitchGridTest, SmallShiftsOfAHigherVoiceLandFrameByFrameOnTheirRatio) {
    SKIP_UNDER_THREAD_SANITIZER();
    // The recording played 1.9 times faster (about 188 Hz), voiced and unvoiced stretches
    // alternating quickly. Each short frame of the output is compared with the input's at the
    // same time, so the output must be at the ratio throughout, not on average.
    static const std::vector<short> faster = speed::PlayFaster(Voice(), 1.9);
    pitchtrack::Options frames;
    frames.loHz = 80.0;
    frames.window = 1024;
    frames.hop = 256;
    frames.threshold = 0.2;
    for (int pitch : {-8, -12, 8}) {
        SCOPED_TRACE(testing::Message() << "pitch " << pitch);
        EngineHarness h;
        h.SetPitch(pitch);
        const auto out = h.Run(faster);
        const auto ratios = pitchtrack::FrameRatios(faster, out, frames);
        ASSERT_GE(ratios.size(), 200u);
        const double wanted = std::pow(2.0, pitch / 24.0);
        const double cents = pitchtrack::Cents(pitchtrack::Median(ratios), wanted);
        const auto close = std::count_if(ratios.begin(), ratios.end(),
                                         [&](double r) { return std::fabs(pitchtrack::Cents(r, wanted)) < 10.0; });
        const double share = static_cast<double>(close) / static_cast<double>(ratios.size());
        std::printf("faster voice, pitch %d: frame by frame %+.1f cents, %.0f %% of frames within 10 cents\n", pitch,
                    cents, 100.0 * share);
        EXPECT_LE(std::fabs(cents), 8.0);
        // Not only on average: a cycle stretched or squeezed as a whole puts its frames tens of
        // cents off, one way or the other.
        EXPECT_GE(share, 0.8);
    }
}

TEST(PitchGridTest, WomanToManAndManToWomanSettingsGiveTheirPitch) {
    SKIP_UNDER_THREAD_SANITIZER();
    ExpectShiftedVoice({-24, -10, 19, 40}, VoiceOctaveUp());
    ExpectShiftedVoice({24, 8, 7, 28}, Voice());
}

}  // namespace

namespace {

// A steady tone rich in harmonics (a band-limited sawtooth) lands on its pitch to within a few
// cents at every pitch step, with the formant down, unchanged or up.
TEST(PitchGridTest, SteadyTonesLandWithinTenCentsAtEveryPitchStep) {
    SKIP_UNDER_THREAD_SANITIZER();
    const double f0 = 44100.0 / 240.0;
    const auto in = signals::Harmonic(f0, 40, 12000.0, 8 * 16384, [](double hz) { return 1.0 / hz; });
    for (int pitch = -48; pitch <= 48; pitch += 8) {
        if (pitch == 0) continue;
        for (int formant : {-24, 0, 24}) {
            EngineHarness h;
            h.SetPitch(pitch);
            h.SetFormant(formant);
            auto out = h.Run(in);
            out.erase(out.begin(), out.begin() + 3 * h.Half());
            const double wanted = f0 * std::pow(2.0, pitch / 24.0);
            const double got = pitchtrack::MedianF0(out);
            std::printf("tone pitch %3d formant %3d: %7.2f Hz, wanted %7.2f Hz (%+6.1f cents)\n", pitch, formant, got, wanted,
                        got > 0.0 ? pitchtrack::Cents(got, wanted) : 0.0);
            EXPECT_LE(std::fabs(pitchtrack::Cents(got, wanted)), 10.0) << "pitch " << pitch << " formant " << formant;
        }
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "support/EngineHarness.h"
#include "support/PitchTrack.h"
#include "support/Signals.h"

namespace {

std::vector<short> Tone(double f0, int n, double amplitude = 12000.0) {
    return signals::Harmonic(f0, 12, amplitude, n, [](double hz) { return 1000.0 / hz; });
}

TEST(SynthesisCycleTest, UnitRatiosInSpeakingModeGiveTheInputOneSampleLate) {
    EngineHarness h;
    // Period 441; a moderate level, since the resampler's single-precision position lies a
    // hair off the sample and steep slopes turn that into more than one unit.
    const auto in = Tone(100.0, 8 * h.Half(), 3000.0);
    const auto out = h.Run(in);
    int worst = 0;
    for (size_t x = static_cast<size_t>(h.Half()) + 1; x < static_cast<size_t>(6 * h.Half()); ++x)
        worst = std::max(worst, std::abs(out[x] - in[x - 1]));
    EXPECT_LE(worst, 1);
}

// F0 of every 100 ms window of s from `from` to `to`, by the test's own tracker.
std::vector<double> TenthSecondF0s(const std::vector<short>& s, size_t from, size_t to) {
    pitchtrack::Options o;
    o.loHz = 60.0;
    o.window = 4410 - 737;  // with the longest lag searched, 100 ms per frame
    o.hop = 4410;
    pitchtrack::FrameTracker tracker(o);
    const std::vector<short> part(s.begin() + static_cast<std::ptrdiff_t>(from), s.begin() + static_cast<std::ptrdiff_t>(to));
    const double rms = pitchtrack::Rms(part, 0, part.size());
    std::vector<double> f0s;
    for (size_t at = 0; at + tracker.FrameLength() <= part.size(); at += static_cast<size_t>(o.hop))
        f0s.push_back(tracker.F0At(part, at, rms));
    return f0s;
}

TEST(SynthesisCycleTest, SpeakingModeHoldsAShiftedSteadyToneInEveryTenthOfASecond) {
    // A band-limited sawtooth at 120 Hz (period 367.5 samples: the marks alternate 367 and 368).
    const auto in = signals::Harmonic(120.0, 40, 12000.0, 3 * 44100, [](double hz) { return 1.0 / hz; });
    for (int latency : {0, 1}) {
        for (int pitch : {12, -12}) {
            SCOPED_TRACE(testing::Message() << "delay " << latency << " pitch " << pitch);
            EngineHarness h(latency);
            h.SetPitch(pitch);
            const auto out = h.Run(in);
            const double wanted = 120.0 * std::pow(2.0, pitch / 24.0);
            // From the second block on (the first one starts the run), to the end of the tone.
            const auto f0s = TenthSecondF0s(out, static_cast<size_t>(h.Half()), out.size());
            ASSERT_GE(f0s.size(), 20u);
            double worst = 0.0;
            for (double f : f0s) {
                ASSERT_GT(f, 0.0);
                worst = std::max(worst, std::fabs(pitchtrack::Cents(f, wanted)));
            }
            EXPECT_LE(worst, 5.0);
        }
    }
}

TEST(SynthesisCycleTest, PitchUpTwoOctavesShiftsTheFundamentalByFour) {
    EngineHarness h;
    h.SetPitch(48);
    const auto in = Tone(110.25, 12 * h.Half());  // period 400
    const auto out = h.Run(in);
    const double f = signals::PeakFrequency(out, static_cast<size_t>(4 * h.Half()), 32768, 380.0, 500.0, 0.25);
    EXPECT_NEAR(f, 441.0, 441.0 * 0.01);
}

TEST(SynthesisCycleTest, PitchUpOneOctaveDoublesTheFundamental) {
    EngineHarness h;
    h.SetPitch(24);
    const auto in = Tone(150.0, 12 * h.Half());
    const auto out = h.Run(in);
    const size_t from = static_cast<size_t>(4 * h.Half());
    const double f = signals::PeakFrequency(out, from, 32768, 240.0, 360.0, 0.25);
    EXPECT_NEAR(f, 300.0, 3.0);
    // Nothing is left at the old fundamental.
    EXPECT_LT(signals::MagnitudeAt(out, from, 32768, 150.0), 0.05 * signals::MagnitudeAt(out, from, 32768, 300.0));
}

TEST(SynthesisCycleTest, PitchDownTwoOctavesQuartersTheFundamental) {
    EngineHarness h;
    h.SetPitch(-48);
    const auto in = Tone(400.0, 16 * h.Half());
    auto out = h.Run(in);
    out.erase(out.begin(), out.begin() + 4 * h.Half());
    // Measured by a tracker of the test's own: the input's 400 Hz (or its octave 200 Hz) left in
    // the output reads as that, not as 100 Hz.
    const double f0 = pitchtrack::MedianF0(out);
    EXPECT_LE(std::fabs(pitchtrack::Cents(f0, 100.0)), 10.0) << f0;
    const auto frames = pitchtrack::TrackF0(out);
    const auto near100 = std::count_if(frames.begin(), frames.end(), [](double f) { return std::fabs(f - 100.0) < 2.0; });
    EXPECT_GE(near100, static_cast<std::ptrdiff_t>(frames.size() * 9 / 10));
}

TEST(SynthesisCycleTest, GrainsAtACycleEndAreNeverCutShortByInputNotYetArrived) {
    // Unvoiced input steps 441 samples per period, further than the two-period window of a high
    // lowest key (keys 19..40) looks ahead: at pitch -48 and formant +24 a grain of the newest
    // periods would reach past the input that has arrived.
    EngineHarness h;
    h.SetPitch(-48);
    h.SetFormant(24);
    h.dlg.m_comboMinKey.SetCurSel(19);
    std::vector<short> noise(static_cast<size_t>(16 * h.Half()));
    unsigned seed = 99u;
    for (auto& x : noise) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<short>(static_cast<int>(seed >> 16) % 16001 - 8000);
    }
    const auto out = h.Run(noise);
    // The grains lie apart with exact silence between them, each fading in and out under its
    // window. One cut short ends on a sample near its full level before the silence.
    int peak = 0;
    for (short x : out) peak = std::max(peak, std::abs(static_cast<int>(x)));
    int grains = 0;
    int worstEnd = 0;
    for (size_t i = static_cast<size_t>(2 * h.Half()); i + 64 < out.size() - static_cast<size_t>(2 * h.Half()); ++i) {
        if (out[i] == 0 || out[i + 1] != 0) continue;
        bool silence = true;
        for (size_t j = i + 1; j < i + 64; ++j) silence = silence && out[j] == 0;
        if (!silence) continue;
        ++grains;
        for (size_t j = i - 3; j <= i; ++j) worstEnd = std::max(worstEnd, std::abs(static_cast<int>(out[j])));
    }
    EXPECT_GT(grains, 40);
    EXPECT_LT(worstEnd, peak / 20) << "peak " << peak;
}

// Peak of the spectral envelope estimated from harmonic amplitudes (parabola through the
// log-magnitudes of the strongest harmonic and its neighbours).
double EnvelopePeak(const std::vector<short>& s, size_t from, double f0, int harmonics) {
    std::vector<double> mag(static_cast<size_t>(harmonics) + 2, 0.0);
    int best = 1;
    for (int k = 1; k <= harmonics; ++k) {
        mag[static_cast<size_t>(k)] = signals::MagnitudeAt(s, from, 32768, k * f0);
        if (mag[static_cast<size_t>(k)] > mag[static_cast<size_t>(best)]) best = k;
    }
    const double a = std::log(mag[static_cast<size_t>(best - 1)]);
    const double b = std::log(mag[static_cast<size_t>(best)]);
    const double c = std::log(mag[static_cast<size_t>(best + 1)]);
    const double offset = 0.5 * (a - c) / (a - 2 * b + c);
    return (best + offset) * f0;
}

TEST(SynthesisCycleTest, FormantUpOneOctaveStepMovesTheResonanceByRootTwo) {
    EngineHarness h;
    h.SetFormant(12);
    const double f0 = 100.0;
    auto resonance = [](double hz) {
        const double r = hz / 1000.0;
        return 1.0 / std::sqrt((1 - r * r) * (1 - r * r) + (r / 4.0) * (r / 4.0));
    };
    const auto in = signals::Harmonic(f0, 40, 12000.0, 12 * h.Half(), resonance);
    const auto out = h.Run(in);
    const size_t from = static_cast<size_t>(4 * h.Half());
    const double before = EnvelopePeak(in, from, f0, 38);
    const double after = EnvelopePeak(out, from, f0, 38);
    EXPECT_NEAR(before, 1000.0, 30.0);
    EXPECT_NEAR(after / before, std::sqrt(2.0), std::sqrt(2.0) * 0.03);
    // The pitch stays where it was.
    EXPECT_NEAR(signals::PeakFrequency(out, from, 32768, 90.0, 110.0, 0.1), 100.0, 1.0);
}

TEST(SynthesisCycleTest, SingingModeStartsWithOneFullBlock) {
    EngineHarness h;
    h.SetFormant(24);
    h.dlg.m_comboVoiceMode.SetCurSel(0);
    h.Begin();
    const auto in = Tone(100.0, h.Half());
    h.FeedBlock(in.data(), h.Half());
    EXPECT_EQ(h.synth.out, h.Half());
}

TEST(SynthesisCycleTest, SingingModeStaysNearItsMarksAndOnPitchForTenMinutes) {
    EngineHarness h;
    h.dlg.m_comboVoiceMode.SetCurSel(0);
    h.dlg.m_comboMinKey.SetCurSel(29);  // a narrow range keeps ten minutes quick
    h.dlg.m_comboMaxKey.SetCurSel(31);
    h.SetPitch(5);
    h.SetFormant(-3);  // grains 101.59 samples apart, laid 102 apart
    h.Begin();
    const int blocks = static_cast<int>(600.0 * 44100.0 / h.Half());
    const double f0 = 44100.0 / 128.0;  // a whole number of periods per block
    const auto block = Tone(f0, h.Half());
    const double wanted = f0 * std::pow(2.0, 5.0 / 24.0);
    pitchtrack::Options fast;
    fast.loHz = 250.0;
    fast.window = 1024;
    fast.hop = 3000;
    std::int64_t worst = 0;
    double worstCents = 0.0;
    for (int b = 0; b < blocks; ++b) {
        // A whole block of drift, however it came about, is taken back without a pitch jump.
        if (b == 100) h.synth.out += h.Half();
        h.FeedBlock(block.data(), h.Half());
        const std::int64_t lead = h.synth.out - (h.dlg.m_pnMark[h.synth.main.k & h.dlg.m_nRingMask] + 1);
        if (b >= 400) worst = std::max(worst, lead < 0 ? -lead : lead);
        // Every block played is at the pitch: no cycle is stretched or squeezed by more than
        // half a percent (9 cents) to catch up.
        if (b >= 3 && (b < 100 || b > 102)) {
            for (double f : pitchtrack::TrackF0(h.OutputBlock(b - 1), fast))
                worstCents = std::max(worstCents, std::fabs(pitchtrack::Cents(f, wanted)));
        }
    }
    // Laid at their rounded spacing alone, the output would gain on the marks by about a
    // hundred samples a second (a minute of it is far beyond this bound).
    EXPECT_LE(worst, h.Half() / 2 + h.Half() / 16);
    EXPECT_LE(worstCents, 10.0);
}

TEST(SynthesisCycleTest, OriginalPutsTheLatestInputBlockInPlaceOfTheVoice) {
    EngineHarness h;
    h.SetPitch(12);
    h.dlg.m_chkOriginal.SetCheck(BST_CHECKED);
    h.Begin();
    const auto in = Tone(130.0, 3 * h.Half());
    for (int b = 0; b < 3; ++b) h.FeedBlock(in.data() + b * h.Half(), h.Half());
    const auto* ring = reinterpret_cast<const short*>(h.dlg.m_pOutData[0]);
    for (int u = 2 * h.Half(); u < 3 * h.Half(); ++u)
        ASSERT_EQ(ring[(u + h.dlg.m_nBlockBytes) & h.dlg.m_nRingMask], in[static_cast<size_t>(u)]) << u;
}

TEST(SynthesisCycleTest, NoMarksReadyMeansNoCycle) {
    EngineHarness h;
    h.Begin();
    EXPECT_FALSE(h.dlg.SynthesizeStep(h.synth));
    EXPECT_EQ(h.synth.out, 0);
}

}  // namespace

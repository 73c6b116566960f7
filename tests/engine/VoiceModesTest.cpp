// The added-voice modes (third above, flatten) and the oscillator modes (sine, square, saw) on
// steady harmonic tones: what each one sounds like, and that long runs stay bounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "support/EngineHarness.h"
#include "support/PitchTrack.h"
#include "support/Signals.h"
#include "support/Speed.h"
#include "support/TestData.h"

namespace {

enum Mode { kSinging = 0, kSpeaking = 1, kThirdAbove = 2, kFlatten = 3, kSine = 4, kSquare = 5, kSaw = 6 };

std::vector<short> Tone(double f0, int n, double amplitude = 10000.0) {
    return signals::Harmonic(f0, 10, amplitude, n, [](double hz) { return 1000.0 / hz; });
}

// White noise of the given peak: no pitch, so every period in it is unvoiced.
std::vector<short> Noise(int n, int peak) {
    std::vector<short> s(static_cast<size_t>(n));
    unsigned seed = 12345u;
    for (auto& x : s) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<short>(static_cast<int>(seed >> 16) % (2 * peak + 1) - peak);
    }
    return s;
}

constexpr double kNoise = -1.0;

// Pieces of steady tones one after the other (0 Hz: silence, kNoise: unvoiced noise).
std::vector<short> Steps(const std::vector<double>& freqs, int each) {
    std::vector<short> s;
    for (double f : freqs) {
        const auto piece = f > 0.0 ? Tone(f, each) : f == 0.0 ? std::vector<short>(static_cast<size_t>(each), 0) : Noise(each, 3000);
        s.insert(s.end(), piece.begin(), piece.end());
    }
    return s;
}

std::vector<short> RunMode(EngineHarness& h, int mode, const std::vector<short>& in) {
    h.dlg.m_comboVoiceMode.SetCurSel(mode);
    return h.Run(in);
}

constexpr size_t kWindow = 32768;

TEST(VoiceModesTest, ThirdAboveAddsAVoiceAtFiveFourthsOfThePitchAtHalfLevel) {
    const double f0 = 160.0;
    EngineHarness plain;
    const auto in = Tone(f0, 12 * plain.Half());
    const auto speaking = RunMode(plain, kSpeaking, in);
    EngineHarness third;
    const auto mixed = RunMode(third, kThirdAbove, in);
    // The same conversion alone at 1.25 times the pitch, for the level the added voice should have.
    EngineHarness raised;
    raised.dlg.m_fPitchRatio = 1.25f;
    raised.dlg.m_fFormantRatio = 1.25f;
    const auto higher = RunMode(raised, kSpeaking, in);

    // The main voice is kept whole: what mode 2 adds is the difference.
    std::vector<short> added(in.size());
    for (size_t i = 0; i < in.size(); ++i) added[i] = static_cast<short>(mixed[i] - speaking[i]);
    const size_t from = static_cast<size_t>(4 * plain.Half());
    EXPECT_NEAR(signals::PeakFrequency(added, from, kWindow, 120.0, 300.0, 0.25), 1.25 * f0, 1.25 * f0 * 0.01);
    const double addedLevel = signals::MagnitudeAt(added, from, kWindow, 1.25 * f0);
    const double fullLevel = signals::MagnitudeAt(higher, from, kWindow, 1.25 * f0);
    EXPECT_NEAR(addedLevel / fullLevel, 0.5, 0.1);
    EXPECT_NEAR(signals::MagnitudeAt(mixed, from, kWindow, f0) / signals::MagnitudeAt(speaking, from, kWindow, f0), 1.0, 0.05);
}

TEST(VoiceModesTest, FlattenHoldsTheCentreNoteOfTheKeyRangeWhateverIsSung) {
    EngineHarness h;
    const int each = 4 * h.Half();
    const auto in = Steps({130.0, 185.0, 240.0, 310.0}, each);
    const auto out = RunMode(h, kFlatten, in);
    // Keys 7 and 40: key 23 (B_3), A4 × 2^(-10/12).
    const double target = 440.0 * std::pow(2.0, -10.0 / 12.0);
    for (int piece = 0; piece < 4; ++piece) {
        const size_t from = static_cast<size_t>(piece * each + h.Half());
        EXPECT_NEAR(signals::PeakFrequency(out, from, kWindow, 150.0, 400.0, 0.25), target, target * 0.003) << piece;
    }
}

const std::vector<short>& Voice() {
    static const std::vector<short> voice = ReadTestRecording("voice.wav");
    return voice;
}

TEST(VoiceModesTest, FlattenPutsASpokenVoiceOnTheCentreNote) {
    // The recording at its own pitch (about 99 Hz) and played 1.3 times faster (about 130 Hz):
    // speech, its periods changing from mark to mark, unvoiced stretches between.
    static const std::vector<short> faster = speed::PlayFaster(Voice(), 1.3);
    const double target = 440.0 * std::pow(2.0, -10.0 / 12.0);
    pitchtrack::Options o;
    o.threshold = 0.2;
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "single-threaded sound measurement";
#endif
    for (const std::vector<short>* in : {&Voice(), &faster}) {
        SCOPED_TRACE(in == &faster ? "faster voice" : "voice");
        ASSERT_GT(in->size(), 5u * 44100u);
        EngineHarness h;
        const auto out = RunMode(h, kFlatten, *in);
        const auto f0s = pitchtrack::TrackF0(out, o);
        ASSERT_GE(f0s.size(), 100u);
        EXPECT_LE(std::fabs(pitchtrack::Cents(pitchtrack::Median(f0s), target)), 20.0) << pitchtrack::Median(f0s);
    }
}

TEST(VoiceModesTest, FlattenFollowsTheKeyRangeAndThePitchRatio) {
    EngineHarness h;
    h.dlg.m_comboMinKey.SetCurSel(19);
    h.dlg.m_comboMaxKey.SetCurSel(40);
    h.SetPitch(-12);
    const auto in = Steps({220.0, 400.0}, 5 * h.Half());
    const auto out = RunMode(h, kFlatten, in);
    // Key 29 (F_4) times the pitch ratio 2^(-1/2).
    const double target = 440.0 * std::pow(2.0, -4.0 / 12.0) * std::pow(2.0, -0.5);
    for (int piece = 0; piece < 2; ++piece) {
        const size_t from = static_cast<size_t>(piece * 5 * h.Half() + 2 * h.Half());
        EXPECT_NEAR(signals::PeakFrequency(out, from, kWindow, 150.0, 400.0, 0.25), target, target * 0.01) << piece;
    }
}

TEST(VoiceModesTest, OscillatorsFollowTheMarksPitchTimesThePitchRatio) {
    for (int mode : {kSine, kSquare, kSaw}) {
        for (int pitch : {0, -12, 7}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " pitch " << pitch);
            EngineHarness h;
            h.SetPitch(pitch);
            const double f0 = 200.0;
            const auto out = RunMode(h, mode, Tone(f0, 12 * h.Half()));
            const double expected = f0 * std::pow(2.0, pitch / 24.0);
            const size_t from = static_cast<size_t>(4 * h.Half());
            EXPECT_NEAR(signals::PeakFrequency(out, from, kWindow, 0.6 * expected, 1.4 * expected, 0.25), expected, expected * 0.01);
            int peak = 0;
            for (size_t i = from; i < from + kWindow; ++i) peak = std::max(peak, std::abs(static_cast<int>(out[i])));
            EXPECT_GT(peak, 1000);
        }
    }
}

TEST(VoiceModesTest, OscillatorLevelGlidesAcrossEachPeriodFromTheLastPeakToItsOwn) {
    // A tone swelling and fading every twenty periods, so that the periods' peaks differ.
    EngineHarness probe;
    const int n = 8 * probe.Half();
    auto in = Tone(200.0, n);
    for (int i = 0; i < n; ++i)
        in[static_cast<size_t>(i)] = static_cast<short>(in[static_cast<size_t>(i)] * (0.55 + 0.45 * std::sin(2.0 * signals::kPi * i / 4410.0)));
    // Sine at full level, square at half of it, saw between -0.7 and 0.7 of it.
    const struct {
        int mode;
        double share;
    } shapes[] = {{kSine, 1.0}, {kSquare, 0.5}, {kSaw, 0.7}};
    for (const auto& shape : shapes) {
        SCOPED_TRACE(testing::Message() << "mode " << shape.mode);
        EngineHarness h;
        const auto out = RunMode(h, shape.mode, in);
        if (shape.mode == kSquare) {
            EXPECT_EQ(out[0], 0);  // the first sample lies at phase 0, where the sine is exactly 0
        }
        const auto& d = h.dlg;
        int periods = 0;
        int gliding = 0;  // periods whose peak differs from the one before
        for (int k = d.m_nMarkCount - d.m_nRingLen / 2; k + 1 <= d.m_nMarkCount - 2; ++k) {
            const std::int64_t m0 = d.m_pnMark[k & d.m_nRingMask];
            const std::int64_t m1 = d.m_pnMark[(k + 1) & d.m_nRingMask];
            if (m0 < 2 * h.Half() || m1 >= static_cast<std::int64_t>(out.size())) continue;
            const double a0 = std::max(0, static_cast<int>(d.m_psMarkAmp[k & d.m_nRingMask]));
            const double a1 = std::max(0, static_cast<int>(d.m_psMarkAmp[(k + 1) & d.m_nRingMask]));
            if (std::min(a0, a1) < 1000.0) continue;
            if (std::fabs(a1 - a0) > 50.0) ++gliding;
            double reached = 0.0;
            for (std::int64_t x = m0; x < m1; ++x) {
                const double level = (a0 + (a1 - a0) * static_cast<double>(x - m0) / static_cast<double>(m1 - m0)) * shape.share;
                const double y = std::abs(out[static_cast<size_t>(x)]);
                ASSERT_LE(y, level + 1.5) << x;
                if (shape.mode == kSquare && y != 0.0) {
                    ASSERT_GE(y, level - 1.5) << x;
                }
                reached = std::max(reached, y / level);
            }
            EXPECT_GT(reached, 0.9) << k;
            ++periods;
        }
        EXPECT_GT(periods, 100);
        EXPECT_GT(gliding, 20);
    }
}

TEST(VoiceModesTest, OscillatorsFallSilentOverSilentAndUnvoicedPeriods) {
    for (int mode : {kSine, kSquare, kSaw}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        EngineHarness h;
        const int each = 6 * h.Half();
        const auto out = RunMode(h, mode, Steps({180.0, 0.0, 180.0, kNoise, 180.0}, each));
        auto loudest = [&](int from, int to) {
            int peak = 0;
            for (int i = from; i < to; ++i) peak = std::max(peak, std::abs(static_cast<int>(out[static_cast<size_t>(i)])));
            return peak;
        };
        // Away from the edges, where the level glides across one period, nothing sounds.
        EXPECT_EQ(loudest(each + 2048, 2 * each - 2048), 0);
        EXPECT_EQ(loudest(3 * each + 2048, 4 * each - 2048), 0);
        EXPECT_GT(loudest(2 * each + h.Half(), 3 * each - h.Half()), 1000);
        EXPECT_GT(loudest(4 * each + h.Half(), 5 * each - h.Half()), 1000);
    }
}

TEST(VoiceModesTest, AddedVoiceNeverTakesAGrainPastTheNewestMark) {
    // Steps above two marks per grain: the third above at a quarter of the pitch, and the
    // flatten mode on a voice far above its target.
    struct Case {
        int mode;
        int pitch;
        double f0;
    } cases[] = {{kThirdAbove, -48, 300.0}, {kFlatten, 0, 600.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode);
        EngineHarness h;
        h.SetPitch(c.pitch);
        if (c.mode == kFlatten) {
            h.dlg.m_comboMinKey.SetCurSel(0);
            h.dlg.m_comboMaxKey.SetCurSel(2);
        }
        h.dlg.m_comboVoiceMode.SetCurSel(c.mode);
        h.Begin();
        const auto in = Tone(c.f0, 16 * h.Half());
        int worst = 0;
        for (int b = 0; b < 16; ++b) {
            h.FeedBlock(in.data() + static_cast<size_t>(b) * static_cast<size_t>(h.Half()), h.Half());
            const int marks = h.dlg.m_nMarkCount.load();
            EXPECT_LE(h.synth.added.k + 1, marks) << b;
            EXPECT_LE(h.synth.main.k + 1, marks) << b;
            EXPECT_GE(h.synth.added.pa, 0);
            if (b >= 3) {
                for (short x : h.OutputBlock(b - 1)) worst = std::max(worst, std::abs(static_cast<int>(x)));
            }
        }
        EXPECT_LT(worst, 32767);
    }
}

TEST(VoiceModesTest, OverlapAddCarriesOnWhereAnOscillatorStopped) {
    EngineHarness h;
    const int half = h.Half();
    const auto in = Tone(170.0, 16 * half);
    h.Begin();
    double lastPos = 0.0;
    int lastK = 0;
    for (int b = 0; b < 16; ++b) {
        h.dlg.m_comboVoiceMode.SetCurSel(b < 8 ? kSquare : (b < 12 ? kSpeaking : kThirdAbove));
        h.FeedBlock(in.data() + static_cast<size_t>(b) * static_cast<size_t>(half), half);
        // The main voice never goes back to marks it has already voiced.
        EXPECT_GE(h.synth.main.markPos, lastPos) << b;
        EXPECT_GE(h.synth.main.k, lastK) << b;
        lastPos = h.synth.main.markPos;
        lastK = h.synth.main.k;
        // The output stays with the input: about one block of new output per block of input,
        // made from about one block of overlap-add.
        EXPECT_LE(std::abs(h.synth.out - h.dlg.m_nInputCount.load()), 2 * half) << b;
        EXPECT_LE(h.synth.segment.capacity(), static_cast<size_t>(2 * half)) << b;
    }
}

TEST(VoiceModesTest, AMinuteOfSwitchingKeepsTheWorkBuffersBounded) {
    EngineHarness h;
    const int half = h.Half();
    const auto tone = Tone(190.0, 8 * half);
    h.Begin();
    const int blocks = static_cast<int>(60 * signals::kRate) / half;
    size_t largest = 0;
    for (int b = 0; b < blocks; ++b) {
        // Long stretches of an oscillator mode, then an added-voice mode.
        const int mode = (b / 5) % 2 == 0 ? kSaw : (b / 10) % 2 == 0 ? kThirdAbove : kFlatten;
        h.dlg.m_comboVoiceMode.SetCurSel(mode);
        h.FeedBlock(tone.data() + static_cast<size_t>(b % 8) * static_cast<size_t>(half), half);
        largest = std::max({largest, h.synth.segment.capacity(), h.synth.segment2.capacity()});
    }
    // A block or two of overlap-add per cycle, however long the run has gone on.
    EXPECT_LE(largest, static_cast<size_t>(4 * half));
}

}  // namespace

// The chorus synthesis stepped round by round without threads: the two voices and their mix,
// the oversampled rates, Original, the save, and marks that make no grain.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "app/WaveInOutDlg.h"
#include "audio/PitchDumpLoader.h"
#include "engine/ChorusState.h"
#include "platform/wave/wavfileio.h"
#include "support/EngineHarness.h"
#include "support/Signals.h"

namespace {

constexpr int kPeriod = 210;  // samples at 44100 Hz: 210 Hz

// A dump's header as a take with oversampling `os` writes it, with no rows yet.
pitch_dump::ChorusDump DumpHeader(int os) {
    pitch_dump::ChorusDump d;
    d.wavPath = "take.wav";
    d.overSampling = os;
    d.minKey = 7;
    d.maxKey = 40;
    d.corrThText = "0.5";
    return d;
}

// A loaded dump and the engine stepped over an input, as the two threads would take turns.
class ChorusEngine {
public:
    ChorusEngine() : h(1) {}

    // Marks every `period` oversampled samples (plus `jitter`(i)), chorus value `chorus` from row
    // `from` on (127 before), to well beyond `samples` input samples.
    void Load(int os, int samples, float chorus, float mixOriginal, float mixChorus, bool pitchShift = true,
              int from = 1, int (*jitter)(int) = nullptr) {
        pitch_dump::ChorusDump d = DumpHeader(os);
        d.pitchShiftEnable = pitchShift;
        d.mixOriginal = mixOriginal;
        d.mixChorus = mixChorus;
        const int rows = (samples + 8 * h.Half()) / kPeriod;
        for (int i = 0; i < rows; ++i) {
            d.marks.push_back(i * kPeriod * os + (jitter != nullptr && i > 0 ? jitter(i) : 0));
            d.amplitudes.push_back(8000);
            d.chorus.push_back(i >= from ? chorus : 127.0f);
        }
        h.dlg.ApplyChorusDump(d);
    }

    void Begin() {
        h.dlg.m_nInputCount = 0;
        h.dlg.m_bMarksReady = FALSE;
        h.dlg.AnalyzeBegin(analyze);
        ASSERT_TRUE(h.dlg.ChorusSynthesizeBegin(state));
        h.blocksIn = 0;
    }

    // One block in, one analysis and one synthesis round.
    void Feed(const short* samples, int n) {
        h.FeedBlockOnly(samples, n);
        h.dlg.AnalyzeStep(analyze);
        h.dlg.ChorusSynthesizeStep(state);
    }

    // The output aligned with the input (output sample x belongs to input sample x).
    std::vector<short> Run(const std::vector<short>& input) {
        Begin();
        return h.FeedAll(input, [this](const short* samples, int n) { Feed(samples, n); });
    }

    EngineHarness h;
    CAnalyzeState analyze;
    CChorusState state;
};

double Level(const std::vector<short>& s, double hz) { return signals::MagnitudeAt(s, 20000, 16384, hz); }

TEST(ChorusSynthesis, OctaveColumnAddsAVoiceAnOctaveUpAtItsLevel) {
    // A 210 Hz sine. Its grains (one period under a Hann window) carry a quarter of the sine's
    // amplitude at 420 Hz, and laid half a period apart they add up to half of it: the octave
    // voice of a sine is a 420 Hz sine at half amplitude, mixed here at half level.
    const auto input = signals::Sine(210.0, 8000.0, 60000);
    for (int os : {1, 2, 3, 4}) {
        ChorusEngine e;
        e.Load(os, 60000, 12.0f, 1.0f, 0.5f);
        const auto out = e.Run(input);
        const double in210 = Level(input, 210.0);
        EXPECT_NEAR(Level(out, 210.0) / in210, 1.0, 0.1) << os;
        EXPECT_NEAR(Level(out, 420.0) / in210, 0.25, 0.03) << os;
        EXPECT_LT(Level(input, 420.0) / in210, 0.01);
    }
}

TEST(ChorusSynthesis, ColumnOf127GivesTheMainVoiceAloneAtItsLevel) {
    const auto input = signals::Sine(210.0, 8000.0, 60000);
    ChorusEngine e;
    e.Load(1, 60000, 127.0f, 0.5f, 1.0f);
    const auto out = e.Run(input);
    EXPECT_NEAR(Level(out, 210.0) / Level(input, 210.0), 0.5, 0.05);
    EXPECT_LT(Level(out, 420.0) / Level(input, 210.0), 0.01);
}

TEST(ChorusSynthesis, FlatteningLevelsLeaveOnlyTheChorusVoiceOnItsNote) {
    // Levels 0 and 1 and a column moving 210 Hz up 7 semitones: 314.6 Hz alone.
    const auto input = signals::Sine(210.0, 8000.0, 60000);
    ChorusEngine e;
    e.Load(2, 60000, 7.0f, 0.0f, 1.0f);
    const auto out = e.Run(input);
    EXPECT_NEAR(signals::PeakFrequency(out, 20000, 16384, 150.0, 500.0, 0.5), 210.0 * std::pow(2.0, 7.0 / 12.0), 2.0);
    EXPECT_LT(Level(out, 210.0) / Level(out, 314.6), 0.05);
}

TEST(ChorusSynthesis, WithoutPitchShiftTheRawInputIsTheMainVoiceEvenWithATrackbarMoved) {
    const auto input = signals::Sine(210.0, 8000.0, 60000);
    ChorusEngine e;
    e.Load(4, 60000, 127.0f, 1.0f, 0.5f, false);
    e.h.SetPitch(12);  // a shifted main voice would sound at 297 Hz
    const auto out = e.Run(input);
    // The raw input at the output's own position: the same samples, one for one.
    int differ = 0;
    for (size_t i = 20000; i < 50000; ++i) differ += std::abs(out[i] - input[i]) > 1 ? 1 : 0;
    EXPECT_EQ(differ, 0);
}

TEST(ChorusSynthesis, OriginalPutsTheInputInPlaceOfTheMix) {
    const auto input = signals::Sine(210.0, 8000.0, 60000);
    ChorusEngine e;
    e.Load(2, 60000, 12.0f, 1.0f, 0.5f);
    e.h.dlg.m_chkOriginal.SetCheck(BST_CHECKED);
    const auto out = e.Run(input);
    for (size_t i = 1000; i < 50000; ++i) ASSERT_EQ(out[i], input[i]) << i;
}

int Jitter(int i) { return (i * 7) % 4; }

TEST(ChorusSynthesis, SaveWritesEveryOutputSampleOnceWhateverTheRoundsEndOn) {
    // Marks that are not multiples of the factor end most rounds between two output samples.
    TempFolder folder;
    const auto input = signals::Sine(210.0, 8000.0, 50000);
    ChorusEngine e;
    e.Load(4, 50000, 12.0f, 1.0f, 0.5f, true, 1, Jitter);
    e.h.dlg.m_saveFile.SetOwner(&e.h.dlg);
    e.h.dlg.m_saveFile.SetFormat(1);
    e.h.dlg.m_saveFile.Reset();
    ASSERT_EQ(e.h.dlg.m_saveFile.OpenWrite(folder.File("saved.wav")), 0);
    e.h.dlg.m_chkSave.SetCheck(BST_CHECKED);
    const auto out = e.Run(input);
    const long long made = e.state.out;
    e.h.dlg.m_saveFile.Close();

    platform::wave::WavAudio saved;
    std::string error;
    ASSERT_TRUE(platform::wave::ReadWavFile(folder.File("saved.wav"), &saved, &error)) << error;
    ASSERT_EQ(saved.samples.size(), static_cast<size_t>(made / 4));
    // ... and they are the samples that were played.
    for (size_t i = 0; i < out.size() && i < saved.samples.size(); ++i) ASSERT_EQ(saved.samples[i], out[i]) << i;
}

TEST(ChorusSynthesis, LastRoundThatCatchesUpOnSeveralBlocksPlaysTheDumpToItsEnd) {
    // The dump ends inside the fourth block; the engine falls behind by three blocks (as far as
    // the input ring lets a writer get ahead of it), so the round that takes the last marks has
    // to make more than two blocks of output at once.
    ChorusEngine e;
    const int os = 2;
    pitch_dump::ChorusDump d = DumpHeader(os);
    for (int i = 0; i * kPeriod < 3 * e.h.Half() + e.h.Half() / 2; ++i) {
        d.marks.push_back(i * kPeriod * os);
        d.amplitudes.push_back(8000);
        d.chorus.push_back(12.0f);
    }
    e.h.dlg.ApplyChorusDump(d);
    const auto input = signals::Sine(210.0, 8000.0, 6 * e.h.Half());
    e.Begin();
    e.Feed(input.data(), e.h.Half());
    for (int b = 1; b < 3; ++b) e.h.FeedBlockOnly(input.data() + b * e.h.Half(), e.h.Half());
    e.Feed(input.data() + 3 * e.h.Half(), e.h.Half());
    EXPECT_EQ(e.h.dlg.m_nInputCount.load(), 4 * e.h.Half());
    EXPECT_TRUE(e.analyze.bufferFull);
    // The main voice's last grain sits on the mark before the dump's last one.
    EXPECT_EQ(e.state.out, static_cast<long long>(d.marks[d.marks.size() - 2]) + 1);
}

TEST(ChorusSynthesis, MarksThatMakeNoGrainLeaveSilenceAndNoNumberError) {
    // Equal marks, marks that go back, a jump far beyond a round, then the zero tail.
    pitch_dump::ChorusDump d = DumpHeader(2);
    const std::vector<int> marks = {0, 420, 840, 840, 840, 1260, 1000, 1680, 2100, 2100, 900000, 900420, 10000000};
    for (int m : marks) {
        d.marks.push_back(m);
        d.amplitudes.push_back(5000);
        d.chorus.push_back(12.0f);
    }
    ChorusEngine e;
    e.h.dlg.ApplyChorusDump(d);
    e.h.SetPitch(-48);  // long grains and big steps
    e.h.SetFormant(24);
    const auto input = signals::Sine(210.0, 20000.0, 40000);
    const auto out = e.Run(input);
    for (short s : out) ASSERT_TRUE(s >= -32767 && s <= 32767);
    EXPECT_GE(e.state.out, 0);
    EXPECT_LE(e.state.out, 10000001);
    for (float v : e.state.ola) ASSERT_TRUE(std::isfinite(v));
    // The one grain the marks make lies beyond the output of this run: every sample is silent.
    int loudest = 0;
    for (short s : out) loudest = std::max(loudest, std::abs(static_cast<int>(s)));
    EXPECT_EQ(loudest, 0);
}

}  // namespace

// The phase-vocoder thread's round, stepped on a main dialog: where each block's output goes,
// its gain, mono and stereo, vocal cut and extract, Thru, Original and the output file.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/Signals.h"
#include "VocoderHarness.h"

namespace {

using signals::AmplitudeAt;
using signals::FloatSine;

constexpr int kDelay = 1792;

std::vector<float> Sum(const std::vector<float>& a, const std::vector<float>& b, float sign = 1.0f) {
    std::vector<float> s(a.size());
    for (size_t i = 0; i < a.size(); ++i) s[i] = a[i] + sign * b[i];
    return s;
}

bool AllZero(const std::vector<short>& x) {
    for (short v : x)
        if (v != 0) return false;
    return true;
}

// --- where the output goes ----------------------------------------------------------------------

TEST(PhaseVocoderStep, FirstBlockGoesToPlaybackSlotThreeAndEachNextOneSlotOn) {
    VocoderHarness h(2);
    ASSERT_TRUE(h.Begin());
    const std::vector<float> x = InterleavePair(FloatSine(600.0, 8000.0, 4 * 8192), FloatSine(900.0, 8000.0, 4 * 8192));
    h.Feed(x, 0);
    EXPECT_FALSE(AllZero(h.Slot(3)));
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(AllZero(h.Slot(k))) << "slot " << k;
    // A fresh unit's first hop (256 frames) is silent; the tone arrives 1792 frames late.
    const std::vector<float> first = ChannelOf(h.Slot(3), 0, 2);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(first[static_cast<size_t>(i)], 0.0f) << i;
    EXPECT_LT(signals::Rms(first.data(), 1024), 0.05 * signals::Rms(first.data() + 4096, 4096));
    h.Feed(x, 1);
    EXPECT_FALSE(AllZero(h.Slot(0)));
    EXPECT_TRUE(AllZero(h.Slot(1)));
}

TEST(PhaseVocoderStep, BlocksGoOneSlotOnAcrossTheLimitsOf32BitCounts) {
    // 2^31 counted samples is 6.8 hours of stereo input, 2^32 is 13.5 hours.
    for (const long long limit : {1LL << 31, 1LL << 32}) {
        SCOPED_TRACE(limit);
        VocoderHarness h(2);
        ASSERT_TRUE(h.Begin());
        h.dlg.m_nInputCount = limit - 2 * h.Samples();
        h.state.last = h.dlg.m_nInputCount;
        const std::vector<float> x = InterleavePair(FloatSine(600.0, 8000.0, 4 * 8192), FloatSine(900.0, 8000.0, 4 * 8192));
        for (int b = 0; b < 4; ++b) {
            const std::vector<short> out = h.Feed(x, b);
            // The count stands at limit + (b - 1)·S, a multiple of 4·S plus b - 1 blocks: the
            // output goes to slot (b - 1 - 2) AND 3, one on from the block before.
            const int slot = (b + 1) & 3;
            EXPECT_EQ(CPhaseVocoderRound::PlaybackSlot(h.dlg.m_nInputCount.load(), h.Samples()), slot) << b;
            EXPECT_EQ(h.dlg.m_nInputCount.load(), limit + (b - 1) * static_cast<long long>(h.Samples())) << b;
            if (b >= 1) {
                EXPECT_GT(signals::Rms(ChannelOf(out, 0, 2).data() + 4096, 4096), 1000.0) << b;
            }
        }
    }
}

TEST(PhaseVocoderStep, NothingNewMeansNoRound) {
    VocoderHarness h(2);
    ASSERT_TRUE(h.Begin());
    EXPECT_FALSE(h.dlg.PhaseVocoderStep(h.state));
    const std::vector<float> x = FloatSine(600.0, 8000.0, 16384);
    h.Feed(x, 0);
    const std::vector<short> before = h.Slot(3);
    EXPECT_FALSE(h.dlg.PhaseVocoderStep(h.state));
    EXPECT_EQ(h.Slot(3), before);
    EXPECT_EQ(h.dlg.m_staticProcTime.GetWindowText().rfind("ProcTime ", 0), 0u);
}

TEST(PhaseVocoderStep, OnlyTheNewestOfSeveralWaitingBlocksIsConverted) {
    VocoderHarness h(2);
    ASSERT_TRUE(h.Begin());
    const std::vector<float> x = InterleavePair(FloatSine(600.0, 8000.0, 3 * 8192), FloatSine(600.0, 8000.0, 3 * 8192));
    h.Store(x.data(), h.Samples());
    h.Store(x.data() + h.Samples(), h.Samples());
    EXPECT_TRUE(h.dlg.PhaseVocoderStep(h.state));
    EXPECT_FALSE(h.dlg.PhaseVocoderStep(h.state));
    EXPECT_TRUE(AllZero(h.Slot(3)));  // block 0 was never converted
    EXPECT_FALSE(AllZero(h.Slot(0)));
}

// --- gain, mono and stereo ----------------------------------------------------------------------

TEST(PhaseVocoderStep, RatioOneStereoComesOutAt0_98295TimesTheInputDelayed) {
    VocoderHarness h(2);
    ASSERT_TRUE(h.Begin());
    const int frames = 6 * 8192;
    const std::vector<float> l = FloatSine(1000.0, 10000.0, frames);
    const std::vector<float> r = FloatSine(700.0, 6000.0, frames);
    const std::vector<short> out = h.Run(InterleavePair(l, r));
    const std::vector<float> outL = ChannelOf(out, 0, 2);
    const std::vector<float> outR = ChannelOf(out, 1, 2);
    EXPECT_NEAR(AmplitudeAt(outL.data() + 8192, 32768, 1000.0), 0.98295 * 10000.0, 0.003 * 9829.5);
    EXPECT_NEAR(AmplitudeAt(outR.data() + 8192, 32768, 700.0), 0.98295 * 6000.0, 0.003 * 5897.7);
    double at = 0.0, off = 0.0;
    for (int i = 8192; i < frames; ++i) {
        at += std::fabs(outL[static_cast<size_t>(i)] - 0.98295 * std::trunc(l[static_cast<size_t>(i - kDelay)]));
        off += std::fabs(outL[static_cast<size_t>(i)] - 0.98295 * std::trunc(l[static_cast<size_t>(i - kDelay + 1)]));
    }
    EXPECT_LT(at, 0.1 * off);
}

TEST(PhaseVocoderStep, RatioOneMonoComesOutAt0_98295TimesTheInputDelayed) {
    VocoderHarness h(1);
    ASSERT_TRUE(h.Begin());
    const int n = 4 * 16384;
    const std::vector<float> x = FloatSine(1000.0, 10000.0, n);
    const std::vector<short> out = h.Run(x);
    const std::vector<float> y = ChannelOf(out, 0, 1);
    EXPECT_NEAR(AmplitudeAt(y.data() + 16384, 32768, 1000.0), 0.98295 * 10000.0, 0.003 * 9829.5);
    double at = 0.0;
    for (int i = 16384; i < n; ++i) at += std::fabs(y[static_cast<size_t>(i)] - 0.98295 * std::trunc(x[static_cast<size_t>(i - kDelay)]));
    EXPECT_LT(at / (n - 16384), 10.0);
}

TEST(PhaseVocoderStep, HalfRatioAppliesGain0_92673ToTheManagersOutput) {
    VocoderHarness h(2);
    h.SetPitch(-24);
    ASSERT_TRUE(h.Begin());
    const int perBlock = 8192;
    const int blocks = 4;
    const std::vector<float> l = FloatSine(800.0, 9000.0, blocks * perBlock);
    const std::vector<float> r = FloatSine(1300.0, 9000.0, blocks * perBlock);
    const std::vector<short> out = h.Run(InterleavePair(l, r));

    // The same blocks through a manager of its own, the gain applied here.
    CPitchScaleManager reference;
    ASSERT_EQ(reference.Init(0, 0), 1);
    reference.SetPitchRatio(0.5f);
    std::vector<float> inL(perBlock), inR(perBlock), refL(perBlock), refR(perBlock);
    const float lowEdge = static_cast<float>(h.dlg.m_nKeyBoundaryHz[7]);
    int worst = 0;
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < perBlock; ++i) {
            inL[static_cast<size_t>(i)] = std::trunc(l[static_cast<size_t>(b * perBlock + i)]);
            inR[static_cast<size_t>(i)] = std::trunc(r[static_cast<size_t>(b * perBlock + i)]);
        }
        int produced = 0;
        reference.Process(inL.data(), inR.data(), perBlock, refL.data(), refR.data(), &produced,
                          VocalParams{{0.0f, lowEdge, 16000.0f, 0.5f, 0.5f}}.value, b == 0 ? 1 : 0);
        for (int i = 0; i < perBlock; ++i) {
            const size_t at = 2 * static_cast<size_t>(b * perBlock + i);
            worst = std::max(worst, static_cast<int>(std::fabs(out[at] - std::trunc(refL[static_cast<size_t>(i)] * 0.92673))));
            worst = std::max(worst, static_cast<int>(std::fabs(out[at + 1] - std::trunc(refR[static_cast<size_t>(i)] * 0.92673))));
        }
    }
    EXPECT_LE(worst, 1);
}

TEST(PhaseVocoderStep, PitchTrackbarRatioTakesEffectAtTheNextRoundWithAReset) {
    VocoderHarness h(2);
    ASSERT_TRUE(h.Begin());
    const int frames = 8 * 8192;
    const std::vector<float> x = InterleavePair(FloatSine(500.0, 8000.0, frames), FloatSine(500.0, 8000.0, frames));
    for (int b = 0; b < 3; ++b) h.Feed(x, b);
    EXPECT_FALSE(h.state.round.LastRoundReset());
    h.SetPitch(24);  // one octave up
    std::vector<short> out;
    for (int b = 3; b < 8; ++b) {
        const std::vector<short> block = h.Feed(x, b);
        if (b == 3) {
            EXPECT_TRUE(h.state.round.LastRoundReset());
        }
        if (b >= 5) out.insert(out.end(), block.begin(), block.end());
    }
    const std::vector<float> y = ChannelOf(out, 0, 2);
    EXPECT_NEAR(signals::DominantHz(y.data(), 16384), 1000.0, 21.6);
}

// --- vocal cut and extract ------------------------------------------------------------------------

class VocalStepTest : public ::testing::Test {
protected:
    static constexpr int kFrames = 6 * 8192;
    // A centred voice at 1000 Hz, side content at 3000 Hz opposite in the two channels.
    std::vector<float> centre = FloatSine(1000.0, 5000.0, kFrames);
    std::vector<float> side = FloatSine(3000.0, 3000.0, kFrames);

    std::vector<short> RunMode(int mode, int minKey = 7) {
        VocoderHarness h(2);
        h.dlg.m_nVocalMode = mode;
        h.dlg.m_comboMinKey.SetCurSel(minKey);
        EXPECT_TRUE(h.Begin());
        return h.Run(InterleavePair(Sum(centre, side), Sum(centre, side, -1.0f)));
    }
};

TEST_F(VocalStepTest, CutRemovesTheCentredVoiceAndKeepsTheSides) {
    const std::vector<short> out = RunMode(1);
    const std::vector<float> l = ChannelOf(out, 0, 2);
    const std::vector<float> r = ChannelOf(out, 1, 2);
    EXPECT_LT(AmplitudeAt(l.data() + 16384, 32768, 1000.0), 20.0);
    EXPECT_NEAR(AmplitudeAt(l.data() + 16384, 32768, 3000.0), 0.98295 * 3000.0, 30.0);
    EXPECT_NEAR(AmplitudeAt(r.data() + 16384, 32768, 3000.0), 0.98295 * 3000.0, 30.0);
}

TEST_F(VocalStepTest, ExtractKeepsOnlyTheCentredVoice) {
    const std::vector<short> out = RunMode(2);
    const std::vector<float> l = ChannelOf(out, 0, 2);
    const std::vector<float> r = ChannelOf(out, 1, 2);
    EXPECT_NEAR(AmplitudeAt(l.data() + 16384, 32768, 1000.0), 0.98295 * 5000.0, 50.0);
    EXPECT_NEAR(AmplitudeAt(r.data() + 16384, 32768, 1000.0), 0.98295 * 5000.0, 50.0);
    EXPECT_LT(AmplitudeAt(l.data() + 16384, 32768, 3000.0), 20.0);
}

TEST_F(VocalStepTest, LowestKeyIsTheLowerEdgeOfTheBand) {
    // Key 45 (A_5) starts near 855 Hz: a centred voice at 500 Hz lies below the band and passes the cut.
    centre = FloatSine(500.0, 5000.0, kFrames);
    const std::vector<short> out = RunMode(1, 45);
    const std::vector<float> l = ChannelOf(out, 0, 2);
    EXPECT_NEAR(AmplitudeAt(l.data() + 16384, 32768, 500.0), 0.98295 * 5000.0, 50.0);
    const std::vector<short> lowKey = RunMode(1, 7);
    EXPECT_LT(AmplitudeAt(ChannelOf(lowKey, 0, 2).data() + 16384, 32768, 500.0), 20.0);
}

TEST(PhaseVocoderStep, ChangingTheVocalModeResetsTheNextRound) {
    VocoderHarness h(2);
    h.dlg.m_nVocalMode = 1;
    ASSERT_TRUE(h.Begin());
    const std::vector<float> x = InterleavePair(FloatSine(500.0, 8000.0, 4 * 8192), FloatSine(500.0, 8000.0, 4 * 8192));
    h.Feed(x, 0);
    EXPECT_TRUE(h.state.round.LastRoundReset());
    h.Feed(x, 1);
    EXPECT_FALSE(h.state.round.LastRoundReset());
    h.dlg.m_nVocalMode = 0;
    h.Feed(x, 2);
    EXPECT_TRUE(h.state.round.LastRoundReset());
    h.Feed(x, 3);
    EXPECT_FALSE(h.state.round.LastRoundReset());
}

// --- Thru, Original and the output file ---------------------------------------------------------

TEST(PhaseVocoderStep, ThruCopiesTheNewestBlockTwoBehindWithoutGainAndSavesNothing) {
    VocoderHarness h(2);
    const std::string path = h.folder.File("thru.wav");
    h.dlg.m_saveFile.SetFormat(2);
    ASSERT_EQ(h.dlg.m_saveFile.OpenWrite(path), 0u);
    h.dlg.m_chkSave.SetCheck(BST_CHECKED);
    h.dlg.m_chkThru.SetCheck(BST_CHECKED);
    h.SetPitch(12);
    ASSERT_TRUE(h.Begin());
    const std::vector<float> x = InterleavePair(FloatSine(440.0, 12000.0, 2 * 8192), FloatSine(660.0, -7000.0, 2 * 8192));
    const std::vector<short> out = h.Feed(x, 0);
    EXPECT_EQ(h.Slot(3), out);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], static_cast<short>(x[i])) << i;
    h.dlg.m_saveFile.Close();
    CWaveFile check;
    ASSERT_EQ(check.OpenRead(path), 0u);
    EXPECT_EQ(check.m_dwDataSize, 0u);
    check.Close();
}

class OutputFileStepTest : public ::testing::Test {
protected:
    VocoderHarness h{2};
    std::string path = h.folder.File("out.wav");

    void SetUp() override {
        h.dlg.m_saveFile.SetFormat(2);
        ASSERT_EQ(h.dlg.m_saveFile.OpenWrite(path), 0u);
        h.dlg.m_chkSave.SetCheck(BST_CHECKED);
        ASSERT_TRUE(h.Begin());
    }

    std::vector<short> Saved() {
        EXPECT_EQ(h.dlg.m_saveFile.Close(), 0u);
        CWaveFile file;
        EXPECT_EQ(file.OpenRead(path), 0u);
        std::vector<short> s(file.m_dwDataSize / 2);
        if (!s.empty()) {
            EXPECT_EQ(file.Read(s.data(), static_cast<LONG>(s.size() * 2)), static_cast<LONG>(s.size() * 2));
        }
        file.Close();
        return s;
    }
};

TEST_F(OutputFileStepTest, EachFinishedBufferIsAppendedToTheOutputFile) {
    const std::vector<float> x = InterleavePair(FloatSine(440.0, 9000.0, 3 * 8192), FloatSine(550.0, 9000.0, 3 * 8192));
    const std::vector<short> out = h.Run(x);
    EXPECT_EQ(Saved(), out);
}

TEST_F(OutputFileStepTest, OriginalPutsTheInputInTheBufferAndTheFile) {
    h.dlg.m_chkOriginal.SetCheck(BST_CHECKED);
    h.SetPitch(-12);
    const std::vector<float> x = InterleavePair(FloatSine(440.0, 9000.0, 2 * 8192), FloatSine(550.0, -9000.0, 2 * 8192));
    const std::vector<short> out = h.Run(x);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], static_cast<short>(x[i])) << i;
    EXPECT_EQ(Saved(), out);
}

TEST_F(OutputFileStepTest, FileKeepsGrowingPastTwentyMinutesOfInput) {
    const std::vector<float> x = InterleavePair(FloatSine(440.0, 9000.0, 3 * 8192), FloatSine(550.0, 9000.0, 3 * 8192));
    // 52,428,800 input samples once ended the saved file while the run went on.
    const int limit = 52428800;
    h.dlg.m_nInputCount = limit - 2 * h.Samples();
    h.state.last = h.dlg.m_nInputCount;
    h.Feed(x, 0);
    h.Feed(x, 1);
    h.Feed(x, 2);
    EXPECT_EQ(Saved().size(), 3u * static_cast<size_t>(h.Samples()));
}

// --- the run's start --------------------------------------------------------------------------------

TEST(PhaseVocoderStep, BeginRefusesAChannelCountOtherThanOneOrTwo) {
    VocoderHarness h(3);
    EXPECT_FALSE(h.Begin());
    h.dlg.m_pitchScale.m_nChannels = 0;
    EXPECT_FALSE(h.Begin());
}

TEST(PhaseVocoderStep, SmallVoiceDelayUsesHalfBlocksInTheSameSlots) {
    VocoderHarness h(2, 1);
    ASSERT_EQ(h.Samples(), 8192);
    ASSERT_TRUE(h.Begin());
    const std::vector<float> x = InterleavePair(FloatSine(1000.0, 8000.0, 8 * 4096), FloatSine(1000.0, 8000.0, 8 * 4096));
    const std::vector<short> out = h.Run(x);
    const std::vector<float> l = ChannelOf(out, 0, 2);
    EXPECT_NEAR(AmplitudeAt(l.data() + 8192, 16384, 1000.0), 0.98295 * 8000.0, 0.005 * 7863.6);
    EXPECT_FALSE(AllZero(h.Slot(3)));
}

}  // namespace

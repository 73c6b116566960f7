#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "support/EngineHarness.h"
#include "support/PitchTrack.h"
#include "support/Signals.h"

namespace {

std::vector<short> ReadSamples(const std::string& path) {
    CWaveFile file;
    std::vector<short> samples;
    if (file.OpenRead(path) != 0) return samples;
    std::vector<short> chunk(8192);
    for (LONG got; (got = file.Read(chunk.data(), static_cast<LONG>(chunk.size() * 2))) > 0;)
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + got / 2);
    file.Close();
    return samples;
}

TEST(SaveOutputTest, SavedFileHoldsExactlyTheConvertedOutput) {
    EngineHarness h;
    h.SetPitch(-7);
    const std::string path = h.folder.File("save_0000.wav");
    h.dlg.m_saveFile.SetFormat(1);
    ASSERT_EQ(h.dlg.m_saveFile.OpenWrite(path), 0u);
    h.dlg.m_chkSave.SetCheck(BST_CHECKED);
    const auto in = signals::Harmonic(180.0, 10, 10000.0, 6 * h.Half(), [](double hz) { return 300.0 / hz; });
    const auto out = h.Run(in);
    ASSERT_EQ(h.dlg.m_saveFile.Close(), 0u);
    const auto saved = ReadSamples(path);
    // Everything the synthesis produced, in order: output sample x belongs to input sample x.
    ASSERT_EQ(saved.size(), static_cast<size_t>(h.synth.out));
    for (size_t x = 0; x < std::min(saved.size(), out.size()); ++x) ASSERT_EQ(saved[x], out[x]) << x;
}

TEST(SaveOutputTest, AfterThruTheVoiceGoesOnWithoutReplayingOrSavingTheThruStretch) {
    EngineHarness h;
    h.SetPitch(12);
    const std::string path = h.folder.File("save_0001.wav");
    h.dlg.m_saveFile.SetFormat(1);
    ASSERT_EQ(h.dlg.m_saveFile.OpenWrite(path), 0u);
    h.dlg.m_chkSave.SetCheck(BST_CHECKED);
    const int half = h.Half();
    const auto tone = signals::Harmonic(44100.0 / 240.0, 10, 10000.0, 2 * half, [](double hz) { return 300.0 / hz; });
    h.Begin();
    std::int64_t largest = 0;
    std::int64_t outBeforeThru = 0;
    for (int b = 0; b < 32; ++b) {
        const bool thru = b >= 4 && b < 24;
        h.dlg.m_chkThru.SetCheck(thru ? BST_CHECKED : BST_UNCHECKED);
        // Thru played the input up to the end of block 23: the voice goes on from there.
        const std::int64_t before = b == 24 ? 24 * half : h.synth.out;
        h.FeedBlock(tone.data() + (b & 1) * half, half);
        if (b == 3) outBeforeThru = h.synth.out;
        if (!thru) largest = std::max(largest, h.synth.out - before);
    }
    ASSERT_EQ(h.dlg.m_saveFile.Close(), 0u);
    // Every cycle after Thru makes about one block; the stretch Thru played is neither made
    // again nor saved.
    EXPECT_LE(largest, 2 * half);
    const auto saved = ReadSamples(path);
    EXPECT_LE(static_cast<std::int64_t>(saved.size()), outBeforeThru + 9 * half);
    EXPECT_GE(static_cast<std::int64_t>(saved.size()), outBeforeThru + 6 * half);
    // What plays after the Thru stretch is the converted voice again, half an octave up.
    const auto played = h.OutputBlock(29);
    const double f0 = pitchtrack::MedianF0(played);
    EXPECT_LE(std::fabs(pitchtrack::Cents(f0, 44100.0 / 240.0 * std::sqrt(2.0))), 10.0) << f0;
}

TEST(SaveOutputTest, SaveBoxWithoutAnOpenFileWritesNothing) {
    EngineHarness h;
    h.dlg.m_chkSave.SetCheck(BST_CHECKED);
    const auto in = signals::Sine(200.0, 5000.0, 3 * h.Half());
    h.Run(in);
    EXPECT_FALSE(h.dlg.m_saveFile.IsOpen());
}

TEST(SaveOutputTest, OutputFileKeepsEverythingPastTwentyMinutesOfInput) {
    // 52,428,800 input samples (about 20 minutes) once ended the saved file while the run went on.
    EngineHarness h(1);
    const std::string path = h.folder.File("long.wav");
    h.dlg.m_saveFile.SetFormat(1);
    ASSERT_EQ(h.dlg.m_saveFile.OpenWrite(path), 0u);
    h.dlg.m_chkSave.SetCheck(BST_CHECKED);
    h.Begin();
    const std::vector<short> silence(static_cast<size_t>(h.Half()), 0);
    const int blocks = 52428800 / h.Half() + 20;
    for (int b = 0; b < blocks; ++b) h.FeedBlock(silence.data(), h.Half());
    ASSERT_EQ(h.dlg.m_saveFile.Close(), 0u);
    CWaveFile file;
    ASSERT_EQ(file.OpenRead(path), 0u);
    EXPECT_GT(h.synth.out, 52428800 + 10 * h.Half());
    EXPECT_EQ(file.m_dwDataSize, static_cast<DWORD>(h.synth.out) * 2u);
    file.Close();
}

}  // namespace

#include <gtest/gtest.h>

#include <vector>

#include "support/EngineHarness.h"
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

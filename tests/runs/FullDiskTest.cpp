// A saved LIVE run on a disk that fills up: the user is told at the first failed write, once,
// while the run goes on; the saved file keeps what it got, readable, and STOP adds no message.
#include <cmath>

#include "runs/RunHarness.h"
#include "support/FileSizeLimit.h"

namespace {

using runtest::ScopedEnv;

constexpr const char* kWavWriteFailed = "wav17: ディスクに書き込めないため、出力音声ファイルの保存を中止しました。";

using FullDisk = runtest::VoiceRunTest;

TEST_F(FullDisk, FirstFailedWriteOfASavedLiveRunIsToldAtOnceAndTheRunGoesOn) {
    // What the playback device plays is not kept: only the saved file meets the limit.
    ScopedEnv played("SORVEL_VIRTUAL_OUT", "/dev/null");
    constexpr rlim_t kRoom = 200000;  // about 2.3 s of mono samples
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    dlg->m_fPitchRatio = std::pow(2.0f, 3.0f / 24.0f);
    std::vector<std::string> boxes;
    int toldAt = 0;
    {
        FileSizeLimit limit(kRoom);
        dlg->OnBnClickedLive();
        ASSERT_EQ(dlg->m_nRunState.load(), 1);
        ASSERT_TRUE(runtest::PumpUntil(
            [&] {
                for (const std::string& text : runtest::BoxTexts()) boxes.push_back(text);
                return !boxes.empty() || dlg->m_nInputCount.load() > 44100 * 30;
            },
            120.0));
        // Told while the run goes on, soon after the file reached the limit.
        EXPECT_EQ(dlg->m_nRunState.load(), 1);
        toldAt = dlg->m_nInputCount.load();
        const int later = toldAt + 44100;
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() >= later; }));
        EXPECT_EQ(dlg->m_nRunState.load(), 1);
        dlg->OnBnClickedStop();
    }
    for (const std::string& text : runtest::BoxTexts()) boxes.push_back(text);
    EXPECT_EQ(boxes, std::vector<std::string>{kWavWriteFailed});
    EXPECT_LT(toldAt, static_cast<int>(kRoom) / 2 + 4 * dlg->m_nBlockBytes) << "told late";
    EXPECT_EQ(runtest::CountLines(Trace(), kWavWriteFailed), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "wav08: mmioClose() failed."), 0);

    // The file holds whole samples up to the limit under true sizes.
    const std::string saved = folder.File("save_0000.wav");
    const auto audio = runtest::ReadWav(saved);
    EXPECT_EQ(audio.format.nChannels, 1);
    EXPECT_GT(audio.samples.size() * 2 + 44, static_cast<std::size_t>(kRoom) - 2 * dlg->m_nBlockBytes);
    EXPECT_LE(audio.samples.size() * 2 + 44, static_cast<std::size_t>(kRoom));
    EXPECT_EQ(dlg->m_nSaveCounter, 1);
}

}  // namespace

// A close request during a batch: the close operation stops the batch as 中止 does and waits for
// its thread before STOP and the rest of the close touch the run state, the files and the
// buffers the batch owns.
#include <algorithm>
#include <filesystem>
#include <random>
#include <thread>

#include "batch/BatchHarness.h"

namespace {

using batchtest::BatchHarness;

// Whole WAV files of the output folder, named without their folder, with their sample counts.
std::vector<std::pair<std::string, std::size_t>> Outputs(const TempFolder& out) {
    std::vector<std::pair<std::string, std::size_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(out.Path())) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".wav") continue;
        // Strictly read: every size in the file true to its length.
        files.emplace_back(name, runtest::ReadWav(entry.path().string(), true).samples.size());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(BatchClose, ACloseRequestAtAnyMomentOfABatchWaitsForItAndLeavesEveryOutputWhole) {
    const std::string voice = runtest::TestDataFile("voice.wav");
    const std::string stereo = runtest::TestDataFile("voice-stereo.wav");
    if (!runtest::Exists(voice) || !runtest::Exists(stereo)) GTEST_SKIP() << "no recordings in " << voice;
    std::mt19937 random(20261208u);
    std::uniform_int_distribution<int> moment(0, 1500);
    for (int round = 0; round < 10; ++round) {
        const int ms = round % 3 == 2 ? moment(random) % 20 : moment(random);
        SCOPED_TRACE("round " + std::to_string(round) + ": close request after " + std::to_string(ms) + " ms");
        BatchHarness h;
        h.dlg.m_nBatchOverSampling = 1;
        h.Start({voice, stereo});
        // The moment is drawn at random and counted from the batch's start, from the start of
        // the first file's conversion, or (a few milliseconds at most) from its last steps,
        // where the output is written; what is checked holds whenever the request comes.
        const auto progressShown = [&](const char* text) {
            const auto texts = h.TextsOf(&h.dlg.m_pBatchDlg->m_staticProgress);
            return std::find(texts.begin(), texts.end(), text) != texts.end();
        };
        if (round % 3 == 1) {
            ASSERT_TRUE(runtest::PumpUntil([&] { return h.dlg.m_nRunState.load() == 2 || !h.dlg.IsBatchRunning(); }));
        } else if (round % 3 == 2) {
            ASSERT_TRUE(runtest::PumpUntil([&] { return progressShown(" 90 %") || !h.dlg.IsBatchRunning(); }));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        // As a termination signal sends it.
        platform::ui::PostToQueue(&h.dlg, WM_CLOSE, 0, 0);
        ASSERT_TRUE(runtest::PumpUntil([&] { return h.dlg.IsEnded(); }, 600.0));
        EXPECT_FALSE(h.dlg.IsBatchRunning());
        EXPECT_EQ(h.dlg.m_nRunState.load(), 0);

        // A file converted whole has its samples; the one the request interrupted keeps its
        // output WAV with none, as after 中止; the batch went no further.
        const auto outputs = Outputs(h.out);
        ASSERT_LE(outputs.size(), 2u);
        if (outputs.size() == 2) {
            EXPECT_EQ(outputs[0].first, "voice-stereo_01.wav");
            EXPECT_EQ(outputs[1].first, "voice_01.wav");
            EXPECT_GT(outputs[1].second, 0u);
        } else if (outputs.size() == 1) {
            EXPECT_EQ(outputs[0].first, "voice_01.wav");
        }
        EXPECT_TRUE(runtest::BoxTexts().empty());
    }
}

}  // namespace

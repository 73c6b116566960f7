// LIVE runs end to end on the virtual file devices: the voice file is "spoken" into the
// recording device, the engine threads convert it, and the playback device records what it
// plays.
#include <sstream>
#include <cmath>
#include <cstdio>

#include "runs/RunHarness.h"

namespace {

using runtest::ScopedEnv;

using LiveRun = runtest::VoiceRunTest;

TEST_F(LiveRun, PitchUpTwelvePlaysTheVoiceOneBlockLaterWithItsFundamentalRaised) {
    dlg->m_fPitchRatio = std::pow(2.0f, 12.0f / 24.0f);
    LiveFor(6.0);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(dlg->m_nRunState.load(), 0);

    const auto input = runtest::ReadWav(voice).samples;
    const auto output = runtest::ReadWav(played).samples;
    const long b = dlg->m_nBlockBytes;  // B samples: the ring's latency
    const int arrived = dlg->m_nInputCount.load();
    ASSERT_GT(static_cast<long>(output.size()), 2 * b);

    // The four silent start buffers come first.
    for (long i = 0; i < b; ++i) ASSERT_EQ(output[static_cast<std::size_t>(i)], 0) << "sample " << i;

    const std::vector<short> heard(input.begin(), input.begin() + std::min<long>(arrived, static_cast<long>(input.size())));
    const long lag = runtest::EnvelopeLag(heard, output, b - 8192, b + 8192);
    EXPECT_NEAR(lag, b, 512);

    int frames = 0;
    const double ratio = runtest::MedianPitchRatio(heard, output, static_cast<std::size_t>(b), 22050,
                                                   std::min<std::size_t>(heard.size(), output.size() - static_cast<std::size_t>(b)), &frames);
    EXPECT_GT(frames, 20);
    EXPECT_NEAR(ratio, std::sqrt(2.0), std::sqrt(2.0) * 0.01);
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(LiveRun, SavedWavHoldsThePlayedAudioAndTheCountersMove) {
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    dlg->m_chkDump.SetCheck(BST_CHECKED);
    dlg->m_nSaveCounter = 41;
    dlg->m_nDumpCounter = 7;
    dlg->m_fPitchRatio = std::pow(2.0f, 5.0f / 24.0f);
    LiveFor(4.0);
    ASSERT_FALSE(HasFatalFailure());

    EXPECT_EQ(dlg->m_nSaveCounter, 42);
    EXPECT_EQ(dlg->m_nDumpCounter, 8);
    const std::string saved = folder.File("save_0041.wav");
    ASSERT_TRUE(runtest::Exists(saved));
    EXPECT_TRUE(runtest::Exists(folder.File("dump_0007.txt")));

    const auto save = runtest::ReadWav(saved);
    EXPECT_EQ(save.format.nChannels, 1);
    EXPECT_EQ(save.format.nSamplesPerSec, 44100u);
    const auto output = runtest::ReadWav(played).samples;
    const std::size_t b = static_cast<std::size_t>(dlg->m_nBlockBytes);
    ASSERT_GT(save.samples.size(), 44100u);
    // The saved samples are the converted samples as they were played, one block into the stream.
    const std::size_t n = std::min(save.samples.size(), output.size() - b);
    ASSERT_GT(n, 44100u);
    std::size_t same = 0;
    for (std::size_t i = 0; i < n; ++i) same += save.samples[i] == output[b + i] ? 1 : 0;
    EXPECT_EQ(same, n);
}

TEST_F(LiveRun, ThruClickComesOutExactlyTheRingsDelayLater) {
    // A click 1.3 s into silence; Thru passes the input through unconverted.
    std::vector<short> click(44100 * 3, 0);
    const std::size_t at = 57331;
    for (std::size_t i = 0; i < 40; ++i) click[at + i] = 20000;
    runtest::WriteWav(folder.File("click.wav"), click);
    ScopedEnv clickIn("SORVEL_VIRTUAL_IN", folder.File("click.wav"));
    dlg->m_chkThru.SetCheck(BST_CHECKED);
    LiveFor(2.5);
    ASSERT_FALSE(HasFatalFailure());
    const auto output = runtest::ReadWav(played).samples;
    std::size_t first = 0;
    while (first < output.size() && output[first] == 0) ++first;
    ASSERT_LT(first, output.size());
    EXPECT_EQ(first, at + static_cast<std::size_t>(dlg->m_nBlockBytes));
    EXPECT_EQ(output[first], 20000);
}

TEST_F(LiveRun, DumpOfALiveRunStartsWithTheTwelveHeaderLines) {
    dlg->m_chkDump.SetCheck(BST_CHECKED);
    LiveFor(1.0);
    ASSERT_FALSE(HasFatalFailure());
    const std::string text = runtest::ReadFile(folder.File("dump_0000.txt"));
    const std::string header =
        "sorvel\t2.87\r\n"
        "Input\tMIC\r\n"
        "OverSampling\t1\r\n"
        "A4\t440\r\n"
        "MinKey\tG_2\t7\r\n"
        "MaxKey\tE_5\t40\r\n"
        "CorrThresh\t0.5\r\n"
        "PitchShiftEnable\t1\r\n"
        "MixingLevel_Original\t1.0\r\n"
        "MixingLevel_Chorus\t0.5\r\n"
        "Samples\tTime     \tMaxAmp\tHz\tNote\tChorus\r\n"
        "      0\t 0:00.000\t     0\t  0\t0\t127\r\n";
    EXPECT_EQ(text.substr(0, header.size()), header);
    EXPECT_FALSE(dlg->m_pDumpFile != nullptr);
}

TEST_F(LiveRun, DumpOfALiveRunHasOneRowPerPeriodWithTheVoicesPitch) {
    dlg->m_chkDump.SetCheck(BST_CHECKED);
    LiveFor(2.0);
    ASSERT_FALSE(HasFatalFailure());
    std::istringstream text(runtest::ReadFile(folder.File("dump_0000.txt")));
    std::vector<std::string> rows;
    for (std::string line; std::getline(text, line);) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r');
        rows.push_back(line.substr(0, line.size() - 1));
    }
    ASSERT_GT(rows.size(), 12u + 100u);  // header and row 0, then the analysis thread's rows
    long previous = -1;
    int voiced = 0;
    for (std::size_t i = 11; i < rows.size(); ++i) {
        std::vector<std::string> fields;
        std::istringstream row(rows[i]);
        for (std::string f; std::getline(row, f, '\t');) fields.push_back(f);
        ASSERT_EQ(fields.size(), 6u) << rows[i];
        const long samples = std::stol(fields[0]);
        EXPECT_GT(samples, previous) << rows[i];
        previous = samples;
        const int hz = std::stoi(fields[3]);
        if (hz > 0) {
            ++voiced;
            // The search runs over the key range G_2 .. E_5.
            EXPECT_GE(hz, 95) << rows[i];
            EXPECT_LE(hz, 700) << rows[i];
        }
    }
    EXPECT_GT(voiced, 50);
}

TEST_F(LiveRun, TraceShowsEveryStepOfLiveAndStopInOrder) {
    LiveFor(0.5);
    ASSERT_FALSE(HasFatalFailure());
    std::vector<std::string> steps;
    for (const std::string& line : runtest::TraceLines(folder.File("debug.txt")))
        if (line.rfind("1-", 0) == 0 || line.rfind("4-", 0) == 0) steps.push_back(line);
    const std::vector<std::string> want = {"1-LIVE button  TD-PSOLA", "1-01", "1-02", "1-03", "1-04", "1-05", "1-06",
                                           "1-07", "1-08", "1-09", "1-11", "1-END", "4-STOP button", "4-01", "4-02",
                                           "4-03", "4-04", "4-05", "4-06", "4-07", "4-08", "4-END"};
    EXPECT_EQ(steps, want);
}

TEST_F(LiveRun, StopJoinsTheEngineThreadsAndLeavesNoDeviceOpen) {
    LiveFor(0.5);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(dlg->m_hWaveIn, nullptr);
    EXPECT_EQ(dlg->m_hWaveOut, nullptr);
    EXPECT_FALSE(dlg->m_bPsolaRun.load());
    EXPECT_EQ(dlg->m_nInQueued, 0);
    EXPECT_EQ(dlg->m_nOutQueued, 0);
    EXPECT_EQ(dlg->m_btnPlay.GetBitmap(), &dlg->m_bmpPlay[1]);
    // A second STOP does nothing.
    dlg->OnBnClickedStop();
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
}

TEST_F(LiveRun, PlayDuringOrAfterALiveRunOnlyWritesItsTwoLines) {
    dlg->OnBnClickedLive();
    EXPECT_EQ(dlg->m_btnPlay.GetBitmap(), &dlg->m_bmpPlay[3]);
    dlg->OnBnClickedPlay();
    EXPECT_EQ(dlg->m_btnPlay.GetBitmap(), &dlg->m_bmpPlay[3]);
    EXPECT_EQ(dlg->m_nRunState.load(), 1);
    dlg->OnBnClickedStop();
    dlg->OnBnClickedPlay();
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_EQ(dlg->m_btnPlay.GetBitmap(), &dlg->m_bmpPlay[1]);
    EXPECT_EQ(runtest::CountLines(folder.File("debug.txt"), "3-PLAY button  TD-PSOLA"), 2);
    EXPECT_EQ(runtest::CountLines(folder.File("debug.txt"), "3-01"), 2);
    EXPECT_EQ(runtest::CountLines(folder.File("debug.txt"), "3-END"), 0);
    EXPECT_TRUE(platform::ui::TakeHeadlessFileRequests().empty());
}

TEST_F(LiveRun, LiveDuringARunWritesItsLineAndChangesNothing) {
    dlg->OnBnClickedLive();
    const HWAVEIN device = dlg->m_hWaveIn;
    dlg->OnBnClickedLive();
    EXPECT_EQ(dlg->m_hWaveIn, device);
    EXPECT_EQ(dlg->m_nRunState.load(), 1);
    dlg->OnBnClickedStop();
    int lives = 0;
    for (const std::string& line : runtest::TraceLines(folder.File("debug.txt"))) lives += line == "1-LIVE button  TD-PSOLA";
    EXPECT_EQ(lives, 2);
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

// The address sanitizer build runs a thousand cycles: a start or stop that touches memory it
// should not shows there.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kLiveStopCycles = 1000;
#else
constexpr int kLiveStopCycles = 200;
#endif

TEST_F(LiveRun, ManyLiveStopCyclesLeaveEverySavedFileComplete) {
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    ::setenv("SORVEL_VIRTUAL_SPEED", runtest::DeviceSpeed(50).c_str(), 1);
    for (int cycle = 0; cycle < kLiveStopCycles; ++cycle) {
        dlg->OnBnClickedLive();
        ASSERT_EQ(dlg->m_nRunState.load(), 1) << "cycle " << cycle;
        const int want = (cycle % runtest::kCycleBlocks) * dlg->m_nBlockBytes / 2;
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() >= want; })) << "cycle " << cycle;
        dlg->OnBnClickedStop();
        ASSERT_EQ(dlg->m_nRunState.load(), 0);
    }
    EXPECT_EQ(dlg->m_nSaveCounter, kLiveStopCycles);
    for (int i = 0; i < kLiveStopCycles; i += 37) {
        char name[32];
        std::snprintf(name, sizeof name, "save_%04d.wav", i);
        // A cycle stopped before its first block leaves an empty (but valid) file.
        const auto audio = runtest::ReadWav(folder.File(name), true);
        EXPECT_EQ(audio.format.nChannels, 1) << name;
    }
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

}  // namespace

// What a saved run leaves when the process dies: a child process runs a saved LIVE run on the
// virtual devices and is killed (SIGKILL) at random moments; every WAV it leaves must read
// strictly with all blocks but the one being written, and its pitch dump must hold whole rows.
// And a run longer than twenty minutes keeps all of it in its saved file.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runs/RunHarness.h"
#include "support/RiffBytes.h"

namespace {

// The stated data size of a WAV file being written (0 while it is shorter than its header).
std::uint32_t StatedDataSize(const std::string& path) {
    const std::string head = riffbytes::ReadHead(path, 44);
    return head.size() == 44 ? riffbytes::ReadLe32(head, 40) : 0u;
}

// The child: a saved (and, in TD-PSOLA, dumped) LIVE run that goes on until it is killed.
[[noreturn]] void RunUntilKilled(const std::string& folder, const std::string& voice, int method) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::setenv("SORVEL_VIRTUAL_IN", voice.c_str(), 1);
    ::setenv("SORVEL_VIRTUAL_OUT", (folder + "played.wav").c_str(), 1);
    ::setenv("SORVEL_VIRTUAL_SPEED", runtest::DeviceSpeed(8).c_str(), 1);
    auto* dlg = new runtest::RunDialog(folder);
    runtest::SetUpLikeStartUp(*dlg, folder);
    dlg->m_nMethod = method;
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    dlg->m_chkDump.SetCheck(BST_CHECKED);
    dlg->OnBnClickedLive();
    runtest::PumpUntil([] { return false; }, 120.0);
    ::_exit(3);
}

TEST(CrashSafety, SavedLiveRunKilledAtRandomMomentsLeavesPlayableFilesAndWholeDumpRows) {
    const std::string voice = runtest::TestDataFile("voice.wav");
    if (!runtest::Exists(voice)) GTEST_SKIP() << "no " << voice;
    // The kill moments come from a seed that is printed; SORVEL_CRASH_SEED replays a failed run.
    const char* replay = std::getenv("SORVEL_CRASH_SEED");
    const unsigned seed = replay != nullptr && *replay != '\0' ? static_cast<unsigned>(std::stoul(replay)) : std::random_device{}();
    std::printf("crash-safety seed %u (replay with SORVEL_CRASH_SEED=%u)\n", seed, seed);
    std::fflush(stdout);
    RecordProperty("seed", std::to_string(seed));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> delayMs(0, 1500);
    SCOPED_TRACE("seed " + std::to_string(seed));

    for (int kill = 0; kill < 20; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        TempFolder folder;
        const int method = kill % 3 == 2 ? 1 : 0;  // every third run on the phase vocoder
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) RunUntilKilled(folder.Path(), voice, method);

        const std::string wav = folder.File("save_0000.wav");
        const bool writing = runtest::PumpUntil([&] { return StatedDataSize(wav) > 0; }, 30.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(writing) << "the child never saved a block";
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself";

        // Sizes true to the file; at most the block being written (one device block) lies
        // beyond them.
        strictwav::Options options;
        options.allowedTail = 32768;  // B bytes at the standard voice delay
        strictwav::Audio audio;
        std::string why;
        ASSERT_TRUE(strictwav::Read(wav, &audio, &why, options)) << why;
        EXPECT_EQ(audio.format.nChannels, method + 1);
        EXPECT_GT(audio.samples.size(), 0u);

        if (method == 0) {
            const std::string dump = runtest::ReadFile(folder.File("dump_0000.txt"));
            ASSERT_GE(dump.size(), 2u);
            ASSERT_EQ(dump.substr(dump.size() - 2), "\r\n") << "the dump ends inside a row";
            std::istringstream lines(dump);
            int n = 0;
            for (std::string line; std::getline(lines, line); ++n) {
                ASSERT_FALSE(line.empty());
                ASSERT_EQ(line.back(), '\r') << "line " << n;
                if (n < 11) continue;  // the header
                const auto tabs = std::count(line.begin(), line.end(), '\t');
                ASSERT_TRUE(tabs == 5 || (tabs == 1 && line.find("\terror") != std::string::npos)) << line;
            }
            EXPECT_GE(n, 12);
        }
    }
}

class LongRecording : public runtest::VirtualRunTest {};

TEST_F(LongRecording, MoreThanTwentyMinutesOfLiveInputAreAllInTheSavedFile) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the devices run in real time under the thread sanitizer";
#endif
    const std::string voice = runtest::TestDataFile("voice.wav");
    if (!runtest::Exists(voice)) GTEST_SKIP() << "no " << voice;
    // The engine must keep up with the devices, or blocks would be lost to the ring rather than
    // to the file; the address sanitizer slows it about threefold.
#if defined(__SANITIZE_ADDRESS__)
    StartDialog(voice, 35);
#else
    StartDialog(voice, 100);
#endif
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    dlg->OnBnClickedLive();
    ASSERT_EQ(dlg->m_nRunState.load(), 1);
    // 21 minutes: past the 52,428,800 samples at which saving once stopped.
    const int want = 21 * 60 * 44100;
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() >= want; }, 300.0));
    dlg->OnBnClickedStop();
    const int arrived = dlg->m_nInputCount.load();
    const auto saved = runtest::ReadWav(folder.File("save_0000.wav"));
    // The engine converts every block but the newest two before STOP ends it.
    EXPECT_GE(static_cast<long>(saved.samples.size()), static_cast<long>(arrived) - 2L * dlg->m_nBlockBytes);
    EXPECT_LE(static_cast<long>(saved.samples.size()), static_cast<long>(arrived));
    // The voice at the start is there, converted, not silence.
    int peak = 0;
    for (std::size_t i = 0; i < 44100u * 5; ++i) peak = std::max(peak, std::abs(static_cast<int>(saved.samples[i])));
    EXPECT_GT(peak, 1000);
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

}  // namespace

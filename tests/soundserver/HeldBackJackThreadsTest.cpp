// A LIVE run against the script's sound server in a process whose libjack threads are held back
// 1.5 s (support/HeldBackJack.h), as on a heavily loaded machine: the device tables, which open
// JACK clients though no JACK server runs, must be built, the run must convert what the recording
// device delivers, and nothing may crash. The "heldjack" phase of scripts/soundserver-test.sh
// starts this test program again with the library preloaded, in the phase "heldjackchild",
// while paplay feeds the voice into the recording device. Without the script both are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/stat.h>

#include "runs/RunHarness.h"
#include "support/HeldBackJack.h"

namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

// The folder the child runs in: the script's output folder's "heldjack/".
std::string ChildFolder() { return Env("SORVEL_SOUNDSERVER_DIR") + "/heldjack/"; }

TEST(SoundServer, LiveRunGoesOnWithLibjackThreadsHeldBack) {
    if (Env("SORVEL_SOUNDSERVER") != "heldjack")
        GTEST_SKIP() << "runs only inside scripts/soundserver-test.sh (SORVEL_SOUNDSERVER=heldjack is not set)";
    if (!heldjack::LibjackInstalled()) GTEST_SKIP() << "libjack is not installed here";
    const std::string folder = ChildFolder();
    fs::remove_all(folder);
    ASSERT_TRUE(fs::create_directories(folder));
    const std::string log = folder + "held.txt";
    const pid_t feeder = heldjack::Spawn("/bin/sh", {"-c", "exec paplay --device=sorvel_voice \"$0\"", Env("SORVEL_SOUNDSERVER_VOICE")},
                                         heldjack::Environment({}), "/dev/null", folder + "paplay.txt");
    ASSERT_GT(feeder, 0);
    const pid_t child = heldjack::Spawn("/proc/self/exe", {"--gtest_filter=SoundServer.HeldBackJackLiveRunInThisProcess"},
                                        heldjack::HeldEnvironment(log, {"SORVEL_SOUNDSERVER=heldjackchild"}), folder + "out.txt",
                                        folder + "err.txt");
    int status = 0;
    const bool ended = child > 0 && heldjack::Await(child, 180.0, &status);
    ::kill(feeder, SIGTERM);
    ::waitpid(feeder, nullptr, 0);
    ASSERT_GT(child, 0);
    ASSERT_TRUE(ended) << "the child did not end\n" << heldjack::ReadText(folder + "out.txt");
    const std::string out = heldjack::ReadText(folder + "out.txt");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << heldjack::Describe(status) << "\n" << out << heldjack::ReadText(folder + "err.txt");
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
    const std::size_t said = out.find("held-back LIVE run:");
    if (said != std::string::npos) std::printf("%s", out.substr(said, out.find('\n', said) + 1 - said).c_str());
    EXPECT_EQ(heldjack::CreatorProblems(log), "");
}

// Runs in the child: as start-up does, then LIVE through the default devices for three seconds
// of recording, saved.
TEST(SoundServer, HeldBackJackLiveRunInThisProcess) {
    if (Env("SORVEL_SOUNDSERVER") != "heldjackchild")
        GTEST_SKIP() << "runs only as the child of SoundServer.LiveRunGoesOnWithLibjackThreadsHeldBack (SORVEL_SOUNDSERVER=heldjackchild is not set)";
    const std::string folder = ChildFolder();
    runtest::RunDialog dlg(folder);
    runtest::SetUpLikeStartUp(dlg, folder);
    platform::ui::TakeHeadlessMessageBoxes();
    // The server's devices are listed beside the mapper (ALSA's devices that stand for it).
    EXPECT_GT(dlg.m_nWaveInCount, 0);
    EXPECT_GT(dlg.m_nWaveOutCount, 0);
    dlg.m_fPitchRatio = std::pow(2.0f, 12.0f / 24.0f);
    dlg.m_chkSave.SetCheck(BST_CHECKED);
    dlg.OnBnClickedLive();
    ASSERT_EQ(dlg.m_nRunState.load(), 1);
    const int want = 3 * 44100;
    const bool arrived = runtest::PumpUntil([&] { return dlg.m_nInputCount.load() >= want; }, 60.0);
    runtest::PumpFor(1.0);
    dlg.OnBnClickedStop();
    EXPECT_TRUE(arrived) << "only " << dlg.m_nInputCount.load() << " samples arrived from the recording device";
    EXPECT_EQ(dlg.m_nRunState.load(), 0);
    EXPECT_TRUE(runtest::BoxTexts().empty());
    // The saved output holds the converted voice.
    std::string saved;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().rfind("save_", 0) == 0) saved = entry.path().string();
    ASSERT_FALSE(saved.empty()) << "the run saved no output";
    const auto audio = runtest::ReadWav(saved);
    short loudest = 0;
    for (short s : audio.samples) loudest = std::max<short>(loudest, static_cast<short>(std::abs(s)));
    EXPECT_GT(audio.samples.size(), 44100u * 2) << saved;
    EXPECT_GT(loudest, 1000) << "the saved output is silent";
    std::printf("held-back LIVE run: %lld samples captured, %zu saved (loudest %d), devices \"%s\" -> \"%s\"\n",
                static_cast<long long>(dlg.m_nInputCount.load()), audio.samples.size(), loudest,
                dlg.m_waveInCaps[dlg.m_nWaveInIndex].szPname, dlg.m_waveOutCaps[dlg.m_nWaveOutIndex].szPname);
    // Every held thread begins in this process's lifetime: one on what libjack freed would crash it.
    EXPECT_TRUE(heldjack::AwaitHeldThreads());
}

}  // namespace

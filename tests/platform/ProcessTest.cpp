#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>

#include "platform/base/paths.h"
#include "platform/base/process.h"
#include "support/ProcessAlive.h"
#include "support/RiffBytes.h"
#include "support/TempFolder.h"

namespace {

using platform::RunProcessAndWait;

TEST(RunProcess, ReturnsTheProgramsExitCode) {
    const auto ok = RunProcessAndWait("/bin/sh", {"-c", "exit 0"});
    EXPECT_TRUE(ok.started);
    EXPECT_TRUE(ok.Succeeded());

    const auto seven = RunProcessAndWait("/bin/sh", {"-c", "exit 7"});
    EXPECT_TRUE(seven.started);
    EXPECT_TRUE(seven.exited);
    EXPECT_EQ(seven.exitCode, 7);
    EXPECT_FALSE(seven.Succeeded());
}

TEST(RunProcess, ACancelEndsAProgramThatIsStillRunning) {
    const auto start = std::chrono::steady_clock::now();
    int asked = 0;
    const auto r = RunProcessAndWait("/bin/sleep", {"60"}, [&] { return ++asked > 5; });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.Succeeded());
    EXPECT_EQ(r.signal, SIGTERM);
    // One that ignores SIGTERM is killed a second later.
    int polls = 0;  // asked once the shell has set its trap
    const auto stubborn = RunProcessAndWait("/bin/sh", {"-c", "trap '' TERM; while :; do sleep 0.05; done"},
                                            [&] { return ++polls > 15; });
    EXPECT_EQ(stubborn.signal, SIGKILL);
    // Without a cancel that says so, the program ends by itself.
    EXPECT_TRUE(RunProcessAndWait("/bin/sh", {"-c", "sleep 0.1"}, [] { return false; }).Succeeded());
}

// A program that runs others (a wrapper script around the real converter): a cancel ends them
// all, also one that ignores SIGTERM, and they are gone when the call returns.
TEST(RunProcess, ACancelEndsTheProcessesTheProgramStarted) {
    TempFolder folder;
    const std::string pids = folder.File("pids");
    // One child in the foreground, one in the background that ignores SIGTERM; the wrapper
    // notes their process ids and waits for the first.
    const std::string script = "sleep 30 & a=$!; (trap '' TERM; exec sleep 30) & b=$!; echo \"$a $b\" > \"$0\"; wait $a";
    const auto start = std::chrono::steady_clock::now();
    const auto r = RunProcessAndWait("/bin/sh", {"-c", script, pids}, [&] { return !riffbytes::ReadFile(pids).empty(); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(r.Succeeded());
    std::istringstream in(riffbytes::ReadFile(pids));
    pid_t foreground = 0, stubborn = 0;
    ASSERT_TRUE(in >> foreground >> stubborn);
    EXPECT_FALSE(processalive::Runs(foreground)) << "the wrapper's child still runs";
    EXPECT_FALSE(processalive::Runs(stubborn)) << "the child that ignores SIGTERM still runs";
}

TEST(RunProcess, WaitsUntilTheProgramHasEnded) {
    TempFolder folder;
    const std::string marker = folder.File("done");
    const auto r = RunProcessAndWait("/bin/sh", {"-c", "sleep 0.2; echo x > \"$0\"", marker});
    ASSERT_TRUE(r.Succeeded());
    EXPECT_TRUE(platform::FileExists(marker));
}

TEST(RunProcess, ArgumentsArriveUnchangedWithoutAShell) {
    TempFolder folder;
    const std::string source = folder.File("in.wav");
    const std::string target = folder.File("out $(x) ; * 'q'.wav");
    std::ofstream(source) << "data";
    const auto r = RunProcessAndWait("/bin/cp", {source, target});
    ASSERT_TRUE(r.Succeeded());
    std::ifstream in(target);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "data");
}

TEST(RunProcess, MissingProgramIsNotStarted) {
    TempFolder folder;
    const auto r = RunProcessAndWait(folder.File("no-such-program"), {});
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(r.Succeeded());
    EXPECT_FALSE(RunProcessAndWait("", {}).started);
}

TEST(RunProcess, ProgramKilledBySignalIsNotASuccess) {
    const auto r = RunProcessAndWait("/bin/sh", {"-c", "kill -9 $$"});
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.exited);
    EXPECT_EQ(r.signal, 9);
    EXPECT_FALSE(r.Succeeded());
}

}  // namespace

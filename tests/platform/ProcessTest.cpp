#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A program that hands its work to processes that leave its group: a new session's child and a
// daemon (a double fork whose middle process has ended). They end with the call, whether the
// program ended well or the calling process was killed, and write nothing afterwards.
TEST(RunProcess, ProcessesThatLeftTheProgramsGroupEndWithTheCallAndWithAKilledCaller) {
    TempFolder folder;
    const std::string pids = folder.File("pids");
    const std::string late = folder.File("late");
    // Each note their process id, wait, and would then write late. The program ends once both
    // ids are noted.
    const std::string worker = folder.File("worker.sh");
    riffbytes::WriteFile(worker, "#!/bin/sh\necho $$ >> '" + pids + "'\nsleep 3\necho late > '" + late + "'\n");
    ::chmod(worker.c_str(), 0755);
    const std::string script = "setsid '" + worker + "' & setsid sh -c \"'" + worker + "' & exit 0\" & "
                               "while [ \"$(wc -l 2>/dev/null < '" + pids + "')\" != 2 ]; do sleep 0.01; done";
    const auto noted = [&] {
        std::vector<pid_t> found;
        std::istringstream in(riffbytes::ReadFile(pids));
        for (pid_t pid = 0; in >> pid;) found.push_back(pid);
        return found;
    };

    ASSERT_TRUE(RunProcessAndWait("/bin/sh", {"-c", script + "; exit 0"}).Succeeded());
    ASSERT_EQ(noted().size(), 2u);
    for (const pid_t pid : noted()) EXPECT_FALSE(processalive::Runs(pid)) << "a process of another session still runs";

    // The calling process killed while the program runs.
    std::remove(pids.c_str());
    const pid_t caller = ::fork();
    ASSERT_GE(caller, 0);
    if (caller == 0) {
        RunProcessAndWait("/bin/sh", {"-c", script + "; sleep 60"});
        ::_exit(0);
    }
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (noted().size() < 2 && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(caller, SIGKILL);
    ASSERT_EQ(::waitpid(caller, nullptr, 0), caller);
    ASSERT_EQ(noted().size(), 2u);
    for (const pid_t pid : noted()) EXPECT_TRUE(processalive::EndsWithin(pid, 30.0)) << "a process of another session outlived the caller";
    EXPECT_FALSE(platform::FileExists(late)) << "a process wrote after the call had ended";
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

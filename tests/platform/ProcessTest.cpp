#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/base/paths.h"
#include "platform/base/process.h"
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

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "app/WaveInOutDlg.h"
#include "platform/base/paths.h"
#include "support/TempFolder.h"

namespace {

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(TraceFileTest, WithoutTheTraceFileNothingIsWritten) {
    TempFolder folder;
    CWaveInOutDlg dlg(folder.Path());
    EXPECT_FALSE(dlg.IsTracing());
    dlg.WriteTrace("0-01");
    EXPECT_FALSE(platform::FileExists(folder.File("debug.txt")));
}

TEST(TraceFileTest, ExistingTraceFileGetsOneLinePerTracePoint) {
    TempFolder folder;
    std::ofstream(folder.File("debug.txt")) << "report\n";
    CWaveInOutDlg dlg(folder.Path());
    ASSERT_TRUE(dlg.IsTracing());
    dlg.WriteTrace("0-01");
    dlg.WriteTrace(std::string("0-02"));
    EXPECT_EQ(Lines(folder.File("debug.txt")), (std::vector<std::string>{"report", "0-01", "0-02"}));
}

TEST(TraceFileTest, TraceFileMadeAfterStartCountsOnlyFromTheNextStart) {
    TempFolder folder;
    CWaveInOutDlg dlg(folder.Path());
    std::ofstream(folder.File("debug.txt")).flush();
    dlg.WriteTrace("0-01");
    EXPECT_TRUE(Lines(folder.File("debug.txt")).empty());
}

TEST(TraceFileTest, LinesFromManyThreadsNeverInterleave) {
    TempFolder folder;
    std::ofstream(folder.File("debug.txt")).flush();
    CWaveInOutDlg dlg(folder.Path());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&dlg, t] {
            const std::string line = std::string(200, static_cast<char>('a' + t));
            for (int i = 0; i < 100; ++i) dlg.WriteTrace(line);
        });
    for (auto& th : threads) th.join();
    const auto lines = Lines(folder.File("debug.txt"));
    ASSERT_EQ(lines.size(), 400u);
    for (const auto& line : lines) EXPECT_EQ(line, std::string(200, line[0]));
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A program folder that others can write: a link planted at the trace file, before the start or
// while the program runs, never leads the trace or the system report into another file.
TEST(TraceFileTest, ALinkAtTheTraceFileIsNeverWrittenThrough) {
    TempFolder folder, elsewhere;
    const std::string trace = folder.File("debug.txt");
    const std::string victim = elsewhere.File("victim");
    const std::string nowhere = elsewhere.File("nowhere");
    std::ofstream(victim) << "not the program's\n";
    ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
    struct stat st {};
    for (const std::string& target : {victim, nowhere}) {
        SCOPED_TRACE(target);
        ASSERT_EQ(::symlink(target.c_str(), trace.c_str()), 0);
        {
            CWaveInOutDlg dlg(folder.Path());
            dlg.WriteSystemReport();
            dlg.WriteTrace("0-01");
        }
        EXPECT_EQ(Contents(victim), "not the program's\n");
        EXPECT_NE(::lstat(nowhere.c_str(), &st), 0) << "a file was made where the link points";
        ::unlink(trace.c_str());
    }

    // Planted while tracing is on: the link is replaced by the program's own file.
    std::ofstream(trace) << "report\n";
    CWaveInOutDlg dlg(folder.Path());
    ASSERT_TRUE(dlg.IsTracing());
    for (const std::string& target : {victim, nowhere}) {
        SCOPED_TRACE(target);
        ASSERT_EQ(::unlink(trace.c_str()), 0);
        ASSERT_EQ(::symlink(target.c_str(), trace.c_str()), 0);
        dlg.WriteTrace("0-02");
        EXPECT_EQ(Contents(victim), "not the program's\n");
        EXPECT_NE(::lstat(nowhere.c_str(), &st), 0) << "a file was made where the link points";
        ASSERT_EQ(::lstat(trace.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(Lines(trace), std::vector<std::string>{"0-02"});
        ASSERT_EQ(::unlink(trace.c_str()), 0);
        ASSERT_EQ(::symlink(target.c_str(), trace.c_str()), 0);
        dlg.WriteSystemReport();
        EXPECT_EQ(Contents(victim), "not the program's\n");
        EXPECT_NE(::lstat(nowhere.c_str(), &st), 0) << "a file was made where the link points";
        ASSERT_EQ(::lstat(trace.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(Contents(trace).rfind("sorvel(", 0), 0u);
    }
    ASSERT_EQ(::stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// A trace file with a second name (a hard link to another file, made before the start or while
// the program runs) is not the program's own: what it shares its data with is never changed.
TEST(TraceFileTest, ATraceFileWithAnotherNameIsNeverWrittenInto) {
    TempFolder folder, elsewhere;
    const std::string trace = folder.File("debug.txt");
    const std::string other = elsewhere.File("notes.txt");
    std::ofstream(other) << "the user's notes\n";
    ASSERT_EQ(::link(other.c_str(), trace.c_str()), 0);
    {
        CWaveInOutDlg dlg(folder.Path());
        dlg.WriteSystemReport();
        dlg.WriteTrace("0-01");
    }
    EXPECT_EQ(Contents(other), "the user's notes\n");
    // Tracing stayed off: the name still leads to the other file.
    struct stat st {};
    ASSERT_EQ(::lstat(trace.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);
    ASSERT_EQ(::unlink(trace.c_str()), 0);

    // Made while tracing is on: the program's own file takes the name, the other file stays.
    std::ofstream(trace) << "report\n";
    CWaveInOutDlg dlg(folder.Path());
    ASSERT_TRUE(dlg.IsTracing());
    ASSERT_EQ(::unlink(trace.c_str()), 0);
    ASSERT_EQ(::link(other.c_str(), trace.c_str()), 0);
    dlg.WriteTrace("0-02");
    EXPECT_EQ(Contents(other), "the user's notes\n");
    ASSERT_EQ(::lstat(trace.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_EQ(Lines(trace), std::vector<std::string>{"0-02"});
    ASSERT_EQ(::unlink(trace.c_str()), 0);
    ASSERT_EQ(::link(other.c_str(), trace.c_str()), 0);
    dlg.WriteSystemReport();
    EXPECT_EQ(Contents(other), "the user's notes\n");
    ASSERT_EQ(::lstat(trace.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_EQ(Contents(trace).rfind("sorvel(", 0), 0u);
}

}  // namespace

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

}  // namespace

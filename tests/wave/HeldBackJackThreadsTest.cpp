// The sound system's device listing opens JACK clients, also where no JACK server runs, and
// libjack waits about a second for the thread it starts for each. These run the listing alone and
// the whole program in processes whose libjack threads are held back 1.5 s, as on a heavily
// loaded machine: both must go on as usual, and every such thread must have gone through the
// program's thread creator.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include "support/HeldBackJack.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
using heldjack::Describe;
using heldjack::ReadText;

// The listing this process makes, with the sound system's devices (not the virtual ones).
std::string ListingHere() {
    ScopedEnv in("SORVEL_VIRTUAL_IN", "");
    ScopedEnv out("SORVEL_VIRTUAL_OUT", "");
    return heldjack::DeviceListing();
}

TEST(HeldBackJackThreads, DeviceListingGoesOnWhenLibjackThreadsStartLate) {
    if (!heldjack::LibjackInstalled()) GTEST_SKIP() << "libjack is not installed here";
    TempFolder folder;
    const std::string log = folder.File("held.txt");
    const pid_t pid = heldjack::Spawn(SORVEL_LIST_SOUND_DEVICES, {}, heldjack::HeldEnvironment(log, {}), folder.File("out.txt"),
                                      folder.File("err.txt"));
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_TRUE(heldjack::Await(pid, 120.0, &status)) << "the listing did not end";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Describe(status) << "\n" << ReadText(folder.File("err.txt"));
    EXPECT_EQ(ReadText(folder.File("out.txt")), ListingHere()) << "held back, the listing differs from this process's";
    EXPECT_EQ(heldjack::CreatorProblems(log), "");
}

// build/sorvel, beside the test data folder that CTest names.
fs::path ProgramPath() {
    const char* data = std::getenv("SORVEL_TEST_DATA");
    return data ? fs::path(data).parent_path() / "sorvel" : fs::path();
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The trace's table of one direction as the system report writes it: its title and entries.
std::string TraceTable(const std::string& title, const std::string& listing, const std::string& prefix) {
    std::string table = title + "\n 0 : WAVE MAPPER\n";
    std::istringstream lines(listing);
    int index = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(prefix, 0) == 0) table += " " + std::to_string(++index) + " : " + line.substr(prefix.size()) + "\n";
    return table;
}

TEST(HeldBackJackThreads, ProgramStartsListsItsDevicesAndClosesWhenLibjackThreadsStartLate) {
    const fs::path program = ProgramPath();
    if (program.empty() || !fs::exists(program)) GTEST_SKIP() << "the program is not built: " << program;
    if (!heldjack::LibjackInstalled()) GTEST_SKIP() << "libjack is not installed here";
    TempFolder folder;
    // A copy in the test's folder, so that its settings and trace are the test's.
    const std::string copy = folder.File("sorvel");
    fs::copy_file(program, copy);
    const std::string trace = folder.File("debug.txt");
    std::ofstream(trace).flush();
    const std::string log = folder.File("held.txt");
    // The sound devices are the machine's; MIDI goes to a file, so no synthesizer's message box
    // holds start-up up where it finds no sound device.
    const auto env = heldjack::HeldEnvironment(
        log, {"QT_QPA_PLATFORM=offscreen", "SORVEL_VIRTUAL_IN=", "SORVEL_VIRTUAL_OUT=", "SORVEL_VIRTUAL_MIDI=" + folder.File("midi.txt")});
    const pid_t pid = heldjack::Spawn(copy, {}, env, folder.File("out.txt"), folder.File("err.txt"));
    ASSERT_GT(pid, 0);
    int status = 0;
    bool ended = false;
    // Up, and every held thread has begun: one that runs on what libjack freed does so now.
    const bool up = heldjack::WaitFor(
        [&] {
            return (EndsWith(ReadText(trace), "0-END\n") && heldjack::AllHeldBegan(log)) ||
                   (ended = ::waitpid(pid, &status, WNOHANG) == pid);
        },
        120.0);
    if (!ended) {
        ::kill(pid, SIGTERM);
        ended = heldjack::Await(pid, 30.0, &status);
    }
    ASSERT_TRUE(up) << "start-up did not end";
    ASSERT_TRUE(ended) << "still running after SIGTERM";
    // Ended by the close request, not by a crash during start-up or the close.
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Describe(status) << "\n" << ReadText(folder.File("err.txt"));
    const std::string text = ReadText(trace);
    EXPECT_NE(text.find("98-END\n"), std::string::npos) << text;
    // The tables list what the sound system lists in this process.
    const std::string listing = ListingHere();
    EXPECT_NE(text.find(TraceTable("Input Sound Device", listing, "in ")), std::string::npos) << text << "\nlisting:\n" << listing;
    EXPECT_NE(text.find(TraceTable("Output Sound Device", listing, "out ")), std::string::npos) << text << "\nlisting:\n" << listing;
    EXPECT_EQ(heldjack::CreatorProblems(log), "");
}

}  // namespace

// Files dropped on the program's window while a start waits: the built program on an X display of
// its own (Xvfb), and a drag through the X drag-and-drop protocol made by a small program of the
// tests (drag_file) with the X test extension's mouse and keys. A drop acts as a click on OPEN
// with its file, only where such a click would act: after the converter's wait, in its order among
// the input held there, and after a picker that opened before it was handled; never inside them.
// So no run starts inside another start, the program never freezes, and it closes when asked.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "UiTestSupport.h"
#include "app/WaveInOutDlg.h"
#include "platform/wave/testdevice.h"
#include "support/ChorusDump.h"
#include "support/TempFolder.h"
#include "support/TestData.h"

extern char** environ;

namespace {

namespace drv = platform::ui::qt::testing;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kDeadlineMs = 30000;

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs = kDeadlineMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out,
            int keepFd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (keepFd >= 0) posix_spawn_file_actions_adddup2(&actions, keepFd, 3);
    std::vector<std::string> a = args;
    std::vector<char*> argv;
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<std::string> e = env;
    std::vector<char*> envp;
    for (auto& s : e) envp.push_back(s.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, a[0].c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The environment of this process with some names set.
std::vector<std::string> Environment(const std::vector<std::string>& set) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& s : set) replaced = replaced || s.substr(0, s.find('=')) == name;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), set.begin(), set.end());
    return env;
}

// Where the buttons are in the main window: the dialog's own layout, read from the same dialog on
// the offscreen window system (the same template, font and resolution give the same places).
struct ButtonPlaces {
    POINT open, exit, batch, chorus;
};

POINT Middle(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

std::string At(POINT p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

class QtDroppedFileTest : public QtUiTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        const char* data = std::getenv("SORVEL_TEST_DATA");
        program = data ? fs::path(data).parent_path() / "sorvel" : fs::path();
        if (program.empty() || !fs::exists(program)) GTEST_SKIP() << "the program is not built: " << program;
        voice = TestDataFile("voice.wav");
        if (!std::ifstream(voice).good()) GTEST_SKIP() << "no " << voice << " (make it with scripts/make-voice.sh)";
        if (::access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "no Xvfb";
        ASSERT_NO_FATAL_FAILURE(MeasureButtons());
        ASSERT_NO_FATAL_FAILURE(StartDisplay());
        ASSERT_NO_FATAL_FAILURE(StartProgram());
    }
    void TearDown() override {
        // What the program, the drag helper and the display said, for a failure's reader.
        if (HasFailure()) {
            for (const char* name : {"debug.txt", "drag.txt", "program.txt", "conv/calls.log"}) {
                std::cout << "--- " << name << " (last lines)\n";
                const auto lines = Lines(folder.File(name));
                for (std::size_t i = lines.size() > 60 ? lines.size() - 60 : 0; i < lines.size(); ++i) std::cout << lines[i] << "\n";
            }
            std::cout.flush();
        }
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (xvfb > 0) {
            ::kill(xvfb, SIGTERM);
            ::waitpid(xvfb, nullptr, 0);
        }
        QtUiTest::TearDown();
    }

    void MeasureButtons() {
        TempFolder f;
        platform::wave::CTestWaveDevices devices{{"Mic A"}, {"Speaker A"}};
        CWaveInOutDlg dlg(f.Path());
        ASSERT_TRUE(ShowMainDialog(dlg, StartUpBoxes::Answered));
        places.open = Middle(drv::WidgetRect(&dlg.m_btnOpen));
        places.exit = Middle(drv::WidgetRect(&dlg.m_btnExit));
        places.batch = Middle(drv::WidgetRect(dlg.GetDlgItem(IDC_BATCH)));
        places.chorus = Middle(drv::WidgetRect(dlg.GetDlgItem(IDC_CHORUS_FILE)));
        dlg.DestroyWindow();
    }

    void StartDisplay() {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        xvfb = Spawn({"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-dpi", "96"},
                     Environment({}), folder.File("xvfb.txt"), fds[1]);
        ::close(fds[1]);
        ASSERT_GT(xvfb, 0);
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        display = ":" + number;
    }

    // A copy of the program in the test's folder (its settings and trace files are the test's),
    // on virtual devices, with a converter that waits until the test lets it go.
    void StartProgram() {
        const fs::path copy = folder.File("sorvel");
        fs::copy_file(program, copy);
        std::ofstream(folder.File("debug.txt")).flush();  // tracing on
        fs::create_directory(folder.File("runtime"));
        ::chmod(folder.File("runtime").c_str(), 0700);
        fs::create_directory(folder.File("conv"));
        converter = folder.File("conv/EcoDecoTooL.exe");
        std::ofstream(converter) << "#!/bin/sh\nd=$(dirname \"$0\")\necho \"$1\" >> \"$d/calls.log\"\n"
                                    "while [ ! -e \"$d/go\" ]; do sleep 0.02; done\n"
                                    "base=$(basename \"$1\")\ncp \"" << voice << "\" \"" << folder.Path() << "${base%.*}.wav\"\n";
        ::chmod(converter.c_str(), 0755);
        const std::string programFolder = folder.Path().substr(0, folder.Path().size() - 1);
        std::ofstream(folder.File("conv/EcoDecoTooL.ini"))
            << "[ComboBox]\r\n1003=0\r\n[Radio]\r\nwav=1\r\noutfolder=1\r\n[Edit]\r\noutfolder=" << programFolder << "\r\n";
        // The settings: the converter (line 21), no MIDI instrument (line 24) and the devices by
        // name (lines 25 and 26).
        std::string ini = "sorvel 3.0\n";
        for (int line = 2; line <= 20; ++line) ini += "\n";
        ini += converter + "\n\n\n-1\nWAVE MAPPER\nWAVE MAPPER\n";
        std::ofstream(folder.File("sorvel.ini"), std::ios::binary) << ini;
        for (const char* name : {"song.mp3", "second.mp3"}) std::ofstream(folder.File(name)) << "an mp3";

        pid = Spawn({copy.string()},
                    Environment({"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_RUNTIME_DIR=" + folder.File("runtime"),
                                 "SORVEL_VIRTUAL_IN=" + voice, "SORVEL_VIRTUAL_OUT=" + folder.File("played.wav"),
                                 "SORVEL_VIRTUAL_SPEED=1", "SORVEL_VIRTUAL_MIDI=" + folder.File("midi.txt")}),
                    folder.File("program.txt"));
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(WaitFor([&] { return Count(Trace(), "0-END") > 0; })) << "the program did not start";
    }

    std::vector<std::string> Trace() const { return Lines(folder.File("debug.txt")); }
    std::size_t ConverterCalls() const { return Lines(folder.File("conv/calls.log")).size(); }
    void LetTheConverterGo() { std::ofstream(folder.File("conv/go")).flush(); }

    // drag_file with these arguments, on the test's display; true when it ended with status 0.
    bool Helper(const std::vector<std::string>& args) {
        std::vector<std::string> all{SORVEL_DRAG_FILE};
        all.insert(all.end(), args.begin(), args.end());
        const pid_t helper = Spawn(all, Environment({"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"}), folder.File("drag.txt"));
        int status = 0;
        if (helper <= 0 || ::waitpid(helper, &status, 0) != helper) return false;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    bool Drop(const std::string& file) { return Helper({"--title", "ソルベル", "--at", "30,30", file}); }
    // The drop lands while the program's window thread is held, just behind Space on the button
    // at focus, which has taken the keyboard focus.
    bool DropBehindSpaceOn(POINT focus, const std::string& file) {
        return Helper({"--title", "ソルベル", "--at", "30,30", "--focus", At(focus), "--stop", std::to_string(pid), "--key",
                       "space", file});
    }
    // Types a path into the picker that shows now (it waits for the picker).
    bool ChooseInPicker(const std::string& path) { return Helper({"--title", "開く", "--type", path}); }

    // Sends SIGTERM; true when the program ended (with its close) within the deadline. The
    // time it took goes into closeSeconds.
    bool Terminate() {
        const Clock::time_point sent = Clock::now();
        ::kill(pid, SIGTERM);
        int status = 0;
        const bool ended = WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; });
        closeSeconds = std::chrono::duration<double>(Clock::now() - sent).count();
        if (ended) pid = -1;
        return ended && WIFEXITED(status) && Count(Trace(), "98-END") == 1;
    }

    // One line of the comparison table: file runs started, converter calls, close time.
    void Report(const std::string& name, bool closed, bool byItself = false) {
        const std::string end = byItself ? "closed by itself"
                                : closed ? "closed after SIGTERM in " + std::to_string(closeSeconds) + " s"
                                         : "frozen (no close in 30 s after SIGTERM)";
        std::cout << "drop case: " << name << ": file runs " << Count(Trace(), "2-02") << ", converter calls "
                  << ConverterCalls() << ", " << end << std::endl;
    }

    // Drops file (and then the voice) while OPEN waits for the converter on a file it converts,
    // then lets the converter end: OPEN's run starts, and the drops then act as OPEN during it. Reports
    // and checks that exactly one run started and one converter ran, and that the program
    // closes when asked.
    void DropDuringTheConvertersWait(const std::string& file, const std::string& name) {
        ASSERT_TRUE(Drop(folder.File("song.mp3")));
        ASSERT_TRUE(WaitFor([&] { return ConverterCalls() == 1; })) << "the converter did not start";
        EXPECT_TRUE(Drop(file));
        // A second drop takes the wait through more of its rounds (the drag's messages come and
        // go in them), so that what the first left for later has been handled there by now.
        EXPECT_TRUE(Drop(voice));
        LetTheConverterGo();
        EXPECT_TRUE(WaitFor([&] {
            const auto trace = Trace();
            return Count(trace, "2-02") >= 1 && Count(trace, "2-OPEN button") >= 3;
        })) << "OPEN's run did not start, or the held drops did not act after the wait";
        const auto trace = Trace();
        // Each OPEN's file run would say "2-02": OPEN's own, after its conversion (a failed
        // conversion is told in a box, and no run follows), and none for the drop.
        EXPECT_EQ(Count(trace, "2-02"), 1u) << "a file run started inside OPEN's wait, or OPEN's own did not";
        EXPECT_EQ(ConverterCalls(), 1u) << "a second converter ran";
        const bool closed = Terminate();
        Report(name, closed);
        EXPECT_TRUE(closed) << "the program did not close after SIGTERM";
    }

    fs::path program;
    std::string voice, converter, display;
    TempFolder folder;
    ButtonPlaces places{};
    pid_t xvfb = -1;
    pid_t pid = -1;
    double closeSeconds = 0.0;
};

// A file dropped while OPEN waits for the converter acts after the wait, as a click on OPEN then
// does during the run that OPEN started: it starts nothing, and no second converter runs.
TEST_F(QtDroppedFileTest, AWavDroppedDuringTheConvertersWaitStartsNoRunInsideIt) {
    DropDuringTheConvertersWait(voice, "a WAV dropped during the converter's wait");
}

TEST_F(QtDroppedFileTest, ASecondFileToConvertDroppedDuringTheWaitRunsNoSecondConverter) {
    DropDuringTheConvertersWait(folder.File("second.mp3"), "a second mp3 dropped during the converter's wait");
}

TEST_F(QtDroppedFileTest, ExitClickedDuringTheWaitThenADropClosesTheProgram) {
    ASSERT_TRUE(Drop(folder.File("song.mp3")));
    ASSERT_TRUE(WaitFor([&] { return ConverterCalls() == 1; })) << "the converter did not start";
    ASSERT_TRUE(Helper({"--title", "ソルベル", "--click", At(places.exit)}));
    ASSERT_TRUE(Drop(voice));
    LetTheConverterGo();
    int status = 0;
    const bool ended = WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; });
    if (ended) pid = -1;
    const bool closed = ended || Terminate();
    Report("EXIT clicked during the wait, then a drop", closed, ended);
    ASSERT_TRUE(ended) << "EXIT did not close the program after the wait";
    EXPECT_EQ(Count(Trace(), "98-END"), 1u);
    EXPECT_LE(Count(Trace(), "2-02"), 1u) << "the dropped file started a run";
}

// A drop that lands just as a picker opens (the window's thread held a moment, as on a busy
// desktop, with Space on the button and the drop waiting together) waits for the picker: nothing
// plays behind it, the file chosen there is used, and the drop then acts as OPEN during what the
// picker started.
TEST_F(QtDroppedFileTest, ADropThatLandsAsOpensPickerOpensWaitsForThePicker) {
    ASSERT_TRUE(DropBehindSpaceOn(places.open, voice));
    fs::create_directories(fs::path(ScreenshotPath("x")).parent_path());
    EXPECT_TRUE(Helper({"--title", "開く", "--shot", ScreenshotPath("drop-as-open-picker-opens.png")}));
    ASSERT_TRUE(ChooseInPicker(voice));
    // The run of the chosen file starts; the drop then acts as OPEN during it.
    EXPECT_TRUE(WaitFor([&] {
        const auto trace = Trace();
        return Count(trace, "2-02") >= 1 && Count(trace, "2-OPEN button") >= 2;
    })) << "the chosen file did not play, or the drop did not act after the picker";
    EXPECT_EQ(Count(Trace(), "2-02"), 1u) << "a run started behind the picker";
    EXPECT_TRUE(Helper({"--title", "voice.wav", "--shot", ScreenshotPath("drop-after-open-picker.png")}));
    const bool closed = Terminate();
    Report("drop as OPEN's picker opens", closed);
    EXPECT_TRUE(closed) << "the program did not close after SIGTERM";
}

TEST_F(QtDroppedFileTest, ADropThatLandsAsTheBatchPickerOpensLetsTheBatchGoOn) {
    ASSERT_TRUE(DropBehindSpaceOn(places.batch, voice));
    ASSERT_TRUE(ChooseInPicker(voice));
    // The batch writes its output beside the program.
    const auto converted = [&] {
        for (const auto& entry : fs::directory_iterator(folder.Path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("voice", 0) == 0 && entry.path().extension() == ".wav") return true;
        }
        return false;
    };
    EXPECT_TRUE(WaitFor(converted)) << "the batch did not convert the file";
    // The drop acts as OPEN once the picker has closed (beside the batch it starts nothing).
    EXPECT_TRUE(WaitFor([&] { return Count(Trace(), "2-OPEN button") >= 1; })) << "the drop did not act after the picker";
    const auto trace = Trace();
    EXPECT_EQ(Count(trace, "2-02"), 0u) << "a run started behind the picker";
    EXPECT_EQ(Count(trace, "BatchFile: a run is going on"), 0u);
    const bool closed = Terminate();
    Report("drop as the batch picker opens", closed);
    EXPECT_TRUE(closed) << "the program did not close after SIGTERM";
}

TEST_F(QtDroppedFileTest, ADropThatLandsAsTheChorusPickerOpensIsNotPlayedUnderTheDump) {
    const std::string dump = folder.File("voice_dump_01.txt");
    test_support::WriteVoiceChorusDump(dump, voice);

    ASSERT_TRUE(DropBehindSpaceOn(places.chorus, voice));
    ASSERT_TRUE(ChooseInPicker(dump));
    // The chorus run starts on the dump's WAV; the drop then acts as OPEN during it.
    EXPECT_TRUE(WaitFor([&] {
        const auto trace = Trace();
        return Count(trace, "2-02") >= 1 && Count(trace, "2-OPEN button") >= 1;
    }));
    const auto trace = Trace();
    EXPECT_EQ(Count(trace, "2-02"), 1u);
    const auto first = [&](const std::string& prefix) {
        return std::find_if(trace.begin(), trace.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_LT(first("2-02"), first("2-OPEN button")) << "the drop's run started behind the picker, under the dump";
    const bool closed = Terminate();
    Report("drop as the chorus picker opens", closed);
    EXPECT_TRUE(closed) << "the program did not close after SIGTERM";
}

}  // namespace

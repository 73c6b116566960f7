// A close request (a termination signal, a logout) that comes while the main window has a
// picker, a message box or a dialog open: the open ones are dismissed, no run or batch starts,
// nothing crashes, the settings are written whole and the program's loop ends at once.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "UiTestSupport.h"
#include "app/SettingsFile.h"
#include "app/WaveInOutApp.h"
#include "app/WaveInOutDlg.h"
#include "platform/ui/dialog.h"
#include "platform/ui/msgqueue.h"
#include "platform/wave/testdevice.h"
#include "resources/resource_ids.h"
#include "support/TempFolder.h"

namespace {

namespace drv = platform::ui::qt::testing;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// The trace of a program that a close request ended while OPEN waited for the converter: the
// converter was ended, the program closed, and no file run started.
void ExpectClosedWhileTheConverterRan(const std::vector<std::string>& trace) {
    EXPECT_TRUE(HasLineStartingWith(trace, "RunConverter: ended for a close request"));
    EXPECT_TRUE(HasLineStartingWith(trace, "98-END"));
    EXPECT_FALSE(HasLineStartingWith(trace, "2-02")) << "a file run started";
}

std::string VoicePath() {
    const char* data = std::getenv("SORVEL_TEST_DATA");
    return data ? std::string(data) + "/voice.wav" : std::string();
}

class QtCloseRequestTest : public QtUiTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        platform::ui::ClearCloseRequest();
        std::ofstream(folder.File("debug.txt")).flush();  // tracing on
        voice = VoicePath();
        ASSERT_TRUE(fs::exists(voice)) << "voice data missing: " << voice;
        std::ofstream(folder.File("notes.txt")) << "not a pitch dump\n";
    }
    void TearDown() override {
        platform::ui::ClearCloseRequest();
        QtUiTest::TearDown();
    }

    struct Outcome {
        bool opened = false;         // the box, picker or dialog was shown
        double secondsToEnd = 1e9;   // from the signal to the end of the program's loop
        INT_PTR result = 0;          // the main dialog's result
        std::vector<std::string> trace;
        std::vector<std::string> boxes;        // texts of the message boxes that were shown
        std::vector<std::string> leftFiles;    // files in the program folder but the known ones
    };

    // Runs the program's application object. Once its window is up, open() opens something
    // from it (and returns only when that has closed); once shown() says it is there, the
    // process gets SIGTERM, and a moment later afterwards() acts as a user still would (chooses
    // a file in a picker that is still open).
    Outcome RunAndTerminate(const std::function<void(CWaveInOutDlg&)>& open, const std::function<bool()>& shown,
                            const std::function<void()>& afterwards) {
        Outcome out;
        Clock::time_point signalled = Clock::time_point::max();
        auto running = std::make_shared<bool>(true);
        // Whatever stays open past the time limit is closed by hand, so a failure shows as a
        // slow end instead of a test that never ends.
        auto rescue = std::make_shared<std::function<void()>>();
        const Clock::time_point rescueFrom = Clock::now() + std::chrono::seconds(6);
        *rescue = [running, rescue, rescueFrom] {
            if (!*running) {
                *rescue = nullptr;  // ends the cycle of the step holding itself
                return;
            }
            if (Clock::now() >= rescueFrom) {
                drv::AnswerMessageBox(IDOK);
                drv::AnswerFileDialog({});
                for (const char* title : {"ソルベルの設定", "About sorvel"}) {
                    if (auto* d = dynamic_cast<CDialog*>(drv::ShownWindow(title))) d->EndDialog(IDCANCEL);
                }
            }
            drv::RunSoon(*rescue, 100);
        };
        drv::RunSoon(*rescue, 100);
        // Every message box shown meanwhile, from any thread, is noted.
        auto boxes = std::make_shared<std::vector<std::string>>();
        auto watch = std::make_shared<std::function<void()>>();
        *watch = [running, watch, boxes] {
            for (const auto& text : drv::OpenMessageBoxTexts()) {
                if (std::find(boxes->begin(), boxes->end(), text) == boxes->end()) boxes->push_back(text);
            }
            if (!*running) {
                *watch = nullptr;  // ends the cycle of the step holding itself
                return;
            }
            drv::RunSoon(*watch, 10);
        };
        drv::RunSoon(*watch, 10);

        WhenPossible([&, running] {
            if (!*running) return true;
            auto* dlg = dynamic_cast<CWaveInOutDlg*>(drv::ShownWindow("ソルベル"));
            if (dlg == nullptr) return false;
            WhenPossible([&, running] {
                if (!*running) return true;
                if (!shown()) return false;
                out.opened = true;
                signalled = Clock::now();
                ::kill(::getpid(), SIGTERM);
                drv::RunSoon([running, &afterwards] {
                    if (*running) afterwards();
                }, 300);
                return true;
            });
            open(*dlg);
            return true;
        });
        CWaveInOutApp app(folder.Path(), folder.Path());
        app.InitInstance();
        const Clock::time_point ended = Clock::now();
        // Steps still queued find nothing open now; they run while this frame's values live.
        drv::ProcessEvents(500);
        *running = false;
        drv::ProcessEvents(250);
        if (signalled != Clock::time_point::max())
            out.secondsToEnd = std::chrono::duration<double>(ended - signalled).count();
        out.result = app.DialogResult();
        out.trace = Lines(folder.File("debug.txt"));
        out.boxes = *boxes;
        for (const auto& entry : fs::directory_iterator(folder.Path())) {
            const std::string name = entry.path().filename().string();
            if (name != "debug.txt" && name != "sorvel.ini" && name != "notes.txt") out.leftFiles.push_back(name);
        }
        return out;
    }

    // What every close request must leave: the window closed as by its close button, within
    // 2 s, with the close operation run whole, no run started, no box or picker left open and
    // the settings file written whole.
    void ExpectClosedCleanly(const Outcome& out) {
        EXPECT_TRUE(out.opened);
        EXPECT_LT(out.secondsToEnd, 2.0);
        EXPECT_EQ(out.result, IDCANCEL);
        EXPECT_TRUE(HasLineStartingWith(out.trace, "98-OnClose"));
        EXPECT_TRUE(HasLineStartingWith(out.trace, "98-END"));
        EXPECT_FALSE(HasLineStartingWith(out.trace, "2-02")) << "a file run started";
        EXPECT_FALSE(HasLineStartingWith(out.trace, "1-01")) << "a live run started";
        EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
        EXPECT_TRUE(drv::OpenFileDialogFilters().empty());
        EXPECT_EQ(Lines(folder.File("sorvel.ini")).size(), 27u);
        // Nothing ran that wrote into the output folder (the program folder).
        EXPECT_TRUE(out.leftFiles.empty()) << out.leftFiles.front();
    }

    static bool PickerShown() { return !drv::OpenFileDialogFilters().empty(); }
    void ChooseInPicker(const std::string& path) { drv::AnswerFileDialog({path}); }

    TempFolder folder;
    std::string voice;
    platform::wave::CTestWaveDevices devices{{"Mic A"}, {"Speaker A"}};
};

TEST_F(QtCloseRequestTest, DuringTheOpenPickerNoFileRunStarts) {
    const Outcome out = RunAndTerminate([](CWaveInOutDlg& dlg) { drv::Click(&dlg.m_btnOpen); }, PickerShown,
                                        [&] { ChooseInPicker(voice); });
    ExpectClosedCleanly(out);
}

TEST_F(QtCloseRequestTest, DuringTheChorusPickerNoDumpIsLoadedAndNoRunStarts) {
    const Outcome out = RunAndTerminate([](CWaveInOutDlg& dlg) { drv::Click(dlg.GetDlgItem(IDC_CHORUS_FILE)); },
                                        PickerShown, [&] { ChooseInPicker(folder.File("notes.txt")); });
    ExpectClosedCleanly(out);
    EXPECT_TRUE(out.boxes.empty()) << out.boxes.front();
}

TEST_F(QtCloseRequestTest, DuringTheBatchPickerNoBatchStarts) {
    const Outcome out = RunAndTerminate([](CWaveInOutDlg& dlg) { drv::Click(dlg.GetDlgItem(IDC_BATCH)); },
                                        PickerShown, [&] { ChooseInPicker(voice); });
    ExpectClosedCleanly(out);
    EXPECT_TRUE(out.boxes.empty()) << out.boxes.front();
}

TEST_F(QtCloseRequestTest, DuringAMessageBoxTheBoxIsDismissed) {
    // No help page in the program folder: the Help button tells so in a box.
    const Outcome out = RunAndTerminate([](CWaveInOutDlg& dlg) { drv::Click(dlg.GetDlgItem(IDC_HELP)); },
                                        [] { return !drv::OpenMessageBoxTexts().empty(); }, [] {});
    ExpectClosedCleanly(out);
    EXPECT_EQ(out.boxes, std::vector<std::string>{"Help file not found."});
}

TEST_F(QtCloseRequestTest, DuringTheAboutBoxTheBoxIsDismissed) {
    const Outcome out = RunAndTerminate([](CWaveInOutDlg& dlg) { dlg.OnVersion(); },
                                        [] { return drv::ShownWindow("About sorvel") != nullptr; }, [] {});
    ExpectClosedCleanly(out);
}

TEST_F(QtCloseRequestTest, DuringTheSettingsDialogItEndsAsCancelled) {
    const Outcome out = RunAndTerminate([](CWaveInOutDlg& dlg) { drv::Click(dlg.GetDlgItem(IDC_SETTING)); },
                                        [] { return drv::ShownWindow("ソルベルの設定") != nullptr; }, [] {});
    ExpectClosedCleanly(out);
    // The settings dialog's end still rewrote the report: the close came after it.
    const auto report = std::find(out.trace.begin(), out.trace.end(), "Input Sound Device");
    const auto close = std::find(out.trace.begin(), out.trace.end(), "98-OnClose");
    EXPECT_LT(report, close);
}

TEST_F(QtCloseRequestTest, DuringTheClosesOwnBoxTheBoxIsDismissedAndTheCloseEnds) {
    // The settings file cannot be written (a folder has its name): EXIT and the title bar's close
    // button say so in a box, while the close operation waits for it. A close request then
    // dismisses that box as any other, and the close goes on to its end.
    fs::create_directory(folder.File("sorvel.ini"));
    struct Way {
        const char* name;
        const char* key;  // of the recorded time from the signal to the end
        std::function<void(CWaveInOutDlg&)> close;
        INT_PTR result;
    };
    const std::vector<Way> ways = {
        {"EXIT", "exit_box_signal_to_end_ms", [](CWaveInOutDlg& dlg) { drv::Click(&dlg.m_btnExit); }, IDOK},
        {"the title bar's close button", "close_box_signal_to_end_ms", [](CWaveInOutDlg& dlg) { drv::CloseWindow(&dlg); },
         IDCANCEL},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        std::ofstream(folder.File("debug.txt"), std::ios::trunc).flush();
        platform::ui::ClearCloseRequest();
        const Outcome out = RunAndTerminate(way.close, [] { return !drv::OpenMessageBoxTexts().empty(); }, [] {});
        EXPECT_TRUE(out.opened);
        RecordProperty(way.key, static_cast<int>(out.secondsToEnd * 1000));
        EXPECT_EQ(out.boxes, std::vector<std::string>{kSettingsNotSavedMessage});
        // Below the 6 s after which the test answers a box itself.
        EXPECT_LT(out.secondsToEnd, 5.0) << "the box stayed open until the test answered it";
        EXPECT_EQ(out.result, way.result);
        EXPECT_EQ(std::count(out.trace.begin(), out.trace.end(), "98-OnClose"), 1);
        EXPECT_TRUE(HasLineStartingWith(out.trace, "98-END"));
        EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
    }
}

// A slow stand-in converter with its settings file ready for the program folder, in a folder of
// its own: it notes its process id in calls.log and waits 40 s.
std::string SlowConverter(const TempFolder& tools, const std::string& programFolder) {
    const std::string exe = tools.File("slow.sh");
    std::ofstream(exe) << "#!/bin/sh\necho $$ >> \"$(dirname \"$0\")/calls.log\"\nexec sleep 40\n";
    ::chmod(exe.c_str(), 0755);
    std::ofstream(tools.File("slow.ini")) << "[ComboBox]\r\n1003=0\r\n[Radio]\r\nwav=1\r\noutfolder=1\r\n[Edit]\r\noutfolder="
                                          << programFolder.substr(0, programFolder.size() - 1) << "\r\n";
    return exe;
}

// Whether a process of the group still runs (one that has ended and waits to be reaped, as an
// orphan does where nothing reaps it, no longer runs).
bool GroupRuns(pid_t group) {
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(it->path() / "stat");
        std::string stat;
        if (!std::getline(in, stat)) continue;  // it has ended meanwhile
        // State, parent and group follow the name, which is in parentheses and may itself hold
        // any character.
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(stat.substr(close + 1));
        char state = 0;
        long parent = 0, pgrp = 0;
        if (fields >> state >> parent >> pgrp && pgrp == group && state != 'Z' && state != 'X' && state != 'x') return true;
    }
    return false;
}

// Waits until nothing of the group runs, up to limitSeconds; true when it has ended.
bool GroupEndsWithin(pid_t group, double limitSeconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(limitSeconds);
    while (GroupRuns(group)) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Whether the converter whose process id calls.log holds has ended.
bool ConverterEnded(const TempFolder& tools) {
    const auto calls = Lines(tools.File("calls.log"));
    return calls.size() == 1 && ::kill(static_cast<pid_t>(std::stol(calls[0])), 0) != 0;
}

TEST_F(QtCloseRequestTest, DuringTheConverterOfOpenTheConverterEndsAndTheProgramCloses) {
    TempFolder tools;
    const std::string exe = SlowConverter(tools, folder.Path());
    const std::string song = tools.File("song.mp3");
    std::ofstream(song) << "an mp3";
    Clock::time_point started = Clock::time_point::max();
    const Outcome out = RunAndTerminate(
        [&](CWaveInOutDlg& dlg) {
            dlg.m_strConverterPath = exe;
            dlg.m_strDropFile = song;
            drv::Click(&dlg.m_btnOpen);
        },
        // 2 s into the conversion.
        [&] {
            if (started == Clock::time_point::max()) {
                if (Lines(tools.File("calls.log")).empty()) return false;
                started = Clock::now();
            }
            return Clock::now() - started >= std::chrono::seconds(2);
        },
        [] {});
    ExpectClosedCleanly(out);
    EXPECT_TRUE(HasLineStartingWith(out.trace, "RunConverter: ended for a close request"));
    EXPECT_TRUE(out.boxes.empty()) << out.boxes.front();
    EXPECT_TRUE(ConverterEnded(tools));
}

TEST_F(QtCloseRequestTest, TheCloseButtonDuringTheConverterOfOpenEndsItAndTheProgram) {
    TempFolder tools;
    const std::string exe = SlowConverter(tools, folder.Path());
    const std::string song = tools.File("song.mp3");
    std::ofstream(song) << "an mp3";
    auto clicked = std::make_shared<Clock::time_point>(Clock::time_point::max());
    auto closed = std::make_shared<bool>(false);
    const std::string calls = tools.File("calls.log");
    WhenPossible([=] {
        auto* dlg = dynamic_cast<CWaveInOutDlg*>(drv::ShownWindow("ソルベル"));
        if (dlg == nullptr) return false;
        dlg->m_strConverterPath = exe;
        dlg->m_strDropFile = song;
        // The user clicks the title bar's close button once the converter runs.
        WhenPossible([=] {
            if (Lines(calls).empty()) return false;
            *closed = drv::CloseWindow(dlg);
            return true;
        });
        *clicked = Clock::now();
        drv::Click(&dlg->m_btnOpen);
        return true;
    });
    CWaveInOutApp app(folder.Path(), folder.Path());
    app.InitInstance();
    const Clock::time_point ended = Clock::now();
    EXPECT_TRUE(*closed);
    // Long before the converter would have ended by itself.
    EXPECT_LT(ended - *clicked, std::chrono::seconds(20));
    EXPECT_EQ(app.DialogResult(), IDCANCEL);
    ExpectClosedWhileTheConverterRan(Lines(folder.File("debug.txt")));
    EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
    EXPECT_TRUE(ConverterEnded(tools));
}

// A converter that is a wrapper script: it runs the real converter as its child, which notes its
// process id in calls.log, waits 60 s (far longer than a test that ends it takes) and then writes
// the output the program would take.
std::string WrapperConverter(const TempFolder& tools, const std::string& programFolder) {
    const std::string exe = tools.File("wrapper.sh");
    std::ofstream(exe) << "#!/bin/sh\n\"$(dirname \"$0\")/real.sh\" \"$@\"\n";
    ::chmod(exe.c_str(), 0755);
    const std::string real = tools.File("real.sh");
    std::ofstream(real) << "#!/bin/sh\necho $$ >> \"$(dirname \"$0\")/calls.log\"\nsleep 60\nbase=$(basename \"$1\")\n"
                           "echo late > \"" << programFolder << "${base%.*}.wav\"\n";
    ::chmod(real.c_str(), 0755);
    std::ofstream(tools.File("wrapper.ini")) << "[ComboBox]\r\n1003=0\r\n[Radio]\r\nwav=1\r\noutfolder=1\r\n[Edit]\r\noutfolder="
                                             << programFolder.substr(0, programFolder.size() - 1) << "\r\n";
    return exe;
}

// The window manager's close request (the title bar's close button) reaches the program while
// OPEN waits for the converter: 2 s into the conversion it comes through the window system, and
// the converter, with everything it started, ends and the program closes at once. A click that
// the window system hands over meanwhile is not acted on.
class QtCloseFromWindowSystemTest : public QtCloseRequestTest {
protected:
    void RunAndCloseFromTheWindowSystem(const std::string& converter) {
        const std::string song = tools.File("song.mp3");
        std::ofstream(song) << "an mp3";
        const std::string calls = tools.File("calls.log");
        struct State {
            bool routeWorks = false;          // a click from the window system ticks the box when idle
            BOOL before = BST_UNCHECKED;      // the box when the converter started
            bool clickedDuringWait = false;
            bool unchangedDuringWait = false;
            bool closeSent = false;
            Clock::time_point closeAt = Clock::time_point::max();
            pid_t group = -1;                 // the converter's process group
        };
        auto state = std::make_shared<State>();
        auto running = std::make_shared<bool>(true);
        auto startedAt = std::make_shared<Clock::time_point>(Clock::time_point::max());
        // Every step ends once the program has ended (its window objects are gone then).
        WhenPossible([=] {
            if (!*running) return true;
            auto* dlg = dynamic_cast<CWaveInOutDlg*>(drv::ShownWindow("ソルベル"));
            if (dlg == nullptr) return false;
            const BOOL idle = dlg->m_chkSave.GetCheck();
            if (!drv::ClickFromWindowSystem(&dlg->m_chkSave)) return true;
            WhenPossible([=] {
                if (!*running) return true;
                if (dlg->m_chkSave.GetCheck() == idle) return false;
                state->routeWorks = true;
                dlg->m_strConverterPath = converter;
                dlg->m_strDropFile = song;
                WhenPossible([=] {
                    if (!*running) return true;
                    if (*startedAt == Clock::time_point::max()) {
                        if (Lines(calls).empty()) return false;
                        *startedAt = Clock::now();
                        state->before = dlg->m_chkSave.GetCheck();
                        state->group = ::getpgid(static_cast<pid_t>(std::stol(Lines(calls)[0])));
                    }
                    const auto into = Clock::now() - *startedAt;
                    if (!state->clickedDuringWait && into >= std::chrono::seconds(1))
                        state->clickedDuringWait = drv::ClickFromWindowSystem(&dlg->m_chkSave);
                    if (into < std::chrono::seconds(2)) return false;
                    state->unchangedDuringWait = dlg->m_chkSave.GetCheck() == state->before;
                    state->closeAt = Clock::now();
                    state->closeSent = drv::CloseFromWindowSystem(dlg);
                    // A close that does not get through ends the program the program's own way
                    // 10 s later, so that the failure shows as a slow end.
                    drv::RunSoon([dlg, running] {
                        if (*running) platform::ui::PostToQueue(dlg, WM_CLOSE, 0, 0);
                    }, 10000);
                    return true;
                });
                drv::Click(&dlg->m_btnOpen);
                return true;
            });
            return true;
        });
        CWaveInOutApp app(folder.Path(), folder.Path());
        app.InitInstance();
        const Clock::time_point ended = Clock::now();
        *running = false;
        drv::ProcessEvents(50);

        ASSERT_TRUE(state->routeWorks) << "a click from the window system did not reach the box";
        ASSERT_TRUE(state->closeSent);
        const double seconds = std::chrono::duration<double>(ended - state->closeAt).count();
        EXPECT_LT(seconds, 3.0);
        RecordProperty("close_to_end_ms", static_cast<int>(seconds * 1000));
        EXPECT_TRUE(state->clickedDuringWait);
        EXPECT_TRUE(state->unchangedDuringWait) << "a click was acted on while the converter ran";
        EXPECT_EQ(app.DialogResult(), IDCANCEL);
        ExpectClosedWhileTheConverterRan(Lines(folder.File("debug.txt")));
        EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
        // No process of the converter is left: the real one behind a wrapper neither. The program
        // waits for the whole group before it goes on closing; a second is left for the system to
        // take the last of it, long before the converter would have ended by itself.
        ASSERT_EQ(Lines(calls).size(), 1u);
        ASSERT_GT(state->group, 0) << "the converter's process group was not found while it ran";
        const bool groupEnded = GroupEndsWithin(state->group, 1.0);
        EXPECT_TRUE(groupEnded) << "processes of the converter still run after the program has ended";
        if (!groupEnded) ::kill(-state->group, SIGKILL);  // what the program left is ended here
        EXPECT_FALSE(fs::exists(folder.File("song.wav")));
        EXPECT_FALSE(fs::exists(folder.File("temp.wav")));
    }

    TempFolder tools;
};

TEST_F(QtCloseFromWindowSystemTest, DuringTheConverterOfOpenItEndsTheConverterAndTheProgram) {
    RunAndCloseFromTheWindowSystem(SlowConverter(tools, folder.Path()));
}

TEST_F(QtCloseFromWindowSystemTest, DuringAWrapperConverterOfOpenItEndsWhatTheWrapperStartedToo) {
    RunAndCloseFromTheWindowSystem(WrapperConverter(tools, folder.Path()));
}

}  // namespace

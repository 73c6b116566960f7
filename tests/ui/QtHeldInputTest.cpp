// Input that the user makes while OPEN waits for the outside converter: the window holds it back
// during the wait and hands it to its windows once the wait has ended, where every click, key and
// wheel turn acts, in the order it came, whatever the mouse did meanwhile. The input comes
// through the window system as a desktop's does, and the converter ends normally (a close
// request during the wait, which drops the held input, is QtCloseRequestTest's).
#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "QtDialogOnDevices.h"
#include "app/WaveInOutDlg.h"
#include "platform/ui/userinput.h"
#include "support/ChorusDump.h"
#include "support/TempFolder.h"
#include "support/TestData.h"

namespace {

namespace drv = platform::ui::qt::testing;

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Index of the first line at or after `from` that starts with prefix (the size when none does).
std::size_t Find(const std::vector<std::string>& lines, const std::string& prefix, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) == 0) return i;
    }
    return lines.size();
}

class QtHeldInputTest : public QtDialogOnDevicesTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        voice = TestDataFile("voice.wav");
        if (!std::ifstream(voice).good()) GTEST_SKIP() << "no " << voice << " (make it with scripts/make-voice.sh)";
        std::ofstream(folder.File("debug.txt")).flush();  // tracing on
        MakeGatedConverter();
        StartDialog(voice, "1");
    }

    // A converter that notes that it runs, waits until the test lets it go (the file "go"
    // beside it appears) and then writes the voice as its output into the program folder: a
    // conversion that ends normally, whenever the test says.
    void MakeGatedConverter() {
        converter = tools.File("gated.sh");
        std::ofstream(converter) << "#!/bin/sh\nd=$(dirname \"$0\")\necho $$ >> \"$d/calls.log\"\n"
                                    "while [ ! -e \"$d/go\" ]; do sleep 0.02; done\n"
                                    "base=$(basename \"$1\")\ncp \"" << voice << "\" \"" << folder.Path() << "${base%.*}.wav\"\n";
        ::chmod(converter.c_str(), 0755);
        const std::string programFolder = folder.Path().substr(0, folder.Path().size() - 1);
        std::ofstream(tools.File("gated.ini")) << "[ComboBox]\r\n1003=0\r\n[Radio]\r\nwav=1\r\noutfolder=1\r\n[Edit]\r\noutfolder="
                                               << programFolder << "\r\n";
        song = tools.File("song.mp3");
        std::ofstream(song) << "an mp3";
    }

    // Clicks OPEN on a file that the converter converts. Once the converter runs, userInput()
    // makes the user's input through the window system and the wait goes on until the window
    // system has handed all of it over; then the converter is let go. Returns when OPEN has
    // returned, with the file run started; the held input has not been handled yet.
    void OpenWhileTheUserActs(const std::function<bool()>& userInput) {
        dlg->m_strConverterPath = converter;
        dlg->m_strDropFile = song;
        auto made = std::make_shared<bool>(false);
        const std::string calls = tools.File("calls.log");
        const std::string go = tools.File("go");
        CWaveInOutDlg* d = dlg.get();
        WhenPossible([=, this] {
            if (Lines(calls).empty()) return false;
            *made = userInput();
            // The input is taken (and held) in the wait's next rounds; nothing of it acts yet.
            WhenPossible([=, this] {
                if (drv::WindowSystemEventsWaiting()) return false;
                traceDuringWait = Lines(folder.File("debug.txt"));
                pitchDuringWait = d->m_sliderPitch.GetPos();
                std::ofstream(go).flush();
                return true;
            });
            return true;
        });
        pitchBefore = dlg->m_sliderPitch.GetPos();
        pitchLabelBefore = drv::WidgetText(&dlg->m_staticPitchValue);
        ASSERT_TRUE(drv::Click(&dlg->m_btnOpen));
        ASSERT_TRUE(*made) << "the input was not made";
        ASSERT_EQ(dlg->m_nRunState.load(), 2) << "the file run did not start";
        EXPECT_EQ(Find(traceDuringWait, "4-STOP button"), traceDuringWait.size()) << "STOP acted during the wait";
        EXPECT_EQ(pitchDuringWait, pitchBefore) << "the wheel acted during the wait";
    }

    // Whether the user's STOP ended the file run: the trace shows STOP after the start of the
    // run and before the player reached the end of the file (where the program stops the run
    // itself).
    bool StoppedByTheUser() const {
        const auto trace = Lines(folder.File("debug.txt"));
        const std::size_t started = Find(trace, "2-02");
        const std::size_t stop = Find(trace, "4-STOP button", started);
        return stop < trace.size() && stop < Find(trace, "9-END", started);
    }

    TempFolder tools;
    std::string voice, converter, song;
    std::vector<std::string> traceDuringWait;
    std::string pitchLabelBefore;
    int pitchBefore = 0;
    int pitchDuringWait = 0;
};

TEST_F(QtHeldInputTest, ClicksOnStopThenOpenActAfterTheWaitInTheirOrder) {
    OpenWhileTheUserActs([this] { return drv::ClickFromWindowSystem(&dlg->m_btnStop) && drv::ClickFromWindowSystem(&dlg->m_btnOpen); });
    // STOP ends the run, then OPEN, with no file given, asks for one: the picker shows once
    // the run has stopped.
    auto pickerAfterStop = std::make_shared<int>(-1);  // -1 while no picker has shown
    WhenPossible([this, pickerAfterStop] {
        if (drv::OpenFileDialogFilters().empty()) return false;
        *pickerAfterStop = StoppedByTheUser() && dlg->m_nRunState.load() == 0 ? 1 : 0;
        drv::AnswerFileDialog({});
        return true;
    });
    EXPECT_TRUE(drv::WaitUntil([&] { return *pickerAfterStop != -1; }, kUiDeadlineMs)) << "OPEN did not act after the wait";
    EXPECT_TRUE(StoppedByTheUser()) << "STOP did not act after the wait";
    EXPECT_NE(*pickerAfterStop, 0) << "OPEN acted before STOP had ended the run";
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
}

TEST_F(QtHeldInputTest, AClickAfterTheMouseMovedAndTheWheelTurnedElsewhereActsAfterTheWait) {
    OpenWhileTheUserActs([this] {
        const RECT open = drv::WidgetRect(&dlg->m_btnOpen);
        bool made = drv::MouseFromWindowSystem(&dlg->m_btnOpen, WM_MOUSEMOVE, 2, 2);
        // Across the window to the pitch slider, a turn of the wheel there, then to STOP.
        for (int step = 1; step <= 6; ++step)
            made = made && drv::MouseFromWindowSystem(dlg.get(), WM_MOUSEMOVE, open.left + step * 20, open.top + step * 15);
        made = made && drv::MouseFromWindowSystem(&dlg->m_sliderPitch, WM_MOUSEMOVE, 3, 3);
        made = made && drv::WheelFromWindowSystem(&dlg->m_sliderPitch, 1);
        const RECT stop = drv::WidgetRect(&dlg->m_btnStop);
        const int w = stop.right - stop.left, h = stop.bottom - stop.top;
        made = made && drv::MouseFromWindowSystem(&dlg->m_btnStop, WM_MOUSEMOVE, 1, 1);
        made = made && drv::MouseFromWindowSystem(&dlg->m_btnStop, WM_MOUSEMOVE, w / 3, h / 3);
        made = made && drv::MouseFromWindowSystem(&dlg->m_btnStop, WM_LBUTTONDOWN, w / 2, h / 2);
        return made && drv::MouseFromWindowSystem(&dlg->m_btnStop, WM_LBUTTONUP, w / 2, h / 2);
    });
    EXPECT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 0; }, kUiDeadlineMs)) << "STOP did not act after the wait";
    EXPECT_TRUE(StoppedByTheUser());
    EXPECT_NE(dlg->m_sliderPitch.GetPos(), pitchBefore) << "the wheel did not act after the wait";
    // The pitch label shows the new value once the slider has redrawn.
    EXPECT_TRUE(drv::WaitUntil([&] { return drv::WidgetText(&dlg->m_staticPitchValue) != pitchLabelBefore; }, kUiDeadlineMs));
    EXPECT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("held-input-after-wait.png")));
}

TEST_F(QtHeldInputTest, AKeyOnStopActsAfterTheWait) {
    OpenWhileTheUserActs([this] { return drv::KeyFromWindowSystem(&dlg->m_btnStop, "Space"); });
    EXPECT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 0; }, kUiDeadlineMs)) << "the key did not act after the wait";
    EXPECT_TRUE(StoppedByTheUser());
}

// Input held by a wait goes back ahead of input that the window system handed over after the
// wait's last round, before the hold was released (the user clicked just as the wait ended): the
// clicks act in the order they were made.
TEST_F(QtHeldInputTest, InputHeldByAWaitActsBeforeInputThatCameAfterTheWait) {
    auto* ws = platform::ui::GetWindowSystem();
    ASSERT_NE(ws, nullptr);
    std::ofstream(folder.File("debug.txt"), std::ios::trunc).flush();
    ASSERT_TRUE(drv::ClickFromWindowSystem(&dlg->m_btnStop));
    ws->ProcessPendingEvents();  // a round of a wait: the click on STOP is held
    ASSERT_TRUE(drv::ClickFromWindowSystem(&dlg->m_btnPlay));
    ws->ReleaseHeldInput();
    const auto both = [&] {
        const auto trace = Lines(folder.File("debug.txt"));
        return Find(trace, "4-STOP button") < trace.size() && Find(trace, "3-PLAY button") < trace.size();
    };
    ASSERT_TRUE(drv::WaitUntil(both, kUiDeadlineMs)) << "the clicks did not act";
    const auto trace = Lines(folder.File("debug.txt"));
    EXPECT_LT(Find(trace, "4-STOP button"), Find(trace, "3-PLAY button")) << "the held click acted after the newer one";
}

// Starts that reach the dialog inside OPEN's wait by a way that holds no input (a timer's or a
// posted message's handler, a drop handed to the dialog directly) start nothing there: LIVE is
// refused, and the dropped file is kept for the next OPEN; OPEN's own run starts after the wait.
TEST_F(QtHeldInputTest, StartsInsideOpensWaitAreRefusedAndOpensRunStartsAfterIt) {
    CWaveInOutDlg* d = dlg.get();
    OpenWhileTheUserActs([this, d] {
        d->OnBnClickedLive();
        return platform::ui::UserDroppedFiles(d, {voice}, POINT{20, 20});
    });
    const auto trace = Lines(folder.File("debug.txt"));
    EXPECT_EQ(Find(trace, "1-01"), trace.size()) << "LIVE started inside OPEN's wait";
    EXPECT_LT(Find(trace, "LIVE refused"), trace.size());
    EXPECT_EQ(std::count_if(trace.begin(), trace.end(), [](const std::string& l) { return l.rfind("2-02", 0) == 0; }), 1);
    EXPECT_EQ(dlg->m_strDropFile, voice) << "the dropped file is not kept for the next OPEN";
}

// A run that began while the chorus or batch picker was open (by a way around the start guard)
// keeps what is chosen there from acting: no dump goes into a running run's arrays, no batch
// starts beside the run.
TEST_F(QtHeldInputTest, ARunThatBeganBehindTheChorusOrBatchPickerKeepsTheChoiceFromActing) {
    const std::string dump = tools.File("voice_dump_01.txt");
    test_support::WriteVoiceChorusDump(dump, voice);
    CWaveInOutDlg* d = dlg.get();
    const auto runBehindThePickerThenChoose = [this, d](const std::string& chosen) {
        WhenPossible([=, this] {
            if (drv::OpenFileDialogFilters().empty()) return false;
            d->m_strDropFile = voice;
            d->StartFile();
            drv::AnswerFileDialog({chosen});
            return true;
        });
    };

    runBehindThePickerThenChoose(dump);
    ASSERT_TRUE(drv::Click(&dlg->m_btnChorusFile));
    ASSERT_EQ(dlg->m_nRunState.load(), 2) << "no run began behind the picker";
    EXPECT_TRUE(dlg->m_strChorusFile.empty()) << "the dump was loaded into the running run";
    EXPECT_NE(dlg->m_comboMinKey.GetCurSel(), 12);
    dlg->OnBnClickedStop();

    runBehindThePickerThenChoose(voice);
    ASSERT_TRUE(drv::Click(&dlg->m_btnBatch));
    ASSERT_EQ(dlg->m_nRunState.load(), 2) << "no run began behind the picker";
    EXPECT_FALSE(dlg->IsBatchRunning());
    const auto trace = Lines(folder.File("debug.txt"));
    EXPECT_LT(Find(trace, "BatchProc: a run or a close began"), trace.size()) << "a batch started beside the run";
}

// Qt keeps only the first handler of the window system's events installed: when another one is
// in place, the hold of input cannot work, and the trace says so.
TEST_F(QtUiTest, AWaitWhoseInputHoldIsNotInPlaceSaysSoInTheTrace) {
    auto* ws = platform::ui::GetWindowSystem();
    ASSERT_NE(ws, nullptr);
    std::vector<std::string> notes;
    platform::ui::SetWindowSystemNoticeSink([&](const std::string& text) { notes.push_back(text); });
    ws->ProcessPendingEvents();  // the hold is in place: nothing to say
    EXPECT_TRUE(notes.empty());
    drv::OccupyWindowSystemEventHandler(true);
    ws->ProcessPendingEvents();
    drv::OccupyWindowSystemEventHandler(false);
    ws->ProcessPendingEvents();
    platform::ui::SetWindowSystemNoticeSink(nullptr);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("another handler"), std::string::npos) << notes[0];
}

}  // namespace

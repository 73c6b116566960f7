// Shared pieces of the user-interface tests.
//
// Tests of the window-free core run without a window system: their fixture fails when one is
// installed. Tests of the Qt backend share one Application, made by the first of them and kept
// until the program ends (the core tests' files sort first, so a whole-program run does those
// before any Qt test starts; ctest runs every test in its own process anyway).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/msgqueue.h"
#include "platform/ui/qt/application.h"
#include "platform/ui/qt/testdriver.h"
#include "platform/ui/windowsystem.h"
#include "resources/resource_ids.h"

class HeadlessUiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(platform::ui::GetWindowSystem(), nullptr) << "core tests must run before the Qt tests";
        platform::ui::DeliverPostedMessages();
    }
    void TearDown() override { platform::ui::DeliverPostedMessages(); }
};

class QtUiTest : public ::testing::Test {
    friend class QtAppEnvironment;

protected:
    static void SetUpTestSuite() {
        if (App() != nullptr) return;
        static int argc = 1;
        static char name[] = "test_ui";
        static char* argv[] = {name, nullptr};
        App() = std::make_unique<platform::ui::qt::Application>(argc, argv);
    }
    void SetUp() override {
        ASSERT_TRUE(App()->Ok()) << App()->Error();
        platform::ui::qt::testing::ProcessEvents();
    }
    void TearDown() override {
        // Nothing of one test may reach the next: answer boxes left open, deliver what is queued.
        while (platform::ui::qt::testing::AnswerMessageBox(IDOK)) {
        }
        platform::ui::qt::testing::ProcessEvents(20);
    }
    static std::unique_ptr<platform::ui::qt::Application>& App() {
        static std::unique_ptr<platform::ui::qt::Application> app;
        return app;
    }
};

// The deadline of a wait for what the window system does on its own time (a first paint, a
// timer's drawing, a redraw's notification): generous, so that a loaded machine meets it too. A
// wait ends as soon as its condition holds; the test then asserts what it waited for, so a state
// that never comes shows as the state there is.
inline constexpr int kUiDeadlineMs = 30000;

// Ends the shared Application before the program ends (not during static destruction).
class QtAppEnvironment : public ::testing::Environment {
public:
    void TearDown() override;
};

inline ::testing::Environment* const kQtAppEnvironment = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

// Keeps trying `attempt` from the event loop (every 10 ms, for up to 10 s) until it succeeds,
// without blocking the loop that an awaited window (a modal dialog, a picker, a message box)
// runs in.
inline void WhenPossible(std::function<bool()> attempt) {
    auto tries = std::make_shared<int>(1000);
    auto step = std::make_shared<std::function<void()>>();
    *step = [attempt, tries, step] {
        if (attempt() || --*tries <= 0) {
            *step = nullptr;  // ends the cycle of the step holding itself
            return;
        }
        platform::ui::qt::testing::RunSoon(*step, 10);
    };
    platform::ui::qt::testing::RunSoon(*step, 10);
}

// What to do with the message boxes the main dialog's start-up opens (a missing device, no MIDI).
enum class StartUpBoxes { Left, Answered };

// Creates the main dialog from its template and waits until its window shows.
template <typename Dialog>
::testing::AssertionResult ShowMainDialog(Dialog& dlg, StartUpBoxes boxes) {
    namespace drv = platform::ui::qt::testing;
    if (!dlg.Create(IDD_SORVEL_DIALOG)) return ::testing::AssertionFailure() << "the main dialog was not created";
    if (!drv::WaitUntil([&] { return drv::WidgetVisible(&dlg); }))
        return ::testing::AssertionFailure() << "the main dialog's window did not show";
    if (boxes == StartUpBoxes::Answered) {
        while (drv::AnswerMessageBox(IDOK)) {
        }
    }
    return ::testing::AssertionSuccess();
}

// Folder for screenshots: build/screenshots beside the test data folder.
inline std::string ScreenshotPath(const std::string& name) {
    const char* data = std::getenv("SORVEL_TEST_DATA");
    const std::filesystem::path base = data ? std::filesystem::path(data).parent_path() : std::filesystem::current_path();
    return (base / "screenshots" / name).string();
}

inline void QtAppEnvironment::TearDown() { QtUiTest::App().reset(); }

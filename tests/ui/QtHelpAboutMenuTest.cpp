// Help, about box and popup menu of the real main window: the help page goes to a stand-in
// browser as one argument, whatever its path holds; the about box and the popup menu on screen.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "UiTestSupport.h"
#include "app/WaveInOutDlg.h"
#include "resources/resource_ids.h"
#include "support/RiffBytes.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"
#include "support/ElfWordSize.h"

namespace {

namespace drv = platform::ui::qt::testing;

using riffbytes::ReadFile;

class QtHelpAboutMenuTest : public QtUiTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        // A program folder whose path holds blanks, quotes and shell syntax.
        appFolder = folder.File("my programs; $(touch pwned) `touch pwned2` & 'q' \"d\"/");
        std::filesystem::create_directories(appFolder);
        // The stand-in browser writes how many arguments it got and each one, NUL-terminated.
        browser = folder.File("browser.sh");
        argsFile = folder.File("args.bin");
        std::ofstream(browser) << "#!/bin/sh\nprintf '%s\\0' \"$#\" \"$@\" >> '" << argsFile << "'\n";
        ::chmod(browser.c_str(), 0755);
        env = std::make_unique<ScopedEnv>("BROWSER", browser);
        in = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_IN", folder.File("none.wav"));
        out = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_OUT", folder.File("played.wav"));
        dlg = std::make_unique<CWaveInOutDlg>(appFolder);
        ASSERT_TRUE(ShowMainDialog(*dlg, StartUpBoxes::Answered));
    }
    void TearDown() override {
        dlg.reset();
        out.reset();
        in.reset();
        env.reset();
        QtUiTest::TearDown();
    }
    // Right click on the dialog's background and run `work` while the popup menu is shown.
    void WithPopupMenu(const std::function<void()>& work) {
        bool ran = false;
        drv::RunSoon([&] {
            ASSERT_TRUE(drv::WaitUntil([] { return !drv::OpenMenuItemTexts().empty(); }));
            ran = true;
            work();
        });
        ASSERT_TRUE(drv::MouseAt(dlg.get(), WM_RBUTTONDOWN, 600, 340));
        EXPECT_TRUE(ran);
    }

    TempFolder folder;
    std::string appFolder, browser, argsFile;
    std::unique_ptr<ScopedEnv> env, in, out;
    std::unique_ptr<CWaveInOutDlg> dlg;
};

TEST_F(QtHelpAboutMenuTest, HelpPageGoesToTheBrowserAsOneArgumentAndAMissingPageIsTold) {
    // Missing: the message, and no browser.
    bool told = false;
    WhenPossible([&] {
        const auto texts = drv::OpenMessageBoxTexts();
        if (texts.empty()) return false;
        EXPECT_EQ(texts, (std::vector<std::string>{"Help file not found."}));
        told = drv::AnswerMessageBox(IDOK);
        return true;
    });
    ASSERT_TRUE(drv::Click(&dlg->m_btnHelp));
    ASSERT_TRUE(drv::WaitUntil([&] { return told; }));
    drv::ProcessEvents(200);
    EXPECT_FALSE(std::filesystem::exists(argsFile));

    // Present: the help button and the menu item each start the browser with the path alone.
    std::filesystem::create_directories(appFolder + "help");
    const std::string page = appFolder + "help/sorvel1.html";
    std::ofstream(page) << "<html></html>\n";
    ASSERT_TRUE(drv::Click(&dlg->m_btnHelp));
    WithPopupMenu([] { ASSERT_TRUE(drv::ChooseOpenMenuItem(ID_HELP_SHOW)); });
    const std::string once = std::string("1") + '\0' + page + '\0';
    ASSERT_TRUE(drv::WaitUntil([&] { return ReadFile(argsFile) == once + once; }, 10000)) << ReadFile(argsFile);
    EXPECT_FALSE(std::filesystem::exists(appFolder + "pwned"));
    EXPECT_FALSE(std::filesystem::exists(folder.File("pwned")));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    EXPECT_FALSE(std::filesystem::exists("pwned2"));
    EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
}

TEST_F(QtHelpAboutMenuTest, AHelpPageThatIsAPipeIsMissingAndTheWindowStaysResponsive) {
    std::filesystem::create_directories(appFolder + "help");
    const std::string page = appFolder + "help/sorvel1.html";
    ASSERT_EQ(::mkfifo(page.c_str(), 0600), 0);
    riffbytes::WriteFile(folder.File("none.wav"), riffbytes::Wave(1, std::string(44100 * 2, '\0')));
    // Should the window hang in the pipe, a writer frees it after a while, so that the test
    // fails instead of hanging.
    std::atomic<bool> responded{false}, freed{false};
    std::thread rescuer([&] {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!responded.load() && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (responded.load()) return;
        const int fd = ::open(page.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            freed.store(true);
            ::close(fd);
        }
    });
    // Held by the step too, which may outlive the test when the box never shows.
    auto told = std::make_shared<bool>(false);
    WhenPossible([told] {
        const auto texts = drv::OpenMessageBoxTexts();
        if (texts.empty()) return false;
        EXPECT_EQ(texts, (std::vector<std::string>{"Help file not found."}));
        *told = drv::AnswerMessageBox(IDOK);
        return true;
    });
    ASSERT_TRUE(drv::Click(&dlg->m_btnHelp));
    // The window goes on: a LIVE click is handled.
    ASSERT_TRUE(drv::Click(&dlg->m_btnLive));
    const bool live = drv::WaitUntil([&] { return dlg->m_nRunState.load() == 1; });
    responded.store(true);
    rescuer.join();
    EXPECT_TRUE(live);
    EXPECT_FALSE(freed.load()) << "the window hung in the pipe";
    EXPECT_TRUE(*told);
    EXPECT_FALSE(std::filesystem::exists(argsFile));
    // And a close request ends it.
    platform::ui::PostToQueue(dlg.get(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(drv::WaitUntil([&] { return dlg->IsEnded(); }));
}

TEST_F(QtHelpAboutMenuTest, PopupMenuOffersItsThreeCommandsAndVersionShowsTheAboutBox) {
    std::string buildText;
    WithPopupMenu([&] {
        EXPECT_EQ(drv::OpenMenuItemTexts(), (std::vector<std::string>{"ソルベルの設定", "ヘルプの表示", "バージョン情報"}));
        EXPECT_TRUE(drv::SaveOpenMenuScreenshot(ScreenshotPath("popup-menu.png")));
        WhenPossible([&] {
            auto* box = dynamic_cast<CDialog*>(drv::ShownWindow("About sorvel"));
            if (box == nullptr) return false;
            buildText = drv::WidgetText(box->GetDlgItem(IDC_ABOUT_BUILD));
            EXPECT_EQ(drv::WidgetText(box->GetDlgItem(IDC_ABOUT_VERSION)), "Sorvel Version 2.87");
            EXPECT_TRUE(drv::SaveScreenshot(box, ScreenshotPath("about-box.png")));
            EXPECT_TRUE(drv::Click(box->GetDlgItem(IDOK)));
            return true;
        });
        ASSERT_TRUE(drv::ChooseOpenMenuItem(ID_VERSION));
    });
    ASSERT_TRUE(drv::WaitUntil([&] { return !buildText.empty(); }));
    EXPECT_EQ(buildText, std::to_string(elfword::BitsOfThisProgram()) + "bit program");
    ASSERT_TRUE(drv::WaitUntil([] { return drv::ShownWindow("About sorvel") == nullptr; }));

    // The settings item opens the settings dialog.
    bool settingsShown = false;
    WithPopupMenu([&] {
        WhenPossible([&] {
            auto* settings = dynamic_cast<CDialog*>(drv::ShownWindow("ソルベルの設定"));
            if (settings == nullptr) return false;
            settingsShown = true;
            EXPECT_TRUE(drv::Click(settings->GetDlgItem(IDC_SET_CANCEL)));
            return true;
        });
        ASSERT_TRUE(drv::ChooseOpenMenuItem(ID_SETTING));
    });
    ASSERT_TRUE(drv::WaitUntil([&] { return settingsShown && drv::ShownWindow("ソルベルの設定") == nullptr; }));
}

TEST_F(QtHelpAboutMenuTest, IdleWindowShowsTheMeterBlackAlsoAfterARunAndBufferFullRed) {
    // The timer draws the meter: wait for it to show black (then asserted pixel by pixel).
    const auto meterBlack = [&] {
        for (int x : {318, 322, 326, 328, 332, 336})
            for (int y : {30, 60, 86})
                if (drv::GrabPixel(dlg.get(), x, y) != RGB(0, 0, 0)) return false;
        return true;
    };
    drv::WaitUntil(meterBlack, kUiDeadlineMs);
    const auto expectMeterBlack = [&](const char* when) {
        for (int x : {318, 322, 326, 328, 332, 336}) {
            for (int y : {30, 60, 86}) EXPECT_EQ(drv::GrabPixel(dlg.get(), x, y), RGB(0, 0, 0)) << when << " " << x << "," << y;
        }
    };
    expectMeterBlack("at the start");

    // A loud tone on the recording device lights the meter during a LIVE run; STOP leaves the
    // window idle, and the idle meter is black again.
    std::string tone;
    for (int i = 0; i < 44100 * 3; ++i) {
        const double v = 20000.0 * std::sin(2.0 * 3.141592653589793 * 440.0 * i / 44100.0);
        tone += riffbytes::Le16(static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    }
    riffbytes::WriteFile(folder.File("none.wav"), riffbytes::Wave(1, tone));
    ASSERT_TRUE(drv::Click(dlg->GetDlgItem(IDC_LIVE)));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 1; }));
    ASSERT_TRUE(drv::WaitUntil([&] { return drv::GrabPixel(dlg.get(), 320, 86) != RGB(0, 0, 0); }))
        << "the meter never lit";
    EXPECT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("main-dialog-meter-during-run.png")));
    ASSERT_TRUE(drv::Click(dlg->GetDlgItem(IDC_STOP)));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 0; }));
    drv::WaitUntil(meterBlack, kUiDeadlineMs);
    expectMeterBlack("after STOP");
    EXPECT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("main-dialog-meter-after-stop.png")));

    dlg->m_staticBufferFull.ShowWindow(SW_SHOW);
    drv::ProcessEvents(50);
    const RECT r = drv::WidgetRect(&dlg->m_staticBufferFull);
    int red = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = drv::GrabPixel(dlg.get(), x, y);
            if (GetRValue(c) > 180 && GetGValue(c) < 90 && GetBValue(c) < 90) ++red;
        }
    }
    EXPECT_GT(red, 20);
    EXPECT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("main-dialog-idle.png")));
}

}  // namespace

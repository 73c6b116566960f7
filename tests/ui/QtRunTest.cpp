// The real main dialog on the Qt backend through real runs on the virtual sound devices: LIVE
// and a dropped file in both methods, clicked as a user clicks, with a screenshot of each run.
#include <cstdlib>
#include <memory>
#include <fstream>
#include <string>

#include "QtDialogOnDevices.h"
#include "app/WaveInOutDlg.h"
#include "resources/resource_ids.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"
#include "support/TestData.h"

namespace {

namespace drv = platform::ui::qt::testing;

class QtRunTest : public QtDialogOnDevicesTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        voice = TestDataFile("voice.wav");
        if (!std::ifstream(voice).good()) GTEST_SKIP() << "no " << voice << " (make it with scripts/make-voice.sh)";
        StartDialog(voice, "2");
    }

    // Waits until `seconds` of input have arrived and the timer has shown some play time.
    bool RunFor(double seconds) {
        const int want = static_cast<int>(seconds * 44100.0);
        return drv::WaitUntil([&] { return dlg->m_nInputCount.load() >= want; }, 30000) &&
               drv::WaitUntil([&] { return drv::WidgetText(&dlg->m_staticTime).find("0:00") == std::string::npos; }, 5000);
    }

    void ChooseMethod(int method) {
        ASSERT_TRUE(drv::Click(dlg->GetDlgItem(method == 0 ? IDC_TD_PSOLA : IDC_PHASE_VOCODER)));
        ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nMethod == method; }));
    }

    std::string voice;
};

TEST_F(QtRunTest, LiveAndFileRunsInBothMethodsShowTheirControlsAndPlay) {
    for (int method : {0, 1}) {
        const std::string name = method == 0 ? "psola" : "pv";
        SCOPED_TRACE(name);
        ChooseMethod(method);
        ASSERT_TRUE(drv::Click(&dlg->m_btnManToWoman));

        // LIVE: the recording device's voice, changed, with the level meter and the play time.
        ASSERT_TRUE(drv::Click(&dlg->m_btnLive));
        ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 1; }));
        ASSERT_TRUE(RunFor(2.5));
        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnLive), IDB_LIVE_ACTIVE);
        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnOpen), IDB_OPEN_GREY);
        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnStop), IDB_STOP);
        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnPlay), IDB_PLAY_GREY_LIVE);
        EXPECT_FALSE(drv::WidgetEnabled(&dlg->m_chkSave));
        EXPECT_FALSE(drv::WidgetEnabled(dlg->GetDlgItem(IDC_TD_PSOLA)));
        EXPECT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("run-live-" + name + ".png")));
        ASSERT_TRUE(drv::Click(&dlg->m_btnStop));
        ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 0; }));
        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnPlay), IDB_PLAY_GREY);
        EXPECT_TRUE(drv::WidgetEnabled(&dlg->m_chkSave));

        // A dropped file: it plays, PLAY pauses and resumes it, STOP ends it.
        ASSERT_TRUE(drv::DropFiles(dlg.get(), {voice}, POINT{200, 200}));
        ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 2; }));
        ASSERT_TRUE(RunFor(2.0));
        EXPECT_EQ(drv::WidgetText(dlg.get()), "voice.wav");
        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnOpen), IDB_OPEN_ACTIVE);
        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnLive), IDB_LIVE_GREY);
        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnPlay), IDB_PLAY_PAUSE);
        EXPECT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("run-file-" + name + ".png")));
        ASSERT_TRUE(drv::Click(&dlg->m_btnPlay));
        ASSERT_TRUE(drv::WaitUntil([&] { return drv::WidgetImageId(&dlg->m_btnPlay) == IDB_PLAY; }));
        ASSERT_TRUE(drv::Click(&dlg->m_btnPlay));
        ASSERT_TRUE(drv::WaitUntil([&] { return drv::WidgetImageId(&dlg->m_btnPlay) == IDB_PLAY_PAUSE; }));
        ASSERT_TRUE(drv::Click(&dlg->m_btnStop));
        ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 0; }));
        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnPlay), IDB_PLAY);
    }
    EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
    // The playback device recorded what the last run played.
    std::ifstream played(folder.File("played.wav"), std::ios::binary | std::ios::ate);
    EXPECT_GT(static_cast<long>(played.tellg()), 44100L * 2);
}

}  // namespace

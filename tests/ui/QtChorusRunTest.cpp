// The Chorus file button on the real main dialog: the picker for a pitch dump, the chorus run it
// starts (with a screenshot during the run) and the controls a chorus run locks.
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "UiTestSupport.h"
#include "app/WaveInOutDlg.h"
#include "resources/resource_ids.h"
#include "support/ChorusDump.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"
#include "support/TestData.h"

namespace {

namespace drv = platform::ui::qt::testing;

TEST_F(QtUiTest, ChorusFileButtonLoadsADumpAndPlaysItsChorusRun) {
    const std::string voice = TestDataFile("voice.wav");
    if (!std::ifstream(voice).good()) GTEST_SKIP() << "no " << voice << " (make it with scripts/make-voice.sh)";
    TempFolder folder;
    ScopedEnv in("SORVEL_VIRTUAL_IN", voice);
    ScopedEnv out("SORVEL_VIRTUAL_OUT", folder.File("played.wav"));
    ScopedEnv speed("SORVEL_VIRTUAL_SPEED", "1");

    // A dump of the voice recording without pitch shifting, a chorus voice a fifth up.
    const std::string dump = folder.File("voice_dump_01.txt");
    test_support::WriteVoiceChorusDump(dump, voice, false);

    auto dlg = std::make_unique<CWaveInOutDlg>(folder.Path());
    ASSERT_TRUE(ShowMainDialog(*dlg, StartUpBoxes::Answered));
    ASSERT_TRUE(drv::Click(&dlg->m_btnManToWoman));

    std::vector<std::string> filters;
    drv::RunSoon([&] {
        filters = drv::OpenFileDialogFilters();
        drv::AnswerFileDialog({dump});
    }, 50);
    ASSERT_TRUE(drv::Click(&dlg->m_btnChorusFile));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 2; }));
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_NE(filters[0].find("*.txt"), std::string::npos) << filters[0];
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nInputCount.load() >= 2 * 44100; }, 30000));
    ASSERT_TRUE(drv::WaitUntil([&] { return drv::WidgetText(&dlg->m_staticTime).find("0:00") == std::string::npos; }, 5000));

    // The dump's key range and threshold are shown and locked, as are the voice mode and, without
    // pitch shifting, the pitch trackbar (back at 0) and the voice presets.
    EXPECT_EQ(drv::WidgetText(dlg.get()), "voice.wav");
    EXPECT_EQ(dlg->m_comboMinKey.GetCurSel(), 12);
    EXPECT_EQ(dlg->m_comboMaxKey.GetCurSel(), 36);
    EXPECT_EQ(drv::WidgetText(&dlg->m_editCorrTh), "0.6");
    EXPECT_FALSE(drv::WidgetEnabled(&dlg->m_comboMaxKey));
    EXPECT_FALSE(drv::WidgetEnabled(&dlg->m_editCorrTh));
    EXPECT_FALSE(drv::WidgetEnabled(&dlg->m_comboVoiceMode));
    EXPECT_FALSE(drv::WidgetEnabled(&dlg->m_sliderPitch));
    EXPECT_FALSE(drv::WidgetEnabled(&dlg->m_btnManToWoman));
    EXPECT_FALSE(drv::WidgetEnabled(&dlg->m_btnChorusFile));
    EXPECT_EQ(dlg->m_sliderPitch.GetPos(), 0);
    EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnOpen), IDB_OPEN_ACTIVE);
    EXPECT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("run-chorus.png")));

    ASSERT_TRUE(drv::Click(&dlg->m_btnStop));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 0; }));
    EXPECT_TRUE(dlg->m_strChorusFile.empty());
    EXPECT_TRUE(drv::WidgetEnabled(&dlg->m_comboVoiceMode));
    EXPECT_TRUE(drv::WidgetEnabled(&dlg->m_btnChorusFile));
    EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
    dlg.reset();
}

}  // namespace

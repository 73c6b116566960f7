// The Batch button on the real main dialog: the picker, the progress dialog while a batch runs
// (its layout, colours, the keys and the close box that cannot end it), 中止, and the main
// dialog back with the elapsed time. Saves a screenshot of the progress dialog mid-batch.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "UiTestSupport.h"
#include "app/WaveInOutDlg.h"
#include "batch/BatchDlg.h"
#include "platform/ui/userinput.h"
#include "platform/wave/wavfileio.h"
#include "resources/resource_ids.h"
#include "support/TempFolder.h"
#include "support/TestData.h"

namespace {

namespace drv = platform::ui::qt::testing;

class QtBatchDialogTest : public QtUiTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        const std::string voice = TestDataFile("voice.wav");
        platform::wave::WavAudio audio;
        std::string error;
        if (!platform::wave::ReadWavFile(voice, &audio, &error)) GTEST_SKIP() << error;
        // A long recording (the voice eight times over), so that the batch lasts a while.
        longFile = folder.File("long voice.wav");
        platform::wave::CWavWriter w;
        ASSERT_TRUE(w.Open(longFile, audio.format, &error)) << error;
        for (int k = 0; k < 8; ++k) ASSERT_TRUE(w.Write(audio.samples.data(), audio.samples.size() * sizeof(short)));
        ASSERT_TRUE(w.Close());
        dlg = std::make_unique<CWaveInOutDlg>(folder.Path());
        ASSERT_TRUE(ShowMainDialog(*dlg, StartUpBoxes::Answered));
        dlg->m_strOutputFolder = out.Path();
        dlg->m_nBatchOverSampling = 4;
    }
    void TearDown() override {
        if (dlg) dlg->StopBatch();
        drv::ProcessEvents(20);
        dlg.reset();
        QtUiTest::TearDown();
    }

    TempFolder folder;
    TempFolder out;
    std::string longFile;
    std::unique_ptr<CWaveInOutDlg> dlg;
};

TEST_F(QtBatchDialogTest, ProgressDialogShowsTheBatchAndOnlyAbortEndsIt) {
    // Answers the picker once it is open (it may take a while on a busy machine).
    std::vector<std::string> filters;
    std::function<void()> answer = [&] {
        filters = drv::OpenFileDialogFilters();
        if (filters.empty()) return drv::RunSoon(answer, 20);
        drv::AnswerFileDialog({longFile});
    };
    drv::RunSoon(answer, 20);
    ASSERT_TRUE(drv::Click(&dlg->m_btnBatch));
    ASSERT_EQ(filters.size(), 1u);
    CBatchDlg* p = dlg->m_pBatchDlg;
    ASSERT_NE(p, nullptr);

    // The progress dialog in front, the main dialog hidden, the percentage counting.
    ASSERT_TRUE(drv::WaitUntil([&] {
        const std::string t = drv::WidgetText(&p->m_staticProgress);
        return t.size() == 5 && t != "  0 %" && t.back() == '%';
    }, 60000));
    EXPECT_TRUE(drv::WidgetVisible(p));
    EXPECT_FALSE(drv::WidgetVisible(dlg.get()));
    EXPECT_EQ(drv::WidgetText(p), "ソルベル");
    EXPECT_EQ(drv::WidgetText(&p->m_staticTitle), "TD-PSOLA バッチ処理中  1/1");
    EXPECT_EQ(drv::WidgetText(&p->m_staticFile), "long voice.wav");
    EXPECT_TRUE(drv::SaveScreenshot(p, ScreenshotPath("batch-progress.png")));

    // Laid out in the template's dialog units.
    const auto at = [&](int x, int y, int cx, int cy) {
        RECT r{x, y, x + cx, y + cy};
        p->MapDialogRect(&r);
        return r;
    };
    const auto same = [](RECT a, RECT b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    EXPECT_TRUE(same(drv::WidgetRect(&p->m_staticTitle), at(45, 12, 111, 8)));
    EXPECT_TRUE(same(drv::WidgetRect(&p->m_staticProgress), at(80, 41, 27, 8)));
    EXPECT_TRUE(same(drv::WidgetRect(&p->m_staticNote), at(36, 59, 126, 19)));
    EXPECT_TRUE(same(drv::WidgetRect(p->GetDlgItem(1088)), at(69, 88, 50, 14)));
    EXPECT_TRUE(same(drv::WidgetRect(&p->m_staticFile), at(29, 27, 150, 8)));
    // Blue texts but the note, which keeps the default colour.
    for (CWnd* blue : {static_cast<CWnd*>(&p->m_staticTitle), static_cast<CWnd*>(&p->m_staticProgress),
                       static_cast<CWnd*>(&p->m_staticFile)})
        EXPECT_EQ(platform::ui::QueryControlColors(blue, CTLCOLOR_STATIC).text, RGB(0, 0, 255));
    EXPECT_NE(platform::ui::QueryControlColors(&p->m_staticNote, CTLCOLOR_STATIC).text, RGB(0, 0, 255));
    bool bluePixel = false;
    const RECT title = drv::WidgetRect(&p->m_staticTitle);
    for (int x = title.left; x < title.right && !bluePixel; ++x) {
        const COLORREF c = drv::GrabPixel(p, x, (title.top + title.bottom) / 2);
        bluePixel = GetBValue(c) > 150 && GetRValue(c) < 80 && GetGValue(c) < 80;
    }
    EXPECT_TRUE(bluePixel);

    // Neither Escape, Enter nor the title bar end it: no close button, and a close request
    // that reaches it anyway changes nothing.
    EXPECT_FALSE(drv::WindowHasCloseButton(p));
    ASSERT_TRUE(drv::PressKey(p, "Escape"));
    ASSERT_TRUE(drv::PressKey(p, "Return"));
    ASSERT_TRUE(drv::CloseWindow(p));
    drv::ProcessEvents(50);
    EXPECT_TRUE(drv::WidgetVisible(p));
    EXPECT_TRUE(dlg->IsBatchRunning());

    // 中止 ends it: the progress dialog goes, the main dialog comes back with the time.
    ASSERT_TRUE(drv::Click(p->GetDlgItem(1088)));
    ASSERT_TRUE(drv::WaitUntil([&] { return !dlg->IsBatchRunning(); }, 60000));
    ASSERT_TRUE(drv::WaitUntil([&] { return drv::WidgetVisible(dlg.get()); }));
    EXPECT_FALSE(drv::WidgetVisible(p));
    EXPECT_NE(drv::WidgetText(&dlg->m_staticProcTime).find(" sec"), std::string::npos);
    EXPECT_TRUE(std::ifstream(out.File("long voice_01.wav")).good());
}

}  // namespace

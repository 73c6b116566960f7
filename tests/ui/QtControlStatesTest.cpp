// The real main dialog on the Qt backend: the controls each run state and method show, as the
// widgets show them, with a screenshot of each; the voice group driven by real clicks.
#include <set>
#include <string>

#include "UiTestSupport.h"
#include "app/WaveInOutDlg.h"
#include "resources/resource_ids.h"
#include "support/TempFolder.h"

namespace {

namespace drv = platform::ui::qt::testing;

class QtControlStatesTest : public QtUiTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        dlg = std::make_unique<CWaveInOutDlg>(folder.Path());
        ASSERT_TRUE(ShowMainDialog(*dlg, StartUpBoxes::Answered));
        drv::ProcessEvents(20);
    }
    void TearDown() override {
        dlg.reset();
        QtUiTest::TearDown();
    }

    std::set<int> DisabledWidgets(std::initializer_list<int> ids) const {
        std::set<int> off;
        for (int id : ids) {
            if (!drv::WidgetEnabled(dlg->GetDlgItem(id))) off.insert(id);
        }
        return off;
    }

    TempFolder folder;
    std::unique_ptr<CWaveInOutDlg> dlg;
};

TEST_F(QtControlStatesTest, EachRunStateAndMethodShowsItsControlsOnScreen) {
    struct Row {
        int method;
        int state;
        const char* name;
        UINT live, open, stop;
        std::set<int> disabled;
    };
    const Row rows[] = {
        {0, 0, "idle-psola", IDB_LIVE, IDB_OPEN, IDB_STOP_IDLE, {}},
        {0, 1, "live-psola", IDB_LIVE_ACTIVE, IDB_OPEN_GREY, IDB_STOP, {1017, 1020, 1046, 1010, 1099, 1025, 1026, 1119}},
        {0, 2, "file-psola", IDB_LIVE_GREY, IDB_OPEN_ACTIVE, IDB_STOP, {1017, 1020, 1046, 1010, 1099, 1025, 1026}},
        {1, 0, "idle-pv", IDB_LIVE, IDB_OPEN, IDB_STOP_IDLE, {}},
        {1, 1, "live-pv", IDB_LIVE_ACTIVE, IDB_OPEN_GREY, IDB_STOP, {1017, 1020, 1046, 1010, 1099, 1025, 1026, 1021, 1012, 1119}},
        {1, 2, "file-pv", IDB_LIVE_GREY, IDB_OPEN_ACTIVE, IDB_STOP, {1017, 1020, 1046, 1010, 1099, 1025, 1026, 1021, 1012}},
    };
    const std::set<int> psolaOnly = {1004, 1028, 1006, 1021, 1117, 1019, 1118, 1036, 1037, 1042, 1015, 1046, 1010, 1099, 1097, 1012, 1116, 1126};
    const std::set<int> vocoderOnly = {1038, 1039, 1040, 1054, 1055, 1056, 1033, 1034, 1050, 1035, 1051, 1052, 1053};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        // The method is chosen by a click on its radio while idle; then the run begins.
        dlg->m_nRunState = 0;
        dlg->UpdateControls();
        drv::ProcessEvents(10);
        ASSERT_TRUE(drv::Click(dlg->GetDlgItem(r.method == 0 ? IDC_TD_PSOLA : IDC_PHASE_VOCODER)));
        ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nMethod == r.method; }));
        dlg->m_nRunState = r.state;
        dlg->UpdateControls();
        ASSERT_TRUE(drv::WaitUntil([&] { return drv::WidgetImageId(&dlg->m_btnLive) == r.live; }));
        drv::WaitUntil([&] { return drv::WidgetImageId(&dlg->m_btnOpen) == r.open && drv::WidgetImageId(&dlg->m_btnStop) == r.stop; },
                       kUiDeadlineMs);

        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnOpen), r.open);
        EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnStop), r.stop);
        EXPECT_EQ(DisabledWidgets({1017, 1020, 1046, 1010, 1099, 1025, 1026, 1019, 1021, 1012, 1003, 1007, 1008, 1009,
                                   1116, 1119, 1004, 1011, 1023, 1029, 1030, 1002, 1016, 1000, 1001, 1013}),
                  r.disabled);
        for (int id : psolaOnly) EXPECT_EQ(drv::WidgetVisible(dlg->GetDlgItem(id)), r.method == 0) << id;
        for (int id : vocoderOnly) EXPECT_EQ(drv::WidgetVisible(dlg->GetDlgItem(id)), r.method == 1) << id;
        EXPECT_EQ(drv::WidgetText(&dlg->m_staticAnalyzerTitle), r.method == 0 ? "Pitch Analyzer" : "Spectrum Analyzer");
        EXPECT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath(std::string("state-") + r.name + ".png")));
    }
    dlg->m_nRunState = 0;
    dlg->UpdateControls();
}

TEST_F(QtControlStatesTest, ClickingManToWomanReachesTheRatiosThroughTheTrackbarsRedraw) {
    ASSERT_TRUE(drv::Click(&dlg->m_btnManToWoman));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_fPitchRatio.load() == 2.0f; }));
    EXPECT_TRUE(drv::WaitUntil([&] { return drv::WidgetText(&dlg->m_staticFormantValue) == "126% (+4.0)"; }));
    EXPECT_EQ(drv::WidgetText(&dlg->m_staticPitchValue), "200% (+12.0)");
    EXPECT_EQ(drv::WidgetValue(&dlg->m_sliderPitch), 24);
    EXPECT_EQ(drv::WidgetCurrentIndex(&dlg->m_comboMaxKey), 28);

    ASSERT_TRUE(drv::Click(&dlg->m_btnReset));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_fPitchRatio.load() == 1.0f; }));
    EXPECT_EQ(drv::WidgetText(&dlg->m_staticPitchValue), "100% ( 0.0)");
}

TEST_F(QtControlStatesTest, TipFollowsThePointerAcrossTheLiveButton) {
    const RECT r = drv::WidgetRect(&dlg->m_btnLive);
    const int width = r.right - r.left;
    ASSERT_TRUE(drv::MouseAt(&dlg->m_btnLive, WM_MOUSEMOVE, 2, 5));
    EXPECT_EQ(drv::ShownToolTipText(), "マイク入力");
    ASSERT_TRUE(drv::MouseAt(&dlg->m_btnLive, WM_MOUSEMOVE, width - 2, 5));
    EXPECT_EQ(drv::ShownToolTipText(), "");
    ASSERT_TRUE(drv::MouseAt(&dlg->m_sliderPitch, WM_MOUSEMOVE, 3, 5));
    EXPECT_EQ(drv::ShownToolTipText(), "声の高さを変化");
    const RECT sr = drv::WidgetRect(&dlg->m_sliderPitch);
    ASSERT_TRUE(drv::MouseAt(&dlg->m_sliderPitch, WM_MOUSEMOVE, sr.right - sr.left - 3, 5));
    EXPECT_EQ(drv::ShownToolTipText(), "");
}

}  // namespace

// Control states by run state, method and chorus file; the method switch; the vocal radios;
// tooltips that follow the mouse.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "StartedMainDialog.h"

namespace {

enum Method { kPsola = 0, kVocoder = 1 };
enum RunState { kIdle = 0, kLive = 1, kFile = 2 };

// Controls that are enabled or disabled by the run state (the rest are never disabled here).
const int kRunControls[] = {1017, 1020, 1046, 1010, 1099, 1025, 1026, 1019, 1021, 1012,
                            1003, 1007, 1008, 1009, 1116, 1119};
const int kNeverDisabled[] = {1004, 1011, 1023, 1029, 1030, 1002, 1016, 1000, 1001, 1013};

// Controls only one method shows.
const std::set<int> kPsolaOnly = {1004, 1028, 1006, 1021, 1117, 1019, 1118, 1036, 1037, 1042,
                                  1015, 1046, 1010, 1099, 1097, 1012, 1116, 1126};
const std::set<int> kVocoderOnly = {1038, 1039, 1040, 1054, 1055, 1056, 1033, 1034, 1050, 1035, 1051, 1052, 1053};

class ControlStatesTest : public ::testing::Test {
protected:
    StartedMainDialog s;
    CWaveInOutDlg& dlg = s.dlg;

    // The user picks the method while idle; then a run of that kind starts (or not).
    void Enter(Method m, RunState state) {
        dlg.m_nRunState = kIdle;
        dlg.UpdateControls();
        s.Click(m == kPsola ? 1025 : 1026);
        dlg.m_nRunState = state;
        dlg.UpdateControls();
    }
    std::set<int> DisabledOf(std::initializer_list<int> ids) const {
        std::set<int> off;
        for (int id : ids) {
            if (!s.Enabled(id)) off.insert(id);
        }
        return off;
    }
    std::set<int> DisabledRunControls() const {
        std::set<int> off;
        for (int id : kRunControls) {
            if (!s.Enabled(id)) off.insert(id);
        }
        return off;
    }
    UINT Image(CButton& b) const { return b.GetBitmap() ? b.GetBitmap()->ResourceId() : 0u; }
};

TEST_F(ControlStatesTest, EachRunStateAndMethodEnablesShowsAndPicturesItsControls) {
    struct Row {
        Method method;
        RunState state;
        UINT live, open, stop;
        std::set<int> disabled;
    };
    const Row rows[] = {
        {kPsola, kIdle, 134, 131, 129, {}},
        {kPsola, kLive, 135, 133, 141, {1017, 1020, 1046, 1010, 1099, 1025, 1026, 1119}},
        {kPsola, kFile, 136, 132, 141, {1017, 1020, 1046, 1010, 1099, 1025, 1026}},
        {kVocoder, kIdle, 134, 131, 129, {}},
        {kVocoder, kLive, 135, 133, 141, {1017, 1020, 1046, 1010, 1099, 1025, 1026, 1021, 1012, 1119}},
        {kVocoder, kFile, 136, 132, 141, {1017, 1020, 1046, 1010, 1099, 1025, 1026, 1021, 1012}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "method " << r.method << " state " << r.state);
        Enter(r.method, r.state);
        EXPECT_EQ(Image(dlg.m_btnLive), r.live);
        EXPECT_EQ(Image(dlg.m_btnOpen), r.open);
        EXPECT_EQ(Image(dlg.m_btnStop), r.stop);
        EXPECT_EQ(DisabledRunControls(), r.disabled);
        for (int id : kNeverDisabled) EXPECT_TRUE(s.Enabled(id)) << id;
        for (int id : kPsolaOnly) EXPECT_EQ(s.Shown(id), r.method == kPsola) << id;
        for (int id : kVocoderOnly) EXPECT_EQ(s.Shown(id), r.method == kVocoder) << id;
        EXPECT_FALSE(s.Shown(1041));
        EXPECT_FALSE(s.Enabled(1037));
        EXPECT_EQ(dlg.m_staticAnalyzerTitle.GetWindowText(), r.method == kPsola ? "Pitch Analyzer" : "Spectrum Analyzer");
        EXPECT_EQ(dlg.m_nMethod, static_cast<int>(r.method));
    }
}

TEST_F(ControlStatesTest, AChorusFileLocksTheKeysThresholdAndVoiceMode) {
    dlg.m_strChorusFile = "/tmp/take_dump_01.txt";
    Enter(kPsola, kIdle);
    EXPECT_EQ(DisabledOf({1019, 1021, 1012, 1116}), (std::set<int>{1019, 1021, 1012, 1116}));
    EXPECT_TRUE(s.Enabled(1003));

    // A chorus run whose dump has no pitch shift: the pitch group is locked too.
    dlg.m_bPitchShiftEnable = FALSE;
    Enter(kPsola, kFile);
    EXPECT_EQ(DisabledOf({1003, 1007, 1008, 1009, 1004}), (std::set<int>{1003, 1007, 1008, 1009}));
    dlg.m_bPitchShiftEnable = TRUE;
    dlg.UpdateControls();
    EXPECT_EQ(DisabledOf({1003, 1007, 1008, 1009}), std::set<int>{});

    // STOP forgets the chorus file before it updates the controls: all of them come back.
    dlg.m_bPitchShiftEnable = FALSE;
    dlg.UpdateControls();
    dlg.m_strChorusFile.clear();
    dlg.m_nRunState = kIdle;
    dlg.UpdateControls();
    EXPECT_EQ(DisabledRunControls(), std::set<int>{});
}

TEST_F(ControlStatesTest, PhaseVocoderIdleWithAChorusFileKeepsTheLowestKey) {
    dlg.m_strChorusFile = "/tmp/take_dump_01.txt";
    Enter(kVocoder, kIdle);
    EXPECT_EQ(DisabledOf({1019, 1021, 1012, 1116}), (std::set<int>{1021, 1012, 1116}));
}

TEST_F(ControlStatesTest, PhaseVocoderLeavesThePitchGroupAsTheVocalRadiosLeftIt) {
    Enter(kVocoder, kIdle);
    for (int id : {1003, 1007, 1008, 1009}) dlg.GetDlgItem(id)->EnableWindow(FALSE);
    dlg.m_nRunState = kLive;
    dlg.UpdateControls();
    EXPECT_EQ(DisabledOf({1003, 1007, 1008, 1009}), (std::set<int>{1003, 1007, 1008, 1009}));
    Enter(kPsola, kLive);
    EXPECT_EQ(DisabledOf({1003, 1007, 1008, 1009}), std::set<int>{});
}

TEST_F(ControlStatesTest, LowestKeyShowsInPhaseVocoderOnlyWithAVocalMode) {
    Enter(kVocoder, kIdle);
    EXPECT_FALSE(s.Shown(1019));
    EXPECT_FALSE(s.Shown(1118));
    EXPECT_EQ(dlg.IsDlgButtonChecked(1051), 1u);

    dlg.m_sliderPitch.SetPos(-7);
    s.Click(1052);
    EXPECT_EQ(dlg.m_nVocalMode, 1);
    EXPECT_TRUE(s.Shown(1019));
    EXPECT_TRUE(s.Shown(1118));
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 0);

    // Back and forth between the methods: the vocal mode keeps the lowest key shown.
    s.Click(1025);
    s.Click(1026);
    EXPECT_TRUE(s.Shown(1019));
    EXPECT_EQ(dlg.IsDlgButtonChecked(1052), 1u);
    EXPECT_FALSE(s.Shown(1021));

    s.Click(1053);
    EXPECT_EQ(dlg.m_nVocalMode, 2);
    EXPECT_TRUE(s.Shown(1019));
    s.Click(1051);
    EXPECT_EQ(dlg.m_nVocalMode, 0);
    EXPECT_FALSE(s.Shown(1019));
    EXPECT_FALSE(s.Shown(1118));
}

TEST_F(ControlStatesTest, PhaseVocoderViewChecksTheStoredAxisAndVocalRadiosOnly) {
    dlg.m_nAxisMode = 3;
    dlg.m_chkDump.SetCheck(BST_CHECKED);
    Enter(kVocoder, kIdle);
    std::map<int, UINT> checks;
    for (int id : {1033, 1034, 1050, 1035, 1051, 1052, 1053, 1046}) checks[id] = dlg.IsDlgButtonChecked(id);
    EXPECT_EQ(checks, (std::map<int, UINT>{{1033, 0}, {1034, 0}, {1050, 0}, {1035, 1}, {1051, 1}, {1052, 0}, {1053, 0}, {1046, 1}}));
}

TEST_F(ControlStatesTest, TdPsolaViewSelectsTheKeyRangeAndReenablesBatch) {
    dlg.m_nKeyRange = 1;
    Enter(kVocoder, kIdle);
    s.Click(1026);
    EXPECT_FALSE(s.Enabled(1099));
    s.Click(1025);
    EXPECT_TRUE(s.Enabled(1099));
    EXPECT_EQ(dlg.m_comboKeyRange.GetCurSel(), 1);
}

TEST_F(ControlStatesTest, TipShowsOverTheLeftHalfOfAToolAndHidesElsewhere) {
    using platform::ui::UserMouse;
    CRect rc;
    dlg.m_btnLive.GetClientRect(&rc);
    ASSERT_GT(rc.right, 4);
    UserMouse(&dlg.m_btnLive, WM_MOUSEMOVE, 0, rc.right / 2 - 1, 3);
    EXPECT_EQ(dlg.m_toolTip.GetShownTool(), &dlg.m_btnLive);
    UserMouse(&dlg.m_btnLive, WM_MOUSEMOVE, 0, rc.right / 2, 3);
    EXPECT_EQ(dlg.m_toolTip.GetShownTool(), nullptr);

    // A tool without a member of its own; a control without a tip leaves the shown tip alone.
    CWnd* preset4 = dlg.GetDlgItem(1030);
    UserMouse(preset4, WM_MOUSEMOVE, 0, 1, 1);
    EXPECT_EQ(dlg.m_toolTip.GetShownTool(), preset4);
    UserMouse(&dlg.m_staticPitchLabel, WM_MOUSEMOVE, 0, 1, 1);
    EXPECT_EQ(dlg.m_toolTip.GetShownTool(), preset4);
    UserMouse(&dlg.m_sliderPitch, WM_MOUSEMOVE, 0, 2, 2);
    EXPECT_EQ(dlg.m_toolTip.GetShownTool(), &dlg.m_sliderPitch);
    CRect slider;
    dlg.m_sliderPitch.GetClientRect(&slider);
    UserMouse(&dlg.m_sliderPitch, WM_MOUSEMOVE, 0, slider.right - 1, 2);
    EXPECT_EQ(dlg.m_toolTip.GetShownTool(), nullptr);
}

TEST_F(ControlStatesTest, EveryOneOfTheTwentyEightToolsShowsItsTip) {
    const int ids[] = {1000, 1016, 1001, 1013, 1017, 1010, 1020, 1022, 1046, 1002, 1092, 1095, 1007, 1008,
                       1011, 1023, 1029, 1030, 1009, 1003, 1004, 1019, 1021, 1036, 1099, 1012, 1114, 1116};
    for (int id : ids) {
        CWnd* tool = dlg.GetDlgItem(id);
        platform::ui::UserMouse(tool, WM_MOUSEMOVE, 0, 1, 1);
        EXPECT_EQ(dlg.m_toolTip.GetShownTool(), tool) << id;
    }
}

}  // namespace

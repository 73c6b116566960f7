// The analyser's controls on the main dialog: the view switch with the method, the axis radios
// and their level labels, and the analyser's part of start-up.
#include "AnalyserSupport.h"
#include "app/StartedMainDialog.h"
#include "platform/midi/midiapi.h"
#include "platform/ui/msgbox.h"
#include "resources/resource_ids.h"

namespace {

std::vector<std::string> Labels(CWaveInOutDlg& dlg) {
    return {dlg.m_staticDbLabel1.GetWindowText(), dlg.m_staticDbLabel2.GetWindowText(), dlg.m_staticDbLabel3.GetWindowText()};
}
const std::vector<std::string> kTwoPixelsPerDb = {"-40", "-80", "-120"};
const std::vector<std::string> kFourPixelsPerDb = {"-20", "-40", "-60"};

TEST(AnalyzerControlsTest, WindowSitsOnItsFrameWithTheFixedSize) {
    StartedMainDialog d;
    const CRect r = d.dlg.m_fftScreen.GetRect();
    CRect frame;
    d.dlg.GetDlgItem(IDC_ANALYZER_FRAME)->GetWindowRect(&frame);
    d.dlg.ScreenToClient(&frame);
    EXPECT_EQ(r.left, frame.left);
    EXPECT_EQ(r.top, frame.top);
    EXPECT_EQ(r.Width(), 452);
    EXPECT_EQ(r.Height(), 260);
    EXPECT_EQ(d.dlg.m_fftScreen.GetDlgCtrlID(), 3333);
    // A second switch makes no second window.
    d.Click(IDC_PHASE_VOCODER);
    d.Click(IDC_TD_PSOLA);
    EXPECT_EQ(d.dlg.m_fftScreen.GetRect(), r);
}

TEST(AnalyzerControlsTest, ViewFollowsTheMethodWithItsControls) {
    StartedMainDialog d;
    EXPECT_EQ(d.dlg.m_fftScreen.m_nScreenKind, 0);
    EXPECT_EQ(d.dlg.m_staticAnalyzerTitle.GetWindowText(), "Pitch Analyzer");
    EXPECT_TRUE(d.Shown(1036));
    EXPECT_TRUE(d.Shown(1037));
    EXPECT_FALSE(d.Enabled(1037));
    for (int id : {1033, 1034, 1050, 1035, 1051, 1052, 1053, 1038, 1054}) EXPECT_FALSE(d.Shown(id)) << id;

    d.Click(IDC_PHASE_VOCODER);
    EXPECT_EQ(d.dlg.m_fftScreen.m_nScreenKind, 1);
    EXPECT_EQ(d.dlg.m_staticAnalyzerTitle.GetWindowText(), "Spectrum Analyzer");
    for (int id : {1033, 1034, 1050, 1035, 1051, 1052, 1053, 1038, 1054}) EXPECT_TRUE(d.Shown(id)) << id;
    for (int id : {1036, 1037, 1019, 1118}) EXPECT_FALSE(d.Shown(id)) << id;
    // The axis of the dialog is the window's, and its radio is checked.
    EXPECT_EQ(d.dlg.m_fftScreen.m_nAxisMode, d.dlg.m_nAxisMode);
    EXPECT_EQ(d.Button(1050)->GetCheck(), BST_CHECKED);
}

TEST(AnalyzerControlsTest, LevelLabelsFollowTheAxisShownFromTheFirstSwitchOn) {
    StartedMainDialog d;
    // The settings chose the Keyboard axis, but the labels still read as the template's.
    d.dlg.m_nAxisMode = 2;
    for (CStatic* s : {&d.dlg.m_staticDbLabel1, &d.dlg.m_staticDbLabel2, &d.dlg.m_staticDbLabel3}) s->SetWindowText("x");
    d.Click(IDC_PHASE_VOCODER);
    EXPECT_EQ(Labels(d.dlg), kFourPixelsPerDb);

    const struct {
        int radio, mode;
        std::vector<std::string> labels;
    } radios[] = {{1033, 0, kTwoPixelsPerDb}, {1050, 2, kFourPixelsPerDb}, {1034, 1, kTwoPixelsPerDb}, {1035, 3, kTwoPixelsPerDb}};
    for (const auto& r : radios) {
        d.Click(r.radio);
        EXPECT_EQ(d.dlg.m_nAxisMode, r.mode);
        EXPECT_EQ(d.dlg.m_fftScreen.m_nAxisMode, r.mode);
        EXPECT_EQ(Labels(d.dlg), r.labels) << r.radio;
    }
    // Back to TD-PSOLA and again to the phase vocoder: the axis chosen stays.
    d.Click(IDC_TD_PSOLA);
    d.Click(IDC_PHASE_VOCODER);
    EXPECT_EQ(d.dlg.m_fftScreen.m_nAxisMode, 3);
    EXPECT_EQ(d.Button(1035)->GetCheck(), BST_CHECKED);
}

TEST(AnalyzerControlsTest, StartUpMakesTheAnalyserAndOpensMidiWithTheStoredInstrument) {
    platform::midi::TakeRecordedMidi();
    platform::ui::TakeHeadlessMessageBoxes();
    TempFolder folder;
    {
        CWaveInOutDlg dlg(folder.Path());
        ASSERT_TRUE(dlg.Create(IDD_SORVEL_DIALOG));
        EXPECT_NE(dlg.m_fftScreen.GetClientSurface(), nullptr);
        EXPECT_FALSE(dlg.m_fftScreen.m_bitmap.IsNull());
        // Start-up chose key range G3: the grid's lowest row is G3.
        EXPECT_EQ(dlg.m_fftScreen.m_nBaseNote, 19);
        EXPECT_NE(dlg.m_fftScreen.m_hMidiOut, nullptr);
        EXPECT_EQ(dlg.m_fftScreen.m_nMidiProgram, 0);
    }
    std::vector<std::string> sent;
    for (const auto& m : platform::midi::TakeRecordedMidi()) sent.push_back(platform::midi::HexBytes(m.bytes));
    EXPECT_EQ(sent, (std::vector<std::string>{"F0 7E 7F 09 01 F7", "C0 00"}));
}

}  // namespace

// The program's main dialog on the Qt widgets after its real start-up: every control as the user
// first sees it, the level meter drawn by the timer, and screenshots of both.
#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "app/WaveInOutDlg.h"
#include "platform/wave/testdevice.h"
#include "resources/resource_ids.h"
#include "support/TempFolder.h"

namespace {

namespace drv = platform::ui::qt::testing;
using K = platform::ui::ItemKind;

class QtProgramWindowTest : public QtUiTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        dlg = std::make_unique<CWaveInOutDlg>(folder.Path());
        ASSERT_TRUE(ShowMainDialog(*dlg, StartUpBoxes::Left));
        // The trackbars' first paint fills the two value labels (through their custom-draw
        // notice); the window is as the user first sees it once they show a text.
        drv::WaitUntil([&] { return !drv::WidgetText(Item(IDC_PITCH_VALUE)).empty() && !drv::WidgetText(Item(IDC_FORMANT_VALUE)).empty(); },
                       kUiDeadlineMs);
    }
    void TearDown() override {
        dlg.reset();
        QtUiTest::TearDown();
    }
    CWnd* Item(int id) { return dlg->GetDlgItem(id); }

    TempFolder folder;
    platform::wave::CTestWaveDevices devices{{"Mic A"}, {"Speaker A"}};
    std::unique_ptr<CWaveInOutDlg> dlg;
};

struct ExpectedItem {
    int id;
    K kind;
    const char* text;  // what the widget shows; null: not checked here
    bool visible;
};

// The 44 bound controls and the items reached by id, as the idle TD-PSOLA dialog shows them.
const ExpectedItem kItems[] = {
    {IDC_SLIDER_PITCH, K::Trackbar, nullptr, true},
    {IDC_SLIDER_FORMANT, K::Trackbar, nullptr, true},
    {IDC_PITCH_VALUE, K::Static, "100% ( 0.0)", true},
    {IDC_FORMANT_VALUE, K::Static, "100% ( 0.0)", true},
    {IDC_CORR_TH, K::Edit, "0.5", true},
    {IDC_NOTE, K::Static, "", true},
    {IDC_LIVE, K::PushButton, nullptr, true},
    {IDC_STOP, K::PushButton, nullptr, true},
    {IDC_OPEN, K::PushButton, nullptr, true},
    {IDC_EXIT, K::PushButton, nullptr, true},
    {IDC_SAVE, K::CheckBox, "出力音声をファイルに保存する", true},
    {IDC_TIME, K::Static, "  0:00", true},
    {IDC_MIN_KEY, K::ComboBox, "G_2", true},
    {IDC_MAX_KEY, K::ComboBox, "E_5", true},
    {IDC_THRU, K::CheckBox, "Thru", true},
    {IDC_ORIGINAL, K::CheckBox, "Original", true},
    {IDC_PITCH_LABEL, K::Static, "Pitch", true},
    {IDC_FORMANT_LABEL, K::Static, "Formant", true},
    {IDC_KEY_RANGE, K::ComboBox, "G3", true},
    {IDC_HISTORY_SCROLL, K::ScrollBar, nullptr, true},
    {IDC_BUFFER_FULL, K::Static, "Buffer Full", false},
    {IDC_NOTE_LABEL, K::Static, "Note", true},
    {IDC_ANALYZER_TITLE, K::Static, "Pitch Analyzer", true},
    {IDC_DUMP, K::CheckBox, "Dump", true},
    {IDC_CHORUS_FILE, K::PushButton, "Chorus file", true},
    {IDC_MAN_TO_WOMAN, K::PushButton, "M→W", true},
    {IDC_WOMAN_TO_MAN, K::PushButton, "W→M", true},
    {IDC_RESET, K::PushButton, "Reset", true},
    {IDC_DB_LABEL1, K::Static, "-20", false},
    {IDC_DB_LABEL2, K::Static, "-40", false},
    {IDC_PLAY, K::PushButton, nullptr, true},
    {IDC_METER_TOP, K::Static, "0 dB", true},
    {IDC_METER_MID, K::Static, "-18", true},
    {IDC_DB_LABEL3, K::Static, "-60", false},
    {IDC_HELP, K::PushButton, nullptr, true},
    {IDC_PROC_TIME, K::Static, "", true},
    {IDC_PRESET1, K::PushButton, "1", true},
    {IDC_PRESET2, K::PushButton, "2", true},
    {IDC_BATCH, K::PushButton, "Batch", true},
    {IDC_MAX_LABEL, K::Static, "Max", true},
    {IDC_MIN_LABEL, K::Static, "Min", true},
    {IDC_VOICE_MODE, K::ComboBox, "話声", true},
    {IDC_MARKER, K::EtchedLine, nullptr, true},
    {IDC_REPEAT, K::CheckBox, "Repeat", true},
    // Reached by id.
    {IDC_TD_PSOLA, K::RadioButton, "TD-PSOLA （単音向け）", true},
    {IDC_PHASE_VOCODER, K::RadioButton, "Phase Vocoder （複数音向け）", true},
    {IDC_PRESET3, K::PushButton, "3", true},
    {IDC_PRESET4, K::PushButton, "4", true},
    {IDC_EFFECT, K::PushButton, "Effect", true},
    {IDC_SETTING, K::PushButton, "設定", true},
    {IDC_CORR_TH_LABEL, K::Static, "CorrTh", true},
    {IDC_ANALYZER_FRAME, K::Frame, nullptr, true},
    {IDC_DB_LABEL0, K::Static, "0 dB", false},
    {IDC_AXIS_CAPTION, K::Static, "周波数軸", false},
    {IDC_VOCAL_CAPTION, K::Static, "ボーカルカット", false},
    {IDC_AXIS_LOG, K::RadioButton, "Log", false},
    {IDC_AXIS_LINEAR1, K::RadioButton, "Linear1", false},
    {IDC_AXIS_KEYBOARD, K::RadioButton, "Keyboard", false},
    {IDC_AXIS_LINEAR2, K::RadioButton, "Linear2", false},
    {IDC_VOCAL_OFF, K::RadioButton, "OFF", false},
    {IDC_VOCAL_CUT, K::RadioButton, "カット", false},
    {IDC_VOCAL_EXTRACT, K::RadioButton, "抽出", false},
};

TEST_F(QtProgramWindowTest, EveryControlShowsItsKindTextAndVisibilityAfterStartUp) {
    EXPECT_EQ(drv::WidgetText(dlg.get()), "ソルベル");
    for (const ExpectedItem& e : kItems) {
        CWnd* item = Item(e.id);
        ASSERT_NE(item, nullptr) << e.id;
        EXPECT_EQ(item->GetItemKind(), e.kind) << e.id;
        EXPECT_TRUE(drv::HasWidget(item)) << e.id;
        if (e.text != nullptr) {
            EXPECT_EQ(drv::WidgetText(item), e.text) << e.id;
        }
        EXPECT_EQ(drv::WidgetVisible(item), e.visible) << e.id;
    }
    // Unnamed labels and group boxes of the template.
    std::vector<std::string> unnamed;
    for (CWnd* item : dlg->GetItems()) {
        if (item->GetDlgCtrlID() == -1) unnamed.push_back(drv::WidgetText(item));
    }
    for (const char* text : {"Time", "Preset", "Input Level", "声の高さと性質の調整"}) {
        EXPECT_NE(std::find(unnamed.begin(), unnamed.end(), text), unnamed.end()) << text;
    }
    EXPECT_TRUE(drv::WidgetChecked(Item(IDC_TD_PSOLA)));
    EXPECT_FALSE(drv::WidgetChecked(Item(IDC_PHASE_VOCODER)));
    for (int id : {IDC_SAVE, IDC_THRU, IDC_ORIGINAL, IDC_DUMP, IDC_REPEAT}) EXPECT_FALSE(drv::WidgetChecked(Item(id)));
}

TEST_F(QtProgramWindowTest, TrackbarsAndCombosShowTheirRangesItemsAndStartSelections) {
    EXPECT_EQ(drv::WidgetMinimum(&dlg->m_sliderPitch), -48);
    EXPECT_EQ(drv::WidgetMaximum(&dlg->m_sliderPitch), 48);
    EXPECT_EQ(drv::WidgetValue(&dlg->m_sliderPitch), 0);
    EXPECT_EQ(dlg->m_sliderPitch.GetTics(), (std::vector<int>{-48, -24, 0, 24, 48}));
    EXPECT_EQ(drv::WidgetMinimum(&dlg->m_sliderFormant), -24);
    EXPECT_EQ(drv::WidgetMaximum(&dlg->m_sliderFormant), 24);
    EXPECT_EQ(drv::WidgetValue(&dlg->m_sliderFormant), 0);
    EXPECT_EQ(dlg->m_sliderFormant.GetTics(), (std::vector<int>{-24, -12, 0, 12, 24}));

    const auto keys = drv::WidgetItems(&dlg->m_comboMinKey);
    ASSERT_EQ(keys.size(), 62u);
    EXPECT_EQ(keys[0], "C_2");
    EXPECT_EQ(keys[61], "C#7");
    EXPECT_EQ(drv::WidgetItems(&dlg->m_comboMaxKey), keys);
    EXPECT_EQ(drv::WidgetCurrentIndex(&dlg->m_comboMinKey), 7);
    EXPECT_EQ(drv::WidgetCurrentIndex(&dlg->m_comboMaxKey), 40);
    EXPECT_EQ(drv::WidgetItems(&dlg->m_comboKeyRange), (std::vector<std::string>{"C2", "G2", "C3", "G3", "C4"}));
    EXPECT_EQ(drv::WidgetCurrentIndex(&dlg->m_comboKeyRange), 3);
    EXPECT_EQ(drv::WidgetItems(&dlg->m_comboVoiceMode),
              (std::vector<std::string>{"歌声", "話声", "3度上を重ねる", "平坦化", "正弦波", "方形波", "鋸波"}));
    EXPECT_EQ(drv::WidgetCurrentIndex(&dlg->m_comboVoiceMode), 1);
}

TEST_F(QtProgramWindowTest, ButtonsShowTheirStartImagesAndTheScaleUsesTheFixedGothicFace) {
    EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnLive), IDB_LIVE);
    EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnOpen), IDB_OPEN);
    EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnStop), IDB_STOP_IDLE);
    EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnPlay), IDB_PLAY_GREY);
    EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnExit), IDB_EXIT);
    EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnHelp), IDB_HELP);
    EXPECT_EQ(drv::WidgetFontFamily(&dlg->m_staticMeterTop), "IPAGothic");
    EXPECT_EQ(drv::WidgetFontFamily(&dlg->m_staticProcTime), "IPAGothic");
    EXPECT_EQ(drv::WidgetFontFamily(&dlg->m_chkSave), "IPAPGothic");
}

TEST_F(QtProgramWindowTest, TooltipsOfTheTwentyEightControlsHaveTheirTexts) {
    EXPECT_EQ(dlg->m_toolTip.GetToolCount(), 28);
    // Spot checks across the window: a run button, a check box, a preset (the four share one
    // text), a slider, a key box, the edit box and the mode list.
    const std::vector<std::pair<int, const char*>> tips = {
        {IDC_STOP, "STOP"},
        {IDC_SAVE, "出力音声を保存する"},
        {IDC_PRESET1, "クリックでロード、Ctrl+クリックで保存"},
        {IDC_PRESET4, "クリックでロード、Ctrl+クリックで保存"},
        {IDC_SLIDER_FORMANT, "声の性質を変化"},
        {IDC_MAX_KEY, "声の最高音"},
        {IDC_CORR_TH, "相関係数の閾値"},
        {IDC_VOICE_MODE, "方式選択・特殊効果"},
    };
    for (const auto& [id, text] : tips) EXPECT_EQ(dlg->m_toolTip.GetToolText(Item(id)), text) << id;
    // A relayed mouse move over a tool shows its text.
    MSG move;
    move.hwnd = &dlg->m_btnLive;
    move.message = WM_MOUSEMOVE;
    dlg->m_toolTip.RelayEvent(&move);
    EXPECT_TRUE(drv::WaitUntil([] { return drv::ShownToolTipText() == "マイク入力"; }));
    dlg->m_toolTip.Pop();
}

TEST_F(QtProgramWindowTest, EnterAndEscapeNeverEndTheWindowOrItsRunButTheCloseButtonDoes) {
    ASSERT_TRUE(drv::TypeText(&dlg->m_editCorrTh, "0.7"));
    ASSERT_TRUE(drv::PressKey(&dlg->m_editCorrTh, "Return"));
    drv::ProcessEvents(10);
    EXPECT_FALSE(dlg->IsEnded());
    EXPECT_EQ(dlg->m_editCorrTh.GetWindowText(), "0.7");

    // A key pressed by mistake in the middle of a LIVE run: the run goes on.
    ASSERT_TRUE(drv::Click(&dlg->m_btnLive));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 1; }));
    for (CWnd* focus : std::initializer_list<CWnd*>{&dlg->m_sliderPitch, &dlg->m_sliderFormant, &dlg->m_chkDump,
                                                    &dlg->m_comboVoiceMode, dlg.get()}) {
        for (const char* key : {"Return", "Escape"}) {
            SCOPED_TRACE(std::string(key) + " on control " + std::to_string(focus->GetDlgCtrlID()));
            ASSERT_TRUE(drv::PressKey(focus, key));
            drv::ProcessEvents(10);
            EXPECT_FALSE(dlg->IsEnded());
            EXPECT_TRUE(drv::WidgetVisible(dlg.get()));
            EXPECT_EQ(dlg->m_nRunState.load(), 1);
        }
    }
    // The title bar's close button still ends the run and the window.
    ASSERT_TRUE(drv::CloseWindow(dlg.get()));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->IsEnded(); }));
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_EQ(dlg->GetModalResult(), IDCANCEL);
}

TEST_F(QtProgramWindowTest, OpenPickerSpeaksJapaneseShowsEachPatternOnceAndIsWideEnough) {
    std::vector<std::string> filters;
    std::vector<std::string> texts;
    bool shot = false;
    drv::RunSoon([&] {
        filters = drv::OpenFileDialogFilters();
        texts = drv::OpenFileDialogTexts();
        shot = drv::SaveOpenFileDialogScreenshot(ScreenshotPath("open_picker.png"));
        drv::AnswerFileDialog({});
    }, 300);
    dlg->OnBnClickedOpen();
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_TRUE(shot);
    EXPECT_EQ(filters, std::vector<std::string>{"音声ファイル(*.wav)"});
    std::string all;
    for (const auto& t : texts) all += t + "|";
    // Qt's own words in Japanese: no "Look in", "File name", "Open" or "Cancel" is left.
    for (const char* english : {"Look in", "File name", "Files of type", "Open", "Cancel"})
        EXPECT_EQ(all.find(english), std::string::npos) << english << " in " << all;
    EXPECT_NE(all.find("キャンセル"), std::string::npos) << all;
}

TEST_F(QtProgramWindowTest, AnalyserFrameHoldsThe452By260Window) {
    const RECT frame = drv::WidgetRect(Item(IDC_ANALYZER_FRAME));
    EXPECT_GE(frame.right - frame.left, 452);
    EXPECT_GE(frame.bottom - frame.top, 260);
    const RECT client = drv::WidgetRect(dlg.get());
    EXPECT_LE(frame.right, client.right);
    EXPECT_LE(frame.bottom, client.bottom);
}

TEST_F(QtProgramWindowTest, IdleScreenshotAndMeterDrawnByTheTimer) {
    ASSERT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("main.png")));

    // Peaks of the shown block: left at full scale, right at -6 dB (20 dark rows).
    dlg->m_nInputCount.store(5 * dlg->m_nBlockBytes / 2);
    dlg->m_nPeak[0][3].store(32767);
    dlg->m_nPeak[1][3].store(16383);
    dlg->OnTimer(1);
    ASSERT_TRUE(drv::WaitUntil([&] { return drv::GrabPixel(dlg.get(), 318, 87) == RGB(0, 0, 255); }));
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 326, 28), RGB(224, 0, 0));
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 322, 60), RGB(0, 192, 128));
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 330, 47), RGB(0, 0, 0));
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 330, 48), RGB(0, 240, 0));
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 336, 87), RGB(0, 0, 255));
    EXPECT_NE(drv::GrabPixel(dlg.get(), 337, 87), RGB(0, 0, 255));  // beside the bars: untouched
    ASSERT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("main_meter.png")));
}

}  // namespace

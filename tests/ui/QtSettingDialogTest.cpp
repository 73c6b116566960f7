// The settings dialog in its real window, run from the main dialog's 設定 button: every field
// changed and kept across a restart of the program, Cancel, and edge values typed by hand.
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "UiTestSupport.h"
#include "app/SettingDlg.h"
#include "app/WaveInOutDlg.h"
#include "platform/midi/midiapi.h"
#include "platform/ui/msgbox.h"
#include "resources/resource_ids.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"
#include "support/TestData.h"

namespace {

namespace drv = platform::ui::qt::testing;

class QtSettingDialogTest : public QtUiTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        const std::string voice = TestDataFile("voice.wav");
        in = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_IN", voice);
        out = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_OUT", folder.File("played.wav"));
        midi = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_MIDI", folder.File("midi.txt"));
        std::filesystem::create_directories(folder.File("出力 先"));
        std::filesystem::create_directories(folder.File("conv"));
        std::ofstream(folder.File("conv/EcoDecoTooL.exe")) << "#!/bin/sh\n";
        // The converter's own settings, still asking for another format into another folder.
        std::ofstream(folder.File("conv/EcoDecoTooL.ini")) << "[Radio]\r\nwav=0\r\noutfolder=0\r\n[Edit]\r\noutfolder=/x\r\n";
    }
    void TearDown() override {
        main.reset();
        midi.reset();
        out.reset();
        in.reset();
        QtUiTest::TearDown();
    }

    void StartProgram() {
        main = std::make_unique<CWaveInOutDlg>(folder.Path());
        ASSERT_TRUE(ShowMainDialog(*main, StartUpBoxes::Answered));
    }
    void CloseProgram() {
        ASSERT_TRUE(drv::CloseWindow(main.get()));
        ASSERT_TRUE(drv::WaitUntil([&] { return main->IsEnded(); }));
        main.reset();
    }
    // Presses 設定 and runs `work` on the shown settings dialog; returns when it has closed.
    void WithSettings(const std::function<void(CSettingDlg&)>& work) {
        bool ran = false;
        drv::RunSoon([&] {
            auto* dlg = dynamic_cast<CSettingDlg*>(drv::ShownWindow("ソルベルの設定"));
            ASSERT_NE(dlg, nullptr);
            ran = true;
            work(*dlg);
        });
        ASSERT_TRUE(drv::Click(main->GetDlgItem(IDC_SETTING)));
        EXPECT_TRUE(ran);
        EXPECT_TRUE(drv::ShownWindow("ソルベルの設定") == nullptr);
    }

    TempFolder folder;
    std::unique_ptr<ScopedEnv> in, out, midi;
    std::unique_ptr<CWaveInOutDlg> main;
};

TEST_F(QtSettingDialogTest, EveryFieldChangedIsKeptAcrossARestartAndCancelChangesNothing) {
    StartProgram();
    ASSERT_GE(main->m_nWaveInCount, 1);
    ASSERT_GE(main->m_nWaveOutCount, 1);
    const std::string outFolder = folder.File("出力 先");
    const std::string converter = folder.File("conv/EcoDecoTooL.exe");
    std::string latencyMessage, converterQuestion;
    platform::midi::TakeRecordedMidi();
    WithSettings([&](CSettingDlg& dlg) {
        EXPECT_EQ(drv::WidgetText(&dlg.m_editA4), "440");
        EXPECT_EQ(drv::WidgetText(&dlg.m_staticConverter), "設定なし");
        EXPECT_EQ(drv::WidgetText(&dlg.m_editMidi), "1");
        ASSERT_TRUE(drv::TypeText(&dlg.m_editA4, "452"));
        ASSERT_TRUE(drv::ChooseComboItem(&dlg.m_comboOverSampling, 0));
        WhenPossible([&] { return drv::AnswerFileDialog({outFolder}); });
        ASSERT_TRUE(drv::Click(dlg.GetDlgItem(IDC_SET_FOLDER)));
        WhenPossible([&] { return drv::AnswerFileDialog({converter}); });
        WhenPossible([&] {
            const auto texts = drv::OpenMessageBoxTexts();
            if (texts.empty()) return false;
            converterQuestion = texts.front();
            return drv::AnswerMessageBox(IDYES);
        });
        ASSERT_TRUE(drv::Click(dlg.GetDlgItem(IDC_SET_CONVERTER)));
        ASSERT_TRUE(drv::Click(&dlg.m_chkVolumeGraph));
        ASSERT_TRUE(drv::ChooseComboItem(&dlg.m_comboWaveIn, 1));
        ASSERT_TRUE(drv::ChooseComboItem(&dlg.m_comboWaveOut, 1));
        ASSERT_TRUE(drv::TypeText(&dlg.m_editMidi, "25"));
        ASSERT_TRUE(drv::Click(dlg.GetDlgItem(IDC_SET_LATENCY_SMALL)));
        EXPECT_EQ(drv::WidgetText(&dlg.m_staticFolder), outFolder + "/");
        EXPECT_EQ(drv::WidgetText(&dlg.m_staticConverter), converter);
        EXPECT_TRUE(drv::SaveScreenshot(&dlg, ScreenshotPath("settings-dialog-changed.png")));
        WhenPossible([&] {
            const auto texts = drv::OpenMessageBoxTexts();
            if (texts.empty()) return false;
            latencyMessage = texts.front();
            return drv::AnswerMessageBox(IDOK);
        });
        ASSERT_TRUE(drv::Click(dlg.GetDlgItem(IDC_SET_OK)));
    });
    ASSERT_TRUE(drv::WaitUntil([&] { return !latencyMessage.empty(); }));
    EXPECT_EQ(latencyMessage, "他の操作をしないで直ちにソルベルを終了して下さい。次回に音声遅延は適応されます。");
    EXPECT_EQ(main->m_nA4.load(), 452);
    EXPECT_EQ(main->m_nBatchOverSampling, 1);
    EXPECT_EQ(main->m_strOutputFolder, outFolder + "/");
    EXPECT_EQ(main->m_strConverterPath, converter);
    EXPECT_EQ(converterQuestion, "EcoDecoTooL.iniを「ソルベル」用に変更します。よろしいですか？");
    std::ifstream ini(folder.File("conv/EcoDecoTooL.ini"));
    const std::string iniText((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    EXPECT_NE(iniText.find("wav=1"), std::string::npos);
    EXPECT_FALSE(main->m_bShowVolumeGraph);
    EXPECT_EQ(main->m_nWaveInIndex, 1);
    EXPECT_EQ(main->m_nWaveInId, 0u);
    EXPECT_EQ(main->m_nWaveOutIndex, 1);
    EXPECT_EQ(main->m_nWaveOutId, 0u);
    EXPECT_EQ(main->m_nMidiProgram, 24);
    // The new instrument reaches the MIDI output at once.
    std::vector<std::string> sent;
    for (const auto& m : platform::midi::TakeRecordedMidi()) sent.push_back(platform::midi::HexBytes(m.bytes));
    EXPECT_EQ(sent, (std::vector<std::string>{"C0 18"}));
    EXPECT_EQ(main->m_nLatencyMode, 1);
    EXPECT_EQ(main->GetBlockBytes(), 32768) << "the voice delay changes only at the next start";
    CloseProgram();

    // The next start shows the new values; Cancel leaves them as they are.
    StartProgram();
    EXPECT_EQ(main->GetBlockBytes(), 16384);
    WithSettings([&](CSettingDlg& dlg) {
        EXPECT_EQ(drv::WidgetText(&dlg.m_editA4), "452");
        EXPECT_EQ(drv::WidgetCurrentIndex(&dlg.m_comboOverSampling), 0);
        EXPECT_EQ(drv::WidgetText(&dlg.m_staticFolder), outFolder + "/");
        EXPECT_EQ(drv::WidgetText(&dlg.m_staticConverter), converter);
        EXPECT_FALSE(drv::WidgetChecked(&dlg.m_chkVolumeGraph));
        EXPECT_EQ(drv::WidgetCurrentIndex(&dlg.m_comboWaveIn), 1);
        EXPECT_EQ(drv::WidgetCurrentIndex(&dlg.m_comboWaveOut), 1);
        EXPECT_EQ(drv::WidgetText(&dlg.m_editMidi), "25");
        EXPECT_TRUE(drv::WidgetChecked(dlg.GetDlgItem(IDC_SET_LATENCY_SMALL)));
        EXPECT_TRUE(drv::SaveScreenshot(&dlg, ScreenshotPath("settings-dialog.png")));
        for (CWnd* item : dlg.GetItems()) {
            const int id = item->GetDlgCtrlID();
            if (id == IDC_SET_FOLDER_PATH || id == IDC_SET_CONVERTER_PATH || item->GetWindowText().rfind("Examples", 0) == 0) continue;
            const RECT r = drv::WidgetRect(item);
            EXPECT_LE(drv::WidgetNeededWidth(item), r.right - r.left) << "item " << id << " '" << item->GetWindowText() << "'";
        }
        ASSERT_TRUE(drv::TypeText(&dlg.m_editA4, "500"));
        ASSERT_TRUE(drv::TypeText(&dlg.m_editMidi, "3"));
        ASSERT_TRUE(drv::ChooseComboItem(&dlg.m_comboWaveIn, 0));
        ASSERT_TRUE(drv::Click(dlg.GetDlgItem(IDC_SET_CANCEL)));
    });
    EXPECT_EQ(main->m_nA4.load(), 452);
    EXPECT_EQ(main->m_nMidiProgram, 24);
    EXPECT_EQ(main->m_nWaveInIndex, 1);
    EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
}

TEST_F(QtSettingDialogTest, TypedEdgeValuesAndALockedDeviceChoiceDuringARun) {
    StartProgram();
    WithSettings([&](CSettingDlg& dlg) {
        ASSERT_TRUE(drv::TypeText(&dlg.m_editA4, "881"));
        ASSERT_TRUE(drv::TypeText(&dlg.m_editMidi, "0"));
        ASSERT_TRUE(drv::ChooseComboItem(&dlg.m_comboOverSampling, 1));
        ASSERT_TRUE(drv::PressKey(&dlg.m_editMidi, "Return"));  // Enter is OK
    });
    EXPECT_EQ(main->m_nA4.load(), 440);
    EXPECT_EQ(main->m_nMidiProgram, -1);
    EXPECT_EQ(main->m_nBatchOverSampling, 2);
    WithSettings([&](CSettingDlg& dlg) {
        EXPECT_EQ(drv::WidgetText(&dlg.m_editMidi), "0");
        ASSERT_TRUE(drv::TypeText(&dlg.m_editA4, "219"));
        ASSERT_TRUE(drv::TypeText(&dlg.m_editMidi, "129"));
        ASSERT_TRUE(drv::Click(dlg.GetDlgItem(IDC_SET_OK)));
    });
    EXPECT_EQ(main->m_nA4.load(), 440);
    EXPECT_EQ(main->m_nMidiProgram, 0);

    ASSERT_TRUE(drv::Click(&main->m_btnLive));
    ASSERT_TRUE(drv::WaitUntil([&] { return main->m_nRunState.load() == 1; }));
    WithSettings([&](CSettingDlg& dlg) {
        EXPECT_FALSE(drv::WidgetEnabled(&dlg.m_comboWaveIn));
        EXPECT_FALSE(drv::WidgetEnabled(&dlg.m_comboWaveOut));
        ASSERT_TRUE(drv::PressKey(&dlg, "Escape"));
    });
    main->OnBnClickedStop();
}

}  // namespace

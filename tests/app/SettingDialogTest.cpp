// The settings dialog without a window system: what it shows of the copies it is given, what
// OK reads back (edge values included), the pickers, and the settings command's Cancel.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "app/SettingDlg.h"
#include "app/WaveInOutDlg.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/msgbox.h"
#include "resources/resource_ids.h"
#include "support/TempFolder.h"

namespace {

class SettingDialogTest : public ::testing::Test {
protected:
    SettingDialogTest() {
        std::snprintf(dlg.m_waveInCaps[0].szPname, MAXPNAMELEN, "WAVE MAPPER");
        std::snprintf(dlg.m_waveInCaps[1].szPname, MAXPNAMELEN, "Mic");
        std::snprintf(dlg.m_waveOutCaps[0].szPname, MAXPNAMELEN, "WAVE MAPPER");
        std::snprintf(dlg.m_waveOutCaps[1].szPname, MAXPNAMELEN, "Speakers");
        std::snprintf(dlg.m_waveOutCaps[2].szPname, MAXPNAMELEN, "Headphones");
        dlg.m_nWaveInCount = 1;
        dlg.m_nWaveOutCount = 2;
        dlg.m_nWaveOutIndex = 2;
        dlg.m_strOutputFolder = "/home/user/out/";
        dlg.m_nMidiProgram = 24;
        platform::ui::TakeHeadlessMessageBoxes();
    }
    void Init() {
        ASSERT_TRUE(dlg.BuildItems());
        dlg.OnInitDialog();
    }
    // Types into the two number fields and presses OK.
    void Ok(const std::string& a4, const std::string& midi) {
        dlg.m_editA4.SetWindowText(a4);
        dlg.m_editMidi.SetWindowText(midi);
        dlg.OnBnClickedOk();
    }

    CSettingDlg dlg;
};

TEST_F(SettingDialogTest, ShowsTheCopiesItWasGiven) {
    Init();
    EXPECT_EQ(dlg.GetWindowText(), "ソルベルの設定");
    EXPECT_EQ(dlg.m_editA4.GetWindowText(), "440");
    EXPECT_EQ(dlg.m_staticConverter.GetWindowText(), "設定なし");
    EXPECT_EQ(dlg.m_comboOverSampling.GetItems(), (std::vector<std::string>{"1", "2", "4"}));
    EXPECT_EQ(dlg.m_comboOverSampling.GetCurSel(), 2);
    EXPECT_EQ(dlg.m_staticFolder.GetWindowText(), "/home/user/out/");
    EXPECT_EQ(dlg.m_chkVolumeGraph.GetCheck(), BST_CHECKED);
    EXPECT_EQ(dlg.m_comboWaveIn.GetItems(), (std::vector<std::string>{"WAVE MAPPER", "Mic"}));
    EXPECT_EQ(dlg.m_comboWaveIn.GetCurSel(), 0);
    EXPECT_EQ(dlg.m_comboWaveOut.GetItems(), (std::vector<std::string>{"WAVE MAPPER", "Speakers", "Headphones"}));
    EXPECT_EQ(dlg.m_comboWaveOut.GetCurSel(), 2);
    EXPECT_TRUE(dlg.m_comboWaveIn.IsWindowEnabled());
    EXPECT_EQ(dlg.m_editMidi.GetWindowText(), "25");  // instrument 24 counted from 1
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SET_LATENCY_STANDARD), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SET_LATENCY_SMALL), static_cast<UINT>(BST_UNCHECKED));
}

TEST_F(SettingDialogTest, ConverterNameSmallDelayAndARunAreShown) {
    dlg.m_strConverterPath = "/opt/conv/EcoDecoTooL.exe";
    dlg.m_nLatencyMode = 1;
    dlg.m_nRunState = 1;
    dlg.m_bShowVolumeGraph = FALSE;
    Init();
    EXPECT_EQ(dlg.m_staticConverter.GetWindowText(), "/opt/conv/EcoDecoTooL.exe");
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_SET_LATENCY_SMALL), static_cast<UINT>(BST_CHECKED));
    EXPECT_FALSE(dlg.m_comboWaveIn.IsWindowEnabled());
    EXPECT_FALSE(dlg.m_comboWaveOut.IsWindowEnabled());
    EXPECT_EQ(dlg.m_chkVolumeGraph.GetCheck(), BST_UNCHECKED);
}

TEST_F(SettingDialogTest, OversamplingFactorsAreShownAndReadBackByTheirListPosition) {
    for (const auto& [factor, shown] : std::vector<std::pair<int, int>>{{1, 0}, {2, 1}, {3, 2}, {4, 2}}) {
        CSettingDlg d;
        d.m_nBatchOverSampling = factor;
        ASSERT_TRUE(d.BuildItems());
        d.OnInitDialog();
        EXPECT_EQ(d.m_comboOverSampling.GetCurSel(), shown) << factor;
    }
    Init();
    for (const auto& [selection, factor] : std::vector<std::pair<int, int>>{{0, 1}, {1, 2}, {2, 4}}) {
        dlg.m_comboOverSampling.SetCurSel(selection);
        Ok("440", "1");
        EXPECT_EQ(dlg.m_nBatchOverSampling, factor);
    }
    // No selection keeps the factor (never 1 shifted by -1).
    dlg.m_comboOverSampling.SetCurSel(CB_ERR);
    Ok("440", "1");
    EXPECT_EQ(dlg.m_nBatchOverSampling, 4);
    EXPECT_EQ(dlg.GetModalResult(), IDOK);
}

TEST_F(SettingDialogTest, A4OutsideTwoTwentyToEightEightyOrOverflowingBecomes440) {
    Init();
    const std::vector<std::pair<std::string, int>> cases = {
        {"219", 440}, {"220", 220}, {"880", 880}, {"881", 440}, {"  452Hz", 452}, {"abc", 440}, {"", 440},
        {"4294967736", 440}, {"99999999999999999999", 440}, {"-440", 440}, {"+445", 445},
        {std::string(99, ' ') + "450", 440},  // only the first 99 characters count
    };
    for (const auto& [text, a4] : cases) {
        Ok(text, "1");
        EXPECT_EQ(dlg.m_nA4, a4) << "'" << text << "'";
    }
    EXPECT_TRUE(platform::ui::TakeHeadlessMessageBoxes().empty());
}

TEST_F(SettingDialogTest, MidiFieldCountsFromOneAndOutOfRangeOrOverflowingGivesInstrumentZero) {
    Init();
    const std::vector<std::pair<std::string, int>> cases = {
        {"0", -1}, {"1", 0}, {"25", 24}, {"128", 127}, {"129", 0}, {"-1", 0}, {"abc", -1},
        {"99999999999", 0}, {"-2147483648", 0}, {"2147483647", 0},
    };
    for (const auto& [text, program] : cases) {
        Ok("440", text);
        EXPECT_EQ(dlg.m_nMidiProgram, program) << "'" << text << "'";
    }
}

TEST_F(SettingDialogTest, DeviceListsWithoutASelectionKeepTheirEntries) {
    Init();
    dlg.m_comboWaveIn.SetCurSel(1);
    dlg.m_comboWaveOut.SetCurSel(CB_ERR);
    dlg.m_chkVolumeGraph.SetCheck(BST_UNCHECKED);
    dlg.CheckRadioButton(IDC_SET_LATENCY_STANDARD, IDC_SET_LATENCY_SMALL, IDC_SET_LATENCY_SMALL);
    Ok("440", "1");
    EXPECT_EQ(dlg.m_nWaveInIndex, 1);
    EXPECT_EQ(dlg.m_nWaveOutIndex, 2);
    EXPECT_FALSE(dlg.m_bShowVolumeGraph);
    EXPECT_EQ(dlg.m_nLatencyMode, 1);
}

TEST_F(SettingDialogTest, FolderPickerStoresTheFolderWithItsSlashAndRefusesLineBreaks) {
    Init();
    platform::ui::QueueHeadlessFolderAnswer("/");
    dlg.OnBnClickedFolder();
    EXPECT_EQ(dlg.m_strOutputFolder, "/");
    platform::ui::QueueHeadlessFolderAnswer("/media/disk/録音");
    dlg.OnBnClickedFolder();
    EXPECT_EQ(dlg.m_strOutputFolder, "/media/disk/録音/");
    EXPECT_EQ(dlg.m_staticFolder.GetWindowText(), "/media/disk/録音/");
    EXPECT_TRUE(platform::ui::TakeHeadlessMessageBoxes().empty());

    for (const char* bad : {"/tmp/two\nlines", "/tmp/cr\rhere"}) {
        platform::ui::QueueHeadlessFolderAnswer(bad);
        dlg.OnBnClickedFolder();
        EXPECT_EQ(dlg.m_strOutputFolder, "/media/disk/録音/");
        EXPECT_EQ(platform::ui::TakeHeadlessMessageBoxes().size(), 1u);
    }
    platform::ui::QueueHeadlessFolderAnswer("/" + std::string(5000, 'a'));
    dlg.OnBnClickedFolder();
    EXPECT_EQ(dlg.m_strOutputFolder, "/media/disk/録音/");
    EXPECT_EQ(platform::ui::TakeHeadlessMessageBoxes().size(), 1u);
    dlg.OnBnClickedFolder();  // cancelled
    EXPECT_EQ(dlg.m_strOutputFolder, "/media/disk/録音/");
}

TEST_F(SettingDialogTest, ConverterIsKeptOnlyWhenItCouldBePrepared) {
    Init();
    dlg.m_strAppFolder = "/opt/sorvel/";
    std::vector<std::pair<std::string, std::string>> asked;
    bool accept = false;
    dlg.m_patchConverter = [&](const std::string& path, const std::string& folder) {
        asked.emplace_back(path, folder);
        return accept ? TRUE : FALSE;
    };
    platform::ui::QueueHeadlessFileAnswer({"/home/u/bin/EcoDecoTooL.exe"});
    dlg.OnBnClickedConverter();
    EXPECT_EQ(dlg.m_strConverterPath, "none");
    EXPECT_EQ(dlg.m_staticConverter.GetWindowText(), "設定なし");
    accept = true;
    platform::ui::QueueHeadlessFileAnswer({"/home/u/bin/EcoDecoTooL.exe"});
    dlg.OnBnClickedConverter();
    EXPECT_EQ(dlg.m_strConverterPath, "/home/u/bin/EcoDecoTooL.exe");
    EXPECT_EQ(dlg.m_staticConverter.GetWindowText(), "/home/u/bin/EcoDecoTooL.exe");
    dlg.OnBnClickedConverter();  // cancelled: nothing asked, nothing changed
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].second, "/opt/sorvel/");
    const auto requests = platform::ui::TakeHeadlessFileRequests();
    ASSERT_FALSE(requests.empty());
    ASSERT_EQ(requests[0].filters.size(), 2u);
    EXPECT_EQ(requests[0].filters[0].second, "EcoDecoTooL.exe");
    EXPECT_EQ(requests[0].filters[1].second, "*");
}

TEST_F(SettingDialogTest, AnyProgramChosenIsKeptAcrossARestartAndAFileThatIsNoProgramIsRefused) {
    TempFolder tools;
    const std::string program = tools.File("my-converter");
    const std::string text = tools.File("notes.txt");
    std::ofstream(program) << "#!/bin/sh\n";
    std::ofstream(text) << "not a program\n";
    ::chmod(program.c_str(), 0755);
    ::chmod(text.c_str(), 0644);
    Init();
    dlg.m_strAppFolder = tools.Path();
    dlg.m_patchConverter = [](const std::string&, const std::string&) { return TRUE; };
    platform::ui::TakeHeadlessMessageBoxes();

    platform::ui::QueueHeadlessFileAnswer({text});
    dlg.OnBnClickedConverter();
    EXPECT_EQ(dlg.m_strConverterPath, "none");
    const auto boxes = platform::ui::TakeHeadlessMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "選んだファイルは実行できるプログラムではありません。変換に使うプログラムを選んで下さい。");

    platform::ui::QueueHeadlessFileAnswer({program});
    dlg.OnBnClickedConverter();
    EXPECT_EQ(dlg.m_strConverterPath, program);
    EXPECT_EQ(dlg.m_staticConverter.GetWindowText(), program);

    // What the dialog accepted is what the next start reads back from the settings file.
    CSettingsFile written(tools.Path());
    written.m_strConverterPath = program;
    ASSERT_TRUE(written.Write(tools.File(CSettingsFile::kFileName)));
    CSettingsFile read(tools.Path());
    ASSERT_EQ(read.Read(tools.File(CSettingsFile::kFileName)), SettingsReadResult::Read);
    EXPECT_EQ(read.m_strConverterPath, program);
    // A program that is gone by then is not kept.
    std::remove(program.c_str());
    CSettingsFile gone(tools.Path());
    ASSERT_EQ(gone.Read(tools.File(CSettingsFile::kFileName)), SettingsReadResult::Read);
    EXPECT_EQ(gone.m_strConverterPath, "none");
}

TEST_F(SettingDialogTest, ConverterWhoseSettingsFileIsMissingIsNotKept) {
    TempFolder folder;
    std::ofstream(folder.File("EcoDecoTooL.exe")) << "#!/bin/sh\n";
    Init();
    dlg.m_strAppFolder = folder.Path();
    platform::ui::QueueHeadlessFileAnswer({folder.File("EcoDecoTooL.exe")});
    dlg.OnBnClickedConverter();
    EXPECT_EQ(dlg.m_strConverterPath, "none");
    const auto boxes = platform::ui::TakeHeadlessMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("EcoDecoTooL.ini"), std::string::npos);
}

TEST(SettingCommand, CancelChangesNothingButTheSystemReportIsWrittenAnew) {
    TempFolder folder;
    std::ofstream(folder.File("debug.txt")) << "old trace\n";
    CWaveInOutDlg main(folder.Path());
    main.m_nA4 = 452;
    main.m_nMidiProgram = 3;
    main.m_strOutputFolder = "/data/out/";
    main.OnBnClickedSetting();  // without a window system the dialog ends with Cancel
    EXPECT_EQ(main.m_nA4.load(), 452);
    EXPECT_EQ(main.m_nMidiProgram, 3);
    EXPECT_EQ(main.m_strOutputFolder, "/data/out/");
    std::ifstream trace(folder.File("debug.txt"));
    const std::string text((std::istreambuf_iterator<char>(trace)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("old trace"), std::string::npos);
    EXPECT_NE(text.find("sorvel"), std::string::npos);
}

}  // namespace

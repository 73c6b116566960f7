// The main dialog's start-up without a window system: defaults, device tables, settings file,
// trace file and the start state of every control it sets.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "StartupSupport.h"
#include "platform/base/paths.h"
#include "support/ElfWordSize.h"

namespace {

std::string CapsName(const char* field) { return std::string(field); }

using StartupDefaultsTest = StartedDialogTest;

TEST_F(StartupDefaultsTest, WithoutSettingsFileTheDefaultsStandAndTheKeyboardAxisLabelsShow) {
    CWaveInOutDlg& d = Start();
    EXPECT_EQ(d.m_nMethod, 0);
    EXPECT_EQ(d.m_nAxisMode, 2);
    EXPECT_EQ(d.m_staticDbLabel1.GetWindowText(), "-20");
    EXPECT_EQ(d.m_staticDbLabel2.GetWindowText(), "-40");
    EXPECT_EQ(d.m_staticDbLabel3.GetWindowText(), "-60");
    EXPECT_EQ(d.m_nBatchOverSampling, 4);
    EXPECT_EQ(d.m_nA4.load(), 440);
    EXPECT_EQ(d.m_strOutputFolder, folder.Path());
    EXPECT_EQ(d.m_strConverterPath, "none");
    EXPECT_EQ(d.m_nMidiProgram, 0);
    EXPECT_FLOAT_EQ(d.m_fReverbDelay, 0.07f);
    EXPECT_EQ(d.m_voicePreset[3].nMaxKey, 40);
    EXPECT_FLOAT_EQ(d.m_fPresetQ[2], 1.0f);
    EXPECT_EQ(d.m_nRunState.load(), 0);
    EXPECT_EQ(d.m_nAmpThreshold, 655);
    // Standard voice delay: 32768-byte blocks, rings of twice that many samples, all allocated.
    EXPECT_EQ(d.m_nBlockBytes, 32768);
    EXPECT_EQ(d.m_nRingLen, 65536);
    EXPECT_NE(d.m_pOutHdr[3], nullptr);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(StartupDefaultsTest, DeviceTablesListTheMapperFirstAndTheMapperIsOpenedByDefault) {
    CWaveInOutDlg& d = Start();
    EXPECT_EQ(d.m_nWaveInCount, 2);
    EXPECT_EQ(CapsName(d.m_waveInCaps[0].szPname), "WAVE MAPPER");
    EXPECT_EQ(CapsName(d.m_waveInCaps[1].szPname), "Mic A");
    EXPECT_EQ(CapsName(d.m_waveInCaps[2].szPname), "Mic B");
    EXPECT_EQ(d.m_nWaveOutCount, 1);
    EXPECT_EQ(CapsName(d.m_waveOutCaps[0].szPname), "WAVE MAPPER");
    EXPECT_EQ(CapsName(d.m_waveOutCaps[1].szPname), "Speaker A");
    EXPECT_EQ(d.m_nWaveInIndex, 0);
    EXPECT_EQ(d.m_nWaveInId, WAVE_MAPPER);
    EXPECT_EQ(d.m_nWaveOutId, WAVE_MAPPER);
}

TEST_F(StartupDefaultsTest, MoreThanNinetyNineDevicesFillTheTableWithoutOverrunningIt) {
    std::vector<std::string> many;
    for (int i = 0; i < 120; ++i) many.push_back("Mic " + std::to_string(i));
    platform::wave::CTestWaveDevices crowded(many, {"Speaker A"});
    CWaveInOutDlg& d = Start();
    EXPECT_EQ(d.m_nWaveInCount, 99);
    EXPECT_EQ(CapsName(d.m_waveInCaps[99].szPname), "Mic 98");
}

TEST_F(StartupDefaultsTest, ConstructionLoadsTheApplicationIconWhichStartUpSetsAsBothWindowIcons) {
    const HICON appIcon = LoadIconResource(IDR_MAINFRAME);
    ASSERT_NE(appIcon, nullptr);
    CWaveInOutDlg built(folder.Path());
    EXPECT_EQ(built.m_hIcon, appIcon);

    CWaveInOutDlg& d = Start();
    EXPECT_EQ(d.m_hIcon, appIcon);
    EXPECT_EQ(d.GetIcon(TRUE), appIcon);
    EXPECT_EQ(d.GetIcon(FALSE), appIcon);
}

using StartupSettingsTest = StartedDialogTest;

TEST_F(StartupSettingsTest, SavedValuesReplaceTheDefaultsButVoiceControlsStartNeutral) {
    CSettingsFile saved(folder.Path());
    saved.m_nMethod = 1;
    saved.m_nAxisMode = 0;
    saved.m_nPitch = 12;
    saved.m_nFormant = -6;
    saved.m_nMinKey = 3;
    saved.m_nMaxKey = 30;
    saved.m_nA4 = 442;
    saved.m_nSaveCounter = 17;
    saved.m_nMidiProgram = 5;
    saved.m_nLatencyMode = 1;
    saved.m_voicePreset[1].nPitch = 7;
    saved.m_strWaveInName = "Mic B";
    saved.m_strWaveOutName = "Speaker A";
    ASSERT_TRUE(saved.Write(folder.File("sorvel.ini")));

    CWaveInOutDlg& d = Start();
    EXPECT_EQ(d.m_nMethod, 1);
    EXPECT_EQ(d.m_nA4.load(), 442);
    EXPECT_EQ(d.m_nSaveCounter, 17);
    EXPECT_EQ(d.m_nMidiProgram, 5);
    EXPECT_EQ(d.m_voicePreset[1].nPitch, 7);
    // Small voice delay from the file.
    EXPECT_EQ(d.m_nBlockBytes, 16384);
    EXPECT_EQ(d.m_nRingLen, 32768);
    // Devices by name: table entry 2 opens device id 1.
    EXPECT_EQ(d.m_nWaveInIndex, 2);
    EXPECT_EQ(d.m_nWaveInId, 1u);
    EXPECT_EQ(d.m_nWaveOutIndex, 1);
    EXPECT_EQ(d.m_nWaveOutId, 0u);
    // Log axis: the labels keep the template's texts.
    EXPECT_EQ(d.m_staticDbLabel1.GetWindowText(), "-40");
    EXPECT_EQ(d.m_staticDbLabel3.GetWindowText(), "-120");
    // Key table of the saved A4 (442 x 2^(-33.5/12) + 0.5 = 64.8).
    EXPECT_EQ(d.m_nKeyBoundaryHz[0], 64);
    EXPECT_EQ(d.m_nKeyBoundaryHz[33], 429);
    // Pitch, formant and the two keys start at 0, 0, G_2 and E_5 whatever was saved.
    EXPECT_EQ(d.m_sliderPitch.GetPos(), 0);
    EXPECT_EQ(d.m_sliderFormant.GetPos(), 0);
    EXPECT_EQ(d.m_comboMinKey.GetCurSel(), 7);
    EXPECT_EQ(d.m_comboMaxKey.GetCurSel(), 40);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(StartupSettingsTest, PhaseVocoderFromTheFileShowsOnlyItsControls) {
    CSettingsFile saved(folder.Path());
    saved.m_nMethod = 1;
    ASSERT_TRUE(saved.Write(folder.File("sorvel.ini")));
    CWaveInOutDlg& d = Start();
    EXPECT_EQ(d.IsDlgButtonChecked(IDC_PHASE_VOCODER), 1u);
    EXPECT_EQ(d.IsDlgButtonChecked(IDC_TD_PSOLA), 0u);
    for (CWnd* hidden : std::initializer_list<CWnd*>{&d.m_sliderFormant, &d.m_staticFormantLabel,
                                                      &d.m_staticFormantValue, &d.m_comboMaxKey, &d.m_staticMaxLabel,
                                                      &d.m_comboMinKey, &d.m_staticMinLabel}) {
        EXPECT_FALSE(hidden->IsWindowVisible()) << hidden->GetDlgCtrlID();
    }
    EXPECT_TRUE(d.m_sliderPitch.IsWindowVisible());
}

TEST_F(StartupSettingsTest, MissingSavedDevicesAreToldRecordingFirstAndTheMapperIsUsed) {
    CSettingsFile saved(folder.Path());
    saved.m_strWaveInName = "Unplugged mic";
    saved.m_strWaveOutName = "Unplugged speaker";
    ASSERT_TRUE(saved.Write(folder.File("sorvel.ini")));
    CWaveInOutDlg& d = Start();
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kMissingInDeviceMessage, kMissingOutDeviceMessage}));
    EXPECT_EQ(d.m_nWaveInIndex, 0);
    EXPECT_EQ(d.m_nWaveOutIndex, 0);
    EXPECT_EQ(d.m_nWaveInId, WAVE_MAPPER);
}

TEST_F(StartupSettingsTest, SettingsOrTraceFileThatIsAPipeNeitherBlocksNorStopsTheStart) {
    ASSERT_EQ(::mkfifo(folder.File("sorvel.ini").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(folder.File("debug.txt").c_str(), 0600), 0);
    // Should an open block on a pipe, this opens the other end after a while so the test ends.
    std::atomic<bool> started{false};
    std::atomic<bool> unblocked{false};
    std::thread rescue([&] {
        for (int i = 0; i < 500 && !started.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (started.load()) return;
        unblocked = true;
        for (const char* name : {"sorvel.ini", "debug.txt"}) ::close(::open(folder.File(name).c_str(), O_RDWR | O_NONBLOCK));
    });
    CWaveInOutDlg& d = Start();
    started = true;
    rescue.join();
    EXPECT_FALSE(unblocked.load()) << "start-up waited on a pipe";
    EXPECT_EQ(d.m_nMethod, 0);
    EXPECT_FALSE(d.IsTracing());
}

TEST_F(StartupSettingsTest, TemporaryFilesOfACutOffSettingsWriteAreRemoved) {
    std::ofstream(folder.File(".sorvel.ini.4242.0.tmp")) << "sorvel 2.87\n";
    std::ofstream(folder.File(".sorvel.ini.notes")) << "kept\n";
    Start();
    EXPECT_FALSE(std::filesystem::exists(folder.File(".sorvel.ini.4242.0.tmp")));
    EXPECT_TRUE(std::filesystem::exists(folder.File(".sorvel.ini.notes")));
}

TEST_F(StartupSettingsTest, FileOfAnOlderVersionIsIgnoredSilently) {
    std::ofstream(folder.File("sorvel.ini")) << "sorvel 2.799\n0 0\n1\n";
    CWaveInOutDlg& d = Start();
    EXPECT_EQ(d.m_nMethod, 0);
    EXPECT_EQ(d.m_nAxisMode, 2);
    EXPECT_TRUE(BoxTexts().empty());
}

using StartupControlsTest = StartedDialogTest;

TEST_F(StartupControlsTest, TrackbarsHaveTheirRangesPagesAndTicks) {
    CWaveInOutDlg& d = Start();
    EXPECT_EQ(d.m_sliderPitch.GetRangeMin(), -48);
    EXPECT_EQ(d.m_sliderPitch.GetRangeMax(), 48);
    EXPECT_EQ(d.m_sliderPitch.GetPageSize(), 1);
    EXPECT_EQ(d.m_sliderPitch.GetTics(), (std::vector<int>{-48, -24, 0, 24, 48}));
    EXPECT_EQ(d.m_sliderFormant.GetRangeMin(), -24);
    EXPECT_EQ(d.m_sliderFormant.GetRangeMax(), 24);
    EXPECT_EQ(d.m_sliderFormant.GetPageSize(), 1);
    EXPECT_EQ(d.m_sliderFormant.GetTics(), (std::vector<int>{-24, -12, 0, 12, 24}));
}

TEST_F(StartupControlsTest, CombosListTheirItemsAndStartOnTheirSelections) {
    CWaveInOutDlg& d = Start();
    const auto keys = d.m_comboMinKey.GetItems();
    ASSERT_EQ(keys.size(), 62u);
    EXPECT_EQ(keys.front(), "C_2");
    EXPECT_EQ(keys[33], "A_4");
    EXPECT_EQ(keys.back(), "C#7");
    EXPECT_EQ(d.m_comboMaxKey.GetItems(), keys);
    EXPECT_EQ(d.m_comboMinKey.GetLBText(d.m_comboMinKey.GetCurSel()), "G_2");
    EXPECT_EQ(d.m_comboMaxKey.GetLBText(d.m_comboMaxKey.GetCurSel()), "E_5");
    EXPECT_EQ(d.m_comboKeyRange.GetItems(), (std::vector<std::string>{"C2", "G2", "C3", "G3", "C4"}));
    EXPECT_EQ(d.m_comboKeyRange.GetCurSel(), 3);
    EXPECT_EQ(d.m_comboVoiceMode.GetItems(),
              (std::vector<std::string>{"歌声", "話声", "3度上を重ねる", "平坦化", "正弦波", "方形波", "鋸波"}));
    EXPECT_EQ(d.m_comboVoiceMode.GetCurSel(), 1);
    EXPECT_EQ(d.m_editCorrTh.GetWindowText(), "0.5");
    EXPECT_EQ(d.m_nKeyBoundaryHz[34], 453);
    EXPECT_EQ(d.m_nKeyBoundaryHz[61], 2154);
}

TEST_F(StartupControlsTest, TdPsolaStartShowsItsControlsWithTheMethodRadioChecked) {
    CWaveInOutDlg& d = Start();
    EXPECT_EQ(d.IsDlgButtonChecked(IDC_TD_PSOLA), 1u);
    EXPECT_EQ(d.IsDlgButtonChecked(IDC_PHASE_VOCODER), 0u);
    for (CWnd* shown : std::initializer_list<CWnd*>{&d.m_sliderFormant, &d.m_staticFormantLabel, &d.m_comboMaxKey,
                                                     &d.m_staticMaxLabel, &d.m_comboMinKey, &d.m_staticMinLabel}) {
        EXPECT_TRUE(shown->IsWindowVisible()) << shown->GetDlgCtrlID();
    }
    EXPECT_TRUE(d.AcceptsFiles());
}

TEST_F(StartupControlsTest, RunButtonsShowTheirIdleImagesAndPlayIsGreyed) {
    CWaveInOutDlg& d = Start();
    auto imageOf = [](const CButton& b) { return b.GetBitmap() ? b.GetBitmap()->ResourceId() : 0u; };
    EXPECT_EQ(imageOf(d.m_btnLive), IDB_LIVE);
    EXPECT_EQ(imageOf(d.m_btnOpen), IDB_OPEN);
    EXPECT_EQ(imageOf(d.m_btnStop), IDB_STOP_IDLE);
    EXPECT_EQ(imageOf(d.m_btnExit), IDB_EXIT);
    EXPECT_EQ(imageOf(d.m_btnPlay), IDB_PLAY_GREY);
    EXPECT_EQ(imageOf(d.m_btnHelp), IDB_HELP);
    // The images of the other run states are loaded for the state changes.
    EXPECT_EQ(d.m_bmpLive[1].ResourceId(), IDB_LIVE_ACTIVE);
    EXPECT_EQ(d.m_bmpOpen[2].ResourceId(), IDB_OPEN_ACTIVE);
    EXPECT_EQ(d.m_bmpStop[2].ResourceId(), IDB_STOP);
    EXPECT_EQ(d.m_bmpPlay[2].ResourceId(), IDB_PLAY_PAUSE);
    EXPECT_EQ(d.m_bmpPlay[3].ResourceId(), IDB_PLAY_GREY_LIVE);
}

TEST_F(StartupControlsTest, TwentyEightControlsCarryTheirTooltips) {
    CWaveInOutDlg& d = Start();
    EXPECT_EQ(d.m_toolTip.GetToolCount(), 28);
    EXPECT_EQ(d.m_toolTip.GetToolText(&d.m_btnLive), "マイク入力");
    EXPECT_EQ(d.m_toolTip.GetToolText(d.GetDlgItem(IDC_EFFECT)), "サウンド・エフェクト");
    EXPECT_EQ(d.m_toolTip.GetToolText(d.GetDlgItem(IDC_PRESET4)), "クリックでロード、Ctrl+クリックで保存");
    EXPECT_EQ(d.m_toolTip.GetToolText(d.GetDlgItem(IDC_SETTING)), "ソルベルの設定");
    EXPECT_EQ(d.m_toolTip.GetToolText(&d.m_comboVoiceMode), "方式選択・特殊効果");
    EXPECT_EQ(d.m_toolTip.GetToolText(&d.m_editCorrTh), "相関係数の閾値");
}

TEST_F(StartupControlsTest, MeterScaleAndProcessingTimeUseTheSmallGothicFace) {
    CWaveInOutDlg& d = Start();
    for (CWnd* label : std::initializer_list<CWnd*>{&d.m_staticMeterTop, &d.m_staticMeterMid, &d.m_staticProcTime}) {
        ASSERT_TRUE(label->HasOwnFont());
        EXPECT_EQ(label->GetFontSpec().face, "ＭＳ ゴシック");
        EXPECT_EQ(label->GetFontSpec().height, 9);
    }
    EXPECT_FALSE(d.m_staticTime.HasOwnFont());
}

using StartupTraceTest = StartedDialogTest;

TEST_F(StartupTraceTest, WithTheTraceFileStartupWritesTheReportThenItsThreeTracePoints) {
    WriteTraceSwitch();
    Start();
    const auto lines = TraceLines();
    ASSERT_GE(lines.size(), 15u);
    EXPECT_EQ(lines[0], elfword::ReportFirstLine());
    const auto input = std::find(lines.begin(), lines.end(), "Input Sound Device");
    ASSERT_NE(input, lines.end());
    EXPECT_EQ(*(input + 1), " 0 : WAVE MAPPER");
    EXPECT_EQ(*(input + 2), " 1 : Mic A");
    EXPECT_EQ(*(input + 3), " 2 : Mic B");
    EXPECT_EQ(*(input + 4), " Selected InDev = 0");
    EXPECT_EQ(*(input + 6), " 0 : WAVE MAPPER");
    EXPECT_EQ(*(input + 7), " 1 : Speaker A");
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"0-01", "0-02", "0-END"}));
}

TEST_F(StartupTraceTest, ReportShowsTheDevicesChosenFromTheSettingsFile) {
    WriteTraceSwitch();
    CSettingsFile saved(folder.Path());
    saved.m_strWaveInName = "Mic B";
    ASSERT_TRUE(saved.Write(folder.File("sorvel.ini")));
    Start();
    const auto lines = TraceLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), " Selected InDev = 2"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), " Selected OutDev = 0"), lines.end());
}

TEST_F(StartupTraceTest, EarlierTraceLinesAreReplacedByTheReport) {
    std::ofstream(folder.File("debug.txt")) << "4-STOP button\nold line\n";
    Start();
    const auto lines = TraceLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "old line"), 0);
    EXPECT_EQ(lines.front(), elfword::ReportFirstLine());
}

TEST_F(StartupTraceTest, WithoutTheTraceFileStartupWritesNothing) {
    Start();
    EXPECT_FALSE(platform::FileExists(folder.File("debug.txt")));
}

}  // namespace

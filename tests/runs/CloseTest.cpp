// Closing the program: the close operation stops a run, joins every worker, frees the buffers
// and writes the whole settings file once, whichever way the dialog is ended.
#include <cstdio>
#include <cstdlib>

#include "batch/StandInConverter.h"
#include "effects/EQdlg.h"
#include "platform/wave/virtualbackend.h"
#include "runs/RunHarness.h"
#include "support/FileSizeLimit.h"

namespace {

using runtest::RunDialog;

class Close : public runtest::VirtualRunTest {
protected:
    void SetUp() override {
        runtest::WriteWav(folder.File("silence.wav"), std::vector<short>(44100, 0));
        StartDialog(folder.File("silence.wav"), 8);
    }
    std::string Settings() const { return folder.File("sorvel.ini"); }
    // The settings file without its second line (the time of writing).
    std::vector<std::string> SettingsLinesButTime() const {
        std::vector<std::string> lines = runtest::TraceLines(Settings());
        if (lines.size() > 1) lines.erase(lines.begin() + 1);
        return lines;
    }
};

TEST_F(Close, ClosingWhenIdleWritesTheDefault27LinesAndTheTraceInOrder) {
    dlg->OnClose();
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(dlg->GetModalResult(), IDCANCEL);
    const std::string e = " 0  0  0  0  0  0  0  0  0  0  0  1.000";
    const std::string v = "0 0 7 40 440 0.500000 0.020000 3 0.900000 1";
    const std::vector<std::string> want = {
        "sorvel 2.87", "0", "0", "0", "7", "40", "2", "4", e, e, e, e, v, v, v, v, "0 0", "440", folder.Path(), "none",
        "1", "0.700000 0.070000 12", "0", "WAVE MAPPER", "WAVE MAPPER", "0"};
    EXPECT_EQ(SettingsLinesButTime(), want);
    EXPECT_EQ(runtest::TraceLines(Settings()).size(), 27u);
    EXPECT_EQ(dlg->m_pfInputBuf, nullptr);
    EXPECT_EQ(dlg->m_pInBlock, nullptr);
    EXPECT_EQ(dlg->m_pOutBlock, nullptr);

    dlg.reset();
    const std::vector<std::string> trace = runtest::TraceLines(Trace());
    const std::vector<std::string> wantTrace = {"98-OnClose", "4-STOP button", "98-01", "98-02", "98-03", "98-04",
                                                "98-05",      "98-06",         "98-END", "99-01", "99-END"};
    EXPECT_EQ(trace, wantTrace);
}

TEST_F(Close, SettingsWrittenAtCloseReadBackWithTheSameValues) {
    dlg->m_nMethod = 1;
    dlg->m_sliderPitch.SetPos(12);
    dlg->m_comboMinKey.SetCurSel(3);
    dlg->m_nAxisMode = 1;
    dlg->m_nBatchOverSampling = 2;
    dlg->m_nPresetGain[2][5] = -7;
    dlg->m_fPresetQ[1] = 2.5f;
    dlg->m_voicePreset[3].nPitch = -9;
    dlg->m_voicePreset[3].nVoiceMode = 5;
    dlg->m_nSaveCounter = 123;
    dlg->m_nDumpCounter = 9999;
    dlg->m_nA4 = 442;
    dlg->m_strOutputFolder = folder.File("out/");
    dlg->m_bShowVolumeGraph = FALSE;
    dlg->m_fReverbAttenuation = 0.5f;
    dlg->m_nReverbRepeat = 3;
    dlg->m_nMidiProgram = 41;
    dlg->m_nWaveInIndex = 1;
    dlg->m_nLatencyMode = 1;
    dlg->OnClose();
    EXPECT_TRUE(dlg->IsEnded());

    CSettingsFile s(folder.Path());
    ASSERT_EQ(s.Read(Settings()), SettingsReadResult::Read);
    EXPECT_EQ(s.m_nMethod, 1);
    EXPECT_EQ(s.m_nPitch, 12);
    EXPECT_EQ(s.m_nMinKey, 3);
    EXPECT_EQ(s.m_nAxisMode, 1);
    EXPECT_EQ(s.m_nBatchOverSampling, 2);
    EXPECT_EQ(s.m_nPresetGain[2][5], -7);
    EXPECT_FLOAT_EQ(s.m_fPresetQ[1], 2.5f);
    EXPECT_EQ(s.m_voicePreset[3].nPitch, -9);
    EXPECT_EQ(s.m_voicePreset[3].nVoiceMode, 5);
    EXPECT_EQ(s.m_nSaveCounter, 123);
    EXPECT_EQ(s.m_nDumpCounter, 9999);
    EXPECT_EQ(s.m_nA4, 442);
    EXPECT_EQ(s.m_strOutputFolder, folder.File("out/"));
    EXPECT_EQ(s.m_bShowVolumeGraph, 0);
    EXPECT_FLOAT_EQ(s.m_fReverbAttenuation, 0.5f);
    EXPECT_EQ(s.m_nReverbRepeat, 3);
    EXPECT_EQ(s.m_nMidiProgram, 41);
    EXPECT_EQ(s.m_strWaveInName, platform::wave::kVirtualInName);
    EXPECT_EQ(s.m_strWaveOutName, "WAVE MAPPER");
    EXPECT_EQ(s.m_nLatencyMode, 1);
}

TEST_F(Close, EnterAndEscapeAreIgnoredAndCloseRequestsRunTheCloseOnce) {
    dlg->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    dlg->SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(dlg->IsEnded());
    EXPECT_EQ(runtest::CountLines(Trace(), "98-OnClose"), 0);
    EXPECT_NE(dlg->m_pfInputBuf, nullptr);
    dlg->SendMessage(WM_CLOSE);
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(dlg->GetModalResult(), IDCANCEL);
    dlg->SendMessage(WM_CLOSE);
    dlg->OnCancel();
    EXPECT_EQ(dlg->GetModalResult(), IDCANCEL);
    dlg.reset();
    EXPECT_EQ(runtest::CountLines(Trace(), "98-OnClose"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "98-END"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "98-05"), 1);
    EXPECT_EQ(runtest::TraceLines(Settings()).size(), 27u);
}

TEST_F(Close, ExitEndsTheDialogWithOkAfterTheClose) {
    dlg->OnBnClickedExit();
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(dlg->GetModalResult(), IDOK);
    EXPECT_EQ(runtest::TraceLines(Settings()).size(), 27u);
}

TEST_F(Close, CloseRequestsQueuedBehindExitChangeNothing) {
    // The window's close box and a second EXIT click, both queued before the dialog went away.
    dlg->OnBnClickedExit();
    dlg->SendMessage(WM_CLOSE);
    dlg->OnBnClickedExit();
    EXPECT_EQ(dlg->GetModalResult(), IDOK);
    dlg.reset();
    EXPECT_EQ(runtest::CountLines(Trace(), "98-OnClose"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "4-STOP button"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "98-END"), 1);
}

TEST_F(Close, ClosingDuringALiveRunStopsItAndLeavesTheSavedWavComplete) {
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    dlg->OnBnClickedLive();
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() >= 3 * dlg->m_nBlockBytes / 2; }));
    dlg->OnClose();
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_FALSE(dlg->m_bPsolaRun.load());
    EXPECT_EQ(dlg->m_hWaveIn, nullptr);
    const auto saved = runtest::ReadWav(folder.File("save_0000.wav"));
    EXPECT_EQ(saved.format.nSamplesPerSec, 44100u);
    EXPECT_EQ(runtest::CountLines(Trace(), "4-END"), 1);
}

TEST_F(Close, ClosingDuringAFileRunJoinsThePlayerBeforeTheBuffersGo) {
    runtest::WriteWav(folder.File("tone.wav"), runtest::Tone(300.0, 44100 * 20));
    dlg->m_strDropFile = folder.File("tone.wav");
    dlg->OnBnClickedOpen();
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() > 0; }));
    dlg->OnClose();
    EXPECT_FALSE(dlg->m_playThread.IsRunning());
    EXPECT_FALSE(dlg->m_inputFile.IsOpen());
    EXPECT_EQ(runtest::CountLines(Trace(), "9-END"), 1);
}

TEST_F(Close, ClosingKeepsTheEffectDialogsLastPresetsInTheSettings) {
    auto* effects = new CEQdlg(dlg.get());
    effects->m_nPresetGain[0][0] = 6;
    effects->m_nRepeat = 9;
    dlg->m_pEQDlg = effects;
    dlg->OnClose();
    EXPECT_EQ(dlg->m_pEQDlg.load(), nullptr);
    const std::vector<std::string> lines = runtest::TraceLines(Settings());
    ASSERT_EQ(lines.size(), 27u);
    EXPECT_EQ(lines[9].substr(0, 3), " 6 ");
    EXPECT_EQ(lines[22].substr(lines[22].size() - 2), " 9");
}

// The temporary conversion file goes at the end of the program once a conversion of its own
// put its output there: after a file run of an mp3 (OPEN, which plays it) and after a batch of
// one alike. A temp.wav that was there before and that no conversion of this run wrote belongs
// to someone else and stays.
TEST_F(Close, TheEndOfTheProgramRemovesTheTemporaryConversionFileOnlyWhenItsConversionMadeIt) {
    const std::string temp = folder.File("temp.wav");
    runtest::WriteWav(temp, std::vector<short>(10, 0));
    const std::string before = runtest::ReadFile(temp);
    dlg->OnClose();
    dlg.reset();
    EXPECT_EQ(runtest::ReadFile(temp), before);
    std::remove(temp.c_str());

    TempFolder tools;
    const std::string unslashed = folder.Path().substr(0, folder.Path().size() - 1);
    batchtest::MakeStandIn(tools.File("conv.sh"), "[ComboBox]\r\n1003=0\r\n[Radio]\r\nwav=1\r\noutfolder=1\r\n[Edit]\r\n"
                                                  "outfolder=" + unslashed + "\r\n");
    const std::string tone = tools.File("tone.wav");
    runtest::WriteWav(tone, runtest::Tone(300.0, 44100));
    const std::string song = tools.File("song.mp3");
    ASSERT_EQ(std::system(("sox '" + tone + "' '" + song + "' 2>/dev/null").c_str()), 0);
    for (const bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "batch" : "file run");
        dlg = std::make_unique<RunDialog>(folder.Path());
        runtest::SetUpLikeStartUp(*dlg, folder.Path());
        dlg->m_strConverterPath = tools.File("conv.sh");
        if (batch) {
            platform::ui::QueueHeadlessFileAnswer({song});
            dlg->SendMessage(WM_COMMAND, MAKEWPARAM(1099, BN_CLICKED), 0);
            ASSERT_TRUE(runtest::PumpUntil([&] { return !dlg->IsBatchRunning(); }));
            EXPECT_EQ(platform::ui::TakeHeadlessFileRequests().size(), 1u);  // the batch's picker
            EXPECT_TRUE(runtest::Exists(folder.File("song_01.wav")));
        } else {
            dlg->m_strDropFile = song;
            dlg->OnBnClickedOpen();
            ASSERT_EQ(dlg->m_nRunState.load(), 2);
            ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() > 0; }));
        }
        EXPECT_TRUE(runtest::BoxTexts().empty());
        EXPECT_GT(runtest::ReadWav(temp).samples.size(), 40000u);
        dlg->OnClose();
        dlg.reset();
        EXPECT_FALSE(runtest::Exists(temp));
    }
}

TEST_F(Close, SettingsFileThatCannotBeWrittenIsSkippedSilently) {
    dlg.reset();
    TempFolder other;
    const std::string missing = other.File("gone/");
    dlg = std::make_unique<RunDialog>(missing);
    runtest::SetUpLikeStartUp(*dlg, missing);
    dlg->OnClose();
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_TRUE(runtest::BoxTexts().empty());
    EXPECT_FALSE(runtest::Exists(missing + "sorvel.ini"));
}

TEST_F(Close, SettingsThatCannotBeSavedAreToldOnceWhenTheUserClosesAndTheOldFileStaysWhole) {
    const std::string old = CSettingsFile(folder.Path()).Format(1700000000);
    {
        std::FILE* f = std::fopen(Settings().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(old.data(), 1, old.size(), f);
        std::fclose(f);
    }
    dlg->m_nSaveCounter = 42;
    {
        // Writes past 300 bytes fail as on a full disk: the new settings file cannot be made.
        FileSizeLimit full(300);
        dlg->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
        // The request queued behind it finds the close done.
        dlg->SendMessage(WM_CLOSE);
        dlg->OnBnClickedExit();
    }
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(runtest::BoxTexts(), std::vector<std::string>{kSettingsNotSavedMessage});
    EXPECT_EQ(runtest::ReadFile(Settings()), old);

    // A close request from outside (a termination signal) writes it to the trace only.
    dlg.reset();
    std::FILE* emptied = std::fopen(Trace().c_str(), "w");
    ASSERT_NE(emptied, nullptr);
    std::fclose(emptied);
    dlg = std::make_unique<RunDialog>(folder.Path());
    runtest::SetUpLikeStartUp(*dlg, folder.Path());
    {
        FileSizeLimit full(300);
        platform::ui::PostToQueue(dlg.get(), WM_CLOSE, 0, 0);
        platform::ui::DeliverPostedMessages();
    }
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_TRUE(runtest::BoxTexts().empty());
    EXPECT_EQ(runtest::ReadFile(Settings()), old);
    EXPECT_EQ(runtest::CountLines(Trace(), kSettingsNotSavedMessage), 1);
}

}  // namespace

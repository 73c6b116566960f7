// Rows and header of the pitch dump, and the names of the files a run leaves.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "app/WaveInOutDlg.h"
#include "audio/OutputNames.h"
#include "audio/PitchDump.h"
#include "platform/ui/msgbox.h"
#include "support/EngineHarness.h"
#include "support/RiffBytes.h"
#include "support/TempFolder.h"

namespace {

using riffbytes::ReadFile;

class DumpWriter : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEngine(dlg);
        dlg.m_strOutputFolder = folder.Path();
        dlg.m_saveFile.SetOwner(&dlg);
        dlg.m_chkDump.SetCheck(BST_CHECKED);
        dlg.m_nRunState = 1;
        platform::ui::TakeHeadlessMessageBoxes();
    }
    // Opens a live dump and returns the text after the header once rows were written.
    std::string Rows(const std::function<void()>& write) {
        dlg.OpenOutputFiles(1, FALSE, 1);
        EXPECT_NE(dlg.m_pDumpFile, nullptr);
        write();
        dlg.CloseDumpFile();
        const std::string text = ReadFile(folder.File("dump_0000.txt"));
        const std::string lastHeaderLine = "      0\t 0:00.000\t     0\t  0\t0\t127\r\n";
        const std::size_t at = text.find(lastHeaderLine);
        EXPECT_NE(at, std::string::npos);
        return at == std::string::npos ? text : text.substr(at + lastHeaderLine.size());
    }

    TempFolder folder;
    CWaveInOutDlg dlg{folder.Path()};
};

TEST_F(DumpWriter, RowHoldsMarkTimePeakFrequencyNoteAndNoChorus) {
    const std::string rows = Rows([&] { dlg.WriteDumpLine(44100 - 441, 44100, 5000, 1); });
    EXPECT_EQ(rows, "  44100\t 0:01.000\t  5000\t100\tG_2\t127\r\n");
}

TEST_F(DumpWriter, UnvoicedPeriodHasNoteZeroAndInFlatteningModeNoChorusShift) {
    EXPECT_EQ(Rows([&] { dlg.WriteDumpLine(1000, 1441, -3000, 1); }), "   1441\t 0:00.032\t -3000\t100\t0\t127\r\n");
    dlg.m_comboVoiceMode.SetCurSel(3);
    std::remove(folder.File("dump_0000.txt").c_str());
    dlg.m_nDumpCounter = 0;
    EXPECT_EQ(Rows([&] { dlg.WriteDumpLine(1000, 1441, -3000, 1); }), "   1441\t 0:00.032\t -3000\t100\t0\t 127.000\r\n");
}

TEST_F(DumpWriter, FlatteningModeNamesTheTargetNoteAndWritesTheShiftToIt) {
    dlg.m_comboVoiceMode.SetCurSel(3);
    dlg.OpenOutputFiles(1, FALSE, 1);
    dlg.WriteDumpLine(10000, 10357, 8000, 1);
    dlg.CloseDumpFile();
    const std::string text = ReadFile(folder.File("dump_0000.txt"));
    EXPECT_NE(text.find("MixingLevel_Original\t0.0\r\nMixingLevel_Chorus\t1.0\r\n"), std::string::npos);
    EXPECT_NE(text.find("Samples\tTime     \tMaxAmp\tHz\tNote\tChorus(B_3)\r\n"), std::string::npos);
    EXPECT_NE(text.find("  10357\t 0:00.234\t  8000\t124\tB_2\t  11.992\r\n"), std::string::npos) << text;
}

TEST_F(DumpWriter, MarkBeforeThePreviousOneIsWrittenAsAnErrorRow) {
    EXPECT_EQ(Rows([&] { dlg.WriteDumpLine(5000, 4000, 100, 1); }), "   4000\terror\r\n");
}

TEST_F(DumpWriter, LiveDumpStopsAtTwiceTheRingLengthWhileTheRunGoesOn) {
    const std::string rows = Rows([&] {
        dlg.m_nMarkCount = 2 * dlg.m_nRingLen - 1;
        dlg.WriteDumpLine(0, 441, 5000, 1);
        dlg.m_nMarkCount = 2 * dlg.m_nRingLen;
        dlg.WriteDumpLine(441, 882, 5000, 1);
        EXPECT_EQ(dlg.m_pDumpFile, nullptr);
        dlg.WriteDumpLine(882, 1323, 5000, 1);
    });
    EXPECT_EQ(rows, "    441\t 0:00.010\t  5000\t100\tG_2\t127\r\n");
}

TEST_F(DumpWriter, BatchRowsAtHigherOversamplingAreNotLimitedAndKeepTheirTime) {
    const std::string rows = Rows([&] {
        dlg.m_nMarkCount = 4 * dlg.m_nRingLen;
        dlg.WriteDumpLine(176400 - 882, 176400, 5000, 2);
        // Far beyond the 32-bit range of b × 10: still a time, in minutes.
        dlg.WriteDumpLine(400000000 - 882, 400000000, 5000, 4);
    });
    EXPECT_EQ(rows,
              " 176400\t 0:02.000\t  5000\t100\tG_2\t127\r\n"
              "400000000\t37:47.573\t  5000\t200\tG_3\t127\r\n");
}

TEST_F(DumpWriter, FileRunDumpNamesTheInputAndTakesTheFirstFreeNumber) {
    dlg.m_nRunState = 2;
    dlg.m_chkSave.SetCheck(BST_CHECKED);
    dlg.m_strInputFile = "/music/a.b/song.mp3";
    std::ofstream(folder.File("song_01.wav")) << "x";
    std::ofstream(folder.File("song_02.wav")) << "x";
    dlg.OpenOutputFiles(1, FALSE, 1);
    EXPECT_TRUE(dlg.m_saveFile.IsOpen());
    dlg.m_saveFile.Close();
    dlg.CloseDumpFile();
    EXPECT_TRUE(std::ifstream(folder.File("song_03.wav")).good());
    const std::string text = ReadFile(folder.File("song_dump_01.txt"));
    EXPECT_EQ(text.substr(0, 40), std::string("sorvel\t2.87\r\nInput\t/music/a.b/song.mp3\r\nOv").substr(0, 40));
    EXPECT_EQ(dlg.m_nSaveCounter, 0);
    EXPECT_EQ(dlg.m_nDumpCounter, 0);
}

TEST_F(DumpWriter, PhaseVocoderRunClosesAnOpenDumpAndWritesNone) {
    dlg.OpenOutputFiles(1, FALSE, 1);
    ASSERT_NE(dlg.m_pDumpFile, nullptr);
    dlg.m_nMethod = 1;
    dlg.OpenOutputFiles(2, FALSE, 1);
    EXPECT_EQ(dlg.m_pDumpFile, nullptr);
    EXPECT_FALSE(std::ifstream(folder.File("dump_0001.txt")).good());
}

TEST_F(DumpWriter, DumpThatCannotBeOpenedIsReportedAndTheRunGoesOn) {
    dlg.m_strOutputFolder = folder.File("missing/");
    dlg.OpenOutputFiles(1, FALSE, 1);
    EXPECT_EQ(dlg.m_pDumpFile, nullptr);
    const auto boxes = platform::ui::TakeHeadlessMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "_dump_xx.txt open error !");
}

TEST_F(DumpWriter, RowsWrittenWhileTheDumpIsClosedElsewhereAreSafe) {
    dlg.OpenOutputFiles(1, FALSE, 1);
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) dlg.WriteDumpLine(i * 441, i * 441 + 441, 5000, 1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    dlg.CloseDumpFile();
    writer.join();
    EXPECT_EQ(dlg.m_pDumpFile, nullptr);
}

TEST(OutputNames, LiveNamesUseTheCounterAndWrapAfter9999) {
    int counter = 0;
    const auto none = [](const std::string&) { return false; };
    EXPECT_EQ(output_names::NextLiveName("/out/", "save", ".wav", &counter, none), "/out/save_0000.wav");
    EXPECT_EQ(counter, 1);
    counter = 9999;
    EXPECT_EQ(output_names::NextLiveName("/out/", "dump", ".txt", &counter, none), "/out/dump_9999.txt");
    EXPECT_EQ(counter, 0);
}

TEST(OutputNames, LiveNamesPassOverFilesThatAlreadyExist) {
    const std::set<std::string> taken = {"/o/save_0005.wav", "/o/save_0006.wav"};
    const auto exists = [&](const std::string& p) { return taken.count(p) != 0; };
    int counter = 5;
    EXPECT_EQ(output_names::NextLiveName("/o/", "save", ".wav", &counter, exists), "/o/save_0007.wav");
    EXPECT_EQ(counter, 8);
}

TEST(OutputNames, FileRunNamesTakeTheFirstFreeNumberOrSay100) {
    bool full = true;
    const auto firstTwo = [](const std::string& p) { return p == "/o/song_01.wav" || p == "/o/song_02.wav"; };
    EXPECT_EQ(output_names::NextFileRunName("/o/", "song", "", ".wav", &full, firstTwo), "/o/song_03.wav");
    EXPECT_FALSE(full);
    const auto all = [](const std::string&) { return true; };
    EXPECT_EQ(output_names::NextFileRunName("/o/", "song", "_dump", ".txt", &full, all), "/o/song_dump_100.txt");
    EXPECT_TRUE(full);
}

TEST(OutputNames, BaseNameAndExtensionComeFromTheFileNameOnly) {
    EXPECT_EQ(output_names::BaseName("/a.b/song.mp3"), "song");
    EXPECT_EQ(output_names::Extension("/a.b/song.mp3"), ".mp3");
    EXPECT_EQ(output_names::BaseName("/a.b/noext"), "noext");
    EXPECT_EQ(output_names::Extension("/a.b/noext"), "");
    EXPECT_EQ(output_names::BaseName("take.2.WAV"), "take.2");
}

}  // namespace

// What ends a batch early: the 1024-file limit, the user's abort, every failure of a file on a
// corpus of malformed inputs, and outputs that cannot be made or written (a full disk). Files
// converted before stay; the live buffers are always back.
#include <cstring>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "batch/BatchHarness.h"
#include "support/FileSizeLimit.h"
#include "support/RiffBytes.h"

namespace {

using batchtest::BatchHarness;
using runtest::BoxTexts;
using runtest::ReadWav;
using runtest::WriteWav;

std::string Samples(const std::vector<short>& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(short));
}

TEST(BatchLimits, ChoosingMoreThan1024FilesIsRefusedAnd1024Run) {
    BatchHarness h;
    h.dlg.m_nBatchOverSampling = 1;
    const std::vector<short> tone = runtest::Tone(200.0, 2000);
    const std::string bytes = riffbytes::Wave(1, Samples(tone));
    std::vector<std::string> files;
    for (int i = 0; i < 1025; ++i) {
        files.push_back(h.folder.File("t" + std::to_string(i) + ".wav"));
        riffbytes::WriteFile(files.back(), bytes);
    }

    h.Start(files);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ファイル選択は1024個までです。"});
    EXPECT_FALSE(h.dlg.IsBatchRunning());
    EXPECT_EQ(h.dlg.m_pBatchDlg, nullptr);
    EXPECT_FALSE(runtest::Exists(h.Output("t0_01.wav")));

    files.pop_back();
    h.Run(files);
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(g_nBatchFiles, 1024);
    EXPECT_TRUE(runtest::Exists(h.Output("t0_01.wav")));
    EXPECT_TRUE(runtest::Exists(h.Output("t1023_01.wav")));
    EXPECT_EQ(h.TextsOf(&h.dlg.m_pBatchDlg->m_staticTitle).back(), "TD-PSOLA バッチ処理中  1024/1024");
}

TEST(BatchLimits, PickerOffersTheConverterFormatsOnlyWithAConverter) {
    BatchHarness h;
    h.dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1099, BN_CLICKED), 0);
    h.dlg.m_strConverterPath = "/opt/conv";
    h.dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1099, BN_CLICKED), 0);
    const auto requests = platform::ui::TakeHeadlessFileRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].multiSelect);
    EXPECT_EQ(requests[0].filters.size(), 1u);
    EXPECT_EQ(requests[0].filters[0].second, "*.wav");
    ASSERT_EQ(requests[1].filters.size(), 2u);
    EXPECT_EQ(requests[1].filters[0].second, "*.wav;*.mp3;*.mp4;*.aac;*.flv");
    EXPECT_EQ(requests[1].filters[1].first, "すべてのファイル(*.*)");
    // A cancelled picker starts nothing.
    EXPECT_EQ(h.dlg.m_pBatchDlg, nullptr);
}

TEST(BatchAbort, AbortInTheMiddleOfAFileEndsTheBatchAfterItsCleanUp) {
    BatchHarness h;
    h.dlg.m_nBatchOverSampling = 4;
    h.dlg.m_chkDump.SetCheck(BST_CHECKED);
    // The live buffers hold a pattern that must come back untouched.
    float* liveInput = h.dlg.m_pfInputBuf;
    std::int64_t* liveMarks = h.dlg.m_pnMark;
    for (int i = 0; i < 2 * h.dlg.m_nRingLen; ++i) liveInput[i] = static_cast<float>(i % 977);
    // A file run before offered a replay.
    h.dlg.m_nPlayState = 2;
    h.dlg.m_btnPlay.SetBitmap(&h.dlg.m_bmpPlay[0]);
    const std::string voice = runtest::TestDataFile("voice.wav");
    const std::string second = h.folder.File("second.wav");
    WriteWav(second, runtest::Tone(200.0, 44100));

    h.Start({voice, second});
    ASSERT_TRUE(runtest::PumpUntil([&] {
        const auto texts = h.TextsOf(&h.dlg.m_pBatchDlg->m_staticProgress);
        return !texts.empty() && texts.back() == " 20 %";
    }));
    h.dlg.m_pBatchDlg->SendMessage(WM_COMMAND, MAKEWPARAM(1088, BN_CLICKED), 0);
    h.Finish();

    EXPECT_TRUE(BoxTexts().empty());
    const std::vector<std::string> progress = h.TextsOf(&h.dlg.m_pBatchDlg->m_staticProgress);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), " 80 %"), 0);
    // The aborted file's output is a valid WAV without samples; its dump holds the rows so far.
    const auto out = ReadWav(h.Output("voice_01.wav"), true);
    EXPECT_EQ(out.format.nChannels, 1);
    EXPECT_TRUE(out.samples.empty());
    const std::string dump = runtest::ReadFile(h.Output("voice_dump_01.txt"));
    EXPECT_GT(std::count(dump.begin(), dump.end(), '\n'), 100);
    // The next file is not converted; the batch ends as an abort, with the time shown.
    EXPECT_FALSE(runtest::Exists(h.Output("second_01.wav")));
    EXPECT_NE(h.dlg.m_staticProcTime.GetWindowText().find(" sec"), std::string::npos);
    EXPECT_TRUE(h.dlg.IsWindowVisible());
    EXPECT_FALSE(h.dlg.m_pBatchDlg->IsWindowVisible());
    // The live buffers are the same ones, as they were; the run is over.
    EXPECT_EQ(h.dlg.m_pfInputBuf, liveInput);
    EXPECT_EQ(h.dlg.m_pnMark, liveMarks);
    for (int i = 0; i < 2 * h.dlg.m_nRingLen; ++i) ASSERT_EQ(liveInput[i], static_cast<float>(i % 977)) << i;
    EXPECT_EQ(h.dlg.m_nRunState.load(), 0);
    EXPECT_EQ(h.dlg.m_nMarkCount.load(), 0);
    // Nothing to replay: PLAY shows its greyed image.
    EXPECT_EQ(h.dlg.m_nPlayState, 0);
    EXPECT_EQ(h.dlg.m_btnPlay.GetBitmap(), &h.dlg.m_bmpPlay[1]);
    EXPECT_FALSE(h.dlg.m_saveFile.IsOpen());
    EXPECT_EQ(h.dlg.m_pDumpFile, nullptr);

    // A second batch reuses the dialog, with the abort cleared.
    CBatchDlg* first = h.dlg.m_pBatchDlg;
    h.Run({second});
    EXPECT_EQ(h.dlg.m_pBatchDlg, first);
    EXPECT_TRUE(runtest::Exists(h.Output("second_01.wav")));
}

// One malformed file between two good ones: its messages, the good one before it converted, the
// one after it not, and no time shown.
struct Malformed {
    const char* name;
    std::string bytes;
    std::vector<std::string> messages;
};

TEST(BatchFailures, EachMalformedFileEndsTheBatchWithItsMessage) {
    const std::string tone = Samples(runtest::Tone(200.0, 8000));
    using namespace riffbytes;
    const std::string fmt48k = Le16(1) + Le16(1) + Le32(48000) + Le32(96000) + Le16(2) + Le16(16);
    const std::string fmt8bit = Le16(1) + Le16(1) + Le32(44100) + Le32(44100) + Le16(1) + Le16(8);
    const std::string fmt3ch = Le16(1) + Le16(3) + Le32(44100) + Le32(264600) + Le16(6) + Le16(16);
    // Not PCM, though 16-bit, mono, 44100 Hz: a compressed tag, and the extensible layout whose
    // sub-format is floating point.
    const std::string fmtAdpcm = Le16(2) + Le16(1) + Le32(44100) + Le32(88200) + Le16(2) + Le16(16);
    const std::string floatSubFormat = Le32(3) + Le16(0) + Le16(0x10) + std::string("\x80\x00\x00\xAA\x00\x38\x9B\x71", 8);
    const std::string fmtExtFloat = Le16(0xFFFE) + Le16(1) + Le32(44100) + Le32(88200) + Le16(2) + Le16(16) + Le16(22) +
                                    Le16(16) + Le32(4) + floatSubFormat;
    const std::string open = "Wavファイルの入力に失敗しました。";
    const std::string format = "16bit,44.1kHzでないWAVファイルは利用できません。";
    const std::vector<Malformed> corpus = {
        {"text.wav", "this is not a wave file at all", {"wav12: mmioDescend(WAVE) failed.", open}},
        {"nofmt.wav", Riff("WAVE", Chunk("data", tone)), {"wav13: mmioDescend(fmt ) failed.", open}},
        {"nodata.wav", Riff("WAVE", Chunk("fmt ", PcmFmt(1))), {"wav15: mmioDescend(data) failed.", open}},
        {"empty.wav", "", {"wav12: mmioDescend(WAVE) failed.", open}},
        {"rate48k.wav", Riff("WAVE", Chunk("fmt ", fmt48k) + Chunk("data", tone)), {format}},
        {"eightbit.wav", Riff("WAVE", Chunk("fmt ", fmt8bit) + Chunk("data", tone)), {format}},
        {"threech.wav", Riff("WAVE", Chunk("fmt ", fmt3ch) + Chunk("data", tone)), {format}},
        {"adpcm.wav", Riff("WAVE", Chunk("fmt ", fmtAdpcm) + Chunk("data", tone)), {format}},
        {"extfloat.wav", Riff("WAVE", Chunk("fmt ", fmtExtFloat) + Chunk("data", tone)), {format}},
        {"huge.wav", Riff("WAVE", Chunk("fmt ", PcmFmt(1)) + "data" + Le32(0xFFFFFFF0u) + tone), {"データが大き過ぎます。"}},
        {"cut.wav", Riff("WAVE", Chunk("fmt ", PcmFmt(1)) + "data" + Le32(1000000) + tone), {"nRead != m_nDataSize"}},
        {"song.mp3", "ID3 not a wave", {"wav12: mmioDescend(WAVE) failed.", open}},
    };
    for (const Malformed& m : corpus) {
        SCOPED_TRACE(m.name);
        BatchHarness h;
        h.dlg.m_nBatchOverSampling = 4;
        const std::string good1 = h.folder.File("good1.wav");
        const std::string good2 = h.folder.File("good2.wav");
        WriteFile(good1, Wave(1, tone));
        WriteFile(good2, Wave(1, tone));
        WriteFile(h.folder.File(m.name), m.bytes);
        h.Run({good1, h.folder.File(m.name), good2});

        EXPECT_EQ(BoxTexts(), m.messages);
        EXPECT_TRUE(runtest::Exists(h.Output("good1_01.wav")));
        EXPECT_FALSE(runtest::Exists(h.Output("good2_01.wav")));
        EXPECT_EQ(h.dlg.m_staticProcTime.GetWindowText().find(" sec"), std::string::npos);
        EXPECT_TRUE(h.dlg.IsWindowVisible());
        EXPECT_FALSE(h.dlg.m_pBatchDlg->IsWindowVisible());
        EXPECT_FALSE(h.dlg.m_inputFile.IsOpen());
        EXPECT_EQ(h.dlg.m_nRunState.load(), 0);
    }
}

TEST(BatchFailures, AnOutputThatCannotBeOpenedEndsTheBatchWithoutATime) {
    BatchHarness h;
    h.dlg.m_strOutputFolder = h.out.File("missing/");
    const std::string a = h.folder.File("a.wav");
    WriteWav(a, runtest::Tone(200.0, 8000));
    h.Run({a, a});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"wav03: save.wav open error !"});
    EXPECT_EQ(h.dlg.m_staticProcTime.GetWindowText().find(" sec"), std::string::npos);
    EXPECT_EQ(h.TextsOf(&h.dlg.m_pBatchDlg->m_staticTitle).size(), 1u);
}

TEST(BatchFailures, AFileMeetingARunLeavesTheRunsBuffersAndStateAloneAndNoRunStartsBesideABatch) {
    BatchHarness h;
    const std::string a = h.folder.File("a.wav");
    WriteWav(a, runtest::Tone(200.0, 8000));
    g_strBatchFile[0] = a;
    g_nBatchFiles = 1;
    float* const liveInput = h.dlg.m_pfInputBuf;
    // A run holds the buffers: the file is refused, nothing is swapped, no output is made.
    h.dlg.m_nRunState.store(1);
    EXPECT_EQ(h.dlg.BatchFile(0), 1);
    EXPECT_EQ(h.dlg.m_nRunState.load(), 1);
    EXPECT_EQ(h.dlg.m_pfInputBuf, liveInput);
    EXPECT_FALSE(runtest::Exists(h.Output("a_01.wav")));
    h.dlg.m_nRunState.store(0);
    // While a batch goes on, neither LIVE nor a file run starts.
    h.dlg.m_bBatchRunning.store(true);
    h.dlg.OnBnClickedLive();
    h.dlg.StartFile();
    EXPECT_EQ(h.dlg.m_nRunState.load(), 0);
    h.dlg.m_bBatchRunning.store(false);
    EXPECT_EQ(h.dlg.BatchFile(0), 0);
    EXPECT_TRUE(runtest::Exists(h.Output("a_01.wav")));
}

TEST(BatchFailures, ExtensibleLayoutWithThePcmSubFormatIsConverted) {
    BatchHarness h;
    using namespace riffbytes;
    const std::string pcmSubFormat = Le32(1) + Le16(0) + Le16(0x10) + std::string("\x80\x00\x00\xAA\x00\x38\x9B\x71", 8);
    const std::string fmtExtPcm = Le16(0xFFFE) + Le16(1) + Le32(44100) + Le32(88200) + Le16(2) + Le16(16) + Le16(22) +
                                  Le16(16) + Le32(4) + pcmSubFormat;
    WriteFile(h.folder.File("ext.wav"), Riff("WAVE", Chunk("fmt ", fmtExtPcm) + Chunk("data", Samples(runtest::Tone(200.0, 8000)))));
    h.Run({h.folder.File("ext.wav")});
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_FALSE(ReadWav(h.Output("ext_01.wav")).samples.empty());
}

TEST(BatchFailures, ALinkUnderTheNextOutputNameIsLeftAloneAndTheNextNumberTaken) {
    BatchHarness h;
    h.dlg.m_chkDump.SetCheck(BST_CHECKED);
    TempFolder elsewhere;
    const std::string a = h.folder.File("a.wav");
    WriteWav(a, runtest::Tone(200.0, 8000));
    ASSERT_EQ(::symlink(elsewhere.File("w").c_str(), h.Output("a_01.wav").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.File("d").c_str(), h.Output("a_dump_01.txt").c_str()), 0);
    h.Run({a});
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_FALSE(runtest::Exists(elsewhere.File("w")));
    EXPECT_FALSE(runtest::Exists(elsewhere.File("d")));
    EXPECT_FALSE(ReadWav(h.Output("a_02.wav")).samples.empty());
    EXPECT_TRUE(runtest::Exists(h.Output("a_dump_02.txt")));
}

// Names and sizes of the files in a folder.
std::vector<std::pair<std::string, std::uintmax_t>> FilesIn(const std::string& folder) {
    std::vector<std::pair<std::string, std::uintmax_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.emplace_back(entry.path().filename().string(), entry.file_size());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(BatchFailures, OutputsThatCannotBeMadeOnAFullDiskLeaveNoEmptyFilesAndOneMessage) {
    BatchHarness h;
    h.dlg.m_chkDump.SetCheck(BST_CHECKED);
    const std::string a = h.folder.File("a.wav");
    const std::string b = h.folder.File("b.wav");
    WriteWav(a, runtest::Tone(200.0, 8000));
    WriteWav(b, runtest::Tone(200.0, 8000));
    {
        FileSizeLimit limit(0);  // files can be made, nothing written into them
        h.Run({a, b});
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"wav04: mmioCreateChunk(WAVE) failed."});
    EXPECT_TRUE(FilesIn(h.out.Path()).empty());
    EXPECT_EQ(h.dlg.m_staticProcTime.GetWindowText().find(" sec"), std::string::npos);
    EXPECT_TRUE(h.dlg.IsWindowVisible());
}

TEST(BatchFailures, ADiskFillingDuringAFileKeepsWhatWasWrittenAndTellsItOnce) {
    BatchHarness h;
    h.dlg.m_nBatchOverSampling = 1;
    h.dlg.m_chkDump.SetCheck(BST_CHECKED);
    const std::string a = h.folder.File("a.wav");
    const std::string b = h.folder.File("b.wav");
    WriteWav(a, runtest::Tone(200.0, 44100 * 5));
    WriteWav(b, runtest::Tone(200.0, 8000));
    constexpr std::uintmax_t kRoom = 30000;  // both headers fit; neither all rows nor all samples
    {
        FileSizeLimit limit(kRoom);
        h.Run({a, b});
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"wav17: ディスクに書き込めないため、出力音声ファイルの保存を中止しました。"});
    // The failed file keeps what it got, readable; the batch ends there, without a time.
    const auto files = FilesIn(h.out.Path());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].first, "a_01.wav");
    EXPECT_EQ(files[1].first, "a_dump_01.txt");
    const auto out = ReadWav(h.Output("a_01.wav"));
    EXPECT_GT(out.samples.size() * 2 + 44, kRoom - 8192);
    EXPECT_LE(files[0].second, kRoom);
    const std::string dump = runtest::ReadFile(h.Output("a_dump_01.txt"));
    EXPECT_GT(std::count(dump.begin(), dump.end(), '\n'), 100);
    EXPECT_EQ(dump.substr(dump.size() - 2), "\r\n");
    EXPECT_EQ(h.dlg.m_staticProcTime.GetWindowText().find(" sec"), std::string::npos);
    EXPECT_FALSE(h.dlg.m_saveFile.IsOpen());
    EXPECT_EQ(h.dlg.m_pDumpFile, nullptr);
}

TEST(BatchFailures, TinyAndSilentFilesGiveValidOutputs) {
    BatchHarness h;
    h.dlg.m_nBatchOverSampling = 1;
    h.dlg.m_chkDump.SetCheck(BST_CHECKED);
    using namespace riffbytes;
    WriteFile(h.folder.File("zero.wav"), Wave(1, ""));
    WriteFile(h.folder.File("one.wav"), Wave(2, Le16(1000) + Le16(3000)));
    WriteFile(h.folder.File("odd.wav"), Wave(1, Samples(runtest::Tone(300.0, 301)) + "x"));
    WriteWav(h.folder.File("silent.wav"), std::vector<short>(44100, 0));
    WriteWav(h.folder.File("loud.wav"), std::vector<short>(44100, -32768));
    h.Run({h.folder.File("zero.wav"), h.folder.File("one.wav"), h.folder.File("odd.wav"), h.folder.File("silent.wav"),
           h.folder.File("loud.wav")});
    EXPECT_TRUE(BoxTexts().empty());
    const struct {
        const char* name;
        std::size_t frames;
    } tiny[] = {{"zero", 0}, {"one", 1}, {"odd", 301}};
    for (const auto& [name, frames] : tiny) {
        SCOPED_TRACE(name);
        // As long as its input, silent: too short for any grain.
        const auto out = ReadWav(h.Output(std::string(name) + "_01.wav"), true);
        EXPECT_EQ(out.samples.size(), frames);
        for (short v : out.samples) EXPECT_EQ(v, 0);
        // No analysis window fits: only the header and the row of mark 0.
        EXPECT_EQ(runtest::TraceLines(h.Output(std::string(name) + "_dump_01.txt")).size(), 12u);
    }
    // Silence: every period unvoiced, 441 samples (100 Hz) apart, amplitude 0; full scale -32768
    // is written as 32767.
    const auto silentRows = runtest::TraceLines(h.Output("silent_dump_01.txt"));
    ASSERT_GT(silentRows.size(), 50u);
    EXPECT_EQ(silentRows[12], "    441\t 0:00.010\t     0\t100\t0\t127\r");
    const auto loudRows = runtest::TraceLines(h.Output("loud_dump_01.txt"));
    ASSERT_GT(loudRows.size(), 12u);
    EXPECT_NE(loudRows[12].find("\t-32767\t"), std::string::npos) << loudRows[12];
    EXPECT_EQ(ReadWav(h.Output("silent_01.wav")).samples.size() > 0, true);
}

TEST(BatchFailures, OutOfRangeThresholdTextsAreReplacedByTheDefault) {
    for (const char* text : {"1.5", "-0.1", "nan", "abc"}) {
        SCOPED_TRACE(text);
        BatchHarness h;
        h.dlg.m_editCorrTh.SetWindowText(text);
        const std::string a = h.folder.File("a.wav");
        WriteWav(a, runtest::Tone(200.0, 8000));
        h.Run({a});
        // "abc" reads as 0, which is in range.
        EXPECT_EQ(h.dlg.m_editCorrTh.GetWindowText(), std::string(text) == "abc" ? "abc" : "0.5");
    }
}

}  // namespace

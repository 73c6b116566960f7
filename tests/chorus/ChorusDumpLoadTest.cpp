// Loading a pitch dump as a chorus file through the Chorus file button: what a good dump puts
// into the engine and the controls, and a corpus of bad dumps, each of which is told in its
// own words and leaves every control and member as it was.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/WaveInOutDlg.h"
#include "audio/PitchDump.h"
#include "audio/PitchDumpLoader.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/msgbox.h"
#include "support/EngineHarness.h"
#include "support/TempFolder.h"

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// A dump as the writer makes it, line by line (without line ends), so that a test can spoil
// one line; Text() joins the lines with CR LF.
struct DumpLines {
    std::vector<std::string> lines;

    std::string Text() const {
        std::string s;
        for (const auto& l : lines) s += l + "\r\n";
        return s;
    }
};

DumpLines WriterDump(const std::string& wavPath, int rows, int os = 1, bool flattening = false) {
    pitch_dump::Header h;
    h.liveInput = false;
    h.inputPath = wavPath;
    h.overSampling = os;
    h.minKeyName = "G_2";
    h.maxKeyName = "F_5";
    h.corrThText = "0.45";
    h.flattening = flattening;
    h.targetNote = "B_3";
    std::string text = pitch_dump::FormatHeader(h);
    for (int i = 1; i < rows; ++i) text += pitch_dump::FormatRow(441 * os * i, os, 5000 + i, 100, "G_2", flattening, 3.5f);
    DumpLines d;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        d.lines.push_back(line);
    }
    return d;
}

// Everything a load may change.
struct LoadState {
    std::vector<int> mark, mark2;
    std::vector<short> amp, amp2;
    std::vector<float> chorus;
    int overSampling;
    BOOL pitchShift;
    float mixOriginal, mixChorus, pitchRatio, formantRatio;
    std::string chorusFile, corrTh;
    int minKey, maxKey, pitchPos, formantPos, runState;

    bool operator==(const LoadState&) const = default;
};

LoadState Capture(const CWaveInOutDlg& d) {
    const int n = d.m_nRingLen;
    return LoadState{{d.m_pnMark, d.m_pnMark + n},
                     {d.m_pnMark2, d.m_pnMark2 + n},
                     {d.m_psMarkAmp, d.m_psMarkAmp + n},
                     {d.m_psMarkAmp2, d.m_psMarkAmp2 + n},
                     {d.m_pfChorus, d.m_pfChorus + 2 * n},
                     d.m_nOverSampling,
                     d.m_bPitchShiftEnable,
                     d.m_fMixOriginal,
                     d.m_fMixChorus,
                     d.m_fPitchRatio.load(),
                     d.m_fFormantRatio.load(),
                     d.m_strChorusFile,
                     d.m_editCorrTh.GetWindowText(),
                     d.m_comboMinKey.GetCurSel(),
                     d.m_comboMaxKey.GetCurSel(),
                     d.m_sliderPitch.GetPos(),
                     d.m_sliderFormant.GetPos(),
                     d.m_nRunState.load()};
}

class ChorusDumpLoad : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEngine(dlg, 1);  // the small rings: 2N = 65536 rows
        dlg.m_sliderPitch.SetRange(-48, 48);
        dlg.m_sliderFormant.SetRange(-24, 24);
        dlg.m_sliderPitch.SetPos(12);
        dlg.m_sliderFormant.SetPos(-6);
        dlg.m_fPitchRatio = 1.4142135f;
        dlg.m_fFormantRatio = 0.84089642f;
        dlg.m_nOverSampling = 3;
        dlg.m_fMixOriginal = 0.25f;
        dlg.m_fMixChorus = 0.75f;
        // What an earlier run left in the arrays.
        const int n = dlg.m_nRingLen;
        for (int i = 0; i < n; ++i) {
            dlg.m_pnMark[i] = 7 * i + 3;
            dlg.m_pnMark2[i] = -i;
            dlg.m_psMarkAmp[i] = static_cast<short>(i);
            dlg.m_psMarkAmp2[i] = static_cast<short>(-i);
        }
        for (int i = 0; i < 2 * n; ++i) dlg.m_pfChorus[i] = static_cast<float>(i % 50);
        wav = folder.File("voice take.wav");
        WriteFile(wav, "RIFF");  // exists; the loader only opens it
        platform::ui::TakeHeadlessMessageBoxes();
        platform::ui::TakeHeadlessFileRequests();
    }

    // Clicks the Chorus file button and picks `dump`; returns the message boxes shown.
    std::vector<std::string> Load(const std::string& dumpPath) {
        platform::ui::QueueHeadlessFileAnswer({dumpPath});
        dlg.OnBnClickedChorusFile();
        std::vector<std::string> texts;
        for (const auto& box : platform::ui::TakeHeadlessMessageBoxes()) texts.push_back(box.text);
        return texts;
    }

    std::vector<std::string> LoadText(const std::string& text) {
        const std::string path = folder.File("dump.txt");
        WriteFile(path, text);
        return Load(path);
    }

    // Reads a good dump and applies it, without starting a run.
    void Apply(const std::string& text) {
        const std::string path = folder.File("good.txt");
        WriteFile(path, text);
        pitch_dump::ChorusDump dump;
        ASSERT_EQ(pitch_dump::ReadChorusDump(path, 2 * dlg.m_nRingLen, &dump), pitch_dump::LoadStatus::Ok);
        dlg.ApplyChorusDump(dump);
    }

    TempFolder folder;
    CWaveInOutDlg dlg{folder.Path()};
    std::string wav;
};

const std::string kContents = "File contents error !";
const std::string kNotDump = "This is not a sorvel v2.3 dump file.";

TEST_F(ChorusDumpLoad, EveryMalformedDumpIsToldAndChangesNothing) {
    struct Case {
        const char* what;
        int line;                // line to replace (-1: none)
        std::string text;        // its new text
        std::string message;
    };
    const std::string longWord(600, 'x');
    const std::vector<Case> cases = {
        {"first word", 0, "Sorvel\t2.87", kNotDump},
        {"version too old", 0, "sorvel\t2.1", kNotDump},
        {"version not a number", 0, "sorvel\tv2.87", kNotDump},
        {"version out of range", 0, "sorvel\t1e999", kNotDump},
        {"live dump", 1, "Input\tMIC", kContents},
        {"input not wav or mp3", 1, "Input\t" + folder.File("voice take.txt"), kContents},
        {"input path too long", 1, "Input\t/" + longWord + ".wav", kContents},
        {"oversampling word", 2, "Oversampling\t1", kContents},
        {"oversampling 0", 2, "OverSampling\t0", kContents},
        {"oversampling 9", 2, "OverSampling\t9", kContents},
        {"oversampling not a number", 2, "OverSampling\ttwo", kContents},
        {"A4 low", 3, "A4\t219", kContents},
        {"A4 high", 3, "A4\t881", kContents},
        {"min key negative", 4, "MinKey\tC_2\t-1", kContents},
        {"max key 49", 5, "MaxKey\tC#6\t49", kContents},
        {"min above max", 4, "MinKey\tF_5\t41", kContents},
        {"threshold above 1", 6, "CorrThresh\t1.5", kContents},
        {"threshold below 0", 6, "CorrThresh\t-0.1", kContents},
        {"threshold too long", 6, "CorrThresh\t" + longWord, kContents},
        {"pitch shift 2", 7, "PitchShiftEnable\t2", kContents},
        {"level above 2", 8, "MixingLevel_Original\t2.5", kContents},
        {"level not a number", 8, "MixingLevel_Original\tnan", kContents},
        {"chorus level negative", 9, "MixingLevel_Chorus\t-1.0", kContents},
        {"a column title missing", 10, "Samples\tTime\tMaxAmp\tHz\tNote", kContents},
        {"row 0 chorus 128", 11, "      0\t 0:00.000\t     0\t  0\t0\t128", kContents},
        {"chorus 64.5", 13, "    882\t 0:00.020\t  5000\t100\tG_2\t64.5", kContents},
        {"chorus -65", 13, "    882\t 0:00.020\t  5000\t100\tG_2\t-65", kContents},
        {"mark before the previous", 14, "    800\t 0:00.018\t  5000\t100\tG_2\t127", kContents},
        {"negative mark", 11, "     -1\t 0:00.000\t     0\t  0\t0\t127", kContents},
        {"huge mark", 14, "99999999999\t 0:00.030\t  5000\t100\tG_2\t127", kContents},
        {"huge peak", 14, "   1323\t 0:00.030\t99999999999\t100\tG_2\t127", kContents},
        {"huge chorus", 14, "   1323\t 0:00.030\t  5000\t100\tG_2\t1e40", kContents},
        {"peak not a number", 14, "   1323\t 0:00.030\tloud\t100\tG_2\t127", kContents},
        {"error row shifts the fields", 13, "    882\terror", kContents},
        {"empty note shifts the fields", 13, "    882\t 0:00.020\t  5000\t100\t\t127", kContents},
        {"garbage in the rows", 15, std::string("\x01\x02\x7f\xff\xfe", 5) + longWord, kContents},
        {"missing wav", 1, "Input\t" + folder.File("gone.wav"), folder.File("gone.wav") + " open error !"},
    };
    for (const Case& c : cases) {
        DumpLines d = WriterDump(wav, 20);
        d.lines[static_cast<std::size_t>(c.line)] = c.text;
        const LoadState before = Capture(dlg);
        EXPECT_EQ(LoadText(d.Text()), std::vector<std::string>{c.message}) << c.what;
        EXPECT_TRUE(Capture(dlg) == before) << c.what;
    }

    // Files that are not dumps at all, or end inside the header or the path.
    const std::string good = WriterDump(wav, 20).Text();
    const std::string header = good.substr(0, good.find("CorrThresh"));
    const std::string pathCut = good.substr(0, good.find(".wav") - 2);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"", kNotDump},
        {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xd8", 18), kNotDump},
        {header, kContents},
        {pathCut, kContents},
    };
    for (const auto& [text, message] : files) {
        const LoadState before = Capture(dlg);
        EXPECT_EQ(LoadText(text), std::vector<std::string>{message}) << text.size();
        EXPECT_TRUE(Capture(dlg) == before) << text.size();
    }

    const LoadState before = Capture(dlg);
    EXPECT_EQ(Load(folder.File("no such dump.txt")), std::vector<std::string>{"File open error !"});
    EXPECT_TRUE(Capture(dlg) == before);
    // A folder in the dump's place, or in the WAV's, is refused the same way.
    EXPECT_EQ(Load(folder.Path()), std::vector<std::string>{"File open error !"});
    std::filesystem::create_directories(folder.File("folder.wav"));
    DumpLines named = WriterDump(folder.File("folder.wav"), 5);
    EXPECT_EQ(LoadText(named.Text()), std::vector<std::string>{folder.File("folder.wav") + " open error !"});
    EXPECT_TRUE(Capture(dlg) == before);
    // Cancelling the picker says nothing.
    dlg.OnBnClickedChorusFile();
    EXPECT_TRUE(platform::ui::TakeHeadlessMessageBoxes().empty());
    EXPECT_TRUE(Capture(dlg) == before);
}

TEST_F(ChorusDumpLoad, PickerAsksForTextFiles) {
    dlg.OnBnClickedChorusFile();
    const auto requests = platform::ui::TakeHeadlessFileRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].open);
    EXPECT_EQ(requests[0].defaultExt, "txt");
    ASSERT_EQ(requests[0].filters.size(), 1u);
    EXPECT_EQ(requests[0].filters[0].second, "*.txt");
}

TEST_F(ChorusDumpLoad, GoodDumpFillsTheArraysAndZeroesWhatItHasNoRowsFor) {
    DumpLines d = WriterDump(wav, 5, 2, true);
    d.lines[12] = "    882\t 0:00.010\t 70000\t100\tG_2\t 127.000";  // a peak beyond 16 bits saturates
    d.lines[13] = "   1764\t 0:00.020\t-70000\t100\tG_2\t  -4.250";
    Apply(d.Text());
    const int n = dlg.m_nRingLen;
    EXPECT_EQ(dlg.m_strChorusFile, wav);
    EXPECT_EQ(dlg.m_nOverSampling, 2);
    EXPECT_EQ(dlg.m_fMixOriginal, 0.0f);
    EXPECT_EQ(dlg.m_fMixChorus, 1.0f);
    EXPECT_TRUE(dlg.m_bPitchShiftEnable);
    EXPECT_EQ(dlg.m_comboMinKey.GetCurSel(), 7);
    EXPECT_EQ(dlg.m_comboMaxKey.GetCurSel(), 40);
    EXPECT_EQ(dlg.m_editCorrTh.GetWindowText(), "0.45");
    const std::vector<int> marks(dlg.m_pnMark, dlg.m_pnMark + 6);
    EXPECT_EQ(marks, (std::vector<int>{0, 882, 1764, 2646, 3528, 0}));
    EXPECT_EQ(dlg.m_psMarkAmp[1], 32767);
    EXPECT_EQ(dlg.m_psMarkAmp[2], -32768);
    EXPECT_EQ(dlg.m_psMarkAmp[3], 5003);
    EXPECT_EQ(dlg.m_pfChorus[0], 127.0f);
    EXPECT_EQ(dlg.m_pfChorus[1], 127.0f);
    EXPECT_EQ(dlg.m_pfChorus[2], -4.25f);
    EXPECT_EQ(dlg.m_pfChorus[3], 3.5f);
    // Beyond the last row the first halves are zero like the second halves, the chorus 127.
    for (int i = 5; i < n; ++i) ASSERT_TRUE(dlg.m_pnMark[i] == 0 && dlg.m_psMarkAmp[i] == 0) << i;
    for (int i = 0; i < n; ++i) ASSERT_TRUE(dlg.m_pnMark2[i] == 0 && dlg.m_psMarkAmp2[i] == 0) << i;
    for (int i = 5; i < 2 * n; ++i) ASSERT_EQ(dlg.m_pfChorus[i], 127.0f) << i;
    // The trackbars keep their places while pitch shifting is on.
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 12);
}

TEST_F(ChorusDumpLoad, RowsBeyondTwiceTheRingGoToTheSecondHalvesAndLaterRowsAreNotRead) {
    const int n = dlg.m_nRingLen;
    DumpLines d = WriterDump(wav, 2 * n);
    d.lines.push_back("      5\tgarbage after the last row that is taken");
    Apply(d.Text());
    EXPECT_EQ(dlg.m_pnMark[n - 1], 441 * (n - 1));
    EXPECT_EQ(dlg.m_pnMark2[0], 441 * n);
    EXPECT_EQ(dlg.m_pnMark2[n - 1], 441 * (2 * n - 1));
    EXPECT_EQ(dlg.m_psMarkAmp2[n - 1], 32767);  // 5000 + 2N - 1 saturates
    EXPECT_EQ(dlg.m_pfChorus[2 * n - 1], 127.0f);
    EXPECT_EQ(dlg.m_pfChorus[2 * n - 2], 127.0f);
}

TEST_F(ChorusDumpLoad, OlderDumpsWithoutOversamplingLineAndTheOddShapesThatStillLoad) {
    // Version 2.5 has no OverSampling line; 2.87 without it fails.
    DumpLines old = WriterDump(wav, 4);
    old.lines[0] = "sorvel\t2.5";
    old.lines.erase(old.lines.begin() + 2);
    Apply(old.Text());
    EXPECT_EQ(dlg.m_nOverSampling, 1);
    EXPECT_EQ(dlg.m_pnMark[3], 1323);
    DumpLines newer = WriterDump(wav, 4);
    newer.lines.erase(newer.lines.begin() + 2);
    const LoadState before = Capture(dlg);
    EXPECT_EQ(LoadText(newer.Text()), std::vector<std::string>{kContents});
    EXPECT_TRUE(Capture(dlg) == before);

    // A path with blanks (and a capital ending), LF line ends, and a last row cut short.
    const std::string spaced = folder.File("My Music/take one.WAV");
    std::filesystem::create_directories(folder.File("My Music"));
    WriteFile(spaced, "RIFF");
    std::string text = WriterDump(spaced, 4).Text();
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    text += "   1764\t 0:00.040\t  5004";
    Apply(text);
    EXPECT_EQ(dlg.m_strChorusFile, spaced);
    EXPECT_EQ(dlg.m_pnMark[3], 1323);
    EXPECT_EQ(dlg.m_pnMark[4], 0);

    // Only the header and the row of mark 0, and the pitch shift switched off.
    DumpLines bare = WriterDump(wav, 1);
    bare.lines[7] = "PitchShiftEnable\t0";
    Apply(bare.Text());
    EXPECT_FALSE(dlg.m_bPitchShiftEnable);
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 0);
    EXPECT_EQ(dlg.m_sliderFormant.GetPos(), 0);
    EXPECT_EQ(dlg.m_fPitchRatio.load(), 1.0f);
    EXPECT_EQ(dlg.m_fFormantRatio.load(), 1.0f);
    EXPECT_EQ(dlg.m_pnMark[1], 0);
}

TEST_F(ChorusDumpLoad, DumpWhoseWavCannotBePlayedStartsNoRunAndIsForgotten) {
    // The WAV exists but is no WAV file: the file run reports it and does not start.
    EXPECT_FALSE(LoadText(WriterDump(wav, 10).Text()).empty());
    EXPECT_EQ(dlg.m_nRunState.load(), 0);
    EXPECT_TRUE(dlg.m_strChorusFile.empty());
    EXPECT_TRUE(dlg.m_comboVoiceMode.IsWindowEnabled());
}

TEST(PlayableExtension, WavAndMp3InAnyCaseAndNothingElse) {
    for (const char* yes : {".wav", ".WAV", ".WaV", ".wAv", ".mp3", ".MP3", ".Mp3"}) EXPECT_TRUE(IsPlayableExtension(yes)) << yes;
    for (const char* no : {".mp4", ".wa", "wav", ".wavx", "xwav", ".txt", ""}) EXPECT_FALSE(IsPlayableExtension(no)) << no;
}

}  // namespace

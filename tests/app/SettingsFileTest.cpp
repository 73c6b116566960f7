#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/SettingsFile.h"
#include "support/TempFolder.h"

namespace {

constexpr std::int64_t kTime = 1700000000;
const std::string kProgramFolder = "/opt/sorvel/";

const char* const kDefaultFile =
    "sorvel 2.87\n"
    "1700000000 0\n"
    "0\n"
    "0\n"
    "0\n"
    "7\n"
    "40\n"
    "2\n"
    "4\n"
    " 0  0  0  0  0  0  0  0  0  0  0  1.000\n"
    " 0  0  0  0  0  0  0  0  0  0  0  1.000\n"
    " 0  0  0  0  0  0  0  0  0  0  0  1.000\n"
    " 0  0  0  0  0  0  0  0  0  0  0  1.000\n"
    "0 0 7 40 440 0.500000 0.020000 3 0.900000 1\n"
    "0 0 7 40 440 0.500000 0.020000 3 0.900000 1\n"
    "0 0 7 40 440 0.500000 0.020000 3 0.900000 1\n"
    "0 0 7 40 440 0.500000 0.020000 3 0.900000 1\n"
    "0 0\n"
    "440\n"
    "/opt/sorvel/\n"
    "none\n"
    "1\n"
    "0.700000 0.070000 12\n"
    "0\n"
    "WAVE MAPPER\n"
    "WAVE MAPPER\n"
    "0\n";

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteWhole(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream ss(text);
    std::string line;
    while (std::getline(ss, line)) lines.push_back(line);
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines, const char* eol = "\n") {
    std::string out;
    for (const auto& l : lines) out += l + eol;
    return out;
}

// The default file with line n (counted from 1) replaced.
std::string DefaultWithLine(int n, const std::string& text) {
    auto lines = SplitLines(kDefaultFile);
    lines[static_cast<size_t>(n - 1)] = text;
    return JoinLines(lines);
}

std::string DefaultsText() { return CSettingsFile(kProgramFolder).Format(kTime); }

// A record with a value other than the default in every field.
CSettingsFile NonDefaultRecord() {
    CSettingsFile s(kProgramFolder);
    s.m_nMethod = 1;
    s.m_nPitch = -13;
    s.m_nFormant = 5;
    s.m_nMinKey = 3;
    s.m_nMaxKey = 55;
    s.m_nAxisMode = 3;
    s.m_nBatchOverSampling = 3;
    for (int k = 0; k < 4; ++k) {
        for (int b = 0; b < 11; ++b) s.m_nPresetGain[k][b] = (b % 2 ? -1 : 1) * (k * 3 + b - 12);
        s.m_fPresetQ[k] = 0.5f + 0.25f * static_cast<float>(k);
        VoicePreset& p = s.m_voicePreset[k];
        p = VoicePreset{10 + k, -3 - k, 12, 30 + k, 442 + k, 0.25f, 0.125f, k, 0.75f, 6 - k};
    }
    s.m_nSaveCounter = 12;
    s.m_nDumpCounter = 9999;
    s.m_nA4 = 415;
    s.m_strOutputFolder = "/home/user/録音/";
    s.m_strConverterPath = "/home/user/tools/EcoDecoTooL.exe";
    s.m_bShowVolumeGraph = 0;
    s.m_fReverbAttenuation = 0.5f;
    s.m_fReverbDelay = 0.0625f;
    s.m_nReverbRepeat = 3;
    s.m_nMidiProgram = -1;
    s.m_strWaveInName = "USB マイク: Audio (hw:1,0)";
    s.m_strWaveOutName = "Built-in Analog Stereo";
    s.m_nLatencyMode = 1;
    return s;
}

// ---- Writing -----------------------------------------------------------------------------------

TEST(SettingsFileFormat, DefaultsGiveTheTwentySevenStartLines) {
    const std::string text = DefaultsText();
    EXPECT_EQ(text, kDefaultFile);
    EXPECT_EQ(SplitLines(text).size(), 27u);
}

TEST(SettingsFileFormat, TimeIsWrittenAsSignedLowThenHighHalf) {
    CSettingsFile s(kProgramFolder);
    const auto lines = SplitLines(s.Format((std::int64_t{5} << 32) + 0xFFFFFFFE));
    EXPECT_EQ(lines[1], "-2 5");
}

TEST(SettingsFileFormat, EqualiserPresetsAreRightAlignedInFixedColumns) {
    CSettingsFile s(kProgramFolder);
    for (int b = 0; b < 11; ++b) s.m_nPresetGain[2][b] = b - 5;
    s.m_nPresetGain[2][10] = -24;
    s.m_fPresetQ[2] = 12.3456f;
    const auto lines = SplitLines(s.Format(kTime));
    EXPECT_EQ(lines[11], "-5 -4 -3 -2 -1  0  1  2  3  4 -24 12.346");
}

TEST(SettingsFileFormat, TextValuesThatWouldBreakTheLayoutAreWrittenEmpty) {
    CSettingsFile s(kProgramFolder);
    s.m_strOutputFolder = "/tmp/two\nlines/";
    s.m_strWaveInName = std::string(CSettingsFile::kMaxLineLength + 1, 'x');
    const auto lines = SplitLines(s.Format(kTime));
    ASSERT_EQ(lines.size(), 27u);
    EXPECT_EQ(lines[19], "");
    EXPECT_EQ(lines[24], "");
    EXPECT_EQ(lines[26], "0");
}

// ---- Reading: round trip and versions ----------------------------------------------------------

TEST(SettingsFileRead, WrittenFileReadsBackEveryValue) {
    TempFolder folder;
    const CSettingsFile written = NonDefaultRecord();
    ASSERT_TRUE(written.Write(folder.File("sorvel.ini"), kTime));

    CSettingsFile read(folder.Path());
    ASSERT_EQ(read.Read(folder.File("sorvel.ini")), SettingsReadResult::Read);
    EXPECT_EQ(read.Format(kTime), written.Format(kTime));
    EXPECT_EQ(read.m_nPitch, -13);
    EXPECT_EQ(read.m_nMaxKey, 55);
    EXPECT_EQ(read.m_nPresetGain[3][10], 7);
    EXPECT_FLOAT_EQ(read.m_fPresetQ[3], 1.25f);
    EXPECT_EQ(read.m_voicePreset[2].nVoiceMode, 4);
    EXPECT_FLOAT_EQ(read.m_voicePreset[2].fAmpThreshold, 0.125f);
    EXPECT_EQ(read.m_strOutputFolder, "/home/user/録音/");
    EXPECT_EQ(read.m_strWaveInName, "USB マイク: Audio (hw:1,0)");
    EXPECT_FLOAT_EQ(read.m_fReverbDelay, 0.0625f);
    EXPECT_EQ(read.m_nMidiProgram, -1);
    EXPECT_EQ(read.m_nLatencyMode, 1);
}

TEST(SettingsFileRead, DefaultFileReadsBackAsDefaults) {
    CSettingsFile s("/elsewhere/");
    EXPECT_EQ(s.Parse(kDefaultFile), SettingsReadResult::Read);
    EXPECT_EQ(s.Format(kTime), DefaultsText());
}

TEST(SettingsFileRead, CrLfLineEndsReadLikeLf) {
    const CSettingsFile written = NonDefaultRecord();
    CSettingsFile s(kProgramFolder);
    ASSERT_EQ(s.Parse(JoinLines(SplitLines(written.Format(kTime)), "\r\n")), SettingsReadResult::Read);
    EXPECT_EQ(s.Format(kTime), written.Format(kTime));
    EXPECT_EQ(s.m_strWaveOutName, "Built-in Analog Stereo");
}

TEST(SettingsFileRead, VersionTwoPointEightIsReadButTwoPointSevenNineNineIsNot) {
    const std::string body = DefaultWithLine(3, "1");
    CSettingsFile newer(kProgramFolder);
    EXPECT_EQ(newer.Parse("sorvel 2.8" + body.substr(body.find('\n'))), SettingsReadResult::Read);
    EXPECT_EQ(newer.m_nMethod, 1);

    CSettingsFile older(kProgramFolder);
    EXPECT_EQ(older.Parse("sorvel 2.799" + body.substr(body.find('\n'))), SettingsReadResult::Ignored);
    EXPECT_EQ(older.m_nMethod, 0);

    CSettingsFile justAbove(kProgramFolder);
    EXPECT_EQ(justAbove.Parse("sorvel 2.7990001" + body.substr(body.find('\n'))), SettingsReadResult::Read);
}

TEST(SettingsFileRead, MissingFileKeepsDefaultsAndTheMapper) {
    TempFolder folder;
    CSettingsFile s(kProgramFolder);
    EXPECT_EQ(s.Read(folder.File("sorvel.ini")), SettingsReadResult::NoFile);
    EXPECT_EQ(s.Format(kTime), DefaultsText());
    EXPECT_FALSE(FindSavedDevice(s.m_strWaveInName, {"WAVE MAPPER", "A"}).notFound);
}

// ---- Reading: files that are not ours or not whole ---------------------------------------------

struct ForeignCase {
    const char* name;
    std::string text;
};

class SettingsFileForeign : public ::testing::TestWithParam<ForeignCase> {};

TEST_P(SettingsFileForeign, IsIgnoredAndEveryValueKeepsItsDefault) {
    CSettingsFile s(kProgramFolder);
    EXPECT_EQ(s.Parse(GetParam().text), SettingsReadResult::Ignored);
    EXPECT_EQ(s.Format(kTime), DefaultsText());
}

std::string Garbage() {
    std::string g;
    unsigned x = 12345;
    for (int i = 0; i < 4000; ++i) {
        x = x * 1103515245u + 12345u;
        g += static_cast<char>(x >> 16);
    }
    return g;
}

std::string WithHeader(const std::string& header) {
    const std::string d = kDefaultFile;
    return header + d.substr(d.find('\n'));
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, SettingsFileForeign,
    ::testing::Values(ForeignCase{"Empty", ""}, ForeignCase{"BinaryGarbage", Garbage()},
                      ForeignCase{"AnotherProgramsIni", "[General]\nWindowX=100\nWindowY=200\n"},
                      ForeignCase{"WordInCapitals", WithHeader("Sorvel 2.87")},
                      ForeignCase{"WordWithSuffix", WithHeader("sorvel2 2.87")},
                      ForeignCase{"NoVersion", WithHeader("sorvel")},
                      ForeignCase{"VersionNotANumber", WithHeader("sorvel two")},
                      ForeignCase{"VersionNaN", WithHeader("sorvel nan")},
                      ForeignCase{"OldVersion", WithHeader("sorvel 2.5")},
                      ForeignCase{"OverlongHeader", WithHeader("sorvel 2.87 " + std::string(8000, 'x'))},
                      ForeignCase{"ZeroByteInHeader", WithHeader(std::string("sorvel\0 2.87", 12))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFileRead, TruncatedFileKeepsTheMissingValuesAndMatchesNoDevice) {
    const CSettingsFile written = NonDefaultRecord();
    auto lines = SplitLines(written.Format(kTime));
    lines.resize(12);
    CSettingsFile s(kProgramFolder);
    ASSERT_EQ(s.Parse(JoinLines(lines)), SettingsReadResult::Read);
    EXPECT_EQ(s.m_nMethod, 1);
    EXPECT_EQ(s.m_nPresetGain[2][0], written.m_nPresetGain[2][0]);
    EXPECT_EQ(s.m_nPresetGain[3][0], 0);
    EXPECT_EQ(s.m_voicePreset[0].nPitch, 0);
    EXPECT_EQ(s.m_nA4, 440);
    EXPECT_EQ(s.m_strOutputFolder, kProgramFolder);
    EXPECT_EQ(s.m_strConverterPath, "none");
    const std::vector<std::string> table = {"WAVE MAPPER", "Built-in Analog Stereo"};
    EXPECT_TRUE(FindSavedDevice(s.m_strWaveInName, table).notFound);
    EXPECT_TRUE(FindSavedDevice(s.m_strWaveOutName, table).notFound);
}

TEST(SettingsFileRead, LastLineWithoutLineEndIsRead) {
    std::string text = DefaultWithLine(27, "1");
    text.pop_back();
    CSettingsFile s(kProgramFolder);
    ASSERT_EQ(s.Parse(text), SettingsReadResult::Read);
    EXPECT_EQ(s.m_nLatencyMode, 1);
}

// ---- Reading: single values --------------------------------------------------------------------

TEST(SettingsFileValues, OutOfRangeValuesTakeTheirFallbacks) {
    auto lines = SplitLines(kDefaultFile);
    lines[2] = "2";                                                   // method
    lines[7] = "4";                                                   // axis mode
    lines[8] = "5";                                                   // batch oversampling
    lines[13] = "49 -25 -1 49 881 1.5 -0.1 5 0.05 7";                 // voice preset 1
    lines[14] = "-49 25 0 48 219 -0.01 1.01 -1 1.01 -1";              // voice preset 2
    lines[17] = "10000 -1";                                           // counters
    lines[18] = "881";                                                // A4
    lines[21] = "2";                                                  // volume graph
    lines[22] = "0.049 0.101 16";                                     // reverb
    lines[23] = "128";                                                // MIDI instrument
    CSettingsFile s(kProgramFolder);
    ASSERT_EQ(s.Parse(JoinLines(lines)), SettingsReadResult::Read);
    EXPECT_EQ(s.m_nMethod, 0);
    EXPECT_EQ(s.m_nAxisMode, 0);  // an unusable axis mode in the file means Log, not the start value
    EXPECT_EQ(s.m_nBatchOverSampling, 4);
    for (int k : {0, 1}) {
        const VoicePreset& p = s.m_voicePreset[k];
        EXPECT_EQ(p.nPitch, 0);
        EXPECT_EQ(p.nFormant, 0);
        EXPECT_EQ(p.nA4, 440);
        EXPECT_FLOAT_EQ(p.fCorrTh, 0.5f);
        EXPECT_FLOAT_EQ(p.fAmpThreshold, 0.02f);
        EXPECT_EQ(p.nKeyRange, 3);
        EXPECT_FLOAT_EQ(p.fPeakRatio, 0.9f);
        EXPECT_EQ(p.nVoiceMode, 1);
    }
    EXPECT_EQ(s.m_voicePreset[0].nMinKey, 7);
    EXPECT_EQ(s.m_voicePreset[0].nMaxKey, 40);
    EXPECT_EQ(s.m_voicePreset[1].nMinKey, 0);
    EXPECT_EQ(s.m_voicePreset[1].nMaxKey, 48);
    EXPECT_EQ(s.m_nSaveCounter, 0);
    EXPECT_EQ(s.m_nDumpCounter, 0);
    EXPECT_EQ(s.m_nA4, 440);
    EXPECT_EQ(s.m_bShowVolumeGraph, 1);
    EXPECT_FLOAT_EQ(s.m_fReverbAttenuation, 0.7f);
    EXPECT_FLOAT_EQ(s.m_fReverbDelay, 0.07f);
    EXPECT_EQ(s.m_nReverbRepeat, 12);
    EXPECT_EQ(s.m_nMidiProgram, 0);
}

TEST(SettingsFileValues, ValuesTheControlsCannotTakeGetTheirDefaults) {
    auto lines = SplitLines(kDefaultFile);
    lines[9] = " 0  0 13  0 -25  0  0  0  0  0 12 1e30";   // equaliser preset 1: two gains off the trackbar
    lines[10] = " 0  0  0  0  0  0  0  0  0  0  0  0.000";  // Q 0
    lines[11] = " 0  0  0  0  0  0  0  0  0  0  0 -5";      // Q -5
    lines[12] = "-24 0  0  0  0  0  0  0  0  0  0  7.500";  // all within range
    lines[13] = "0 0 40 7 440 0.5 0.02 3 0.9 1";             // lowest key above the highest
    lines[14] = "0 0 20 20 440 0.5 0.02 3 0.9 1";            // a one-key range is a range
    lines[26] = "7";                                          // voice delay: two choices only
    CSettingsFile s(kProgramFolder);
    ASSERT_EQ(s.Parse(JoinLines(lines)), SettingsReadResult::Read);
    EXPECT_EQ(s.m_nPresetGain[0][2], 0);
    EXPECT_EQ(s.m_nPresetGain[0][4], 0);
    EXPECT_EQ(s.m_nPresetGain[0][10], 12);
    for (int k : {0, 1, 2}) EXPECT_FLOAT_EQ(s.m_fPresetQ[k], 1.0f) << "preset " << k;
    EXPECT_EQ(s.m_nPresetGain[3][0], -24);
    EXPECT_FLOAT_EQ(s.m_fPresetQ[3], 7.5f);
    EXPECT_EQ(s.m_voicePreset[0].nMinKey, 7);
    EXPECT_EQ(s.m_voicePreset[0].nMaxKey, 40);
    EXPECT_EQ(s.m_voicePreset[1].nMinKey, 20);
    EXPECT_EQ(s.m_voicePreset[1].nMaxKey, 20);
    EXPECT_EQ(s.m_nLatencyMode, 0);
}

TEST(SettingsFileValues, RelativeOutputFolderIsTheProgramFoldersNotTheWorkingFolders) {
    CSettingsFile s(kProgramFolder);
    ASSERT_EQ(s.Parse(DefaultWithLine(20, "../../")), SettingsReadResult::Read);
    EXPECT_EQ(s.m_strOutputFolder, "/opt/sorvel/../../");
    CSettingsFile t(kProgramFolder);
    ASSERT_EQ(t.Parse(DefaultWithLine(20, "out/")), SettingsReadResult::Read);
    EXPECT_EQ(t.m_strOutputFolder, "/opt/sorvel/out/");
}

// Both ends of every range are taken as read: the low ends in one file, the high ends in the
// other (the oversampling factor's 3, which the reader takes as it is, in the first).
TEST(SettingsFileValues, RangeEdgesAreAccepted) {
    struct Ends {
        std::vector<std::pair<int, std::string>> lines;  // line number from 1, text
        int method, axisMode, overSampling;
        int presetIndex;
        VoicePreset preset;
        int saveCounter, dumpCounter, a4;
        float attenuation, delay;
        int repeat, midiProgram;
    };
    const Ends ends[] = {
        {{{3, "1"}, {8, "3"}, {9, "3"}, {14, "-48 24 0 48 880 1.0 0.0 4 0.1 0"}, {18, "9999 0"}, {19, "220"},
          {23, "0.95 0.01 15"}, {24, "-1"}},
         1, 3, 3, 0, VoicePreset{-48, 24, 0, 48, 880, 1.0f, 0.0f, 4, 0.1f, 0}, 9999, 0, 220, 0.95f, 0.01f, 15, -1},
        {{{9, "1"}, {15, "48 -24 0 0 220 0.0 1.0 0 1.0 6"}, {18, "0 9999"}, {19, "880"}, {23, "0.05 0.1 1"},
          {24, "127"}},
         0, 2, 1, 1, VoicePreset{48, -24, 0, 0, 220, 0.0f, 1.0f, 0, 1.0f, 6}, 0, 9999, 880, 0.05f, 0.1f, 1, 127},
    };
    for (const Ends& e : ends) {
        auto lines = SplitLines(kDefaultFile);
        for (const auto& [n, text] : e.lines) lines[static_cast<size_t>(n - 1)] = text;
        CSettingsFile s(kProgramFolder);
        ASSERT_EQ(s.Parse(JoinLines(lines)), SettingsReadResult::Read);
        EXPECT_EQ(s.m_nMethod, e.method);
        EXPECT_EQ(s.m_nAxisMode, e.axisMode);
        EXPECT_EQ(s.m_nBatchOverSampling, e.overSampling);
        const VoicePreset& p = s.m_voicePreset[e.presetIndex];
        EXPECT_EQ(p.nPitch, e.preset.nPitch);
        EXPECT_EQ(p.nFormant, e.preset.nFormant);
        EXPECT_EQ(p.nMinKey, e.preset.nMinKey);
        EXPECT_EQ(p.nMaxKey, e.preset.nMaxKey);
        EXPECT_EQ(p.nA4, e.preset.nA4);
        EXPECT_FLOAT_EQ(p.fCorrTh, e.preset.fCorrTh);
        EXPECT_FLOAT_EQ(p.fAmpThreshold, e.preset.fAmpThreshold);
        EXPECT_EQ(p.nKeyRange, e.preset.nKeyRange);
        EXPECT_FLOAT_EQ(p.fPeakRatio, e.preset.fPeakRatio);
        EXPECT_EQ(p.nVoiceMode, e.preset.nVoiceMode);
        EXPECT_EQ(s.m_nSaveCounter, e.saveCounter);
        EXPECT_EQ(s.m_nDumpCounter, e.dumpCounter);
        EXPECT_EQ(s.m_nA4, e.a4);
        EXPECT_FLOAT_EQ(s.m_fReverbAttenuation, e.attenuation);
        EXPECT_FLOAT_EQ(s.m_fReverbDelay, e.delay);
        EXPECT_EQ(s.m_nReverbRepeat, e.repeat);
        EXPECT_EQ(s.m_nMidiProgram, e.midiProgram);
    }
}

TEST(SettingsFileValues, MalformedLinesKeepTheirDefaultsAndLaterLinesStillRead) {
    auto lines = SplitLines(NonDefaultRecord().Format(kTime));
    lines[2] = "1x";                                                  // method: trailing text
    lines[8] = "99999999999";                                         // oversampling: overflow
    lines[9] = " 1  2  3";                                            // equaliser: too few values
    lines[10] = " 1  2  3  4  5  6  7  8  9 10 11 nan";                // equaliser: Q not a number
    lines[11] = " 1  2  3  4  5  6  7  8  9 10 11 inf";                // equaliser: Q infinite
    lines[13] = "1 2 7 40 440 nan 0.02 3 0.9 1";                      // voice preset: NaN
    lines[14] = "1 2 7 40 440 0.5 0.02 3 0.9 1 9";                    // voice preset: one too many
    lines[17] = "";                                                   // counters: empty
    lines[22] = "0.5 1e999 3";                                        // reverb: too large for a float
    lines[26] = "small";                                              // latency mode
    CSettingsFile s(kProgramFolder);
    ASSERT_EQ(s.Parse(JoinLines(lines)), SettingsReadResult::Read);
    EXPECT_EQ(s.m_nMethod, 0);
    EXPECT_EQ(s.m_nBatchOverSampling, 4);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(s.m_nPresetGain[k][0], 0) << k;
        EXPECT_FLOAT_EQ(s.m_fPresetQ[k], 1.0f) << k;
    }
    EXPECT_EQ(s.m_nPresetGain[3][0], NonDefaultRecord().m_nPresetGain[3][0]);
    EXPECT_EQ(s.m_voicePreset[0].nPitch, 0);
    EXPECT_FLOAT_EQ(s.m_voicePreset[0].fCorrTh, 0.5f);
    EXPECT_EQ(s.m_voicePreset[1].nPitch, 0);
    EXPECT_EQ(s.m_voicePreset[2].nPitch, 12);
    EXPECT_EQ(s.m_nSaveCounter, 0);
    EXPECT_EQ(s.m_nA4, 415);
    EXPECT_FLOAT_EQ(s.m_fReverbAttenuation, 0.7f);
    EXPECT_EQ(s.m_nMidiProgram, -1);
    EXPECT_EQ(s.m_strWaveOutName, "Built-in Analog Stereo");
    EXPECT_EQ(s.m_nLatencyMode, 0);
}

TEST(SettingsFileValues, OverlongLineIsSkippedWithoutShiftingTheLinesAfterIt) {
    auto lines = SplitLines(NonDefaultRecord().Format(kTime));
    lines[19] = "/" + std::string(100000, 'a') + "/";
    lines[24] = std::string(CSettingsFile::kMaxLineLength + 1, 'n');
    CSettingsFile s(kProgramFolder);
    ASSERT_EQ(s.Parse(JoinLines(lines)), SettingsReadResult::Read);
    EXPECT_EQ(s.m_strOutputFolder, kProgramFolder);
    EXPECT_EQ(s.m_strConverterPath, "/home/user/tools/EcoDecoTooL.exe");
    EXPECT_EQ(s.m_strWaveInName, "");
    EXPECT_EQ(s.m_strWaveOutName, "Built-in Analog Stereo");
    EXPECT_EQ(s.m_nLatencyMode, 1);
}

TEST(SettingsFileValues, OverlongLineIsSkippedWhenReadFromDisk) {
    TempFolder folder;
    auto lines = SplitLines(NonDefaultRecord().Format(kTime));
    lines[20] = std::string(300000, 'x') + "EcoDecoTooL.exe";
    WriteWhole(folder.File("sorvel.ini"), JoinLines(lines));
    CSettingsFile s(kProgramFolder);
    ASSERT_EQ(s.Read(folder.File("sorvel.ini")), SettingsReadResult::Read);
    EXPECT_EQ(s.m_strConverterPath, "none");
    EXPECT_EQ(s.m_bShowVolumeGraph, 0);
    EXPECT_EQ(s.m_nLatencyMode, 1);
}

TEST(SettingsFileValues, LineOfExactlyTheLimitIsReadEvenWithCrLf) {
    const std::string name(CSettingsFile::kMaxLineLength, 'n');
    CSettingsFile s(kProgramFolder);
    ASSERT_EQ(s.Parse(DefaultWithLine(25, name + "\r")), SettingsReadResult::Read);
    EXPECT_EQ(s.m_strWaveInName, name);
}

TEST(SettingsFileValues, OutputFolderMustEndWithASlash) {
    CSettingsFile without(kProgramFolder);
    without.Parse(DefaultWithLine(20, "/home/user/out"));
    EXPECT_EQ(without.m_strOutputFolder, kProgramFolder);

    CSettingsFile empty(kProgramFolder);
    empty.Parse(DefaultWithLine(20, ""));
    EXPECT_EQ(empty.m_strOutputFolder, kProgramFolder);

    CSettingsFile with(kProgramFolder);
    with.Parse(DefaultWithLine(20, "/home/user/out/"));
    EXPECT_EQ(with.m_strOutputFolder, "/home/user/out/");
}

TEST(SettingsFileValues, ConverterPathIsTakenOnlyWhenItEndsInTheConverterNameIgnoringCase) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/conv/ECODECOTOOL.EXE", "/opt/conv/ECODECOTOOL.EXE"},
        {"EcoDecoTooL.exe", "EcoDecoTooL.exe"},
        {"/opt/conv/EcoDecoTool.exe.bak", "none"},
        {"/opt/conv/EcoDecoTool.ex", "none"},
        {"coDecoTooL.exe", "none"},
        {"none", "none"},
    };
    for (const auto& [line, expected] : cases) {
        CSettingsFile s(kProgramFolder);
        s.Parse(DefaultWithLine(21, line));
        EXPECT_EQ(s.m_strConverterPath, expected) << line;
    }
}

TEST(SettingsFileValues, ZeroByteOrStrayCrMakesATextValueUnusable) {
    CSettingsFile zero(kProgramFolder);
    zero.Parse(DefaultWithLine(20, std::string("/home/u\0ser/", 12)));
    EXPECT_EQ(zero.m_strOutputFolder, kProgramFolder);

    // The writer never puts a CR inside a value, so reading one back must not keep it either.
    CSettingsFile cr(kProgramFolder);
    cr.Parse(DefaultWithLine(20, "/home/user/out/\r/"));
    EXPECT_EQ(cr.m_strOutputFolder, kProgramFolder);
}

TEST(SettingsFileValues, PitchFormantAndKeysAreKeptAsRead) {
    auto lines = SplitLines(kDefaultFile);
    lines[3] = "-60";
    lines[4] = "+24";
    lines[5] = "61";
    lines[6] = "0";
    CSettingsFile s(kProgramFolder);
    s.Parse(JoinLines(lines));
    EXPECT_EQ(s.m_nPitch, -60);
    EXPECT_EQ(s.m_nFormant, 24);
    EXPECT_EQ(s.m_nMinKey, 61);
    EXPECT_EQ(s.m_nMaxKey, 0);
}

// ---- Device names ------------------------------------------------------------------------------

TEST(SavedDevice, MapperNameSelectsEntryZeroSilently) {
    const DeviceChoice c = FindSavedDevice("WAVE MAPPER", {"WAVE MAPPER"});
    EXPECT_EQ(c.index, 0);
    EXPECT_FALSE(c.notFound);
}

TEST(SavedDevice, NameSelectsTheFirstEntryWithExactlyThatName) {
    const std::vector<std::string> table = {"WAVE MAPPER", "USB Mic", "Line In", "USB Mic"};
    EXPECT_EQ(FindSavedDevice("USB Mic", table).index, 1);
    EXPECT_EQ(FindSavedDevice("Line In", table).index, 2);
    EXPECT_FALSE(FindSavedDevice("Line In", table).notFound);
}

TEST(SavedDevice, UnknownEmptyOrDifferentlyCasedNameFallsBackToTheMapperWithAMessage) {
    const std::vector<std::string> table = {"WAVE MAPPER", "USB Mic"};
    for (const char* name : {"Gone Device", "", "usb mic", "USB Mic "}) {
        const DeviceChoice c = FindSavedDevice(name, table);
        EXPECT_EQ(c.index, 0) << name;
        EXPECT_TRUE(c.notFound) << name;
    }
}

// ---- Writing the file --------------------------------------------------------------------------

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SettingsFileWrite, ReplacesTheOldFileWholeAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const std::string path = folder.File("sorvel.ini");
    WriteWhole(path, std::string(5000, 'o'));  // longer than the new file: nothing of it may remain
    ASSERT_TRUE(CSettingsFile(kProgramFolder).Write(path, kTime));
    EXPECT_EQ(ReadWhole(path), kDefaultFile);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"sorvel.ini"});
}

TEST(SettingsFileWrite, KeepsThePermissionsOfTheOldFile) {
    TempFolder folder;
    const std::string path = folder.File("sorvel.ini");
    WriteWhole(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(CSettingsFile(kProgramFolder).Write(path, kTime));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(SettingsFileWrite, TakesNoModeThroughALinkAndNoSetIdBits) {
    TempFolder folder, elsewhere;
    const std::string path = folder.File("sorvel.ini");
    struct stat st {};
    // The old file with set-id and sticky bits: only its permission bits are kept.
    WriteWhole(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 07640), 0);
    ASSERT_TRUE(CSettingsFile(kProgramFolder).Write(path, kTime));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A link in its place: replaced by a new file, which takes what the umask gives, never the
    // mode of the file the link points to (which stays as it was).
    const std::string victim = elsewhere.File("victim");
    WriteWhole(victim, "not the program's");
    ASSERT_EQ(::chmod(victim.c_str(), 04777), 0);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
    const mode_t mask = ::umask(027);
    const bool written = CSettingsFile(kProgramFolder).Write(path, kTime);
    ::umask(mask);
    ASSERT_TRUE(written);
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadWhole(path), kDefaultFile);
    EXPECT_EQ(ReadWhole(victim), "not the program's");
    ASSERT_EQ(::stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 04777u);
}

TEST(SettingsFileWrite, MissingFolderReportsFailure) {
    TempFolder folder;
    EXPECT_FALSE(CSettingsFile(kProgramFolder).Write(folder.File("no/such/sorvel.ini"), kTime));
}

TEST(SettingsFileWrite, FailedWriteLeavesTheOldFileIntactAndReportsFailure) {
    // A file-size limit makes the write fail part way, as a full disk would; this works for
    // root as well, which a read-only folder does not.
    TempFolder folder;
    const std::string path = folder.File("sorvel.ini");
    const std::string old = NonDefaultRecord().Format(kTime);
    WriteWhole(path, old);

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim {};
        ::getrlimit(RLIMIT_FSIZE, &lim);
        lim.rlim_cur = 100;
        ::setrlimit(RLIMIT_FSIZE, &lim);
        const bool ok = CSettingsFile(kProgramFolder).Write(path, kTime);
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write reported success";
    EXPECT_EQ(ReadWhole(path), old);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"sorvel.ini"});
}

TEST(SettingsFileWrite, ReaderAlwaysSeesAWholeOldOrNewFileWhileItIsRewritten) {
    TempFolder folder;
    const std::string path = folder.File("sorvel.ini");
    const CSettingsFile a(kProgramFolder);
    const CSettingsFile b = NonDefaultRecord();
    const std::string textA = a.Format(kTime), textB = b.Format(kTime);
    ASSERT_TRUE(a.Write(path, kTime));

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 400 && !stop; ++i) (i % 2 ? a : b).Write(path, kTime);
        stop = true;
    });
    int mismatches = 0, reads = 0;
    while (!stop) {
        const std::string seen = ReadWhole(path);
        if (seen != textA && seen != textB) ++mismatches;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(mismatches, 0) << "of " << reads << " reads";
    const std::string last = ReadWhole(path);
    EXPECT_TRUE(last == textA || last == textB);
}

}  // namespace

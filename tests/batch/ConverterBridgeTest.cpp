// The outside converter end to end with a stand-in converter script: the settings-file patch and
// its question, the run on one file, taking its output, and OPEN and the batch of an mp3.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/ConverterBridge.h"
#include "audio/SetAside.h"
#include "batch/BatchHarness.h"
#include "batch/StandInConverter.h"
#include "support/ProcessAlive.h"

namespace {

using batchtest::BatchHarness;
using runtest::BoxTexts;
using runtest::ReadFile;
using runtest::ReadWav;
using runtest::WriteWav;

constexpr const char* kQuestion = "EcoDecoTooL.iniを「ソルベル」用に変更します。よろしいですか？";
constexpr const char* kChangeFailed = "EcoDecoTooL.iniの変更に失敗しました。";

// The program folder without its final '/', as the settings file names it.
std::string Unslashed(const std::string& folder) { return folder.substr(0, folder.size() - 1); }

// A converter script at path with its settings file beside it.
void MakeScript(const std::string& path, const std::string& script, const std::string& ini) {
    riffbytes::WriteFile(path, script);
    ::chmod(path.c_str(), 0755);
    riffbytes::WriteFile(path.substr(0, path.rfind('.')) + ".ini", ini);
}

std::string ReadyIni(const std::string& folder) {
    return "[ComboBox]\r\n1003=0\r\n[Radio]\r\nwav=1\r\noutfolder=1\r\n[Edit]\r\noutfolder=" + Unslashed(folder) + "\r\n";
}

// Where recovery keeps what it finds under the name of path: beside it, with what it is and the
// time the entry was set aside (when its private folder last changed), then the extension.
std::string KeptName(const std::string& path, const std::string& what, const std::string& asideFolder,
                     const std::string& number) {
    struct stat st {};
    EXPECT_EQ(::stat(asideFolder.c_str(), &st), 0);
    std::tm tm {};
    ::localtime_r(&st.st_mtime, &tm);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &tm);
    const std::size_t dot = path.rfind('.');
    return path.substr(0, dot) + what + stamp + number + ")" + path.substr(dot);
}

struct AnswerGuard {
    explicit AnswerGuard(int answer) { platform::ui::SetHeadlessAnswer(answer); }
    ~AnswerGuard() { platform::ui::SetHeadlessAnswer(IDYES); }
};

class ConverterIni : public ::testing::Test {
protected:
    void SetUp() override { platform::ui::TakeHeadlessMessageBoxes(); }
    std::string Exe() const { return tools.File("conv.sh"); }
    std::string Ini() const { return tools.File("conv.ini"); }
    TempFolder tools;    // where the converter lives
    TempFolder program;  // the program folder
};

TEST_F(ConverterIni, ASettingsFileAsRequiredIsLeftAloneWithoutAQuestion) {
    batchtest::MakeStandIn(Exe(), ReadyIni(program.Path()));
    EXPECT_TRUE(PatchConverterIni(Exe(), program.Path()));
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(ReadFile(Ini()), ReadyIni(program.Path()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program.Path()), {}), 0);
}

TEST_F(ConverterIni, YesRewritesOnlyTheThreeSectionsKeepingLineEnds) {
    const std::string f = Unslashed(program.Path());
    const std::string longLine = "note=" + std::string(2000, 'x');
    const std::string ini = "[ComboBox]\r\n1003=2\r\n" + longLine + "\r\n[Other]\r\n1003=5\r\nwav=0\n[Radio]\nwav=0\r\n"
                            "outfolder=2\n[Edit]\r\noutfolder=" + f + "-old\r\n[Tail]\r\noutfolder=C:\\x";
    batchtest::MakeStandIn(Exe(), ini);
    EXPECT_TRUE(PatchConverterIni(Exe(), program.Path()));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestion});
    // A section other than the three ends the recognised one: [Other] and [Tail] stay as they
    // were; a long line is one line; a folder that only begins like the program folder is
    // another folder.
    EXPECT_EQ(ReadFile(Ini()), "[ComboBox]\r\n1003=0\r\n" + longLine + "\r\n[Other]\r\n1003=5\r\nwav=0\n[Radio]\nwav=1\r\n"
                               "outfolder=1\n[Edit]\r\noutfolder=" + f + "\r\n[Tail]\r\noutfolder=C:\\x");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program.Path()), {}), 0);
}

TEST_F(ConverterIni, NoLeavesTheFileAsItWas) {
    batchtest::MakeStandIn(Exe(), batchtest::FreshIni());
    AnswerGuard no(IDNO);
    EXPECT_FALSE(PatchConverterIni(Exe(), program.Path()));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestion});
    EXPECT_EQ(ReadFile(Ini()), batchtest::FreshIni());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program.Path()), {}), 0);
}

TEST_F(ConverterIni, MissingConverterMissingSettingsAndNoWorkingCopyAreTold) {
    EXPECT_FALSE(PatchConverterIni(Exe(), program.Path()));
    batchtest::MakeStandIn(Exe(), "");
    std::remove(Ini().c_str());
    EXPECT_FALSE(PatchConverterIni(Exe(), program.Path()));
    batchtest::MakeStandIn(Exe(), batchtest::FreshIni());
    EXPECT_FALSE(PatchConverterIni(Exe(), program.File("gone/")));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "EcoDecoTooL.exeが見つかりません。\r\n「設定」から再度EcoDecoTooL.exeを指定して下さい",
                              "EcoDecoTooL.iniが存在しません。\r\nEcoDecoTooL.exeを起動して終了してから再度この処理を行って下さい。",
                              kChangeFailed}));
    EXPECT_EQ(ReadFile(Ini()), batchtest::FreshIni());
}

// A dialog whose converter is the stand-in, with tracing on.
class ConverterRun : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ui::TakeHeadlessMessageBoxes();
        riffbytes::WriteFile(h.folder.File("debug.txt"), "");
        dlg = std::make_unique<CWaveInOutDlg>(h.folder.Path());
        runtest::SetUpLikeStartUp(*dlg, h.out.Path());
        batchtest::MakeStandIn(tools.File("conv.sh"), batchtest::FreshIni());
        dlg->m_strConverterPath = tools.File("conv.sh");
    }
    // An mp3 of a tone, made with sox.
    std::string Mp3(const std::string& path, double seconds = 1.0) {
        const std::string wav = path + ".src.wav";
        WriteWav(wav, runtest::Tone(220.0, static_cast<int>(seconds * 44100)));
        const std::string cmd = "sox '" + wav + "' '" + path + "' 2>/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        std::remove(wav.c_str());
        return path;
    }
    std::vector<std::string> Calls() { return runtest::TraceLines(tools.File("calls.log")); }
    // How often the trace holds line.
    long Traced(const std::string& line) {
        const auto trace = runtest::TraceLines(h.folder.File("debug.txt"));
        return std::count(trace.begin(), trace.end(), line);
    }
    // The private folders of set-aside entries in the program folder.
    std::vector<std::string> Held() {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(h.folder.Path()))
            if (e.path().filename().string().rfind(".sorvel-aside-", 0) == 0) found.push_back(e.path().string() + "/");
        return found;
    }

    BatchHarness h;  // program and output folders, and a dialog the batch tests use
    TempFolder tools;
    TempFolder music;
    std::unique_ptr<CWaveInOutDlg> dlg;
};

TEST_F(ConverterRun, OpenOfAnMp3PlaysItsConversionAndLeavesTheUsersFilesAlone) {
    const std::string song = Mp3(music.File("my song.mp3"));
    // The user's own file of the converter's output name in the program folder.
    riffbytes::WriteFile(h.folder.File("my song.wav"), "the user's file");
    dlg->m_strDropFile = song;
    ASSERT_TRUE(dlg->OpenInputFile());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestion});
    EXPECT_EQ(dlg->m_strLastFile, h.folder.File("temp.wav"));
    EXPECT_EQ(dlg->m_strInputFile, song);
    EXPECT_EQ(dlg->GetWindowText(), "my song.mp3");
    EXPECT_EQ(dlg->m_inputFile.m_fmt.nSamplesPerSec, 44100u);
    EXPECT_EQ(dlg->m_inputFile.m_fmt.wBitsPerSample, 16);
    dlg->m_inputFile.Close();
    // One argument, the source as it is, spaces and all.
    EXPECT_EQ(Calls(), (std::vector<std::string>{"call 1", song}));
    // The converter wrote its output over the user's file: it is back as it was.
    EXPECT_EQ(ReadFile(h.folder.File("my song.wav")), "the user's file");
    EXPECT_TRUE(runtest::Exists(song));
    EXPECT_GT(ReadWav(h.folder.File("temp.wav")).samples.size(), 40000u);

    // The settings file is ready now: the next conversion asks nothing.
    dlg->m_strDropFile = song;
    ASSERT_TRUE(dlg->OpenInputFile());
    EXPECT_TRUE(BoxTexts().empty());
    dlg->m_inputFile.Close();
}

TEST_F(ConverterRun, AWavOfAnotherRateIsConvertedOnceAndAnotherFormatWithoutConverterIsRefused) {
    const std::string wav48 = music.File("rate.wav");
    WriteWav(wav48, runtest::Tone(220.0, 48000), 1, 48000);
    batchtest::MakeStandIn(tools.File("conv.sh"), ReadyIni(h.folder.Path()));
    dlg->m_strDropFile = wav48;
    ASSERT_TRUE(dlg->OpenInputFile());
    EXPECT_EQ(dlg->m_strLastFile, h.folder.File("temp.wav"));
    EXPECT_EQ(dlg->m_inputFile.m_fmt.nSamplesPerSec, 44100u);
    dlg->m_inputFile.Close();
    // The user's source is still there (its converted twin went to the program folder).
    EXPECT_TRUE(runtest::Exists(wav48));

    dlg->m_strConverterPath = "none";
    dlg->m_strDropFile = music.File("x.mp3");
    EXPECT_FALSE(dlg->OpenInputFile());
    dlg->m_strDropFile = wav48;
    EXPECT_FALSE(dlg->OpenInputFile());
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"再生できる形式のファイルではありません。",
                                                    "16bit,44.1kHzでないWAVファイルは利用できません。"}));
}

TEST_F(ConverterRun, ASourceNamedTempKeepsItsConversionAndAFailedConverterIsTraced) {
    batchtest::MakeStandIn(tools.File("conv.sh"), ReadyIni(h.folder.Path()));
    const std::string temp = Mp3(music.File("temp.mp3"));
    EXPECT_TRUE(dlg->RunConverter(temp, h.folder.File("temp.wav")));
    EXPECT_GT(ReadWav(h.folder.File("temp.wav")).samples.size(), 40000u);
    // The program's own temp.wav from an earlier run is replaced by the new conversion, never
    // put back over it.
    riffbytes::WriteFile(h.folder.File("temp.wav"), "an earlier run's conversion");
    EXPECT_TRUE(dlg->RunConverter(temp, h.folder.File("temp.wav")));
    EXPECT_GT(ReadWav(h.folder.File("temp.wav")).samples.size(), 40000u);
    EXPECT_FALSE(runtest::Exists(h.folder.File("temp.wav.keep")));

    // A converter that runs, ends well and writes nothing, beside a file of its output's name
    // that is already there: that file is no output (it stays the user's, and temp.wav is not
    // made from it), and nothing is told here.
    MakeScript(tools.File("lazy.sh"), "#!/bin/sh\nexit 0\n", ReadyIni(h.folder.Path()));
    dlg->m_strConverterPath = tools.File("lazy.sh");
    riffbytes::WriteFile(h.folder.File("lazy song.wav"), "the user's older file");
    std::remove(h.folder.File("temp.wav").c_str());
    EXPECT_FALSE(dlg->RunConverter(Mp3(music.File("lazy song.mp3")), h.folder.File("temp.wav")));
    EXPECT_EQ(ReadFile(h.folder.File("lazy song.wav")), "the user's older file");
    EXPECT_FALSE(runtest::Exists(h.folder.File("temp.wav")));
    EXPECT_TRUE(BoxTexts().empty());

    // The settings left unfit for the program (No): the converter is not run at all.
    riffbytes::WriteFile(tools.File("conv.ini"), batchtest::FreshIni());
    dlg->m_strConverterPath = tools.File("conv.sh");
    {
        AnswerGuard no(IDNO);
        EXPECT_FALSE(dlg->RunConverter(temp, h.folder.File("temp.wav")));
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestion});

    // A converter that cannot start leaves the reason in the trace.
    riffbytes::WriteFile(tools.File("dead.ini"), ReadyIni(h.folder.Path()));
    riffbytes::WriteFile(tools.File("dead.sh"), "not a program");
    dlg->m_strConverterPath = tools.File("dead.sh");
    EXPECT_FALSE(dlg->RunConverter(Mp3(music.File("other.mp3")), h.folder.File("temp.wav")));
    const auto trace = runtest::TraceLines(h.folder.File("debug.txt"));
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().rfind("RunConverter: " + tools.File("dead.sh") + " cannot start: ", 0), 0u) << trace.back();
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ConverterRun, ABatchConvertsAnMp3NamedAfterItAndEndsWhenTheUserSaysNo) {
    BatchHarness& b = h;
    b.dlg.m_strConverterPath = tools.File("conv.sh");
    b.dlg.m_chkDump.SetCheck(BST_CHECKED);
    b.dlg.m_nBatchOverSampling = 2;
    const std::string song = Mp3(music.File("song.mp3"), 2.0);
    const std::string tune = Mp3(music.File("tune.mp3"));
    {
        AnswerGuard no(IDNO);
        b.Run({song, tune});
    }
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kQuestion, "EcoDecoTooLでの変換に失敗しました。"}));
    EXPECT_FALSE(runtest::Exists(b.Output("song_01.wav")));

    b.Run({song, tune});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestion});
    const auto out = ReadWav(b.Output("song_01.wav"));
    EXPECT_GT(out.samples.size(), 80000u);
    EXPECT_TRUE(runtest::Exists(b.Output("tune_01.wav")));
    const auto dump = runtest::TraceLines(b.Output("song_dump_01.txt"));
    ASSERT_GT(dump.size(), 2u);
    EXPECT_EQ(dump[1], "Input\t" + song + "\r");
    EXPECT_EQ(b.dlg.m_strLastFile, b.folder.File("temp.wav"));
    EXPECT_EQ(b.dlg.m_strInputFile, tune);
}

TEST_F(ConverterIni, AReadOnlySettingsFileIsRefusedUnchangedAndAReplacedOneKeepsItsMode) {
    // Decided by the file's permission bits, so also when the program runs as the superuser.
    batchtest::MakeStandIn(Exe(), batchtest::FreshIni());
    ::chmod(Ini().c_str(), 0444);
    EXPECT_FALSE(PatchConverterIni(Exe(), program.Path()));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kChangeFailed});
    EXPECT_EQ(ReadFile(Ini()), batchtest::FreshIni());
    struct stat st {};
    ASSERT_EQ(::stat(Ini().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program.Path()), {}), 0);

    ::chmod(Ini().c_str(), 0640);
    EXPECT_TRUE(PatchConverterIni(Exe(), program.Path()));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestion});
    EXPECT_NE(ReadFile(Ini()).find("\r\nwav=1\r\n"), std::string::npos) << ReadFile(Ini());
    ASSERT_EQ(::stat(Ini().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(ConverterIni, ASettingsFileOrConverterThatIsAPipeIsRefusedAtOnce) {
    batchtest::MakeStandIn(Exe(), "");
    std::remove(Ini().c_str());
    ASSERT_EQ(::mkfifo(Ini().c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(PatchConverterIni(Exe(), program.Path()));
    const std::string pipeConverter = tools.File("pipe.exe");
    ASSERT_EQ(::mkfifo(pipeConverter.c_str(), 0700), 0);
    EXPECT_FALSE(PatchConverterIni(pipeConverter, program.Path()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "EcoDecoTooL.iniが存在しません。\r\nEcoDecoTooL.exeを起動して終了してから再度この処理を行って下さい。",
                              "EcoDecoTooL.exeが見つかりません。\r\n「設定」から再度EcoDecoTooL.exeを指定して下さい"}));
}

TEST_F(ConverterRun, AConverterThatFailsOrWritesNothingOnOpenIsToldAsTheBatchTellsIt) {
    constexpr const char* kFailed = "EcoDecoTooLでの変換に失敗しました。";
    const std::string song = Mp3(music.File("song.mp3"));
    // Writes its WAV but ends with status 1: a failure all the same.
    MakeScript(tools.File("bad.sh"),
               "#!/bin/sh\nbase=$(basename \"$1\")\nsox \"$1\" -r 44100 -b 16 \"" + h.folder.Path() +
                   "${base%.*}.wav\" 2>/dev/null\nexit 1\n",
               ReadyIni(h.folder.Path()));
    dlg->m_strConverterPath = tools.File("bad.sh");
    dlg->m_strDropFile = song;
    EXPECT_FALSE(dlg->OpenInputFile());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kFailed});
    EXPECT_FALSE(dlg->m_inputFile.IsOpen());
    EXPECT_FALSE(runtest::Exists(h.folder.File("temp.wav")));
    // What it left in the program folder in place of no file is removed again.
    EXPECT_FALSE(runtest::Exists(h.folder.File("song.wav")));

    // Ends well and writes nothing.
    MakeScript(tools.File("lazy.sh"), "#!/bin/sh\nexit 0\n", ReadyIni(h.folder.Path()));
    dlg->m_strConverterPath = tools.File("lazy.sh");
    dlg->m_strDropFile = song;
    EXPECT_FALSE(dlg->OpenInputFile());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kFailed});

    // A settings change the user refused is not told twice.
    MakeScript(tools.File("lazy.sh"), "#!/bin/sh\nexit 0\n", batchtest::FreshIni());
    dlg->m_strDropFile = song;
    {
        AnswerGuard no(IDNO);
        EXPECT_FALSE(dlg->OpenInputFile());
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestion});
}

TEST_F(ConverterRun, AbortInTheBatchDialogEndsAConverterThatIsStillRunning) {
    BatchHarness& b = h;
    MakeScript(tools.File("slow.sh"), "#!/bin/sh\necho started >> \"$(dirname \"$0\")/calls.log\"\nexec sleep 60\n",
               ReadyIni(b.folder.Path()));
    b.dlg.m_strConverterPath = tools.File("slow.sh");
    const std::string song = Mp3(music.File("song.mp3"));
    b.Start({song, song});
    ASSERT_TRUE(runtest::PumpUntil([&] { return !Calls().empty(); }, 20.0));
    const auto aborted = std::chrono::steady_clock::now();
    b.dlg.m_pBatchDlg->OnBnClickedAbort();
    b.Finish();
    EXPECT_LT(std::chrono::steady_clock::now() - aborted, std::chrono::seconds(5));
    // The second file never reached the converter, and a converter ended by 中止 is no failure.
    EXPECT_EQ(Calls(), std::vector<std::string>{"started"});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
    EXPECT_FALSE(runtest::Exists(b.Output("song_01.wav")));
}

// The converter is a wrapper that runs the real one as its child: 中止 ends the child too, and
// nothing it would have written later appears.
TEST_F(ConverterRun, AbortInTheBatchDialogAlsoEndsTheProcessesOfAWrapperConverter) {
    BatchHarness& b = h;
    MakeScript(tools.File("wrapper.sh"), "#!/bin/sh\n\"$(dirname \"$0\")/real.sh\" \"$@\"\n", ReadyIni(b.folder.Path()));
    MakeScript(tools.File("real.sh"),
               "#!/bin/sh\necho $$ >> \"$(dirname \"$0\")/calls.log\"\nsleep 5\nbase=$(basename \"$1\")\necho late > \"" +
                   b.folder.Path() + "${base%.*}.wav\"\n",
               ReadyIni(b.folder.Path()));
    b.dlg.m_strConverterPath = tools.File("wrapper.sh");
    const std::string song = Mp3(music.File("song.mp3"));
    b.Start({song});
    ASSERT_TRUE(runtest::PumpUntil([&] { return !Calls().empty(); }, 20.0));
    b.dlg.m_pBatchDlg->OnBnClickedAbort();
    b.Finish();
    const pid_t child = static_cast<pid_t>(std::stol(Calls().at(0)));
    // Gone at once; left running, it would have ended by now after writing its output.
    EXPECT_FALSE(processalive::Runs(child)) << "the real converter still runs";
    processalive::EndsWithin(child, 30.0);
    EXPECT_FALSE(runtest::Exists(b.folder.File("song.wav")));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
}

// A program folder that others can write (a shared install): a link planted at the name of a
// helper file the conversion makes never leads the program to write, create or change a file
// elsewhere. The conversion is refused and told instead.
TEST_F(ConverterRun, LinksPlantedAtTheHelperFilesOfAConversionLeadNowhere) {
    const std::string song = Mp3(music.File("song.mp3"));
    TempFolder elsewhere;
    const std::string victim = elsewhere.File("victim");
    const std::string nowhere = elsewhere.File("nowhere");
    // The converter's working copy of its settings.
    for (const char* helper : {"conv.ini.tmp"}) {
        for (const std::string& target : {victim, nowhere}) {
            SCOPED_TRACE(std::string(helper) + " -> " + target);
            for (const std::string& file : {victim, nowhere, tools.File("conv.ini"), h.folder.File("song.wav")})
                ::unlink(file.c_str());
            riffbytes::WriteFile(victim, "not the program's");
            ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
            riffbytes::WriteFile(tools.File("conv.ini"), batchtest::FreshIni());
            // The user's file of the converter's output name.
            riffbytes::WriteFile(h.folder.File("song.wav"), "the user's file");
            const std::string link = h.folder.File(helper);
            ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
            dlg->m_strDropFile = song;
            EXPECT_FALSE(dlg->OpenInputFile());
            // Refused and told.
            const std::vector<std::string> boxes = BoxTexts();
            EXPECT_EQ(boxes, std::vector<std::string>{kChangeFailed});
            EXPECT_EQ(ReadFile(victim), "not the program's");
            struct stat st {};
            EXPECT_EQ(::stat(victim.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0600u);
            EXPECT_NE(::lstat(nowhere.c_str(), &st), 0) << "a file was made where the link points";
            EXPECT_EQ(ReadFile(h.folder.File("song.wav")), "the user's file");
            ::unlink(link.c_str());
            if (dlg->m_inputFile.IsOpen()) dlg->m_inputFile.Close();
        }
    }
    // With the links gone the same conversion works.
    dlg->m_strDropFile = song;
    EXPECT_TRUE(dlg->OpenInputFile());
    dlg->m_inputFile.Close();
}

// The converter's output name holds an entry of the user's: a link (to the user's song
// elsewhere, to nothing, to another link, to a folder, to /dev/null), a folder, a pipe, a
// socket, a second name of a file, another user's file or the user's own file. The converter
// never writes through it or over it: the entry is moved aside as it is and put back as it was
// (the same inode, mode and owner), whether the conversion succeeds or fails, and nothing it
// leads to is written.
TEST_F(ConverterRun, WhateverIsAtTheConvertersOutputNameIsPutBackAndWhatItLeadsToIsUntouched) {
    const std::string song = Mp3(music.File("song.mp3"));
    MakeScript(tools.File("bad.sh"),
               "#!/bin/sh\nbase=$(basename \"$1\")\nsox \"$1\" -r 44100 -b 16 \"" + h.folder.Path() +
                   "${base%.*}.wav\" 2>/dev/null\nexit 1\n",
               ReadyIni(h.folder.Path()));
    batchtest::MakeStandIn(tools.File("conv.sh"), ReadyIni(h.folder.Path()));
    TempFolder elsewhere;
    const std::string victim = elsewhere.File("victim.wav");
    const std::string nowhere = elsewhere.File("nowhere.wav");
    const std::string inner = elsewhere.File("inner.wav");
    const std::string entry = h.folder.File("song.wav");
    ASSERT_EQ(::mkdir(elsewhere.File("folder").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(victim.c_str(), inner.c_str()), 0);
    riffbytes::WriteFile(victim, "the user's song");
    const auto listing = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(elsewhere.Path())) names.push_back(e.path());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> listed = listing();
    const std::vector<std::pair<const char*, std::function<void()>>> kinds = {
        {"link", [&] { ::symlink(victim.c_str(), entry.c_str()); }},
        {"dangling link", [&] { ::symlink(nowhere.c_str(), entry.c_str()); }},
        {"link chain", [&] { ::symlink(inner.c_str(), entry.c_str()); }},
        {"link to a folder", [&] { ::symlink(elsewhere.File("folder").c_str(), entry.c_str()); }},
        {"link to /dev/null", [&] { ::symlink("/dev/null", entry.c_str()); }},
        {"folder", [&] { ::mkdir(entry.c_str(), 0755); }},
        {"pipe", [&] { ::mkfifo(entry.c_str(), 0644); }},
        {"socket",
         [&] {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un addr{};
             addr.sun_family = AF_UNIX;
             std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", entry.c_str());
             ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
             ::close(fd);
         }},
        {"hard link", [&] { ::link(victim.c_str(), entry.c_str()); }},
        {"another user's file",
         [&] {
             riffbytes::WriteFile(entry, "another user's file");
             if (::geteuid() == 0) ::chown(entry.c_str(), 4242, 4242);
         }},
        {"the user's own file", [&] { riffbytes::WriteFile(entry, "the user's own file"); }},
    };
    for (const auto& [what, make] : kinds) {
        for (const bool succeeds : {true, false}) {
            SCOPED_TRACE(std::string(what) + (succeeds ? ", conversion succeeds" : ", conversion fails"));
            riffbytes::WriteFile(victim, "the user's song");
            make();
            struct stat before {};
            ASSERT_EQ(::lstat(entry.c_str(), &before), 0);
            const std::string content = S_ISREG(before.st_mode) ? ReadFile(entry) : "";
            dlg->m_strConverterPath = tools.File(succeeds ? "conv.sh" : "bad.sh");
            dlg->m_strDropFile = song;
            EXPECT_EQ(dlg->OpenInputFile(), succeeds ? TRUE : FALSE);
            EXPECT_EQ(BoxTexts(), succeeds ? std::vector<std::string>{}
                                           : std::vector<std::string>{"EcoDecoTooLでの変換に失敗しました。"});
            if (dlg->m_inputFile.IsOpen()) dlg->m_inputFile.Close();

            EXPECT_TRUE(ReadFile(victim) == "the user's song") << "the file the entry leads to was written";
            EXPECT_EQ(listing(), listed) << "a file was made where a link points";
            // The same entry under its name: the same link, folder, pipe, socket or file.
            struct stat after {};
            ASSERT_EQ(::lstat(entry.c_str(), &after), 0);
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_uid, before.st_uid);
            if (S_ISREG(after.st_mode)) {
                EXPECT_TRUE(ReadFile(entry) == content) << "the file under the name was written";
            }
            if (succeeds) {
                EXPECT_GT(ReadWav(h.folder.File("temp.wav")).samples.size(), 40000u);
            } else {
                EXPECT_FALSE(runtest::Exists(h.folder.File("temp.wav")));
            }
            // Nothing of the conversion's own is left beside it.
            for (const auto& e : std::filesystem::directory_iterator(h.folder.Path())) {
                const std::string name = e.path().filename().string();
                EXPECT_TRUE(name == "song.wav" || name == "temp.wav" || name == "debug.txt") << name;
            }
            std::filesystem::remove(entry);
            ::unlink(h.folder.File("temp.wav").c_str());
        }
    }
}

// The user's own WAV of another rate in the program folder, opened: it is itself the entry
// under the converter's output name. The converter reads it where it was moved and the user's
// file comes back whole; names the user gave to files beside it are left alone. A file of the
// user's under the target's own name cannot come back beside its conversion, so that conversion
// is refused. A converter that writes a WAV without samples has written no output.
TEST_F(ConverterRun, TheUsersOwnFileAtTheOutputNameIsReadWhereItWasMovedAndComesBackWhole) {
    batchtest::MakeStandIn(tools.File("conv.sh"), ReadyIni(h.folder.Path()));
    const std::string own = h.folder.File("rate.wav");
    WriteWav(own, runtest::Tone(220.0, 48000), 1, 48000);
    const std::string original = ReadFile(own);
    riffbytes::WriteFile(h.folder.File("rate.wav.keep"), "the user's keep");
    ASSERT_EQ(::symlink(own.c_str(), h.folder.File("rate.wav.keep.1").c_str()), 0);
    struct stat before {};
    ASSERT_EQ(::lstat(own.c_str(), &before), 0);
    dlg->m_strDropFile = own;
    ASSERT_TRUE(dlg->OpenInputFile());
    EXPECT_EQ(dlg->m_inputFile.m_fmt.nSamplesPerSec, 44100u);
    EXPECT_GT(dlg->m_inputFile.DataBytesHeld(), 80000);
    dlg->m_inputFile.Close();
    EXPECT_TRUE(BoxTexts().empty());
    struct stat after {};
    ASSERT_EQ(::lstat(own.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_TRUE(ReadFile(own) == original) << "the user's file was written";
    EXPECT_EQ(ReadFile(h.folder.File("rate.wav.keep")), "the user's keep");
    EXPECT_EQ(std::filesystem::read_symlink(h.folder.File("rate.wav.keep.1")).string(), own);

    // Named as the target itself.
    const std::string temp = h.folder.File("temp.wav");
    WriteWav(temp, runtest::Tone(220.0, 48000), 1, 48000);
    const std::string tempOriginal = ReadFile(temp);
    dlg->m_strDropFile = temp;
    EXPECT_FALSE(dlg->OpenInputFile());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ファイル名の変更に失敗しました。"});
    EXPECT_TRUE(ReadFile(temp) == tempOriginal) << "the user's temp.wav was written";
    ::unlink(temp.c_str());

    // A header and no samples: told as a converter that wrote nothing, and not left behind.
    MakeScript(tools.File("empty.sh"),
               "#!/bin/sh\nbase=$(basename \"$1\")\nprintf 'RIFF\\044\\0\\0\\0WAVEfmt \\020\\0\\0\\0\\001\\0\\001\\0\\104\\254\\0\\0"
               "\\210\\130\\001\\0\\002\\0\\020\\0data\\0\\0\\0\\0' > \"" + h.folder.Path() + "${base%.*}.wav\"\n",
               ReadyIni(h.folder.Path()));
    dlg->m_strConverterPath = tools.File("empty.sh");
    dlg->m_strDropFile = Mp3(music.File("song.mp3"));
    EXPECT_FALSE(dlg->OpenInputFile());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"EcoDecoTooLでの変換に失敗しました。"});
    EXPECT_FALSE(runtest::Exists(temp));
    EXPECT_FALSE(runtest::Exists(h.folder.File("song.wav")));
}

// The program killed (SIGKILL) in the middle of a conversion, with a link, a second name of a
// file or the user's own file under the converter's output name, and a converter that is a
// wrapper around the real one. The converter's processes end with the program and write nothing;
// the entry waits in its private folder and goes back at the next start (or before the next
// conversion), which the trace tells. A file made at the name meanwhile is kept beside it under a
// name that says so, never over a file of that name that is there already.
TEST_F(ConverterRun, WhatAKilledProgramsConversionSetAsideGoesBackAtTheNextStartOrConversion) {
    const std::string marker = tools.File("written late");
    MakeScript(tools.File("wrapper.sh"), "#!/bin/sh\necho $$ >> \"$(dirname \"$0\")/calls.log\"\n\"$(dirname \"$0\")/late.sh\" \"$@\"\n",
               ReadyIni(h.folder.Path()));
    MakeScript(tools.File("late.sh"),
               "#!/bin/sh\necho $$ >> \"$(dirname \"$0\")/calls.log\"\nsleep 5\nbase=$(basename \"$1\")\necho late > \"" +
                   h.folder.Path() + "${base%.*}.wav\"\necho late > '" + marker + "'\n",
               ReadyIni(h.folder.Path()));
    batchtest::MakeStandIn(tools.File("conv.sh"), ReadyIni(h.folder.Path()));
    const std::string song = Mp3(music.File("song.mp3"));
    const std::string victim = music.File("victim.wav");
    const std::string entry = h.folder.File("song.wav");
    const std::string putBack = "RunConverter: put back " + entry + ", set aside by a conversion that did not end";
    for (const int kind : {0, 1, 2}) {  // a link, a hard link, the user's own file
        SCOPED_TRACE(kind);
        riffbytes::WriteFile(victim, "the user's song");
        riffbytes::WriteFile(tools.File("calls.log"), "");
        ASSERT_EQ(kind == 0 ? ::symlink(victim.c_str(), entry.c_str()) : kind == 1 ? ::link(victim.c_str(), entry.c_str()) : 0, 0);
        if (kind == 2) riffbytes::WriteFile(entry, "the user's own file");
        struct stat before {};
        ASSERT_EQ(::lstat(entry.c_str(), &before), 0);

        dlg->m_strConverterPath = tools.File("wrapper.sh");
        const pid_t program = ::fork();
        ASSERT_GE(program, 0);
        if (program == 0) {
            dlg->RunConverter(song, h.folder.File("temp.wav"));
            ::_exit(0);
        }
        const bool running = runtest::PumpUntil([&] { return Calls().size() == 2; }, 30.0);
        ::kill(program, SIGKILL);
        ASSERT_EQ(::waitpid(program, nullptr, 0), program);
        ASSERT_TRUE(running);
        // Left running, the real converter would end after writing; ended, it wrote nothing.
        for (const std::string& pid : Calls()) EXPECT_TRUE(processalive::EndsWithin(std::stoi(pid), 30.0));
        EXPECT_FALSE(runtest::Exists(marker)) << "the converter ran on after the program was killed";
        const std::vector<std::string> left = Held();
        ASSERT_EQ(left.size(), 1u);
        struct stat st {};
        ASSERT_EQ(::lstat((left[0] + "song.wav").c_str(), &st), 0);
        EXPECT_EQ(st.st_ino, before.st_ino);

        if (kind == 0) {  // the next start
            CWaveInOutDlg next(h.folder.Path());
            next.OnInitDialog();
            next.SendMessage(WM_CLOSE);
            EXPECT_EQ(Traced(putBack), 1);
        } else if (kind == 1) {  // the name taken again since
            riffbytes::WriteFile(entry, "a new file");
            const std::string first = KeptName(entry, " (unfinished conversion ", left[0], "");
            const std::string second = KeptName(entry, " (unfinished conversion ", left[0], " 2");
            riffbytes::WriteFile(first, "the user's file of that name");
            dlg->PutBackConverterSetAside(h.folder.Path());
            EXPECT_EQ(ReadFile(first), "the user's file of that name");
            EXPECT_EQ(ReadFile(second), "a new file");
            EXPECT_EQ(Traced(putBack + "; what was at its name is kept as " + second), 1);
            ::unlink(first.c_str());
            ::unlink(second.c_str());
        } else {  // the next conversion of the same song puts it back first
            dlg->m_strConverterPath = tools.File("conv.sh");
            dlg->m_strDropFile = song;
            EXPECT_TRUE(dlg->OpenInputFile());
            dlg->m_inputFile.Close();
            EXPECT_EQ(Traced(putBack), 2);
        }
        ASSERT_EQ(::lstat(entry.c_str(), &st), 0);
        EXPECT_EQ(st.st_ino, before.st_ino);
        EXPECT_EQ(st.st_mode, before.st_mode);
        EXPECT_TRUE(Held().empty());
        EXPECT_EQ(ReadFile(victim), "the user's song");
        EXPECT_TRUE(BoxTexts().empty());
        ::unlink(entry.c_str());
    }
}

// The program killed while the converter writes its output, where the user's file was under the
// output's name: a file of the user's named as the output (tune.wav for tune.mp3), or the user's
// own 48 kHz WAV in the program folder that was being converted. The next start puts the user's
// file back at its name and keeps the half-written output beside it, and the trace says both.
// What cannot go back at all (a private folder that holds two entries, which no conversion
// leaves) is told to the user at start with the folder it is in.
TEST_F(ConverterRun, AConversionKilledWhileWritingGetsTheUsersFileBackAndItsHalfOutputKeptBeside) {
    MakeScript(tools.File("writes.sh"),
               "#!/bin/sh\nbase=$(basename \"$1\")\nhead -c 50000 /dev/zero > \"" + h.folder.Path() +
                   "${base%.*}.wav\"\necho written >> \"$(dirname \"$0\")/calls.log\"\nexec sleep 60\n",
               ReadyIni(h.folder.Path()));
    dlg->m_strConverterPath = tools.File("writes.sh");
    const std::string tune = Mp3(music.File("tune.mp3"));
    for (const bool own48k : {false, true}) {
        SCOPED_TRACE(own48k ? "the user's 48 kHz WAV" : "the user's file at the output name");
        const std::string entry = h.folder.File(own48k ? "rate.wav" : "tune.wav");
        if (own48k) {
            WriteWav(entry, runtest::Tone(220.0, 48000), 1, 48000);
        } else {
            riffbytes::WriteFile(entry, "the user's tune");
        }
        const std::string content = ReadFile(entry);
        struct stat before {};
        ASSERT_EQ(::lstat(entry.c_str(), &before), 0);
        riffbytes::WriteFile(tools.File("calls.log"), "");
        const pid_t program = ::fork();
        ASSERT_GE(program, 0);
        if (program == 0) {
            dlg->RunConverter(own48k ? entry : tune, h.folder.File("temp.wav"));
            ::_exit(0);
        }
        const bool writing = runtest::PumpUntil([&] { return Calls().size() == 1; }, 30.0);
        ::kill(program, SIGKILL);
        ASSERT_EQ(::waitpid(program, nullptr, 0), program);
        ASSERT_TRUE(writing);
        // The half-written output under the user's name, the user's file aside.
        EXPECT_EQ(ReadFile(entry).size(), 50000u);
        const std::vector<std::string> aside = Held();
        ASSERT_EQ(aside.size(), 1u);
        const std::string kept = KeptName(entry, " (unfinished conversion ", aside[0], "");

        {
            CWaveInOutDlg next(h.folder.Path());
            next.OnInitDialog();
            next.SendMessage(WM_CLOSE);
        }
        struct stat after {};
        ASSERT_EQ(::lstat(entry.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_TRUE(ReadFile(entry) == content) << "the user's file is not back whole";
        EXPECT_EQ(ReadFile(kept).size(), 50000u);
        EXPECT_EQ(Traced("RunConverter: put back " + entry + ", set aside by a conversion that did not end; what was at its name is kept as " + kept), 1);
        EXPECT_TRUE(Held().empty());
        EXPECT_TRUE(BoxTexts().empty());
        ::unlink(kept.c_str());
    }

    const std::string stuck = h.folder.File(".sorvel-aside-Zz0123/");
    ASSERT_EQ(::mkdir(stuck.c_str(), 0700), 0);
    riffbytes::WriteFile(stuck + "a.wav", "a");
    riffbytes::WriteFile(stuck + "b.wav", "b");
    {
        CWaveInOutDlg next(h.folder.Path());
        next.OnInitDialog();
        next.SendMessage(WM_CLOSE);
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"変換の途中でソルベルが終了したため、次のファイルを元の場所に戻せませんでした。\r\n"
                                                   "ファイルは次のフォルダにあります。\r\n" + stuck + " (2個のファイル)"});
    EXPECT_EQ(ReadFile(stuck + "a.wav"), "a");
    EXPECT_FALSE(runtest::Exists(h.folder.File("a.wav")));
}

// Private folders that are not a killed conversion's own are left as they are at start: one a
// running conversion holds (its lock), one others may enter (mode 0755), a link to a folder and
// a folder of another user. Their entries stay where they are; nothing is told.
TEST_F(ConverterRun, TheStartLeavesSetAsideFoldersThatAreNotAKilledConversionsOwnAsTheyAre) {
    const std::string base = h.folder.Path();
    riffbytes::WriteFile(base + "held.wav", "held");
    set_aside::CHeldEntry running(base + "held.wav");
    ASSERT_TRUE(running.Ok());
    const auto plant = [&](const std::string& folder, const std::string& name) {
        EXPECT_EQ(::mkdir(folder.c_str(), 0700), 0);
        riffbytes::WriteFile(folder + "/" + name, name);
    };
    plant(base + ".sorvel-aside-open00", "open.wav");
    ASSERT_EQ(::chmod((base + ".sorvel-aside-open00").c_str(), 0755), 0);
    TempFolder elsewhere;
    plant(elsewhere.File("f"), "linked.wav");
    ASSERT_EQ(::symlink(elsewhere.File("f").c_str(), (base + ".sorvel-aside-link00").c_str()), 0);
    const bool root = ::geteuid() == 0;  // only the superuser can make a folder of another user
    if (root) {
        plant(base + ".sorvel-aside-other0", "other.wav");
        ASSERT_EQ(::chown((base + ".sorvel-aside-other0/other.wav").c_str(), 4242, 4242), 0);
        ASSERT_EQ(::chown((base + ".sorvel-aside-other0").c_str(), 4242, 4242), 0);
    }
    {
        CWaveInOutDlg next(base);
        next.OnInitDialog();
        next.SendMessage(WM_CLOSE);
    }
    for (const char* name : {"held.wav", "open.wav", "linked.wav", "other.wav"}) EXPECT_FALSE(runtest::Exists(base + name)) << name;
    EXPECT_EQ(ReadFile(running.Held()), "held");
    EXPECT_EQ(ReadFile(base + ".sorvel-aside-open00/open.wav"), "open.wav");
    EXPECT_EQ(ReadFile(elsewhere.File("f/linked.wav")), "linked.wav");
    if (root) {
        EXPECT_EQ(ReadFile(base + ".sorvel-aside-other0/other.wav"), "other.wav");
    }
    EXPECT_TRUE(BoxTexts().empty());
    // The running conversion puts its own entry back.
    EXPECT_TRUE(running.PutBack());
    EXPECT_EQ(ReadFile(base + "held.wav"), "held");
    if (!root) GTEST_SKIP() << "a folder of another user can be made only by the superuser; the other cases passed";
}

// A converter that fails after leaving a link under its output name: the user's file there goes
// back all the same, and the link is kept beside it under a name that says where it came from.
TEST_F(ConverterRun, WhatTookTheOutputNameDuringAConversionIsKeptBesideTheUsersFileThatGoesBack) {
    MakeScript(tools.File("links.sh"),
               "#!/bin/sh\nbase=$(basename \"$1\")\nln -s /nowhere \"" + h.folder.Path() + "${base%.*}.wav\"\nexit 1\n",
               ReadyIni(h.folder.Path()));
    dlg->m_strConverterPath = tools.File("links.sh");
    const std::string entry = h.folder.File("song.wav");
    riffbytes::WriteFile(entry, "the user's file");
    dlg->m_strDropFile = Mp3(music.File("song.mp3"));
    EXPECT_FALSE(dlg->OpenInputFile());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"EcoDecoTooLでの変換に失敗しました。"});
    EXPECT_EQ(ReadFile(entry), "the user's file");
    std::vector<std::string> kept;
    for (const auto& e : std::filesystem::directory_iterator(h.folder.Path())) {
        const std::string name = e.path().filename().string();
        if (name != "song.wav" && name != "debug.txt") kept.push_back(e.path().string());
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].rfind(h.folder.File("song (made during conversion "), 0), 0u) << kept[0];
    EXPECT_EQ(std::filesystem::read_symlink(kept[0]).string(), "/nowhere");
    EXPECT_EQ(Traced("RunConverter: what took the name " + entry + " during the conversion is kept as " + kept[0]), 1);
}

// A converter that leaves processes of its own behind when it ends (a wrapper's straggler, and
// one that moved to a session of its own) and writes no output: both end with the conversion,
// before they can write anything through the user's link, which is back under the output name.
TEST_F(ConverterRun, ProcessesTheConverterLeavesBehindEndWithTheConversionWhateverSessionTheyMovedTo) {
    const std::string marker = tools.File("written late");
    const std::string out = h.folder.File("song.wav");
    MakeScript(tools.File("leaves.sh"),
               "#!/bin/sh\nlog=\"$(dirname \"$0\")/calls.log\"\n(sleep 3; echo late > '" + marker + "') &\necho $! >> \"$log\"\n"
               "setsid sh -c 'echo $$ >> \"$0\"; sleep 3; echo late > \"$1\"; echo late > \"$2\"' \"$log\" '" + out + "' '" + marker + "' &\n"
               "while [ \"$(wc -l 2>/dev/null < \"$log\")\" != 2 ]; do sleep 0.01; done\nexit 0\n",
               ReadyIni(h.folder.Path()));
    TempFolder elsewhere;
    const std::string victim = elsewhere.File("victim.wav");
    riffbytes::WriteFile(victim, "the user's song");
    ASSERT_EQ(::symlink(victim.c_str(), out.c_str()), 0);
    dlg->m_strConverterPath = tools.File("leaves.sh");
    dlg->m_strDropFile = Mp3(music.File("song.mp3"));
    EXPECT_FALSE(dlg->OpenInputFile());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"EcoDecoTooLでの変換に失敗しました。"});
    ASSERT_EQ(Calls().size(), 2u);
    for (const std::string& pid : Calls()) EXPECT_FALSE(processalive::Runs(std::stoi(pid))) << "a straggler of the converter runs on";
    EXPECT_EQ(std::filesystem::read_symlink(out).string(), victim);
    EXPECT_FALSE(runtest::Exists(marker)) << "the converter's straggler ran on";
    EXPECT_EQ(ReadFile(victim), "the user's song");
}

// The user opens a link in the program folder to a WAV of another rate elsewhere: the link is
// the entry under the output's name itself. The converter reads the song through it where it
// was moved and writes a new file; the song keeps its bytes and the link stays.
TEST_F(ConverterRun, ASourceThatIsTheLinkAtTheOutputNameIsConvertedWithoutWritingThroughIt) {
    batchtest::MakeStandIn(tools.File("conv.sh"), ReadyIni(h.folder.Path()));
    const std::string song = music.File("rate.wav");
    WriteWav(song, runtest::Tone(220.0, 48000), 1, 48000);
    const std::string original = ReadFile(song);
    const std::string link = h.folder.File("rate.wav");
    ASSERT_EQ(::symlink(song.c_str(), link.c_str()), 0);
    dlg->m_strDropFile = link;
    ASSERT_TRUE(dlg->OpenInputFile());
    EXPECT_EQ(dlg->m_inputFile.m_fmt.nSamplesPerSec, 44100u);
    dlg->m_inputFile.Close();
    EXPECT_TRUE(ReadFile(song) == original) << "the song was written through the link";
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), song);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ConverterRun, AConvertedSourceWithSetIdBitsGivesNoSetIdCopy) {
    const std::string song = Mp3(music.File("tool.mp3"));
    // The user's set-user-id program under the converter's output name in the program folder,
    // and a converter settings file with its set-group-id bit.
    const std::string tool = h.folder.File("tool.wav");
    riffbytes::WriteFile(tool, "#!/bin/sh\n");
    ASSERT_EQ(::chmod(tool.c_str(), 04755), 0);
    ASSERT_EQ(::chmod(tools.File("conv.ini").c_str(), 02664), 0);
    dlg->m_strDropFile = song;
    ASSERT_TRUE(dlg->OpenInputFile());
    dlg->m_inputFile.Close();
    EXPECT_EQ(ReadFile(tool), "#!/bin/sh\n");
    // The user's program itself is put back as it was; nothing the conversion made has set-id bits.
    struct stat st {};
    for (const auto& entry : std::filesystem::directory_iterator(h.folder.Path())) {
        ASSERT_EQ(::lstat(entry.path().c_str(), &st), 0);
        if (entry.path() != tool) {
            EXPECT_EQ(st.st_mode & 07000, 0u) << entry.path();
        }
    }
    ASSERT_EQ(::stat(tool.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 04755u);
    ASSERT_EQ(::stat(tools.File("conv.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_NE(ReadFile(tools.File("conv.ini")).find("\r\nwav=1\r\n"), std::string::npos);
}

// A close request (a termination signal, the desktop's logout) while OPEN waits for the
// converter ends the converter as 中止 does, and the program then closes.
TEST_F(ConverterRun, ACloseRequestDuringTheConverterOfAFileRunEndsItAndThenTheProgram) {
    // A slow converter that notes its process id and then waits.
    MakeScript(tools.File("slow.sh"), "#!/bin/sh\necho $$ >> \"$(dirname \"$0\")/calls.log\"\nexec sleep 40\n",
               ReadyIni(h.folder.Path()));
    dlg->m_strConverterPath = tools.File("slow.sh");
    const std::string song = Mp3(music.File("song.mp3"));
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> posted{false};
    Clock::time_point postedAt{};
    // Posted from another thread, as the termination watch posts it, once the converter runs.
    std::thread requester([&] {
        const auto limit = Clock::now() + std::chrono::seconds(30);
        while (Calls().empty() && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (Calls().empty()) return;
        postedAt = Clock::now();
        posted.store(true);
        platform::ui::PostToQueue(dlg.get(), WM_CLOSE, 0, 0);
    });
    dlg->m_strDropFile = song;
    dlg->OnBnClickedOpen();
    const Clock::time_point returned = Clock::now();
    requester.join();
    ASSERT_TRUE(posted.load());
    // Long before the converter would have ended by itself, and with nothing left running.
    EXPECT_LT(returned - postedAt, std::chrono::seconds(20));
    const std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(::kill(static_cast<pid_t>(std::stol(calls[0])), 0), 0) << "the converter still runs";
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_TRUE(BoxTexts().empty());
    // The request then closes the program the ordinary way.
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->IsEnded(); }, 30.0));
    const auto trace = runtest::TraceLines(h.folder.File("debug.txt"));
    EXPECT_NE(std::find(trace.begin(), trace.end(), "98-END"), trace.end());
    EXPECT_FALSE(runtest::Exists(h.folder.File("song.wav")));
    EXPECT_FALSE(runtest::Exists(h.folder.File("temp.wav")));
}

}  // namespace

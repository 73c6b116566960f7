// The files a run leaves are made as new files: a link or a file found under the next name is
// left as it is and the next free name is taken; an output that cannot be written leaves no
// empty file behind.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "app/WaveInOutDlg.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/msgqueue.h"
#include "support/EngineHarness.h"
#include "support/FileSizeLimit.h"
#include "support/RiffBytes.h"
#include "support/TempFolder.h"

namespace {

using Texts = std::vector<std::string>;

bool Present(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string LinkTarget(const std::string& path) {
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

Texts Boxes() {
    platform::ui::DeliverPostedMessages();
    Texts texts;
    for (const auto& box : platform::ui::TakeHeadlessMessageBoxes()) texts.push_back(box.text);
    return texts;
}

class OutputFiles : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEngine(dlg);
        dlg.m_strOutputFolder = folder.Path();
        dlg.m_saveFile.SetOwner(&dlg);
        dlg.m_chkSave.SetCheck(BST_CHECKED);
        dlg.m_chkDump.SetCheck(BST_CHECKED);
        dlg.m_strInputFile = "/music/song.wav";
        platform::ui::TakeHeadlessMessageBoxes();
    }
    void TearDown() override {
        dlg.m_saveFile.Close();
        dlg.CloseDumpFile();
        Boxes();
    }
    // Opens the outputs of a live run (runState 1) or a file run (2), then closes them.
    void Open(int runState) {
        dlg.m_nRunState = runState;
        dlg.OpenOutputFiles(1, FALSE, 1);
        dlg.m_saveFile.Close();
        dlg.CloseDumpFile();
    }
    // Output files numbered 1 to 99 of the song, for WAV and dump alike, each holding "kept".
    void TakeNumbers1To99() {
        for (int n = 1; n <= 99; ++n) {
            char wav[32];
            char dump[32];
            std::snprintf(wav, sizeof wav, "song_%02d.wav", n);
            std::snprintf(dump, sizeof dump, "song_dump_%02d.txt", n);
            riffbytes::WriteFile(folder.File(wav), "kept");
            riffbytes::WriteFile(folder.File(dump), "kept");
        }
    }
    // A link under name in the output folder to a path in another folder that does not exist.
    std::string PlantLink(const std::string& name) {
        const std::string target = elsewhere.File(name + ".target");
        EXPECT_EQ(::symlink(target.c_str(), folder.File(name).c_str()), 0);
        return target;
    }

    TempFolder folder;
    TempFolder elsewhere;
    CWaveInOutDlg dlg{folder.Path()};
};

TEST_F(OutputFiles, LinksUnderTheNextNamesAreLeftAloneAndTheNextFreeNamesTaken) {
    const char* names[] = {"save_0000.wav", "dump_0000.txt", "song_01.wav", "song_dump_01.txt"};
    std::vector<std::string> targets;
    for (const char* name : names) targets.push_back(PlantLink(name));

    Open(1);
    Open(2);

    EXPECT_TRUE(Boxes().empty());
    for (std::size_t i = 0; i < targets.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_FALSE(Present(targets[i])) << "a file was made where the link points";
        EXPECT_EQ(LinkTarget(folder.File(names[i])), targets[i]);
    }
    for (const char* made : {"save_0001.wav", "dump_0001.txt", "song_02.wav", "song_dump_02.txt"}) {
        SCOPED_TRACE(made);
        struct stat st {};
        ASSERT_EQ(::lstat(folder.File(made).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_GT(st.st_size, 0);
    }
    EXPECT_EQ(dlg.m_nSaveCounter, 2);
    EXPECT_EQ(dlg.m_nDumpCounter, 2);
}

TEST_F(OutputFiles, TheHundredthNameIsOverwrittenWhenAllAreTakenButNeverThroughALink) {
    TakeNumbers1To99();
    // A plain file of the hundredth name is overwritten, as the message says.
    riffbytes::WriteFile(folder.File("song_100.wav"), "old");
    const std::string dumpTarget = PlantLink("song_dump_100.txt");
    riffbytes::WriteFile(dumpTarget, "someone's file");
    Open(2);
    EXPECT_EQ(Boxes(), (Texts{"連番が100を超えています。ファイルを消去して下さい。\r\n今回は_100.wavとして保存します。",
                              "連番が100を超えています。ファイルを消去して下さい。\r\n今回は_dump_100.txtとして保存します。",
                              "_dump_xx.txt open error !"}));
    EXPECT_EQ(riffbytes::ReadFile(folder.File("song_100.wav")).size(), 44u);
    EXPECT_EQ(riffbytes::ReadFile(dumpTarget), "someone's file");
    EXPECT_EQ(riffbytes::ReadFile(folder.File("song_dump_07.txt")), "kept");
}

// The hundredth name is a second name of another file (a hard link): that file keeps its data,
// and a new output takes the name.
TEST_F(OutputFiles, TheHundredthNameThatSharesItsFileWithAnotherNameGetsANewFile) {
    TakeNumbers1To99();
    const std::string sharedWav = elsewhere.File("shared.wav");
    const std::string sharedDump = elsewhere.File("shared.txt");
    riffbytes::WriteFile(sharedWav, "someone's recording");
    riffbytes::WriteFile(sharedDump, "someone's notes");
    ASSERT_EQ(::link(sharedWav.c_str(), folder.File("song_100.wav").c_str()), 0);
    ASSERT_EQ(::link(sharedDump.c_str(), folder.File("song_dump_100.txt").c_str()), 0);
    Open(2);
    EXPECT_EQ(Boxes(), (Texts{"連番が100を超えています。ファイルを消去して下さい。\r\n今回は_100.wavとして保存します。",
                              "連番が100を超えています。ファイルを消去して下さい。\r\n今回は_dump_100.txtとして保存します。"}));
    EXPECT_EQ(riffbytes::ReadFile(sharedWav), "someone's recording");
    EXPECT_EQ(riffbytes::ReadFile(sharedDump), "someone's notes");
    struct stat st {};
    ASSERT_EQ(::lstat(folder.File("song_100.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_EQ(riffbytes::ReadFile(folder.File("song_100.wav")).size(), 44u);
    ASSERT_EQ(::lstat(folder.File("song_dump_100.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_EQ(riffbytes::ReadFile(folder.File("song_dump_100.txt")).rfind("sorvel\t", 0), 0u);
}

TEST_F(OutputFiles, OutputsThatCannotBeWrittenLeaveNoEmptyFiles) {
    {
        FileSizeLimit limit(0);  // a full disk: files can be made, nothing written into them
        Open(1);
    }
    // The WAV's own failure is reported by the file object; the dump's comes as a notice.
    EXPECT_EQ(Boxes(), (Texts{"wav04: mmioCreateChunk(WAVE) failed.",
                              "dump01: ディスクに書き込めないため、ピッチダンプファイルの書き込みを中止しました。"}));
    EXPECT_FALSE(Present(folder.File("save_0000.wav")));
    EXPECT_FALSE(Present(folder.File("dump_0000.txt")));
}

TEST_F(OutputFiles, DumpRowThatCannotBeWrittenEndsTheDumpAfterTheLastWholeRow) {
    dlg.m_chkSave.SetCheck(BST_UNCHECKED);
    dlg.m_nRunState = 1;
    dlg.OpenOutputFiles(1, FALSE, 1);
    ASSERT_NE(dlg.m_pDumpFile, nullptr);
    const std::string path = folder.File("dump_0000.txt");
    const std::size_t header = riffbytes::ReadFile(path).size();
    {
        FileSizeLimit limit(header + 100);  // two rows and a part of the third fit
        for (int i = 0; i < 10; ++i) dlg.WriteDumpLine(i * 441, i * 441 + 441, 5000, 1);
    }
    EXPECT_EQ(dlg.m_pDumpFile, nullptr);
    EXPECT_EQ(Boxes(), Texts{"dump01: ディスクに書き込めないため、ピッチダンプファイルの書き込みを中止しました。"});
    const std::string text = riffbytes::ReadFile(path);
    ASSERT_GT(text.size(), header);
    EXPECT_LE(text.size(), header + 100);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(text.find('\0'), std::string::npos);
}

}  // namespace

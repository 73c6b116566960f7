// Writing WAV files: the header bytes, sizes fixed at close, the 32-bit size limit, new files
// that never replace a file nor follow a link, every open failure reported through the owner's
// trace and a message box with the file left closed, and a failed sample write that keeps what
// the file got.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "audio/WaveFile.h"
#include "platform/base/paths.h"
#include "support/FileSizeLimit.h"
#include "support/RiffBytes.h"
#include "support/StrictWav.h"
#include "support/TempFolder.h"
#include "support/TracedOwner.h"

using namespace riffbytes;

namespace {

using Texts = std::vector<std::string>;

// The largest data chunk the writer lets grow: RIFF size 36 + data stays within 32 bits, even.
constexpr std::int64_t kMaxData = 0xFFFFFFDALL;

class WaveFileWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_file.SetOwner(m_owner.Dialog());
        m_file.SetFormat(1);
    }

    TracedOwner m_owner;
    CWaveFile m_file;
    std::string m_path = m_owner.Folder().File("out.wav");
};

TEST_F(WaveFileWriteTest, EmptyMonoFileIsTheFortyFourByteHeaderWithSizes36And0) {
    WriteFile(m_path, std::string(1000, 'x'));  // an earlier file of that name is replaced
    ASSERT_EQ(m_file.OpenWrite(m_path), 0u);
    EXPECT_EQ(mmioTell(m_file.m_hmmio), 44);
    // Before Close the file is already a valid empty WAV file.
    const std::string open = ReadFile(m_path);
    ASSERT_EQ(open.size(), 44u);
    EXPECT_EQ(ReadLe32(open, 4), 36u);
    EXPECT_EQ(ReadLe32(open, 40), 0u);

    ASSERT_EQ(m_file.Close(), 0u);
    const std::string expected = std::string("RIFF") + Le32(36) + "WAVE" + "fmt " + Le32(16) + Le16(1) + Le16(1) +
                                 Le32(44100) + Le32(88200) + Le16(2) + Le16(16) + "data" + Le32(0);
    EXPECT_EQ(ReadFile(m_path), expected);
    EXPECT_FALSE(m_file.IsOpen());
    EXPECT_TRUE(m_owner.TraceLines().empty());
    EXPECT_TRUE(TracedOwner::TakeBoxes().empty());
}

TEST_F(WaveFileWriteTest, StereoHeaderStatesTwoChannelsAndDoubleRates) {
    m_file.SetFormat(2);
    ASSERT_EQ(m_file.OpenWrite(m_path), 0u);
    const short samples[4] = {1, -1, 32767, -32768};
    ASSERT_EQ(m_file.Write(samples, sizeof samples), 8);
    ASSERT_EQ(m_file.Close(), 0u);
    const std::string bytes = ReadFile(m_path);
    ASSERT_EQ(bytes.size(), 52u);
    EXPECT_EQ(ReadLe16(bytes, 22), 2u);
    EXPECT_EQ(ReadLe32(bytes, 24), 44100u);
    EXPECT_EQ(ReadLe32(bytes, 28), 176400u);
    EXPECT_EQ(ReadLe16(bytes, 32), 4u);
    EXPECT_EQ(ReadLe16(bytes, 34), 16u);
    EXPECT_EQ(ReadLe32(bytes, 4), 44u);
    EXPECT_EQ(ReadLe32(bytes, 40), 8u);
    EXPECT_EQ(bytes.substr(44), Le16(1) + Le16(0xFFFF) + Le16(0x7FFF) + Le16(0x8000));
}

TEST_F(WaveFileWriteTest, OddDataGetsAPadByteCountedInTheRiffSizeOnly) {
    ASSERT_EQ(m_file.OpenWrite(m_path), 0u);
    ASSERT_EQ(m_file.Write("abc", 3), 3);
    ASSERT_EQ(mmioWrite(m_file.m_hmmio, "de", 2), 2);  // direct appends count the same
    ASSERT_EQ(m_file.Close(), 0u);
    const std::string bytes = ReadFile(m_path);
    ASSERT_EQ(bytes.size(), 50u);
    EXPECT_EQ(ReadLe32(bytes, 40), 5u);
    EXPECT_EQ(ReadLe32(bytes, 4), 42u);
    EXPECT_EQ(bytes.substr(44), std::string("abcde") + '\0');
}

TEST_F(WaveFileWriteTest, SizesStateEveryBlockAsSoonAsItIsWritten) {
    // A writer killed between blocks leaves a file that plays everything written so far.
    ASSERT_EQ(m_file.OpenWrite(m_path), 0u);
    std::vector<short> block(4096);
    for (int b = 1; b <= 3; ++b) {
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<short>(b * 1000 + static_cast<int>(i % 7));
        ASSERT_EQ(m_file.Write(block.data(), 8192), 8192);
        strictwav::Audio audio;
        std::string why;
        ASSERT_TRUE(strictwav::Read(m_path, &audio, &why)) << "after block " << b << ": " << why;
        ASSERT_EQ(audio.samples.size(), 4096u * static_cast<unsigned>(b));
        EXPECT_EQ(audio.samples.back(), static_cast<short>(b * 1000 + 4095 % 7));
    }
    ASSERT_EQ(m_file.Close(), 0u);
}

TEST_F(WaveFileWriteTest, DataChunkStopsGrowingWhereItsSizesStillFitIn32Bits) {
    // The file is sparse: only its header and last bytes take room on disk.
    ASSERT_EQ(m_file.OpenWrite(m_path), 0u);
    ASSERT_EQ(mmioSeek64(m_file.m_hmmio, 44 + kMaxData - 4, SEEK_SET), 44 + kMaxData - 4);
    EXPECT_FALSE(m_file.IsFull());
    EXPECT_EQ(m_file.Write("0123456789", 10), 4);
    EXPECT_TRUE(m_file.IsFull());
    // Full, the file is already complete: its sizes state all of it before Close.
    const std::string before = ReadHead(m_path, 44);
    EXPECT_EQ(ReadLe32(before, 40), static_cast<std::uint32_t>(kMaxData));
    EXPECT_EQ(ReadLe32(before, 4), static_cast<std::uint32_t>(36 + kMaxData));
    EXPECT_EQ(m_file.Write("0123456789", 10), 0);
    ASSERT_EQ(m_file.Close(), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(m_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 44 + kMaxData);
    const std::string header = ReadHead(m_path, 44);
    EXPECT_EQ(ReadLe32(header, 40), static_cast<std::uint32_t>(kMaxData));
    EXPECT_EQ(ReadLe32(header, 4), static_cast<std::uint32_t>(36 + kMaxData));
}

TEST_F(WaveFileWriteTest, BytesWrittenPastTheLimitOnTheHandleStayOutsideTheChunk) {
    ASSERT_EQ(m_file.OpenWrite(m_path), 0u);
    mmioSeek64(m_file.m_hmmio, 44 + kMaxData - 2, SEEK_SET);
    ASSERT_EQ(mmioWrite(m_file.m_hmmio, "0123456789", 10), 10);
    ASSERT_EQ(m_file.Close(), 0u);
    const std::string header = ReadHead(m_path, 44);
    EXPECT_EQ(ReadLe32(header, 40), static_cast<std::uint32_t>(kMaxData));
    EXPECT_EQ(ReadLe32(header, 4), static_cast<std::uint32_t>(36 + kMaxData));
}

TEST_F(WaveFileWriteTest, SecondOpenIsRefusedAndTheOpenFileGoesOnUntouched) {
    ASSERT_EQ(m_file.OpenWrite(m_path), 0u);
    ASSERT_EQ(m_file.Write("ab", 2), 2);
    EXPECT_EQ(m_file.OpenWrite(m_owner.Folder().File("other.wav")), MMIOERR_CANNOTOPEN);
    EXPECT_EQ(m_file.OpenRead(m_path), MMIOERR_CANNOTOPEN);
    EXPECT_FALSE(platform::FileExists(m_owner.Folder().File("other.wav")));
    ASSERT_EQ(m_file.Write("cd", 2), 2);
    ASSERT_EQ(m_file.Close(), 0u);
    EXPECT_EQ(ReadLe32(ReadFile(m_path), 40), 4u);
    const Texts expected = {"wav01: Wave write file is already open.", "wav09: Wave read file is already open."};
    EXPECT_EQ(m_owner.TraceLines(), expected);
    EXPECT_EQ(TracedOwner::TakeBoxes(), expected);
}

TEST_F(WaveFileWriteTest, OpenFailuresAreReportedWithTheirCodesAndLeaveTheObjectReusable) {
    WriteFile(m_owner.Folder().File("plain"), "x");
    struct Case {
        const char* what;
        std::string name;
        UINT code;
        const char* text;
    };
    const Case cases[] = {
        {"empty name", "", MMIOERR_FILENOTFOUND, "wav02: Invalid write file name."},
        {"missing folder", m_owner.Folder().File("no/out.wav"), MMIOERR_FILENOTFOUND, "wav03: save.wav open error !"},
        {"file as folder", m_owner.Folder().File("plain/out.wav"), MMIOERR_PATHNOTFOUND, "wav03: save.wav open error !"},
        {"folder as file", m_owner.Folder().Path(), MMIOERR_CANNOTOPEN, "wav03: save.wav open error !"},
        {"full disk", "/dev/full", MMIOERR_CANNOTWRITE, "wav04: mmioCreateChunk(WAVE) failed."},
    };
    Texts expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(m_file.OpenWrite(c.name), c.code);
        EXPECT_FALSE(m_file.IsOpen());
        EXPECT_EQ(m_file.Close(), 0u);
        expected.push_back(c.text);
    }
    EXPECT_EQ(m_owner.TraceLines(), expected);
    EXPECT_EQ(TracedOwner::TakeBoxes(), expected);
    ASSERT_EQ(m_file.OpenWrite(m_path), 0u);
    EXPECT_EQ(m_file.Close(), 0u);
}

TEST_F(WaveFileWriteTest, ReadOnlyFolderIsReportedAsOpenError) {
    // Folder permissions do not bind the superuser: as one, the open is made by a child that has
    // become an ordinary user (nobody) and reports the code and the boxes back.
    const std::string folder = m_owner.Folder().File("locked");
    ASSERT_EQ(::mkdir(folder.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(m_owner.Folder().Path().c_str(), 0755), 0);
    const std::string path = folder + "/out.wav";
    const auto open = [&] {
        const UINT code = m_file.OpenWrite(path);
        std::string report = std::to_string(code) + (m_file.IsOpen() ? " open" : " closed");
        for (const std::string& box : TracedOwner::TakeBoxes()) report += "|" + box;
        return report;
    };
    std::string report;
    if (::geteuid() != 0) {
        report = open();
    } else {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            std::string r = "could not become nobody";
            if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0) r = open();
            (void)!::write(fds[1], r.data(), r.size());
            ::_exit(0);
        }
        ::close(fds[1]);
        char buf[512];
        ssize_t n;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0) report.append(buf, static_cast<std::size_t>(n));
        ::close(fds[0]);
        ::waitpid(child, nullptr, 0);
    }
    EXPECT_EQ(report, std::to_string(MMIOERR_ACCESSDENIED) + " closed|wav03: save.wav open error !");
    EXPECT_FALSE(platform::FileExists(path));
}

TEST_F(WaveFileWriteTest, FailedSampleWriteKeepsTheWholeFramesUnderTrueSizesAndEndsSaving) {
    struct Case {
        const char* what;
        int channels;
        rlim_t limit;
        LONG append;
        LONG kept;
    };
    // Mono, 4 of 6 bytes fit: two whole samples stay. Stereo, 6 of 8 bytes fit: one whole frame
    // stays, the cut one goes.
    const Case cases[] = {{"mono", 1, 48, 6, 4}, {"stereo", 2, 50, 8, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TracedOwner owner;
        CWaveFile file;
        file.SetOwner(owner.Dialog());
        file.SetFormat(c.channels);
        const std::string path = owner.Folder().File("out.wav");
        UINT opened = 0;
        LONG put = 0;
        LONG after = 0;
        bool failed = false;
        UINT closed = 0;
        {
            FileSizeLimit limit(c.limit);
            opened = file.OpenWrite(path);
            put = file.Write("abcdefgh", c.append);
            failed = file.WriteFailed();
            after = file.Write("ab", 2);  // saving has ended: nothing more goes in
            closed = file.Close();
        }
        EXPECT_EQ(opened, 0u);
        EXPECT_EQ(put, c.kept);
        EXPECT_TRUE(failed);
        EXPECT_EQ(after, -1);
        // The file object does not tell (its owner does, at once); Close still returns the code.
        EXPECT_EQ(closed, MMIOERR_CANNOTWRITE);
        EXPECT_TRUE(owner.TraceLines().empty());
        EXPECT_TRUE(TracedOwner::TakeBoxes().empty());
        const std::string bytes = ReadFile(path);
        ASSERT_EQ(bytes.size(), 44u + static_cast<std::size_t>(c.kept));
        EXPECT_EQ(ReadLe32(bytes, 40), static_cast<std::uint32_t>(c.kept));
        EXPECT_EQ(ReadLe32(bytes, 4), static_cast<std::uint32_t>(bytes.size() - 8));
        EXPECT_EQ(bytes.substr(44), std::string("abcd"));
    }
}

TEST_F(WaveFileWriteTest, PadByteThatDoesNotFitIsReportedByClose) {
    UINT opened = 0;
    LONG put = 0;
    UINT closed = 0;
    {
        FileSizeLimit limit(49);  // the five sample bytes fit, the pad byte written at close does not
        opened = m_file.OpenWrite(m_path);
        put = m_file.Write("abcde", 5);
        closed = m_file.Close();
    }
    EXPECT_EQ(opened, 0u);
    EXPECT_EQ(put, 5);
    EXPECT_FALSE(m_file.WriteFailed());
    EXPECT_EQ(closed, MMIOERR_CANNOTWRITE);
    EXPECT_EQ(m_owner.TraceLines(), Texts{"wav08: mmioClose() failed."});
    EXPECT_EQ(TracedOwner::TakeBoxes(), Texts{"wav08: mmioClose() failed."});
    const std::string bytes = ReadFile(m_path);
    EXPECT_EQ(ReadLe32(bytes, 40), 5u);
}

TEST_F(WaveFileWriteTest, NewFileIsMadeOnlyWhereNothingIsAndNeverThroughALink) {
    TempFolder elsewhere;
    const std::string target = elsewhere.File("target.wav");
    const std::string link = m_owner.Folder().File("link.wav");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    WriteFile(m_path, "someone's file");
    // Taken names come back quietly, untouched, so the caller can take the next one.
    EXPECT_EQ(m_file.OpenWrite(link, true), MMIOERR_FILEEXISTS);
    EXPECT_EQ(m_file.OpenWrite(m_path, true), MMIOERR_FILEEXISTS);
    EXPECT_FALSE(m_file.IsOpen());
    EXPECT_TRUE(TracedOwner::TakeBoxes().empty());
    EXPECT_FALSE(platform::FileExists(target));
    EXPECT_EQ(ReadFile(m_path), "someone's file");
    // Replacing a file never goes through a link either.
    EXPECT_EQ(m_file.OpenWrite(link), MMIOERR_CANNOTOPEN);
    EXPECT_EQ(TracedOwner::TakeBoxes(), Texts{"wav03: save.wav open error !"});
    EXPECT_FALSE(platform::FileExists(target));
    // A free name is made.
    const std::string fresh = m_owner.Folder().File("fresh.wav");
    ASSERT_EQ(m_file.OpenWrite(fresh, true), 0u);
    ASSERT_EQ(m_file.Close(), 0u);
    EXPECT_EQ(ReadFile(fresh).size(), 44u);
}

TEST_F(WaveFileWriteTest, NewFileWhoseHeaderCannotBeWrittenIsRemovedAgain) {
    UINT code = 0;
    {
        FileSizeLimit limit(20);  // the RIFF header fits, the format chunk does not
        code = m_file.OpenWrite(m_path, true);
    }
    EXPECT_EQ(code, MMIOERR_CANNOTWRITE);
    EXPECT_FALSE(m_file.IsOpen());
    EXPECT_EQ(TracedOwner::TakeBoxes(), Texts{"wav06: mmioWrite() failed."});
    struct stat st {};
    EXPECT_NE(::lstat(m_path.c_str(), &st), 0) << "an empty or headless file was left";
}

TEST_F(WaveFileWriteTest, ResetClosesAnOpenOutputWithItsSizesFixed) {
    ASSERT_EQ(m_file.OpenWrite(m_path), 0u);
    ASSERT_EQ(m_file.Write("abcd", 4), 4);
    m_file.Reset();
    EXPECT_FALSE(m_file.IsOpen());
    EXPECT_EQ(m_file.m_ckData.ckid, 0u);
    EXPECT_EQ(m_file.m_ckRiff.ckid, 0u);
    const std::string bytes = ReadFile(m_path);
    EXPECT_EQ(ReadLe32(bytes, 4), 40u);
    EXPECT_EQ(ReadLe32(bytes, 40), 4u);
    EXPECT_TRUE(TracedOwner::TakeBoxes().empty());
}

TEST_F(WaveFileWriteTest, DestructionClosesAFileItsOwnerLeftOpen) {
    {
        CWaveFile file;
        file.SetFormat(1);
        ASSERT_EQ(file.OpenWrite(m_path), 0u);
        ASSERT_EQ(file.Write("ab", 2), 2);
    }
    EXPECT_EQ(ReadLe32(ReadFile(m_path), 40), 2u);
}

TEST_F(WaveFileWriteTest, SamplesMoveOnlyTheWayTheFileWasOpened) {
    char buf[2];
    EXPECT_EQ(m_file.Write("ab", 2), -1);
    EXPECT_EQ(m_file.Read(buf, 2), -1);
    WriteFile(m_path, Wave(1, "abcd"));
    ASSERT_EQ(m_file.OpenRead(m_path), 0u);
    EXPECT_EQ(m_file.Write("zz", 2), -1);
    ASSERT_EQ(m_file.Close(), 0u);
    EXPECT_EQ(ReadFile(m_path), Wave(1, "abcd"));
    ASSERT_EQ(m_file.OpenWrite(m_path), 0u);
    EXPECT_EQ(m_file.Read(buf, 2), -1);
    EXPECT_EQ(m_file.Close(), 0u);
    EXPECT_EQ(m_file.Close(), 0u);  // closing a closed object does nothing
    EXPECT_TRUE(TracedOwner::TakeBoxes().empty());
}

}  // namespace

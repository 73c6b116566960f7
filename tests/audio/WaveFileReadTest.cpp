// Reading WAV files: the format and data found among other chunks, reads that end with the data
// chunk, every read failure reported and closed, and a corpus of damaged files that must neither
// crash, hang nor leak a descriptor.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "audio/WaveFile.h"
#include "support/RiffBytes.h"
#include "support/TracedOwner.h"

using namespace riffbytes;

namespace {

using Texts = std::vector<std::string>;

int OpenDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

class WaveFileReadTest : public ::testing::Test {
protected:
    void SetUp() override { m_file.SetOwner(m_owner.Dialog()); }

    UINT OpenBytes(const std::string& bytes) {
        WriteFile(m_path, bytes);
        return m_file.OpenRead(m_path);
    }

    // Everything Read gives until it reports the end, in uneven pieces.
    std::string ReadAll() {
        std::string out;
        char buf[7];
        for (;;) {
            const LONG got = m_file.Read(buf, sizeof buf);
            if (got <= 0) break;
            out.append(buf, static_cast<std::size_t>(got));
        }
        return out;
    }

    TracedOwner m_owner;
    CWaveFile m_file;
    std::string m_path = m_owner.Folder().File("in.wav");
};

TEST_F(WaveFileReadTest, WrittenFileReadsBackWithItsFormatSizeAndSamples) {
    CWaveFile out;
    out.SetFormat(2);
    ASSERT_EQ(out.OpenWrite(m_path), 0u);
    ASSERT_EQ(out.Write("0123456789ab", 12), 12);
    ASSERT_EQ(out.Close(), 0u);

    m_file.m_fmt.cbSize = 5;
    ASSERT_EQ(m_file.OpenRead(m_path), 0u);
    EXPECT_EQ(mmioTell(m_file.m_hmmio), 44);
    EXPECT_EQ(m_file.m_fmt.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(m_file.m_fmt.nChannels, 2);
    EXPECT_EQ(m_file.m_fmt.nSamplesPerSec, 44100u);
    EXPECT_EQ(m_file.m_fmt.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(m_file.m_fmt.nBlockAlign, 4);
    EXPECT_EQ(m_file.m_fmt.wBitsPerSample, 16);
    EXPECT_EQ(m_file.m_fmt.cbSize, 0);  // a 16-byte "fmt " leaves it 0
    EXPECT_EQ(m_file.m_dwDataSize, 12u);
    EXPECT_EQ(ReadAll(), "0123456789ab");
    EXPECT_EQ(m_file.Close(), 0u);
    EXPECT_EQ(ReadFile(m_path).size(), 56u);  // closing a read file changes nothing
}

TEST_F(WaveFileReadTest, LongFmtIsTakenAsItsFirstEighteenBytesAndSkipped) {
    std::string fmt = Le16(0xFFFE) + Le16(2) + Le32(48000) + Le32(192000) + Le16(4) + Le16(16) + Le16(22);
    fmt += std::string(22, 'e');
    ASSERT_EQ(fmt.size(), 40u);
    ASSERT_EQ(OpenBytes(Riff("WAVE", Chunk("fmt ", fmt) + Chunk("data", "wxyz"))), 0u);
    EXPECT_EQ(m_file.m_fmt.wFormatTag, 0xFFFE);
    EXPECT_EQ(m_file.m_fmt.nSamplesPerSec, 48000u);
    EXPECT_EQ(m_file.m_fmt.cbSize, 22);
    EXPECT_EQ(ReadAll(), "wxyz");
    EXPECT_EQ(m_file.Close(), 0u);
}

TEST_F(WaveFileReadTest, OtherChunksAroundFmtAndDataAreSkipped) {
    const std::string body = Chunk("JUNK", "odd") + Chunk("fmt ", PcmFmt(1)) + Chunk("fact", Le32(2)) +
                             Chunk("LIST", "INFOx") + Chunk("data", "pq");
    ASSERT_EQ(OpenBytes(Chunk("pre ", "12") + Riff("WAVE", body)), 0u);
    EXPECT_EQ(m_file.m_fmt.nChannels, 1);
    EXPECT_EQ(ReadAll(), "pq");
    EXPECT_EQ(m_file.Close(), 0u);
}

TEST_F(WaveFileReadTest, ReadingStopsAtTheEndOfTheDataChunkBeforeTrailingChunks) {
    const std::string tail = Chunk("LIST", "INFOISFT" + Le32(6) + "tool1\0") + Chunk("id3 ", "ID3tag");
    ASSERT_EQ(OpenBytes(Riff("WAVE", Chunk("fmt ", PcmFmt(1)) + Chunk("data", "abcde") + tail)), 0u);
    EXPECT_EQ(m_file.m_dwDataSize, 5u);
    EXPECT_EQ(ReadAll(), "abcde");  // without the pad byte
    char more[4];
    EXPECT_EQ(m_file.Read(more, 4), 0);
    EXPECT_EQ(m_file.Close(), 0u);
}

TEST_F(WaveFileReadTest, DataSizeLargerThanTheFileIsKeptAndReadsEndAtTheFileEnd) {
    ASSERT_EQ(OpenBytes(Riff("WAVE", Chunk("fmt ", PcmFmt(1)) + Chunk("data", "", 1000) + "0123456789")), 0u);
    EXPECT_EQ(m_file.m_dwDataSize, 1000u);
    EXPECT_EQ(ReadAll(), "0123456789");
    EXPECT_EQ(m_file.Close(), 0u);
}

TEST_F(WaveFileReadTest, OpenFailuresAreReportedClosedAndLeaveTheObjectReusable) {
    const std::string fmt = Chunk("fmt ", PcmFmt(1));
    WriteFile(m_owner.Folder().File("good.wav"), Wave(1, "ok"));
    struct Case {
        const char* what;
        std::string bytes;  // written to in.wav; empty: the name below is used as it is
        std::string name;
        UINT code;
        const char* text;
    };
    const Case cases[] = {
        {"empty name", "", "", MMIOERR_FILENOTFOUND, "wav10: Invalid read file name."},
        {"missing file", "", m_owner.Folder().File("missing.wav"), MMIOERR_FILENOTFOUND, "wav11: mmioOpen(MMIO_READ) failed."},
        {"folder", "", m_owner.Folder().Path(), MMIOERR_CANNOTOPEN, "wav11: mmioOpen(MMIO_READ) failed."},
        {"empty file", std::string(), m_path, MMIOERR_CHUNKNOTFOUND, "wav12: mmioDescend(WAVE) failed."},
        {"not RIFF", "plain text, not a sound file at all", m_path, MMIOERR_CHUNKNOTFOUND, "wav12: mmioDescend(WAVE) failed."},
        {"other form", Riff("AVI ", Chunk("fmt ", PcmFmt(1))), m_path, MMIOERR_CHUNKNOTFOUND, "wav12: mmioDescend(WAVE) failed."},
        {"no fmt", Riff("WAVE", Chunk("data", "ab")), m_path, MMIOERR_CHUNKNOTFOUND, "wav13: mmioDescend(fmt ) failed."},
        {"short fmt", Riff("WAVE", Chunk("fmt ", "", 18) + "0123456789"), m_path, MMIOERR_CANNOTREAD, "wav14: mmioRead() failed."},
        {"data before fmt", Riff("WAVE", Chunk("data", "ab") + fmt), m_path, MMIOERR_CHUNKNOTFOUND, "wav15: mmioDescend(data) failed."},
        {"no data", Riff("WAVE", fmt), m_path, MMIOERR_CHUNKNOTFOUND, "wav15: mmioDescend(data) failed."},
    };
    const int descriptors = OpenDescriptors();
    Texts expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.name == m_path) WriteFile(m_path, c.bytes);
        EXPECT_EQ(m_file.OpenRead(c.name), c.code);
        EXPECT_FALSE(m_file.IsOpen());
        EXPECT_EQ(m_file.m_dwDataSize, 0u);
        expected.push_back(c.text);
        // Nothing is left half open: the next file opens at once.
        ASSERT_EQ(m_file.OpenRead(m_owner.Folder().File("good.wav")), 0u);
        EXPECT_EQ(ReadAll(), "ok");
        EXPECT_EQ(m_file.Close(), 0u);
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(m_owner.TraceLines(), expected);
    EXPECT_EQ(TracedOwner::TakeBoxes(), expected);
}

TEST_F(WaveFileReadTest, SecondOpenIsRefusedAndResetClosesTheFirst) {
    ASSERT_EQ(OpenBytes(Wave(1, "abcd")), 0u);
    EXPECT_EQ(m_file.OpenRead(m_path), MMIOERR_CANNOTOPEN);
    m_file.SetFormat(1);
    EXPECT_EQ(m_file.OpenWrite(m_owner.Folder().File("out.wav")), MMIOERR_CANNOTOPEN);
    char two[2];
    EXPECT_EQ(m_file.Read(two, 2), 2);  // the first file is still there, where it was
    const int descriptors = OpenDescriptors();
    m_file.Reset();
    EXPECT_FALSE(m_file.IsOpen());
    EXPECT_EQ(OpenDescriptors(), descriptors - 1);
    ASSERT_EQ(m_file.OpenRead(m_path), 0u);
    EXPECT_EQ(ReadAll(), "abcd");
    const Texts expected = {"wav09: Wave read file is already open.", "wav01: Wave write file is already open."};
    EXPECT_EQ(m_owner.TraceLines(), expected);
    EXPECT_EQ(TracedOwner::TakeBoxes(), expected);
}

// Damaged files: each must open or fail with a report, read at most what the file holds and
// close, under the sanitizers, without hanging and without keeping a descriptor.
class DamagedWaveFileTest : public WaveFileReadTest {
protected:
    void Survive(const std::string& bytes) {
        const UINT rc = OpenBytes(bytes);
        if (rc == 0) {
            EXPECT_LE(ReadAll().size(), std::min<std::size_t>(m_file.m_dwDataSize, bytes.size()));
            EXPECT_EQ(m_file.Close(), 0u);
        }
        EXPECT_FALSE(m_file.IsOpen());
    }

    const std::string m_full = Riff("WAVE", Chunk("fmt ", PcmFmt(2)) + Chunk("data", "0123456789abc") +
                                            Chunk("LIST", "INFOINAM" + Le32(3) + "ab\0"));
};

TEST_F(DamagedWaveFileTest, EveryTruncationOpensOrFailsCleanly) {
    const int descriptors = OpenDescriptors();
    for (std::size_t len = 0; len <= m_full.size(); ++len) {
        SCOPED_TRACE(len);
        Survive(m_full.substr(0, len));
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    // Cut inside the samples: what is there is read.
    ASSERT_EQ(OpenBytes(m_full.substr(0, 50)), 0u);
    EXPECT_EQ(ReadAll(), "012345");
    TracedOwner::TakeBoxes();
}

TEST_F(DamagedWaveFileTest, HostileSizesOpenOrFailCleanly) {
    const std::string fmt = Chunk("fmt ", PcmFmt(1));
    const std::string data = Chunk("data", "abcd");
    const std::vector<std::string> corpus = {
        Riff("WAVE", fmt + data, 0),
        Riff("WAVE", fmt + data, 4),
        Riff("WAVE", fmt + data, 0xFFFFFFFFu),
        Riff("WAVE", fmt + data, 0xFFFFFFF8u),
        Riff("WAVE", Chunk("fmt ", PcmFmt(1), 0) + data),
        Riff("WAVE", Chunk("fmt ", PcmFmt(1), 0xFFFFFFFFu) + data),
        Riff("WAVE", Chunk("fmt ", PcmFmt(1), 0xFFFFFFF8u) + data),
        Riff("WAVE", Chunk("fmt ", PcmFmt(1), 17) + data),
        Riff("WAVE", fmt + Chunk("JUNK", "", 0xFFFFFFF7u) + data),
        Riff("WAVE", fmt + Chunk("data", "abcd", 0)),
        Riff("WAVE", fmt + Chunk("data", "abcd", 0xFFFFFFFFu)),
        Riff("WAVE", fmt + Chunk("data", "abcde", 4)),  // odd data without its pad byte
        Riff("WAVE", fmt + std::string(2000, '\0') + data),
        Riff("WAVE", Riff("WAVE", fmt + data)),
        Riff("WAVE", "LIST" + Le32(0xFFFFFFFFu) + "WAVE" + fmt + data),
        Riff("WAVE", fmt + data + Chunk("LIST", "", 0xFFFFFFFFu)),
    };
    const int descriptors = OpenDescriptors();
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        SCOPED_TRACE(i);
        Survive(corpus[i]);
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    // A stated data size of 0 reads nothing, however many bytes follow.
    ASSERT_EQ(OpenBytes(corpus[9]), 0u);
    EXPECT_EQ(ReadAll(), "");
    TracedOwner::TakeBoxes();
}

TEST_F(DamagedWaveFileTest, RandomHeaderDamageOpensOrFailsCleanly) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> where(0, 55);
    std::uniform_int_distribution<int> value(0, 255);
    const int descriptors = OpenDescriptors();
    for (int round = 0; round < 1500; ++round) {
        std::string bytes = m_full;
        for (int k = 0; k < 1 + round % 4; ++k) {
            const std::size_t at = where(random);
            // Sizes get their extremes as often as random bytes.
            bytes[at] = static_cast<char>(round % 3 == 0 ? 0xFF : round % 3 == 1 ? 0 : value(random));
        }
        SCOPED_TRACE(round);
        Survive(bytes);
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    TracedOwner::TakeBoxes();
}

}  // namespace

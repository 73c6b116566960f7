// RIFF chunk I/O over ordinary files: the bytes chunk creation writes, chunk walks that stay
// inside their parent and the file whatever sizes they meet, and open and write failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "platform/riff/mmio.h"
#include "support/RiffBytes.h"
#include "support/TempFolder.h"

using namespace riffbytes;

namespace {

constexpr FOURCC kWave = MakeFourCC('W', 'A', 'V', 'E');
constexpr FOURCC kFmt = MakeFourCC('f', 'm', 't', ' ');
constexpr FOURCC kData = MakeFourCC('d', 'a', 't', 'a');

class MmioFileTest : public ::testing::Test {
protected:
    HMMIO OpenBytes(const std::string& bytes) {
        WriteFile(m_path, bytes);
        MMIOINFO info{};
        HMMIO h = mmioOpenA(m_path.c_str(), &info, MMIO_READ);
        EXPECT_NE(h, nullptr) << info.wErrorRet;
        return h;
    }

    TempFolder m_folder;
    std::string m_path = m_folder.File("chunks.riff");
};

TEST_F(MmioFileTest, CreatedChunksGetTheirRealSizesAndPadBytesAtAscent) {
    MMIOINFO info{};
    HMMIO h = mmioOpenA(m_path.c_str(), &info, MMIO_CREATE | MMIO_WRITE);
    ASSERT_NE(h, nullptr);
    MMCKINFO riff{};
    riff.fccType = MakeFourCC('T', 'E', 'S', 'T');
    ASSERT_EQ(mmioCreateChunk(h, &riff, MMIO_CREATERIFF), 0u);
    MMCKINFO odd{};
    odd.ckid = MakeFourCC('o', 'd', 'd', ' ');
    odd.cksize = 99;  // corrected at the ascent
    ASSERT_EQ(mmioCreateChunk(h, &odd, 0), 0u);
    ASSERT_EQ(mmioWrite(h, "abc", 3), 3);
    ASSERT_EQ(mmioAscend(h, &odd, 0), 0u);
    EXPECT_EQ(odd.cksize, 3u);
    EXPECT_EQ(mmioTell(h), 24);  // past the pad byte
    MMCKINFO list{};
    list.fccType = MakeFourCC('I', 'N', 'F', 'O');
    ASSERT_EQ(mmioCreateChunk(h, &list, MMIO_CREATELIST), 0u);
    ASSERT_EQ(mmioAscend(h, &list, 0), 0u);
    ASSERT_EQ(mmioAscend(h, &riff, 0), 0u);
    EXPECT_EQ(mmioClose(h, 0), 0u);

    const std::string expected = Riff("TEST", Chunk("odd ", "abc") + "LIST" + Le32(4) + "INFO");
    EXPECT_EQ(ReadFile(m_path), expected);
}

TEST_F(MmioFileTest, AscentRefusesAChunkLongerThanItsSizeFieldCanState) {
    MMIOINFO info{};
    HMMIO h = mmioOpenA(m_path.c_str(), &info, MMIO_CREATE | MMIO_WRITE);
    ASSERT_NE(h, nullptr);
    MMCKINFO ck{};
    ck.ckid = kData;
    ASSERT_EQ(mmioCreateChunk(h, &ck, 0), 0u);
    ASSERT_EQ(mmioSeek64(h, 8 + 0x100000000LL, SEEK_SET), 8 + 0x100000000LL);
    EXPECT_EQ(mmioAscend(h, &ck, 0), MMIOERR_CANNOTWRITE);
    mmioSeek64(h, 8 + 0xFFFFFFFFLL, SEEK_SET);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), static_cast<LONG>(8 + 0xFFFFFFFFLL));  // truncated to 32 bits
    EXPECT_EQ(mmioClose(h, 0), 0u);
}

TEST_F(MmioFileTest, DescentFindsFormsOfTheWantedTypeAndChunksByIdSkippingOthers) {
    const std::string body = Chunk("junk", "xyz") + Chunk("fmt ", PcmFmt(1)) + Chunk("LIST", "INFOab") + Chunk("data", "1234");
    HMMIO h = OpenBytes(Chunk("JUNK", "12345") + Riff("AVI ", "") + Riff("WAVE", body));
    ASSERT_NE(h, nullptr);
    MMCKINFO parent{};
    parent.fccType = kWave;
    ASSERT_EQ(mmioDescend(h, &parent, nullptr, MMIO_FINDRIFF), 0u);
    EXPECT_EQ(parent.llDataOffset, 14 + 12 + 8);
    EXPECT_EQ(mmioTell(h), 14 + 12 + 12);
    MMCKINFO sub{};
    sub.ckid = kData;
    ASSERT_EQ(mmioDescend(h, &sub, &parent, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(sub.cksize, 4u);
    char samples[4];
    ASSERT_EQ(mmioRead(h, samples, 4), 4);
    EXPECT_EQ(std::string(samples, 4), "1234");

    // A chunk that was found and then left: the position is past its body and pad byte.
    mmioSeek(h, 0, SEEK_SET);
    MMCKINFO junk{};
    ASSERT_EQ(mmioDescend(h, &junk, nullptr, 0), 0u);
    EXPECT_EQ(junk.cksize, 5u);
    ASSERT_EQ(mmioAscend(h, &junk, 0), 0u);
    EXPECT_EQ(mmioTell(h), 14);
    EXPECT_EQ(mmioClose(h, 0), 0u);
}

TEST_F(MmioFileTest, DescentLooksOnlyInsideTheParent) {
    // "data" follows the RIFF form, outside it; the walk starts after the form type even from
    // an earlier position.
    HMMIO h = OpenBytes(Riff("WAVE", Chunk("fmt ", PcmFmt(1))) + Chunk("data", "12"));
    ASSERT_NE(h, nullptr);
    MMCKINFO parent{};
    parent.fccType = kWave;
    ASSERT_EQ(mmioDescend(h, &parent, nullptr, MMIO_FINDRIFF), 0u);
    mmioSeek(h, 0, SEEK_SET);
    MMCKINFO sub{};
    sub.ckid = kFmt;
    ASSERT_EQ(mmioDescend(h, &sub, &parent, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(sub.llDataOffset, 20);
    mmioSeek(h, 0, SEEK_SET);
    sub.ckid = kData;
    EXPECT_EQ(mmioDescend(h, &sub, &parent, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    EXPECT_EQ(mmioTell(h), 8 + 4 + 24);  // stopped at the parent's end
    EXPECT_EQ(mmioClose(h, 0), 0u);
}

TEST_F(MmioFileTest, DescentEndsOnHostileSizes) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"size that wraps a 32-bit position", Riff("WAVE", Chunk("junk", "", 0xFFFFFFF8u) + Chunk("data", "12"))},
        {"largest size", Riff("WAVE", Chunk("junk", "", 0xFFFFFFFFu) + Chunk("data", "12"))},
        {"form larger than the file", Riff("WAVE", Chunk("junk", "12345678"), 0xFFFFFFFFu)},
        {"form of size zero", Riff("WAVE", Chunk("data", "12"), 0)},
        {"header cut short", Riff("WAVE", "dat")},
        {"zero-size chunks only", Riff("WAVE", std::string(4000, '\0'))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HMMIO h = OpenBytes(c.bytes);
        ASSERT_NE(h, nullptr);
        MMCKINFO parent{};
        parent.fccType = kWave;
        ASSERT_EQ(mmioDescend(h, &parent, nullptr, MMIO_FINDRIFF), 0u);
        MMCKINFO sub{};
        sub.ckid = kData;
        EXPECT_EQ(mmioDescend(h, &sub, &parent, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
        EXPECT_LE(mmioTell(h), static_cast<std::int64_t>(c.bytes.size()));
        EXPECT_EQ(mmioClose(h, 0), 0u);
    }
}

TEST_F(MmioFileTest, OpenNamesWhyAFileCannotBeOpened) {
    struct Case {
        const char* what;
        std::string name;
        DWORD flags;
        UINT error;
    };
    WriteFile(m_path, "x");
    ASSERT_EQ(::mkfifo(m_folder.File("pipe").c_str(), 0600), 0);
    const Case cases[] = {
        {"empty name", "", MMIO_READ, MMIOERR_FILENOTFOUND},
        {"missing file", m_folder.File("missing.wav"), MMIO_READ, MMIOERR_FILENOTFOUND},
        {"missing folder", m_folder.File("missing/out.wav"), MMIO_CREATE | MMIO_WRITE, MMIOERR_FILENOTFOUND},
        {"file used as a folder", m_path + "/out.wav", MMIO_CREATE | MMIO_WRITE, MMIOERR_PATHNOTFOUND},
        {"folder read", m_folder.Path(), MMIO_READ, MMIOERR_CANNOTOPEN},
        {"folder written", m_folder.Path(), MMIO_CREATE | MMIO_WRITE, MMIOERR_CANNOTOPEN},
        // Neither may block waiting for the other end of the pipe.
        {"pipe read", m_folder.File("pipe"), MMIO_READ, MMIOERR_CANNOTOPEN},
        {"pipe written", m_folder.File("pipe"), MMIO_CREATE | MMIO_WRITE, MMIOERR_CANNOTOPEN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MMIOINFO info{};
        EXPECT_EQ(mmioOpenA(c.name.c_str(), &info, c.flags), nullptr);
        EXPECT_EQ(info.wErrorRet, c.error);
    }
}

TEST_F(MmioFileTest, WritesFailAtOnceOnAFullDiskAndOnReadHandles) {
    MMIOINFO info{};
    HMMIO full = mmioOpenA("/dev/full", &info, MMIO_CREATE | MMIO_WRITE);
    ASSERT_NE(full, nullptr) << info.wErrorRet;
    EXPECT_EQ(mmioWrite(full, "abcd", 4), -1);
    MMCKINFO ck{};
    EXPECT_EQ(mmioCreateChunk(full, &ck, MMIO_CREATERIFF), MMIOERR_CANNOTWRITE);
    EXPECT_EQ(mmioTell(full), 0);
    EXPECT_EQ(mmioClose(full, 0), 0u);

    HMMIO h = OpenBytes("abcd");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioWrite(h, "zz", 2), -1);
    EXPECT_EQ(mmioClose(h, 0), 0u);
    EXPECT_EQ(ReadFile(m_path), "abcd");
}

}  // namespace

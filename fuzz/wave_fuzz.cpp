// Fuzz driver for the WAV reader: any bytes as a file must go through the RIFF chunk walk and
// CWaveFile's open and sample reads without a fault, and what they return must agree with the
// file itself:
// - the walk finds the chunks of one level in file order, each inside its parent (as far as
//   the parent states) and the file, and never more of them than the file has room for
//   headers;
// - a file that opens reads exactly the data bytes it holds (its stated size, or less when the
//   file ends first), and those are the file's bytes from the first sample on;
// - a failed open is reported and leaves the object closed;
// - the bytes written as samples into a new file read back the same.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "audio/WaveFile.h"
#include "fuzz/FuzzFolder.h"
#include "platform/riff/mmio.h"
#include "platform/ui/msgbox.h"

using fuzzsupport::Fail;

namespace {

const fuzzsupport::Folder& Work() {
    static const fuzzsupport::Folder folder("wave-fuzz");
    return folder;
}

struct Walk {
    HMMIO h;
    std::int64_t fileSize;
};

// Descends into every chunk below parent (the file when null), children first.
void WalkChunks(Walk& w, const MMCKINFO* parent) {
    std::int64_t lastOffset = -1;
    std::int64_t found = 0;
    for (;;) {
        MMCKINFO ck{};
        if (mmioDescend(w.h, &ck, parent, 0) != MMSYSERR_NOERROR) return;
        ++found;
        if (found > w.fileSize / 8) Fail("more chunks than the file has room for headers");
        if (ck.llDataOffset <= lastOffset) Fail("the chunk walk went back or stood still");
        lastOffset = ck.llDataOffset;
        if (ck.llDataOffset > w.fileSize) Fail("a chunk header lies past the end of the file");
        if (ck.dwDataOffset != static_cast<DWORD>(ck.llDataOffset & 0xFFFFFFFF)) Fail("the 32-bit data offset differs");
        if (parent != nullptr) {
            const std::int64_t bodyStart = parent->llDataOffset + (parent->ckid == FOURCC_RIFF || parent->ckid == FOURCC_LIST ? 4 : 0);
            const std::int64_t parentEnd = parent->llDataOffset + static_cast<std::int64_t>(parent->cksize);
            if (ck.llDataOffset - 8 < bodyStart || ck.llDataOffset > parentEnd) Fail("a chunk lies outside its parent");
        }
        if (ck.ckid == FOURCC_RIFF || ck.ckid == FOURCC_LIST) WalkChunks(w, &ck);
        mmioAscend(w.h, &ck, 0);
    }
}

void CheckWalk(const std::string& path, std::size_t size) {
    MMIOINFO info{};
    HMMIO h = mmioOpenA(path.c_str(), &info, MMIO_READ);
    if (h == nullptr) Fail("a plain file could not be opened");
    if (mmioFileSize(h) != static_cast<std::int64_t>(size)) Fail("the file size differs from the bytes written");
    Walk w{h, static_cast<std::int64_t>(size)};
    WalkChunks(w, nullptr);
    mmioClose(h, 0);
}

void CheckRead(const std::string& path, const std::uint8_t* data, std::size_t size) {
    platform::ui::TakeHeadlessMessageBoxes();
    CWaveFile file;
    if (file.OpenRead(path) != 0) {
        if (file.IsOpen()) Fail("a failed open left the file open");
        if (platform::ui::TakeHeadlessMessageBoxes().empty()) Fail("a failed open was not reported");
        return;
    }
    const std::int64_t first = mmioTell(file.m_hmmio);
    if (first < 0 || first > static_cast<std::int64_t>(size)) Fail("the first sample lies outside the file");
    const std::int64_t held = std::min<std::int64_t>(file.m_dwDataSize, static_cast<std::int64_t>(size) - first);
    if (file.DataBytesHeld() != held) Fail("the data bytes held differ from what the file holds");

    // Odd block sizes, so that reads end inside a sample and at the chunk's end alike.
    std::vector<std::uint8_t> got;
    std::uint8_t block[777];
    for (int step = 0;; ++step) {
        const LONG want = static_cast<LONG>(1 + (step * 97) % sizeof block);
        const LONG n = file.Read(block, want);
        if (n < 0 || n > want) Fail("a sample read returned an impossible count");
        if (n == 0) break;
        got.insert(got.end(), block, block + n);
        if (static_cast<std::int64_t>(got.size()) > held) Fail("read past the data chunk");
    }
    if (static_cast<std::int64_t>(got.size()) != held) Fail("the reads ended before the data the file holds");
    if (!got.empty() && std::memcmp(got.data(), data + first, got.size()) != 0) Fail("the samples read are not the file's bytes");
    if (file.Read(block, 1) != 0) Fail("a read after the end gave more");
    if (file.Close() != 0 || file.IsOpen()) Fail("closing a read file failed");
}

// The input as the samples of a new file, mono or stereo by its first byte.
void CheckRoundTrip(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    const int channels = 1 + (data[0] & 1);
    const std::size_t bytes = (size - 1) / (2 * channels) * (2 * channels);
    const std::string path = Work().File("written.wav");
    CWaveFile out;
    out.SetFormat(channels);
    if (out.OpenWrite(path) != 0) Fail("a new file could not be written");
    if (out.Write(data + 1, static_cast<LONG>(bytes)) != static_cast<LONG>(bytes)) Fail("not every sample was written");
    if (out.Close() != 0) Fail("closing a written file failed");

    CWaveFile in;
    if (in.OpenRead(path) != 0) Fail("a written file does not open");
    if (!in.IsPcm() || in.m_fmt.nChannels != channels || in.m_fmt.nSamplesPerSec != 44100 || in.m_fmt.wBitsPerSample != 16)
        Fail("a written file reads back with another format");
    if (in.m_dwDataSize != bytes || in.DataBytesHeld() != static_cast<std::int64_t>(bytes)) Fail("a written file's data size differs");
    std::vector<std::uint8_t> back(bytes + 1);
    const LONG n = in.Read(back.data(), static_cast<LONG>(back.size()));
    if (n != static_cast<LONG>(bytes) || (bytes > 0 && std::memcmp(back.data(), data + 1, bytes) != 0))
        Fail("the samples written do not read back the same");
    in.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = Work().File("input.wav");
    fuzzsupport::WriteFile(path, data, size);
    CheckWalk(path, size);
    CheckRead(path, data, size);
    CheckRoundTrip(data, size);
    platform::ui::TakeHeadlessMessageBoxes();
    return 0;
}

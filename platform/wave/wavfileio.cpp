#include "platform/wave/wavfileio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/wave/fmtbytes.h"

namespace platform::wave {
namespace {

constexpr std::uint64_t kHeaderBytes = 44;
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - kHeaderBytes;
constexpr WORD kFormatExtensible = 0xFFFE;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool Fail(std::string* error, const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
}

}  // namespace

bool ReadWavFile(const std::string& path, WavAudio* out, std::string* error, bool formatOnly) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return Fail(error, std::string("cannot open the file (") + std::strerror(errno) + ")");
    if (std::fseek(f.get(), 0, SEEK_END) != 0) return Fail(error, "cannot read the file");
    const long endPos = std::ftell(f.get());
    if (endPos < 0) return Fail(error, "cannot read the file");
    const std::uint64_t fileSize = static_cast<std::uint64_t>(endPos);
    std::rewind(f.get());

    unsigned char riff[12];
    if (std::fread(riff, 1, 12, f.get()) != 12 || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return Fail(error, "not a WAV file");

    bool haveFormat = false;
    bool haveData = false;
    WAVEFORMATEX fmt;
    std::uint64_t dataPos = 0;
    std::uint64_t dataBytes = 0;
    std::uint64_t pos = 12;
    while (pos + 8 <= fileSize && !(haveFormat && haveData)) {
        unsigned char head[8];
        if (std::fseek(f.get(), static_cast<long>(pos), SEEK_SET) != 0 || std::fread(head, 1, 8, f.get()) != 8) break;
        const std::uint64_t size = GetLe32(head + 4);
        const std::uint64_t body = pos + 8;
        const std::uint64_t avail = fileSize - body;
        if (std::memcmp(head, "fmt ", 4) == 0 && !haveFormat) {
            unsigned char b[40] = {};
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>({size, avail, sizeof b}));
            if (want < 16 || std::fread(b, 1, want, f.get()) != want) return Fail(error, "damaged format chunk");
            fmt = DecodeFmt(b);
            // An extensible header names the real format in the first two bytes of its
            // sub-format identifier.
            if (fmt.wFormatTag == kFormatExtensible && want >= 26) fmt.wFormatTag = GetLe16(b + 24);
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0 && !haveData) {
            dataPos = body;
            dataBytes = std::min(size, avail);
            haveData = true;
        }
        // Chunks are padded to even sizes; a size past the end of the file ends the walk.
        const std::uint64_t next = body + size + (size & 1);
        if (next <= pos) break;
        pos = next;
    }
    if (!haveFormat) return Fail(error, "no format chunk");
    if (fmt.wFormatTag != WAVE_FORMAT_PCM || fmt.wBitsPerSample != 16)
        return Fail(error, "not 16-bit PCM audio");
    if (fmt.nChannels < 1 || fmt.nChannels > 2) return Fail(error, "not mono or stereo");
    if (fmt.nSamplesPerSec == 0) return Fail(error, "sample rate 0");
    fmt.nBlockAlign = static_cast<WORD>(fmt.nChannels * 2);
    fmt.nAvgBytesPerSec = fmt.nSamplesPerSec * fmt.nBlockAlign;
    fmt.cbSize = 0;
    if (!haveData) return Fail(error, "no data chunk");
    out->format = fmt;
    out->samples.clear();
    if (formatOnly) return true;

    const std::uint64_t frames = dataBytes / fmt.nBlockAlign;
    std::vector<unsigned char> raw(static_cast<std::size_t>(frames * fmt.nBlockAlign));
    if (std::fseek(f.get(), static_cast<long>(dataPos), SEEK_SET) != 0 ||
        std::fread(raw.data(), 1, raw.size(), f.get()) != raw.size())
        return Fail(error, "cannot read the samples");
    out->samples.resize(raw.size() / 2);
    for (std::size_t i = 0; i < out->samples.size(); ++i)
        out->samples[i] = static_cast<std::int16_t>(GetLe16(&raw[2 * i]));
    return true;
}

bool CWavWriter::Open(const std::string& path, const WAVEFORMATEX& format, std::string* error) {
    Close();
    m_file = std::fopen(path.c_str(), "wb");
    if (m_file == nullptr) return Fail(error, std::string("cannot create the file (") + std::strerror(errno) + ")");
    unsigned char h[kHeaderBytes] = {};
    std::memcpy(h, "RIFF", 4);
    PutLe32(h + 4, 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutLe32(h + 16, 16);
    WAVEFORMATEX pcm = format;
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(format.nChannels * 2);
    pcm.nAvgBytesPerSec = format.nSamplesPerSec * pcm.nBlockAlign;
    EncodeFmt(h + 20, pcm);
    std::memcpy(h + 36, "data", 4);
    PutLe32(h + 40, 0);
    m_dataBytes = 0;
    m_failed = std::fwrite(h, 1, sizeof h, m_file) != sizeof h;
    if (m_failed) {
        Close();
        return Fail(error, "cannot write the file");
    }
    return true;
}

bool CWavWriter::Write(const void* data, std::size_t bytes) {
    if (m_file == nullptr || m_failed) return false;
    if (m_dataBytes + bytes > kMaxDataBytes) {
        bytes = static_cast<std::size_t>(kMaxDataBytes - m_dataBytes);
        m_failed = true;  // full: nothing more goes in
    }
    if (bytes > 0 && std::fwrite(data, 1, bytes, m_file) != bytes) {
        m_failed = true;
        return false;
    }
    m_dataBytes += bytes;
    return !m_failed;
}

bool CWavWriter::Close() {
    if (m_file == nullptr) return true;
    bool ok = true;
    if ((m_dataBytes & 1) != 0) ok = std::fputc(0, m_file) != EOF;
    unsigned char size[4];
    const std::uint64_t padded = m_dataBytes + (m_dataBytes & 1);
    PutLe32(size, static_cast<std::uint32_t>(36 + padded));
    ok = ok && std::fseek(m_file, 4, SEEK_SET) == 0 && std::fwrite(size, 1, 4, m_file) == 4;
    PutLe32(size, static_cast<std::uint32_t>(m_dataBytes));
    ok = ok && std::fseek(m_file, 40, SEEK_SET) == 0 && std::fwrite(size, 1, 4, m_file) == 4;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    return ok;
}

}  // namespace platform::wave

// A strict reader of 16-bit PCM WAV files, for checking files the program wrote: the RIFF size
// must be what the file holds, the data chunk must lie inside the form and hold whole frames,
// and an empty data chunk fails unless the caller allows it. (The program's own readers are
// lenient on purpose; a test that checks a saved file must not be.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wave/wavetypes.h"
#include "support/RiffBytes.h"

namespace strictwav {

struct Options {
    bool allowEmpty = false;
    // Bytes the file may hold after the end that its RIFF size states: a block that was being
    // written when the writer was killed.
    std::uint64_t allowedTail = 0;
};

struct Audio {
    WAVEFORMATEX format{};
    std::vector<std::int16_t> samples;  // interleaved frames
    std::uint64_t tailBytes = 0;        // bytes after the stated end of the form
};

inline bool Read(const std::string& path, Audio* out, std::string* why, const Options& opt = Options()) {
    using riffbytes::ReadLe16;
    using riffbytes::ReadLe32;
    const auto fail = [why](const std::string& text) {
        if (why != nullptr) *why = text;
        return false;
    };
    const std::string bytes = riffbytes::ReadFile(path);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return fail("not a RIFF WAVE file (" + std::to_string(bytes.size()) + " bytes)");
    const std::uint64_t formEnd = 8ull + ReadLe32(bytes, 4);
    if (formEnd > bytes.size()) return fail("RIFF size runs past the end of the file");
    out->tailBytes = bytes.size() - formEnd;
    if (out->tailBytes > opt.allowedTail)
        return fail("RIFF size " + std::to_string(formEnd - 8) + " leaves " + std::to_string(out->tailBytes) +
                    " bytes of the file outside the form");
    bool haveFmt = false;
    bool haveData = false;
    std::uint64_t dataAt = 0;
    std::uint64_t dataSize = 0;
    for (std::uint64_t at = 12; at < formEnd;) {
        if (at + 8 > formEnd) return fail("a chunk header is cut off");
        const std::string id = bytes.substr(at, 4);
        const std::uint64_t size = ReadLe32(bytes, at + 4);
        const std::uint64_t end = at + 8 + size + (size & 1);
        if (at + 8 + size > formEnd) return fail("chunk '" + id + "' runs past the end of the form");
        if (id == "fmt ") {
            if (haveFmt || size < 16) return fail("bad or second format chunk");
            WAVEFORMATEX& f = out->format;
            f.wFormatTag = ReadLe16(bytes, at + 8);
            f.nChannels = ReadLe16(bytes, at + 10);
            f.nSamplesPerSec = ReadLe32(bytes, at + 12);
            f.nAvgBytesPerSec = ReadLe32(bytes, at + 16);
            f.nBlockAlign = ReadLe16(bytes, at + 20);
            f.wBitsPerSample = ReadLe16(bytes, at + 22);
            haveFmt = true;
        } else if (id == "data") {
            if (haveData) return fail("second data chunk");
            dataAt = at + 8;
            dataSize = size;
            haveData = true;
        }
        at = std::min<std::uint64_t>(end, formEnd);
    }
    if (!haveFmt || !haveData) return fail("format or data chunk missing");
    const WAVEFORMATEX& f = out->format;
    if (f.wFormatTag != WAVE_FORMAT_PCM || f.wBitsPerSample != 16 || f.nChannels < 1 || f.nChannels > 2 ||
        f.nBlockAlign != 2 * f.nChannels || f.nAvgBytesPerSec != f.nSamplesPerSec * f.nBlockAlign)
        return fail("not a consistent 16-bit PCM format");
    if (dataSize == 0 && !opt.allowEmpty) return fail("data size 0");
    if (dataSize % f.nBlockAlign != 0) return fail("data size is not whole frames");
    out->samples.resize(dataSize / 2);
    for (std::size_t i = 0; i < out->samples.size(); ++i)
        out->samples[i] = static_cast<std::int16_t>(ReadLe16(bytes, dataAt + 2 * i));
    return true;
}

}  // namespace strictwav

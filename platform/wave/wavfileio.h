// A small reader and writer of 16-bit PCM WAV files for the virtual sound devices. (The
// program's own WAV file object lives above the platform layer; the devices cannot use it.)
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/wave/wavetypes.h"

namespace platform::wave {

struct WavAudio {
    WAVEFORMATEX format;
    std::vector<std::int16_t> samples;  // interleaved frames
};

// Reads a 16-bit PCM file (1 or 2 channels). Chunks are walked within the file whatever their
// sizes say; a data chunk that claims more than the file holds gives what is there. False with
// a reason in *error when the file cannot be read or holds another kind of audio. With
// formatOnly the samples are not read.
bool ReadWavFile(const std::string& path, WavAudio* out, std::string* error, bool formatOnly = false);

// Writes a 16-bit PCM file as data arrives; the sizes in the header are filled in by Close.
class CWavWriter {
public:
    CWavWriter() = default;
    ~CWavWriter() { Close(); }
    CWavWriter(const CWavWriter&) = delete;
    CWavWriter& operator=(const CWavWriter&) = delete;

    bool Open(const std::string& path, const WAVEFORMATEX& format, std::string* error);
    // Appends bytes of sample data. False once a write has failed or the file is full (4 GiB).
    bool Write(const void* data, std::size_t bytes);
    // Finishes the header and closes the file. False when the file could not be completed.
    bool Close();
    bool IsOpen() const { return m_file != nullptr; }
    std::uint64_t DataBytes() const { return m_dataBytes; }

private:
    std::FILE* m_file = nullptr;
    std::uint64_t m_dataBytes = 0;
    bool m_failed = false;
};

}  // namespace platform::wave

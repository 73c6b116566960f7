// Little-endian fields of RIFF WAV files and the 16 common bytes of a "fmt " chunk, shared by the
// program's WAV file object and the virtual devices' file reader and writer.
#pragma once

#include "platform/wave/wavetypes.h"

namespace platform::wave {

inline WORD GetLe16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
inline DWORD GetLe32(const BYTE* p) { return static_cast<DWORD>(GetLe16(p)) | (static_cast<DWORD>(GetLe16(p + 2)) << 16); }
inline void PutLe16(BYTE* p, WORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}
inline void PutLe32(BYTE* p, DWORD v) {
    PutLe16(p, static_cast<WORD>(v));
    PutLe16(p + 2, static_cast<WORD>(v >> 16));
}

inline constexpr int kFmtCommonBytes = 16;

// The format from the first 16 bytes of a "fmt " chunk (cbSize is left 0).
inline WAVEFORMATEX DecodeFmt(const BYTE* b) {
    WAVEFORMATEX f;
    f.wFormatTag = GetLe16(b);
    f.nChannels = GetLe16(b + 2);
    f.nSamplesPerSec = GetLe32(b + 4);
    f.nAvgBytesPerSec = GetLe32(b + 8);
    f.nBlockAlign = GetLe16(b + 12);
    f.wBitsPerSample = GetLe16(b + 14);
    return f;
}

// The 16 bytes of a "fmt " chunk for a format.
inline void EncodeFmt(BYTE* b, const WAVEFORMATEX& f) {
    PutLe16(b, f.wFormatTag);
    PutLe16(b + 2, f.nChannels);
    PutLe32(b + 4, f.nSamplesPerSec);
    PutLe32(b + 8, f.nAvgBytesPerSec);
    PutLe16(b + 12, f.nBlockAlign);
    PutLe16(b + 14, f.wBitsPerSample);
}

}  // namespace platform::wave

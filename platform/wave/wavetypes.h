// Sound-device records shared by the devices, the WAV files and the program: the PCM format and
// the buffer header that travels with every queued buffer.
#pragma once

#include "platform/base/types.h"
#include "platform/riff/mmio.h"  // MMSYSERR_NOERROR, shared with the chunk file calls

inline constexpr WORD WAVE_FORMAT_PCM = 1;

struct WAVEFORMATEX {
    WORD wFormatTag = 0;
    WORD nChannels = 0;
    DWORD nSamplesPerSec = 0;
    DWORD nAvgBytesPerSec = 0;
    WORD nBlockAlign = 0;
    WORD wBitsPerSample = 0;
    WORD cbSize = 0;
};

// Buffer flags.
inline constexpr DWORD WHDR_DONE = 0x00000001;
inline constexpr DWORD WHDR_PREPARED = 0x00000002;
inline constexpr DWORD WHDR_INQUEUE = 0x00000010;

struct WAVEHDR {
    char* lpData = nullptr;
    DWORD dwBufferLength = 0;
    DWORD dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;
    DWORD dwFlags = 0;
    DWORD dwLoops = 0;
    WAVEHDR* lpNext = nullptr;
    // Capture: bytes of recording the device dropped (an overrun, or the backlog of a stall)
    // since the buffer before this one completed; set when the buffer completes.
    std::uintptr_t reserved = 0;
};

// Device messages posted to the owner window, one per buffer.
inline constexpr UINT MM_WOM_OPEN = 0x3BB;
inline constexpr UINT MM_WOM_CLOSE = 0x3BC;
inline constexpr UINT MM_WOM_DONE = 0x3BD;
inline constexpr UINT MM_WIM_OPEN = 0x3BE;
inline constexpr UINT MM_WIM_CLOSE = 0x3BF;
inline constexpr UINT MM_WIM_DATA = 0x3C0;

// ---------------------------------------------------------------------------------------------
// Device calls: results, handles, capability records, open flags and positions.

using MMRESULT = UINT;
using DWORD_PTR = std::uintptr_t;

inline constexpr MMRESULT MMSYSERR_ERROR = 1;        // unspecified failure
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;  // no device with this id
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;    // the device is busy (in use elsewhere)
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;  // not an open device of this kind
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;     // no device present, or it has gone away
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;     // the device cannot take this format
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;  // the buffer (or a buffer of the device) is still queued
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;    // the buffer was not prepared

// Handles are numbers that name one open device; a closed device's number is never used again.
struct HWAVEIN__;
struct HWAVEOUT__;
using HWAVEIN = HWAVEIN__*;
using HWAVEOUT = HWAVEOUT__*;

// Device id that opens the default device.
inline constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;

// Open flags.
inline constexpr DWORD WAVE_FORMAT_QUERY = 0x00000001;  // only ask whether the format would open
inline constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
inline constexpr DWORD CALLBACK_NULL = 0x00000000;      // no completions are reported
inline constexpr DWORD CALLBACK_WINDOW = 0x00010000;    // dwCallback is the owner CWnd*

// Longest device name, terminating zero included.
inline constexpr int MAXPNAMELEN = 32;

// Standard formats a device lists (44.1 kHz, 16 bits, mono or stereo).
inline constexpr DWORD WAVE_FORMAT_4M16 = 0x00000400;
inline constexpr DWORD WAVE_FORMAT_4S16 = 0x00000800;

struct WAVEINCAPSA {
    WORD wMid = 0;
    WORD wPid = 0;
    UINT vDriverVersion = 0;
    char szPname[MAXPNAMELEN] = {};
    DWORD dwFormats = 0;
    WORD wChannels = 0;
    WORD wReserved1 = 0;
};

struct WAVEOUTCAPSA {
    WORD wMid = 0;
    WORD wPid = 0;
    UINT vDriverVersion = 0;
    char szPname[MAXPNAMELEN] = {};
    DWORD dwFormats = 0;
    WORD wChannels = 0;
    WORD wReserved1 = 0;
    DWORD dwSupport = 0;
};

// Position kinds.
inline constexpr UINT TIME_MS = 0x0001;
inline constexpr UINT TIME_SAMPLES = 0x0002;
inline constexpr UINT TIME_BYTES = 0x0004;

struct MMTIME {
    UINT wType = 0;
    union {
        DWORD ms;
        DWORD sample;
        DWORD cb;
        DWORD ticks;
    } u = {};
};

namespace platform::wave {
// What a playback device linked to a live run did to keep its delay: bytes skipped because
// they came late, bytes skipped because the program had already written newer sound over them,
// bytes of silence played to hold the delay, and bytes left out or played twice a frame at a
// time to follow a slow drift of the devices' clocks. Counted since the device was opened.
struct LiveDelayCounts {
    std::uint64_t skippedLate = 0;
    std::uint64_t skippedOverwritten = 0;
    std::uint64_t held = 0;
    std::uint64_t steppedOn = 0;
    std::uint64_t steppedBack = 0;
};
}  // namespace platform::wave

// MIDI output with the desktop platform's calls: open the mapper (the default synthesizer),
// send short messages (status and up to two data bytes packed into a DWORD, status in the low
// byte) and system-exclusive long messages, close.
//
// The mapper is, in order of choice:
// - the recording synthesizer when SORVEL_VIRTUAL_MIDI is set (tests and headless runs): it
//   keeps every message with the time it arrived (TakeRecordedMidi) and, when the variable names
//   a file, also appends one line per message to that file;
// - otherwise an in-process General MIDI software synthesizer playing through the default
//   sound device.
//
// Threads: every call may come from any thread; calls on one device are serialised. A long
// message is delivered before midiOutLongMsg returns, so its header is done at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/wave/wavetypes.h"

struct MidiOutDevice;
using HMIDIOUT = MidiOutDevice*;

inline constexpr UINT MIDI_MAPPER = static_cast<UINT>(-1);
inline constexpr MMRESULT MIDIERR_UNPREPARED = 64;
inline constexpr MMRESULT MIDIERR_STILLPLAYING = 65;

inline constexpr DWORD MHDR_DONE = 0x1;
inline constexpr DWORD MHDR_PREPARED = 0x2;
inline constexpr DWORD MHDR_INQUEUE = 0x4;

struct MIDIHDR {
    char* lpData = nullptr;
    DWORD dwBufferLength = 0;
    DWORD dwBytesRecorded = 0;
    DWORD_PTR dwUser = 0;
    DWORD dwFlags = 0;
    MIDIHDR* lpNext = nullptr;
    DWORD_PTR reserved = 0;
    DWORD dwOffset = 0;
    DWORD_PTR dwReserved[8] = {};
};

MMRESULT midiOutOpen(HMIDIOUT* phmo, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg);
MMRESULT midiOutPrepareHeader(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh);
MMRESULT midiOutUnprepareHeader(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh);
MMRESULT midiOutLongMsg(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh);
MMRESULT midiOutClose(HMIDIOUT hmo);

namespace platform::midi {

// One message that reached the recording synthesizer: milliseconds on a steady clock and the
// message's bytes (a short message with its length from the status byte).
struct RecordedMidi {
    double ms = 0.0;
    std::vector<std::uint8_t> bytes;
};
// Every message recorded since the last call, oldest first (and forgets them).
std::vector<RecordedMidi> TakeRecordedMidi();
// "90 24 7F": the bytes in upper-case hex, separated by blanks.
std::string HexBytes(const std::vector<std::uint8_t>& bytes);

}  // namespace platform::midi

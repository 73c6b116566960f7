#include "platform/midi/midiapi.h"

#include <cstdlib>
#include <mutex>

#include "platform/midi/synth.h"

struct MidiOutDevice {
    std::mutex mutex;
    std::unique_ptr<platform::midi::Synth> synth;
};

namespace platform::midi {

std::size_t ShortMessageLength(std::uint8_t status) {
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0: return 2;
    case 0xF0: return status == 0xF2 ? 3 : (status == 0xF1 || status == 0xF3) ? 2 : 1;
    default: return 3;
    }
}

}  // namespace platform::midi

MMRESULT midiOutOpen(HMIDIOUT* phmo, UINT uDeviceID, DWORD_PTR, DWORD_PTR, DWORD) {
    if (phmo == nullptr) return MMSYSERR_INVALPARAM;
    *phmo = nullptr;
    // The mapper is the only device there is.
    if (uDeviceID != MIDI_MAPPER && uDeviceID != 0) return MMSYSERR_BADDEVICEID;
    std::unique_ptr<platform::midi::Synth> synth;
    if (const char* file = std::getenv("SORVEL_VIRTUAL_MIDI")) {
        synth = platform::midi::OpenRecordingSynth(file);
    } else {
        synth = platform::midi::OpenSoftwareSynth();
    }
    if (!synth) return MMSYSERR_NODRIVER;
    auto* device = new MidiOutDevice;
    device->synth = std::move(synth);
    *phmo = device;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg) {
    if (hmo == nullptr) return MMSYSERR_INVALHANDLE;
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(dwMsg & 0xFF), static_cast<std::uint8_t>((dwMsg >> 8) & 0x7F),
                                   static_cast<std::uint8_t>((dwMsg >> 16) & 0x7F)};
    if ((bytes[0] & 0x80) == 0) return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> lock(hmo->mutex);
    return hmo->synth->Send(bytes, platform::midi::ShortMessageLength(bytes[0])) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh) {
    if (hmo == nullptr) return MMSYSERR_INVALHANDLE;
    if (pmh == nullptr || cbmh < sizeof(MIDIHDR) || pmh->lpData == nullptr) return MMSYSERR_INVALPARAM;
    pmh->dwFlags = (pmh->dwFlags & ~(MHDR_DONE | MHDR_INQUEUE)) | MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh) {
    if (hmo == nullptr) return MMSYSERR_INVALHANDLE;
    if (pmh == nullptr || cbmh < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
    pmh->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutLongMsg(HMIDIOUT hmo, MIDIHDR* pmh, UINT cbmh) {
    if (hmo == nullptr) return MMSYSERR_INVALHANDLE;
    if (pmh == nullptr || cbmh < sizeof(MIDIHDR) || pmh->lpData == nullptr) return MMSYSERR_INVALPARAM;
    if ((pmh->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    const DWORD count = pmh->dwBufferLength;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pmh->lpData);
    bool ok = true;
    if (count > 0) {
        std::lock_guard<std::mutex> lock(hmo->mutex);
        ok = hmo->synth->Send(bytes, count);
    }
    pmh->dwFlags |= MHDR_DONE;
    return ok ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

MMRESULT midiOutClose(HMIDIOUT hmo) {
    if (hmo == nullptr) return MMSYSERR_INVALHANDLE;
    delete hmo;
    return MMSYSERR_NOERROR;
}

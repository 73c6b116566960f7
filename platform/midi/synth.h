// The synthesizers behind midiOutOpen: each takes whole MIDI messages as bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform::midi {

class Synth {
public:
    virtual ~Synth() = default;
    // One complete message (short, or system exclusive from F0 to F7). False when the synth
    // could not take it.
    virtual bool Send(const std::uint8_t* bytes, std::size_t count) = 0;
};

// The recording synthesizer of SORVEL_VIRTUAL_MIDI (file: the variable's value, may be empty).
std::unique_ptr<Synth> OpenRecordingSynth(const char* file);
// The General MIDI software synthesizer on the default sound device; null when it cannot
// start (no sound font, no sound device).
std::unique_ptr<Synth> OpenSoftwareSynth();

// Bytes of a short message by its status byte: 3, 2 for program change and channel pressure,
// 1 for the one-byte system messages.
std::size_t ShortMessageLength(std::uint8_t status);

}  // namespace platform::midi

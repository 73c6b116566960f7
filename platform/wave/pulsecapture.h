// Capture straight from a PulseAudio server (or PipeWire's PulseAudio service) with the server's
// own client library, for the default recording device when a server answers.
//
// The stream stays connected while the device is open. What the server recorded while this
// process could not read (a stall) is not handed on late: once the stream's delay passes a
// bound, the backlog is dropped as a sound card drops an overrun, so a stall costs the input
// only its own length and the input's delay stays what it usually is.
#pragma once

#include <memory>

#include "platform/wave/backend.h"

namespace platform::wave {

// Opens a recording stream on the server's default source with the core's format. nullptr when
// no server answers (none is ever started) or it refuses the stream.
std::unique_ptr<CWaveStream> OpenPulseCapture(CWaveDeviceCore& core);

}  // namespace platform::wave

// Playback straight through a PulseAudio server (or PipeWire's PulseAudio service) with the
// server's own client library, for the default device when a server answers.
//
// The stream stays connected for as long as the device is open: a stall of the program (or an
// underrun of any cause) leaves it connected and waiting for data, so the sink keeps the
// stream's latency instead of falling back to its longest one and rendering seconds of silence
// ahead, and the stall costs the run only its own length. The stream asks for a fixed total
// delay (server buffer plus sink); after an underrun the server starts it again once that much
// is buffered, and data is written only as the program's queued buffers hold it, never padded
// with silence, so the delay comes back to its usual value instead of piling up.
#pragma once

#include <memory>

#include "platform/wave/backend.h"

namespace platform::wave {

// Opens a playback stream on the server's default sink with the core's format. nullptr when
// no server answers (none is ever started) or it refuses the stream.
std::unique_ptr<CWaveStream> OpenPulsePlayback(CWaveDeviceCore& core);

}  // namespace platform::wave

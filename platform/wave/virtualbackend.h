// Virtual sound devices backed by WAV files, for tests and for runs on machines without sound.
//
// SORVEL_VIRTUAL_IN=file.wav lists one recording device that delivers the file's samples in
// real time and then silence. SORVEL_VIRTUAL_OUT=file.wav lists one playback device that
// records everything it plays into that file (created anew at every open, completed at close).
// SORVEL_VIRTUAL_SPEED=k runs both k times faster than real time (k > 0, default 1). Each
// variable, when set and not empty, replaces the sound system's devices of its direction.
//
// The virtual devices never lose samples: a recording device with no buffer queued waits
// before it moves on in the file, and a playback device records only what it took from
// buffers (no silence for the time it had none). A file whose channel count differs from the
// opened format is converted (mono doubled, stereo averaged); a file at another sample rate is
// refused, with the reason written to the standard error stream.
#pragma once

#include "platform/wave/backend.h"

namespace platform::wave {

bool VirtualDeviceConfigured(Direction dir);
CWaveBackend& VirtualBackend();

inline constexpr const char* kVirtualInName = "Virtual recording device";
inline constexpr const char* kVirtualOutName = "Virtual playback device";

}  // namespace platform::wave

// Sound devices of the sound system, through PortAudio (ALSA, PulseAudio, PipeWire, JACK).
// The recording list holds every device with input channels, the playback list every device
// with output channels, in PortAudio's order; WAVE_MAPPER opens PortAudio's default device of
// that direction. Without a working sound system the lists are empty and opens answer
// MMSYSERR_NODRIVER.
#pragma once

#include "platform/wave/backend.h"

namespace platform::wave {

CWaveBackend& PortAudioBackend();

}  // namespace platform::wave

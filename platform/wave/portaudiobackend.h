// Sound devices of the sound system, through PortAudio (ALSA, PulseAudio, PipeWire, JACK).
// The recording list holds every device with input channels, the playback list every device
// with output channels, in PortAudio's order; WAVE_MAPPER opens PortAudio's default device of
// that direction. Without a working sound system the lists are empty and opens answer
// MMSYSERR_NODRIVER. When a PulseAudio server (or PipeWire's PulseAudio service) answers, the
// default device and the ALSA devices that stand for the server ("default", "pulse") are opened
// as streams of the server's own client library instead (pulseplayback.h, pulsecapture.h); the
// lists, names and format queries stay PortAudio's.
#pragma once

#include "platform/wave/backend.h"

namespace platform::wave {

CWaveBackend& PortAudioBackend();

}  // namespace platform::wave

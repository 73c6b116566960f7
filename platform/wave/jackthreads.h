// libjack starts a thread of its own whenever a client opens, also when no JACK server runs (the
// sound system's device list opens clients through PortAudio's JACK support and through ALSA's
// "jack" device), and gives the thread about a second to begin. When a loaded machine has not
// run it by then, libjack frees what the thread works on without waiting for it, and the thread
// later runs on freed memory. Installed into libjack, the creator here returns only once the new
// thread runs, so libjack's wait always finds its thread started however long the start took.
#pragma once

namespace platform::wave {

// Installs the creator into libjack when libjack is on this machine (and keeps libjack loaded
// with it). Called before the sound system starts; calling it again does nothing more.
void InstallJackThreadCreator();

}  // namespace platform::wave

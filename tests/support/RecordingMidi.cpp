// Linked into every test program: unless the environment already chose, MIDI output goes to the
// recording synthesizer (and so does that of programs the tests start).
#include <cstdlib>

namespace {
const bool kRecordingMidi = [] {
    ::setenv("SORVEL_VIRTUAL_MIDI", "", 0);
    return true;
}();
}  // namespace

// The sound system's client libraries synchronise their own threads with primitives the thread
// sanitizer cannot see (they are not built with it), so it reports races between their threads
// and the PortAudio calls that start them. Reports that pass through those libraries are
// suppressed here; races in our own code are still reported.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulsecommon\n"
           "race:libpulse.so\n"
           "race:libasound.so\n"
           "race:libjack.so\n"
           "mutex:libpulsecommon\n";
}

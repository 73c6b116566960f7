// The window tests run the real Qt widgets. The system's Qt libraries are not built with the
// thread sanitizer, so it cannot see how Qt's own threads (its thread pool, the file system
// watcher of the pickers) synchronise, and reports races inside them. Those reports are
// suppressed here, with the sound system's client libraries as in the device tests; races in
// our own code are still reported.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:libQt6Widgets.so\n"
           "mutex:libQt6Core.so\n"
           "race:libpulsecommon\n"
           "race:libpulse.so\n"
           "race:libasound.so\n"
           "race:libjack.so\n"
           "mutex:libpulsecommon\n";
}

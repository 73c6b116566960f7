// The window tests run the real Qt widgets under the thread sanitizer. The system's Qt libraries
// are not built with it, so it cannot see how Qt's own threads synchronise: the raster painter
// splits every larger fill or image copy over Qt's GUI thread pool and waits on a semaphore the
// sanitizer does not know, and glib's slice allocator hands memory between those threads.
//
// - called_from_lib: the memory and lock calls that Qt, libpng (screenshots) and glib make
//   themselves are not watched. Without this every paint of a run reported hundreds of pixel
//   rows as races; the suppressed reports (about 290,000 in one run test) each cost a stack
//   restore and a symbolisation on the user-interface thread, which then stalled for seconds at
//   a time, left the device completions it handles waiting, and the run made no progress.
// Calls handed from a worker thread to the user-interface thread wait in the window system's own
// queue under a std::mutex, which the sanitizer sees; Qt's event queue only carries a wake-up
// that no instrumented code reads, so no report needs a suppression by function name.
//
// Nothing else of Qt is suppressed: races in our own code on the user-interface thread, whose
// stacks all pass through Qt's event loop, are still reported. The sound system's client
// libraries are suppressed as in the device tests.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so\n"
           "called_from_lib:libQt6Gui.so\n"
           "called_from_lib:libQt6Widgets.so\n"
           "called_from_lib:libpng16.so\n"
           "called_from_lib:libglib-2.0.so\n"
           "race:libpulsecommon\n"
           "race:libpulse.so\n"
           "race:libasound.so\n"
           "race:libjack.so\n"
           "mutex:libpulsecommon\n";
}

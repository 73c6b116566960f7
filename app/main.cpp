// The program's entry: the window system, then the application object. Command-line arguments
// are not read (the window system gets only the program's name).
#include <cstdio>

#include "app/WaveInOutApp.h"
#include "platform/ui/qt/application.h"

namespace {
// The one application object, for the program's whole life (it holds the instance lock).
CWaveInOutApp theApp;
}  // namespace

int main(int argc, char** argv) {
    int qtArgc = argc > 0 ? 1 : 0;
    platform::ui::qt::Application app(qtArgc, argv);
    if (!app.Ok()) {
        const char* self = argc > 0 && argv[0] != nullptr ? argv[0] : "sorvel";
        std::fprintf(stderr,
                     "%s\n"
                     "sorvel shows its window on a graphical desktop session (X11 or Wayland) and cannot "
                     "start without one.\n"
                     "To run it on a machine without a screen, give it a virtual display:\n"
                     "  xvfb-run -a -s '-screen 0 1280x1024x24' %s\n"
                     "(QT_QPA_PLATFORM=offscreen runs it without showing any window at all.)\n",
                     app.Error().c_str(), self);
        return 1;
    }
    theApp.InitInstance();
    return 0;
}

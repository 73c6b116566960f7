// The program's entry into the Qt 6 Widgets window system.
//
//     platform::ui::qt::Application app(argc, argv);
//     if (!app.Ok()) { std::fprintf(stderr, "%s\n", app.Error().c_str()); return 1; }
//     CWaveInOutDlg dlg;                 // a CDialog on template 102
//     app.RunMainDialog(dlg);            // DoModal: OnInitDialog, then the loop until EndDialog
//
// The object creates the QApplication and installs everything the window-free platform core
// needs: the window system (text, windows, modal loops, timers, menus, pickers, tooltips), the
// state mirror (control state changed on any thread reaches its widget on the UI thread), the
// wake of the posted-message queue and the message box handler (an OK-only box from a worker is
// posted and does not block it; a question from a worker waits for the user's answer). The thread
// that makes the object is the user-interface thread. Only one may exist at a time.
//
// This header does not include Qt.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/dialog.h"

namespace platform::ui::qt {

// Why no window can be shown here (no display to connect to), or empty when one can.
std::string CheckDisplay();

class Application {
public:
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // False when the window system could not start; Error() then says why.
    bool Ok() const { return m_bOk; }
    const std::string& Error() const { return m_error; }

    // Runs dlg modally as the program's main window and returns its result (-1 when it could not
    // be made).
    INT_PTR RunMainDialog(CDialog& dlg);

private:
    bool m_bOk = false;
    std::string m_error;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform::ui::qt

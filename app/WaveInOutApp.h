// CWaveInOutApp: where the program starts and ends. It refuses to run while another instance
// of the program runs for the same user, then runs the main dialog modally; when the dialog
// ends, the program ends. No command-line arguments are read.
//
// The guard is the instance lock "sorvel" of this user and this program folder (whose settings
// file the instance owns), held from the check until the process ends; the system drops it when
// the process dies in any way, so a crashed instance never blocks the next start.
#pragma once

#include <string>

#include "platform/base/instance.h"
#include "platform/base/types.h"
#include "platform/ui/messages.h"

class CWaveInOutApp {
public:
    static constexpr const char* kInstanceName = "sorvel";
    static constexpr const char* kAlreadyRunningText = "二重起動はできません。";
    static constexpr const char* kCaption = "ソルベル";

    // The program itself: the program folder beside the executable, which is also the lock's
    // scope.
    CWaveInOutApp() = default;
    // lockScope is the lock's scope and appFolder the main dialog's program folder (ending with
    // '/'); tests use temporary ones.
    CWaveInOutApp(std::string lockScope, std::string appFolder)
        : m_strLockScope(std::move(lockScope)), m_strAppFolder(std::move(appFolder)) {}

    // Refuses a second start with a message box, or runs the main dialog modally (with the
    // window system installed, on its window; without one it initialises and ends). FALSE
    // always: the program ends when this returns.
    BOOL InitInstance();

    // True once this object holds the instance lock.
    bool HoldsInstanceLock() const { return m_lock.IsHeld(); }
    // The result of the main dialog's modal run, or 0 when it did not run.
    INT_PTR DialogResult() const { return m_nDialogResult; }

private:
    std::string m_strLockScope;
    std::string m_strAppFolder;
    platform::CInstanceLock m_lock;
    INT_PTR m_nDialogResult = 0;
};

#include "app/WaveInOutApp.h"

#include <csignal>
#include <memory>
#include <string>

#include "app/WaveInOutDlg.h"
#include "platform/base/paths.h"
#include "platform/base/termsignals.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/msgqueue.h"

BOOL CWaveInOutApp::InitInstance() {
    // Testing for the lock and taking it are one step. A lock that cannot be made at all leaves
    // the program running without the guard.
    const std::string scope = !m_strLockScope.empty() ? m_strLockScope : platform::ProgramFolder();
    if (m_lock.TryAcquire(kInstanceName, scope) == platform::InstanceLockResult::AlreadyRunning) {
        AfxMessageBox(kAlreadyRunningText, MB_OK | MB_ICONHAND, kCaption);
        return FALSE;
    }
    auto dlg = m_strAppFolder.empty() ? std::make_unique<CWaveInOutDlg>()
                                      : std::make_unique<CWaveInOutDlg>(m_strAppFolder);
    // A termination signal (logout, kill, Ctrl+C, a closed terminal) is a close request: the
    // close operation runs on the user-interface thread, so runs stop, files are finished and
    // the settings are written whole before the program ends. The trace says which signal it was.
    // A hangup that was ignored at the start (nohup) is not one.
    CWaveInOutDlg* target = dlg.get();
    platform::CTerminationWatch watch([target](int sig) {
        const char* name = sig == SIGTERM ? "SIGTERM" : sig == SIGINT ? "SIGINT" : sig == SIGHUP ? "SIGHUP" : "a signal";
        target->WriteTrace(std::string("TerminationWatch: close requested by ") + name);
        platform::ui::PostToQueue(target, WM_CLOSE, 0, 0);
    });
    m_nDialogResult = dlg->DoModal();
    return FALSE;
}

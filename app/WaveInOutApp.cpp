#include "app/WaveInOutApp.h"

#include <memory>

#include "app/WaveInOutDlg.h"
#include "platform/ui/msgbox.h"

BOOL CWaveInOutApp::InitInstance() {
    // Testing for the lock and taking it are one step. A lock that cannot be made at all (no
    // writable runtime folder) leaves the program running without the guard.
    if (m_lock.TryAcquire(kInstanceName, m_strLockFolder) == platform::InstanceLockResult::AlreadyRunning) {
        AfxMessageBox(kAlreadyRunningText, MB_OK | MB_ICONHAND, kCaption);
        return FALSE;
    }
    auto dlg = m_strAppFolder.empty() ? std::make_unique<CWaveInOutDlg>()
                                      : std::make_unique<CWaveInOutDlg>(m_strAppFolder);
    m_nDialogResult = dlg->DoModal();
    return FALSE;
}

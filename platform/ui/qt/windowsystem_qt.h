// The Qt implementation of platform::ui::WindowSystem (includes Qt; backend-internal).
#pragma once

#include <QPointer>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/qt/backend.h"

class QEventLoop;
class QMenu;
class QTimer;

namespace platform::ui::qt {

// The state-change hook: mirrors a window object's state into its widget on the UI thread
// (at once when called there; else coalesced and queued).
void MirrorStateChange(CWnd* wnd, unsigned what);
void ForgetPendingStateChanges();
// The queue wake hook: delivers posted messages from the UI thread's event loop.
void WakeForPostedMessages();

class QtWindowSystem : public WindowSystem {
public:
    QtWindowSystem();
    ~QtWindowSystem() override;

    SIZE DrawText(Surface* target, const TextJob& job) override;
    DialogBaseUnits BaseUnits(const FontSpec& font) override;
    COLORREF SysColor(int index) override;
    bool CreateWindowFor(CWnd* wnd) override;
    void DestroyWindowFor(CWnd* wnd) override;
    void Repaint(CWnd* wnd, const RECT* area = nullptr) override;
    POINT ClientOrigin(const CWnd* topLevel) override;
    bool IsIconic(const CWnd* topLevel) override;
    void SetIcon(CWnd* topLevel, HICON icon, bool big) override;
    void RunModalLoop(CDialog* dlg) override;
    void EndModal(CDialog* dlg) override;
    void DismissModals() override;
    void ProcessPendingEvents() override;
    void ReleaseHeldInput() override;
    void TimerChanged(CWnd* wnd, UINT_PTR id, UINT elapse) override;
    UINT TrackPopupMenu(const CMenu& menu, CWnd* owner, int x, int y) override;
    bool FileDialog(CWnd* owner, FileDialogRequest& request) override;
    bool BrowseFolder(CWnd* owner, const std::string& title, std::string* folder) override;
    bool ShellOpen(const std::string& path) override;
    bool IsKeyDown(int virtKey) override;
    void ShowToolTip(CWnd* tool, const std::string& text) override;
    void HideToolTip() override;

    // Files dropped on target's window at client point at: handed to the window (WM_DROPFILES)
    // in their order among the user's input, where a click would be handled (see InputHold).
    void QueueDroppedFiles(CWnd* target, std::vector<std::string> files, POINT at);
    // Whether the hold of input is Qt's handler of window-system events (it installs it).
    bool InputHoldInPlace();

    const std::string& ToolTipText() const { return m_tooltipText; }
    QMenu* OpenMenu() const { return m_openMenu; }

private:
    // Held by ProcessPendingEvents until ReleaseHeldInput.
    class InputHold;
    InputHold& Hold();
    std::unique_ptr<InputHold> m_inputHold;
    std::map<CDialog*, QEventLoop*> m_loops;
    std::map<std::pair<CWnd*, UINT_PTR>, QTimer*> m_timers;
    QPointer<QWidget> m_tooltipOwner;
    std::string m_tooltipText;
    QMenu* m_openMenu = nullptr;
};

// The installed instance (null when none).
QtWindowSystem* CurrentWindowSystem();

}  // namespace platform::ui::qt

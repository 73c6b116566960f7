// The interface a window system implements to show the window objects of platform/ui.
//
// The window-free core calls it for what only a real window system can do: rasterise text,
// measure fonts, make and destroy windows, run a modal loop, timers, menus, pickers and the
// shell. Without an installed window system every caller has a headless fallback (documented
// at the caller). State changes of windows and controls reach the window system separately,
// through the state-change hook of wnd.h.
//
// Threads: every call is made on the user-interface thread, except TimerChanged and EndModal,
// which may come from any thread; the window system moves them to its own thread.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/gdi.h"
#include "platform/ui/messages.h"

class CWnd;
class CDialog;
class CMenu;

namespace platform::ui {

// Dialog base units: the average character width and the character height of the dialog font,
// in pixels. A dialog unit is a quarter of the width and an eighth of the height.
struct DialogBaseUnits {
    int x = 7;
    int y = 13;
};

struct FileDialogRequest {
    bool open = true;             // open (true) or save-as (false)
    bool multiSelect = false;
    std::string title;
    std::string defaultExt;       // without the dot
    std::string initialName;
    std::string initialFolder;
    // Pairs of description and pattern list ("*.wav;*.mp3"), in order.
    std::vector<std::pair<std::string, std::string>> filters;
    std::vector<std::string> chosen;  // full paths, in the order the user gave them
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Text: draws job onto target (null: only measures). Returns the text's size in pixels.
    virtual SIZE DrawText(Surface* target, const TextJob& job) = 0;
    virtual DialogBaseUnits BaseUnits(const FontSpec& font) = 0;
    // The colour of a system element, or CLR_INVALID to keep the built-in one.
    virtual COLORREF SysColor(int index) = 0;

    // Windows. CreateWindowFor makes the window of a dialog (with a widget per item) or of a
    // child window made by CWnd::Create, and shows it when the object is visible.
    virtual bool CreateWindowFor(CWnd* wnd) = 0;
    virtual void DestroyWindowFor(CWnd* wnd) = 0;
    // The window's surface or painting must be shown again (a paint is pending or it changed):
    // the area given in client pixels, or all of it when area is null. Child windows that lie
    // over the area are not asked to redraw: a control redraws when it itself changes.
    virtual void Repaint(CWnd* wnd, const RECT* area = nullptr) = 0;
    virtual POINT ClientOrigin(const CWnd* topLevel) = 0;  // screen position of the client area
    virtual bool IsIconic(const CWnd* topLevel) = 0;
    virtual void SetIcon(CWnd* topLevel, HICON icon, bool big) = 0;

    // Runs a nested loop for a dialog made by CreateWindowFor until EndModal; returns then.
    virtual void RunModalLoop(CDialog* dlg) = 0;
    virtual void EndModal(CDialog* dlg) = 0;
    // Closes every message box, picker and popup menu it shows now, as cancelled (a question
    // as "no"); each returns to its caller when its loop next runs.
    virtual void DismissModals() = 0;
    // Handles what has arrived for the windows so far (paints, timers, posted messages, a close
    // request from the desktop: the window manager's as a termination signal's) but no input of
    // the user (clicks, keys, the wheel), which is held back. For a handler that waits long on
    // the user-interface thread inside a ModalFrame, as a message box's loop would; when the
    // wait is over it calls ReleaseHeldInput, which hands the held input to its windows in the
    // order it came, to be handled after the handler has returned (or drops it when the program
    // is closing).
    virtual void ProcessPendingEvents() {}
    virtual void ReleaseHeldInput() {}

    // Timer id of wnd started (elapse in ms) or stopped (elapse 0).
    virtual void TimerChanged(CWnd* wnd, UINT_PTR id, UINT elapse) = 0;

    // Shows a popup menu at a screen point; returns the chosen command id or 0.
    virtual UINT TrackPopupMenu(const CMenu& menu, CWnd* owner, int x, int y) = 0;
    virtual bool FileDialog(CWnd* owner, FileDialogRequest& request) = 0;
    virtual bool BrowseFolder(CWnd* owner, const std::string& title, std::string* folder) = 0;
    virtual bool ShellOpen(const std::string& path) = 0;

    // Whether a key (VK_CONTROL, VK_SHIFT) is held down now.
    virtual bool IsKeyDown(int virtKey) = 0;

    // Tooltip of a tool window shown near the mouse, or hidden.
    virtual void ShowToolTip(CWnd* tool, const std::string& text) = 0;
    virtual void HideToolTip() = 0;
};

// Installs (or with null removes) the window system. Not thread-safe: done once on the
// user-interface thread before windows exist and undone after they are gone.
void SetWindowSystem(WindowSystem* ws);
WindowSystem* GetWindowSystem();

// Keys held down as GetKeyState reports them while no window system is installed (tests).
void SetHeadlessKeyDown(int virtKey, bool down);

}  // namespace platform::ui

// What a user's action does to the window objects: the window system reports each action here,
// on the user-interface thread, and these functions change the control's state and send the
// notification to the owner's message map, as the desktop platform's controls do.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"

namespace platform::ui {

// A click on a push button, check box or radio button: a check box toggles its check, a radio
// button checks itself and clears the rest of its group; then BN_CLICKED goes to the owner.
void UserClickedButton(CButton* button);
// The user chose item index of a drop-down list: the selection, then CBN_SELCHANGE.
void UserChoseComboItem(CComboBox* combo, int index);
// The user moved a trackbar to pos: the position, then WM_HSCROLL with code (SB_*) and pos.
void UserMovedTrackbar(CSliderCtrl* slider, int pos, UINT code);
// A trackbar redrew itself: NM_CUSTOMDRAW to the owner (where the program reads the position).
void TrackbarPainted(CSliderCtrl* slider);
// The user worked a scroll bar: WM_HSCROLL with code and pos to the owner. A scroll bar does not
// move by itself; the owner's handler sets the position.
void UserScrolled(CScrollBar* bar, UINT code, int pos);
// The user typed into an edit: the text, then EN_CHANGE.
void UserEditedText(CEdit* edit, const std::string& text);
// A mouse message for target at client point (x, y) with key flags (MK_*): the target and its
// parents see it first (PreTranslateMessage); unless one of them stops it, it goes to target.
// True when one of them stopped it.
bool UserMouse(CWnd* target, UINT message, UINT flags, int x, int y);
// Files dropped on a window that accepts them: WM_DROPFILES. False when it does not accept.
bool UserDroppedFiles(CWnd* target, const std::vector<std::string>& files, POINT point);
// The user asked to close a top-level window: WM_SYSCOMMAND with SC_CLOSE, unless the window
// menu's close item is greyed.
void UserClosed(CWnd* topLevel);
// A command of the window menu: WM_SYSCOMMAND.
void UserChoseSystemCommand(CWnd* topLevel, UINT id);
// Escape (IDCANCEL) or Enter (the default button) in a dialog: WM_COMMAND. Enter is first a
// WM_KEYDOWN (VK_RETURN) for the control that has the keyboard focus, which it and its parents
// see in PreTranslateMessage; unless one of them stops it, the default button's command follows.
void UserPressedEscape(CDialog* dlg);
void UserPressedEnter(CDialog* dlg, CWnd* focus = nullptr);

// Where the window system's notes on the handling of input go (the program's trace): for what
// the user should not have to notice but a reader of the trace should, such as input that cannot
// be held during a wait. An empty sink drops them. User-interface thread.
void SetWindowSystemNoticeSink(std::function<void(const std::string&)> sink);
void WindowSystemNotice(const std::string& text);

// Colours of a static or other control as its owner decides in WM_CTLCOLOR.
struct ControlColors {
    COLORREF text;
    COLORREF background;  // CLR_INVALID: the owner's background shows through
};
ControlColors QueryControlColors(CWnd* control, UINT nCtlColor);

}  // namespace platform::ui

// Driving the real widgets as a user would, and reading what they show: for user-interface
// tests of dialogs on the Qt backend (normally under QT_QPA_PLATFORM=offscreen). Every action
// sends real input events to the widget of a window object, so the widget's own behaviour runs
// and the result reaches the object's state and its owner's message map as a user's would.
//
// Call from the user-interface thread while an Application exists. This header does not
// include Qt.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/gdi.h"
#include "platform/ui/wnd.h"

namespace platform::ui::qt::testing {

// Runs the event loop for about ms milliseconds (posted messages, timers, paints).
void ProcessEvents(int ms = 0);
// Runs the event loop until done() is true or timeoutMs passed; returns done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Runs fn from the event loop soon (e.g. inside a modal loop that the caller is about to enter).
void RunSoon(std::function<void()> fn, int delayMs = 0);

// Mouse click (press and release of the left button) in the middle of the window's widget.
bool Click(CWnd* wnd);
// A key press and release on the widget: "Right", "Left", "PageUp", "PageDown", "Home", "End",
// "Down", "Up", "Escape", "Return", "Space", or a single character.
bool PressKey(CWnd* wnd, const std::string& key);
// Chooses an item of a drop-down list as a user does with the keyboard (focus, then arrow keys).
bool ChooseComboItem(CWnd* combo, int index);
// Drags a trackbar's handle to the position of value with the mouse.
bool DragTrackbar(CWnd* slider, int value);
// Clicks the right (or left) arrow of a horizontal scroll bar.
bool ClickScrollArrow(CWnd* bar, bool right);
// Types text into an edit (replacing its text) with key events.
bool TypeText(CWnd* edit, const std::string& text);
// Mouse message at a client point of the window's widget: WM_MOUSEMOVE, WM_LBUTTONDOWN,
// WM_LBUTTONUP or WM_RBUTTONDOWN.
bool MouseAt(CWnd* wnd, UINT message, int x, int y);
// Drops files (local paths) on the window at a client point.
bool DropFiles(CWnd* wnd, const std::vector<std::string>& paths, POINT at);
// Asks the window to close as its title bar's close button does.
bool CloseWindow(CWnd* topLevel);
// Input as the window system hands it over: queued where a platform plugin queues what the
// desktop sends, and handled when the event loop next takes the window system's events. The
// window manager's close request for the window (its title bar's close button); a click of the
// left button in the middle of the window's widget; a mouse message at a client point of the
// widget as MouseAt takes it (no button held while the mouse moves); turns of the wheel over the
// middle of the widget (positive: away from the user); a key press and release as PressKey takes
// it, for the widget, which gets the focus now.
bool CloseFromWindowSystem(CWnd* topLevel);
bool ClickFromWindowSystem(CWnd* wnd);
bool MouseFromWindowSystem(CWnd* wnd, UINT message, int x, int y);
bool WheelFromWindowSystem(CWnd* wnd, int notches);
bool KeyFromWindowSystem(CWnd* wnd, const std::string& key);
// Whether events that the window system has handed over still wait to be taken by the event loop.
bool WindowSystemEventsWaiting();
// Puts a handler of the window system's events that only passes them on in the place of the one
// there now (as another part of a program might have installed first), or with false puts the
// one that was there back.
void OccupyWindowSystemEventHandler(bool occupy);

// What the widget shows.
bool HasWidget(const CWnd* wnd);
// Whether the window's title bar offers a close button.
bool WindowHasCloseButton(const CWnd* topLevel);
std::string WidgetText(const CWnd* wnd);
bool WidgetVisible(const CWnd* wnd);  // shown (and its window too)
bool WidgetEnabled(const CWnd* wnd);
bool WidgetChecked(const CWnd* wnd);
std::vector<std::string> WidgetItems(const CWnd* combo);
int WidgetCurrentIndex(const CWnd* combo);
int WidgetValue(const CWnd* sliderOrScrollBar);
int WidgetMinimum(const CWnd* sliderOrScrollBar);
int WidgetMaximum(const CWnd* sliderOrScrollBar);
// Geometry in the top-level window's client pixels.
RECT WidgetRect(const CWnd* wnd);
std::string WidgetFontFamily(const CWnd* wnd);
// The image a BS_BITMAP button shows, as the resource id of its bitmap (0 for none).
UINT WidgetImageId(const CWnd* button);

// Width in pixels the widget needs to show its whole text (with a check box's or radio
// button's mark), in its font.
int WidgetNeededWidth(const CWnd* wnd);

// Grabs the window (with its children) as shown and saves it as PNG; creates missing folders.
bool SaveScreenshot(CWnd* wnd, const std::string& path);
// Colour of a pixel of a grabbed window, client coordinates.
COLORREF GrabPixel(CWnd* wnd, int x, int y);
// Saves a memory bitmap as PNG; creates missing folders.
bool SaveBitmap(const CBitmap& bitmap, const std::string& path);

// Chooses the item with command id of the popup menu shown now; false when none is shown.
bool ChooseOpenMenuItem(UINT id);
// The item texts of the popup menu shown now (empty when none).
std::vector<std::string> OpenMenuItemTexts();
// Saves the popup menu shown now as PNG; false when none is shown.
bool SaveOpenMenuScreenshot(const std::string& path);

// Message boxes shown on the user-interface thread that are still open: their texts.
std::vector<std::string> OpenMessageBoxTexts();
// Answers the open message box (IDOK, IDYES, IDNO, IDCANCEL); false when none is open.
bool AnswerMessageBox(int answer);
// Answers the open file or folder picker: chooses the files (all in one folder) or the folder
// and accepts, or with an empty list cancels. False when no picker is open.
bool AnswerFileDialog(const std::vector<std::string>& paths);
// The name filters the open file picker offers (empty when none is open).
std::vector<std::string> OpenFileDialogFilters();
// The texts of the open file picker's labels and buttons (empty when none is open).
std::vector<std::string> OpenFileDialogTexts();
// Saves the open file picker as PNG; false when none is open.
bool SaveOpenFileDialogScreenshot(const std::string& path);

// The text of the tooltip shown now (empty when none).
std::string ShownToolTipText();
// Top-level windows of the backend that are shown now (their captions).
std::vector<std::string> ShownWindowTitles();
// The window object of the shown top-level window with that caption (null when none).
CWnd* ShownWindow(const std::string& title);

}  // namespace platform::ui::qt::testing

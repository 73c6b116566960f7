// Internals of the Qt backend shared by its files (includes Qt; not for use outside qt/).
#pragma once

#include <QFont>
#include <QMenu>
#include <QImage>
#include <QWidget>

#include <functional>
#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "platform/ui/menu.h"
#include "platform/ui/windowsystem.h"

namespace platform::ui::qt {

// --- Threads -------------------------------------------------------------------------------------
bool OnUiThread();
void SetUiThread();
// Runs fn on the user-interface thread: at once when already there, else queued.
void RunOnUi(std::function<void()> fn);

// --- Text and fonts ------------------------------------------------------------------------------
QFont MakeQFont(const FontSpec& spec);
QString ToQt(const std::string& s);
std::string FromQt(const QString& s);
// A control text with '&' prefixes: "&&" becomes "&", a single '&' is dropped.
QString StripPrefix(const std::string& text);
// Adds a menu's items (texts, separators, greyed items; the command id as each action's data).
void FillQMenu(QMenu& popup, const CMenu& menu);
SIZE DrawTextOn(Surface* target, const TextJob& job);
DialogBaseUnits MeasureBaseUnits(const FontSpec& font);

// --- Images --------------------------------------------------------------------------------------
// A copy of a surface as an image (pixels of colour key become transparent when keyed).
QImage ToImage(const Surface& s, bool keyed = false);
// A view of the surface's pixels (no copy) for painting it.
QImage ViewOf(const Surface& s);

// --- Window registry -----------------------------------------------------------------------------
// Every widget made for a window object carries this, so events find their object.
class Bound {
public:
    explicit Bound(CWnd* wnd) : m_wnd(wnd) {}
    virtual ~Bound() = default;
    CWnd* Wnd() const { return m_wnd; }
    void Unbind() { m_wnd = nullptr; }
    // Takes the object's state into the widget (user-interface thread).
    virtual void Sync(unsigned what) = 0;
    bool Updating() const { return m_updating; }
    // The text a widget that paints its own text shows (statics, group boxes).
    virtual QString ShownText() const { return {}; }

protected:
    struct UpdateScope {
        explicit UpdateScope(Bound& b) : b(b), was(b.m_updating) { b.m_updating = true; }
        ~UpdateScope() { b.m_updating = was; }
        Bound& b;
        bool was;
    };

private:
    CWnd* m_wnd;
    bool m_updating = false;
};

QWidget* WidgetOf(const CWnd* wnd);
Bound* BoundOf(const CWnd* wnd);
void Register(CWnd* wnd, QWidget* widget);
// Forgets a window's widget and every widget inside it; returns the widget (or null).
QWidget* Unregister(CWnd* wnd);

// Makes the widget of one dialog item or painted child window inside parent.
QWidget* MakeItemWidget(CWnd* wnd, QWidget* parent);
// Makes the top-level widget of a dialog, with its items.
QWidget* MakeDialogWidget(CDialog* dlg);
// The resource id of the image a BS_BITMAP button's widget shows (0 for none).
UINT ButtonImageId(const CWnd* wnd);
// Applies what changed (StateChange bits) to the window's widget; user-interface thread.
void SyncWidget(CWnd* wnd, unsigned what);

// --- Message boxes, pickers, tooltips --------------------------------------------------------------
int ShowMessageBox(const std::string& text, const std::string& caption, UINT type);
bool RunFileDialog(CWnd* owner, FileDialogRequest& request);
bool RunFolderDialog(CWnd* owner, const std::string& title, std::string* folder);
// A popup menu's modal loop at a screen point; the chosen action or null.
QAction* RunPopupMenu(QMenu& popup, const QPoint& at);
// Closes every box, picker and menu in its modal loop now, as cancelled.
void DismissOpenModals();
std::string ProgramName();

}  // namespace platform::ui::qt

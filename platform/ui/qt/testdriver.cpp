#include "platform/ui/qt/testdriver.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>
#include <qpa/qwindowsysteminterface_p.h>

#include "platform/ui/msgbox.h"
#include "platform/ui/qt/backend.h"
#include "platform/ui/qt/windowsystem_qt.h"

namespace platform::ui::qt::testing {
namespace {

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent ev(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &ev);
}

void ClickAt(QWidget* w, QPoint at) {
    SendMouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    SendMouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

int KeyCode(const std::string& key) {
    if (key == "Right") return Qt::Key_Right;
    if (key == "Left") return Qt::Key_Left;
    if (key == "Up") return Qt::Key_Up;
    if (key == "Down") return Qt::Key_Down;
    if (key == "PageUp") return Qt::Key_PageUp;
    if (key == "PageDown") return Qt::Key_PageDown;
    if (key == "Home") return Qt::Key_Home;
    if (key == "End") return Qt::Key_End;
    if (key == "Escape") return Qt::Key_Escape;
    if (key == "Return") return Qt::Key_Return;
    if (key == "Space") return Qt::Key_Space;
    if (key.size() == 1) return QChar(key[0]).toUpper().unicode();
    return 0;
}

void SendKey(QWidget* w, int code, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

QMessageBox* OpenBox() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) return box;
    }
    return nullptr;
}

}  // namespace

void ProcessEvents(int ms) {
    QElapsedTimer timer;
    timer.start();
    do {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (ms > 0) QThread::msleep(1);
    } while (timer.elapsed() < ms);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void RunSoon(std::function<void()> fn, int delayMs) { QTimer::singleShot(delayMs, qApp, std::move(fn)); }

bool Click(CWnd* wnd) {
    QWidget* w = WidgetOf(wnd);
    if (w == nullptr || !w->isVisible()) return false;
    ClickAt(w, QPoint(w->width() / 2, w->height() / 2));
    return true;
}

bool PressKey(CWnd* wnd, const std::string& key) {
    QWidget* w = WidgetOf(wnd);
    const int code = KeyCode(key);
    if (w == nullptr || code == 0) return false;
    w->setFocus(Qt::OtherFocusReason);
    SendKey(w, code, key.size() == 1 ? QString::fromStdString(key) : QString());
    return true;
}

bool ChooseComboItem(CWnd* combo, int index) {
    auto* box = qobject_cast<QComboBox*>(WidgetOf(combo));
    if (box == nullptr || index < 0 || index >= box->count() || !box->isEnabled()) return false;
    box->setFocus(Qt::OtherFocusReason);
    int guard = box->count() + 2;
    while (box->currentIndex() != index && guard-- > 0) {
        SendKey(box, box->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up, QString());
    }
    return box->currentIndex() == index;
}

bool DragTrackbar(CWnd* slider, int value) {
    auto* s = qobject_cast<QSlider*>(WidgetOf(slider));
    if (s == nullptr || !s->isEnabled()) return false;
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.orientation = s->orientation();
    opt.minimum = s->minimum();
    opt.maximum = s->maximum();
    opt.sliderPosition = s->sliderPosition();
    opt.sliderValue = s->value();
    opt.subControls = QStyle::SC_All;
    opt.upsideDown = s->orientation() == Qt::Vertical ? !s->invertedAppearance() : s->invertedAppearance();
    const QRect handle = s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s);
    const QRect groove = s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, s);
    const QPoint from = handle.center();
    QPoint to;
    if (s->orientation() == Qt::Vertical) {
        const int span = groove.height() - handle.height();
        // Qt counts a vertical slider's positions from the bottom unless its appearance is inverted.
        const int y = groove.y() + handle.height() / 2 +
                      QStyle::sliderPositionFromValue(s->minimum(), s->maximum(), value, span, !s->invertedAppearance());
        to = QPoint(from.x(), y);
    } else {
        const int span = groove.width() - handle.width();
        const int x = groove.x() + handle.width() / 2 + QStyle::sliderPositionFromValue(s->minimum(), s->maximum(), value, span);
        to = QPoint(x, from.y());
    }
    SendMouse(s, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    const int steps = 8;
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + (to - from) * i / steps;
        SendMouse(s, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
    }
    SendMouse(s, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    return true;
}

bool ClickScrollArrow(CWnd* bar, bool right) {
    auto* s = qobject_cast<QScrollBar*>(WidgetOf(bar));
    if (s == nullptr || !s->isEnabled()) return false;
    const QPoint at = right ? QPoint(s->width() - 4, s->height() / 2) : QPoint(4, s->height() / 2);
    ClickAt(s, at);
    return true;
}

bool TypeText(CWnd* edit, const std::string& text) {
    auto* e = qobject_cast<QLineEdit*>(WidgetOf(edit));
    if (e == nullptr || !e->isEnabled()) return false;
    e->setFocus(Qt::OtherFocusReason);
    e->selectAll();
    SendKey(e, Qt::Key_Backspace, QString());
    for (const QChar c : ToQt(text)) SendKey(e, 0, QString(c));
    return true;
}

bool MouseAt(CWnd* wnd, UINT message, int x, int y) {
    QWidget* w = WidgetOf(wnd);
    if (w == nullptr) return false;
    const QPoint at(x, y);
    switch (message) {
    case WM_MOUSEMOVE: SendMouse(w, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton); return true;
    case WM_LBUTTONDOWN: SendMouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); return true;
    case WM_LBUTTONUP: SendMouse(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); return true;
    case WM_RBUTTONDOWN: SendMouse(w, QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton); return true;
    default: return false;
    }
}

bool DropFiles(CWnd* wnd, const std::vector<std::string>& paths, POINT at) {
    QWidget* w = WidgetOf(wnd);
    if (w == nullptr) return false;
    QMimeData mime;
    QList<QUrl> urls;
    for (const auto& p : paths) urls << QUrl::fromLocalFile(ToQt(p));
    mime.setUrls(urls);
    const QPointF pos(at.x, at.y);
    QDragEnterEvent enter(pos.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &drop);
    return drop.isAccepted();
}

bool CloseWindow(CWnd* topLevel) {
    QWidget* w = WidgetOf(topLevel);
    if (w == nullptr) return false;
    w->window()->close();
    return true;
}

bool CloseFromWindowSystem(CWnd* topLevel) {
    QWidget* w = WidgetOf(topLevel);
    QWindow* window = w != nullptr ? w->window()->windowHandle() : nullptr;
    if (window == nullptr) return false;
    QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::AsynchronousDelivery>(window);
    return true;
}

namespace {
// The window that the window system hands wnd's input to, and a client point of wnd in it.
QWindow* WindowAt(CWnd* wnd, QPoint at, QPointF* local, QPointF* global) {
    QWidget* w = WidgetOf(wnd);
    QWindow* window = w != nullptr ? w->window()->windowHandle() : nullptr;
    if (window == nullptr || !w->isVisible()) return nullptr;
    *local = QPointF(w->mapTo(w->window(), at));
    *global = QPointF(w->window()->mapToGlobal(local->toPoint()));
    return window;
}

QPoint Middle(CWnd* wnd) {
    QWidget* w = WidgetOf(wnd);
    return w != nullptr ? QPoint(w->width() / 2, w->height() / 2) : QPoint();
}
}  // namespace

bool ClickFromWindowSystem(CWnd* wnd) {
    const QPoint at = Middle(wnd);
    return MouseFromWindowSystem(wnd, WM_LBUTTONDOWN, at.x(), at.y()) &&
           MouseFromWindowSystem(wnd, WM_LBUTTONUP, at.x(), at.y());
}

bool MouseFromWindowSystem(CWnd* wnd, UINT message, int x, int y) {
    QPointF local, global;
    QWindow* window = WindowAt(wnd, QPoint(x, y), &local, &global);
    if (window == nullptr) return false;
    Qt::MouseButtons held = Qt::NoButton;
    Qt::MouseButton button = Qt::NoButton;
    QEvent::Type type = QEvent::MouseMove;
    switch (message) {
    case WM_MOUSEMOVE: break;
    case WM_LBUTTONDOWN:
        held = button = Qt::LeftButton;
        type = QEvent::MouseButtonPress;
        break;
    case WM_LBUTTONUP:
        button = Qt::LeftButton;
        type = QEvent::MouseButtonRelease;
        break;
    default: return false;
    }
    using WSI = QWindowSystemInterface;
    WSI::handleMouseEvent<WSI::AsynchronousDelivery>(window, local, global, held, button, type);
    return true;
}

bool WheelFromWindowSystem(CWnd* wnd, int notches) {
    QPointF local, global;
    QWindow* window = WindowAt(wnd, Middle(wnd), &local, &global);
    if (window == nullptr) return false;
    using WSI = QWindowSystemInterface;
    // Queued as every event of the window system is unless its events are made synchronous.
    WSI::handleWheelEvent(window, local, global, QPoint(), QPoint(0, 120 * notches));
    return true;
}

bool KeyFromWindowSystem(CWnd* wnd, const std::string& key) {
    QWidget* w = WidgetOf(wnd);
    QWindow* window = w != nullptr ? w->window()->windowHandle() : nullptr;
    const int code = KeyCode(key);
    if (window == nullptr || code == 0) return false;
    w->setFocus(Qt::OtherFocusReason);
    const QString text = key.size() == 1 ? QString::fromStdString(key) : key == "Space" ? QStringLiteral(" ") : QString();
    using WSI = QWindowSystemInterface;
    WSI::handleKeyEvent<WSI::AsynchronousDelivery>(window, QEvent::KeyPress, code, Qt::NoModifier, text);
    WSI::handleKeyEvent<WSI::AsynchronousDelivery>(window, QEvent::KeyRelease, code, Qt::NoModifier, text);
    return true;
}

bool WindowSystemEventsWaiting() { return QWindowSystemInterface::windowSystemEventsQueued() > 0; }

void OccupyWindowSystemEventHandler(bool occupy) {
    static QWindowSystemEventHandler other;
    static QWindowSystemEventHandler* displaced = nullptr;
    if (occupy) {
        displaced = QWindowSystemInterfacePrivate::eventHandler;
        QWindowSystemInterfacePrivate::eventHandler = &other;
    } else {
        QWindowSystemInterfacePrivate::eventHandler = displaced;
        displaced = nullptr;
    }
}

bool HasWidget(const CWnd* wnd) { return WidgetOf(wnd) != nullptr; }

bool WindowHasCloseButton(const CWnd* topLevel) {
    QWidget* w = WidgetOf(topLevel);
    return w != nullptr && (w->window()->windowFlags() & Qt::WindowCloseButtonHint);
}

std::string WidgetText(const CWnd* wnd) {
    QWidget* w = WidgetOf(wnd);
    if (w == nullptr) return {};
    if (w->isWindow()) return FromQt(w->windowTitle());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return FromQt(b->text());
    if (auto* e = qobject_cast<QLineEdit*>(w)) return FromQt(e->text());
    if (auto* c = qobject_cast<QComboBox*>(w)) return FromQt(c->currentText());
    // Statics and group boxes paint their text themselves.
    if (auto* b = dynamic_cast<Bound*>(w)) return FromQt(b->ShownText());
    return {};
}

bool WidgetVisible(const CWnd* wnd) {
    QWidget* w = WidgetOf(wnd);
    return w != nullptr && w->isVisible();
}

bool WidgetEnabled(const CWnd* wnd) {
    QWidget* w = WidgetOf(wnd);
    return w != nullptr && w->isEnabled();
}

bool WidgetChecked(const CWnd* wnd) {
    auto* b = qobject_cast<QAbstractButton*>(WidgetOf(wnd));
    return b != nullptr && b->isChecked();
}

std::vector<std::string> WidgetItems(const CWnd* combo) {
    std::vector<std::string> items;
    if (auto* c = qobject_cast<QComboBox*>(WidgetOf(combo))) {
        for (int i = 0; i < c->count(); ++i) items.push_back(FromQt(c->itemText(i)));
    }
    return items;
}

int WidgetCurrentIndex(const CWnd* combo) {
    auto* c = qobject_cast<QComboBox*>(WidgetOf(combo));
    return c ? c->currentIndex() : -2;
}

int WidgetValue(const CWnd* wnd) {
    auto* s = qobject_cast<QAbstractSlider*>(WidgetOf(wnd));
    return s ? s->value() : 0;
}

int WidgetMinimum(const CWnd* wnd) {
    auto* s = qobject_cast<QAbstractSlider*>(WidgetOf(wnd));
    return s ? s->minimum() : 0;
}

int WidgetMaximum(const CWnd* wnd) {
    auto* s = qobject_cast<QAbstractSlider*>(WidgetOf(wnd));
    return s ? s->maximum() : 0;
}

RECT WidgetRect(const CWnd* wnd) {
    QWidget* w = WidgetOf(wnd);
    if (w == nullptr) return RECT{};
    const QPoint topLeft = w->isWindow() ? QPoint(0, 0) : w->mapTo(w->window(), QPoint(0, 0));
    return RECT{topLeft.x(), topLeft.y(), topLeft.x() + w->width(), topLeft.y() + w->height()};
}

std::string WidgetFontFamily(const CWnd* wnd) {
    QWidget* w = WidgetOf(wnd);
    return w ? FromQt(QFontInfo(w->font()).family()) : std::string();
}

UINT WidgetImageId(const CWnd* button) { return ButtonImageId(button); }

int WidgetNeededWidth(const CWnd* wnd) {
    QWidget* w = WidgetOf(wnd);
    if (w == nullptr) return 0;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->text().isEmpty()) return 0;
        // A push button's text with a little room each side; a check box or radio button's
        // mark, spacing and text.
        if (qobject_cast<QPushButton*>(w) != nullptr) return QFontMetrics(w->font()).horizontalAdvance(StripPrefix(FromQt(b->text()))) + 6;
        return w->sizeHint().width();
    }
    if (qobject_cast<QLineEdit*>(w) != nullptr || qobject_cast<QComboBox*>(w) != nullptr) return 0;
    const QString text = StripPrefix(wnd->GetWindowText());
    if (text.isEmpty()) return 0;
    int width = QFontMetrics(w->font()).horizontalAdvance(text);
    if (wnd->GetStyle() & SS_SUNKEN) width += 4;
    if (wnd->GetItemKind() == ItemKind::GroupBox) width += 12;
    return width;
}

bool SaveBitmap(const CBitmap& bitmap, const std::string& path) {
    if (!bitmap.SurfacePtr()) return false;
    QDir().mkpath(QFileInfo(ToQt(path)).absolutePath());
    return ToImage(*bitmap.SurfacePtr()).save(ToQt(path), "PNG");
}

bool ChooseOpenMenuItem(UINT id) {
    QtWindowSystem* ws = CurrentWindowSystem();
    QMenu* menu = ws ? ws->OpenMenu() : nullptr;
    if (menu == nullptr) return false;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && action->data().toUInt() == id) {
            menu->setActiveAction(action);
            SendKey(menu, Qt::Key_Return, QString());
            return true;
        }
    }
    return false;
}

std::vector<std::string> OpenMenuItemTexts() {
    std::vector<std::string> texts;
    QtWindowSystem* ws = CurrentWindowSystem();
    if (QMenu* menu = ws ? ws->OpenMenu() : nullptr) {
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator()) texts.push_back(FromQt(action->text()));
        }
    }
    return texts;
}

bool SaveOpenMenuScreenshot(const std::string& path) {
    QtWindowSystem* ws = CurrentWindowSystem();
    QMenu* menu = ws ? ws->OpenMenu() : nullptr;
    if (menu == nullptr) return false;
    QDir().mkpath(QFileInfo(ToQt(path)).absolutePath());
    return menu->grab().save(ToQt(path), "PNG");
}

bool SaveScreenshot(CWnd* wnd, const std::string& path) {
    QWidget* w = WidgetOf(wnd);
    if (w == nullptr) return false;
    QDir().mkpath(QFileInfo(ToQt(path)).absolutePath());
    return w->grab().save(ToQt(path), "PNG");
}

COLORREF GrabPixel(CWnd* wnd, int x, int y) {
    QWidget* w = WidgetOf(wnd);
    if (w == nullptr) return CLR_INVALID;
    const QImage image = w->grab().toImage();
    if (!image.rect().contains(x, y)) return CLR_INVALID;
    const QRgb p = image.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

std::vector<std::string> OpenMessageBoxTexts() {
    std::vector<std::string> texts;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) texts.push_back(FromQt(box->text()));
    }
    return texts;
}

bool AnswerMessageBox(int answer) {
    QMessageBox* box = OpenBox();
    if (box == nullptr) return false;
    for (QAbstractButton* b : box->buttons()) {
        const QMessageBox::ButtonRole role = box->buttonRole(b);
        const bool match = (answer == IDOK && role == QMessageBox::AcceptRole) ||
                           (answer == IDCANCEL && role == QMessageBox::RejectRole) ||
                           (answer == IDYES && role == QMessageBox::YesRole) ||
                           (answer == IDNO && role == QMessageBox::NoRole);
        if (match) {
            b->click();
            return true;
        }
    }
    return false;
}

namespace {
QFileDialog* OpenFileDialog() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<QFileDialog*>(w); d != nullptr && d->isVisible()) return d;
    }
    return nullptr;
}
}  // namespace

bool AnswerFileDialog(const std::vector<std::string>& paths) {
    QFileDialog* dialog = OpenFileDialog();
    if (dialog == nullptr) return false;
    if (paths.empty()) {
        dialog->reject();
        return true;
    }
    // As a user does: go to the folder, then type the name (or the quoted names) into the
    // dialog's name field.
    const QFileInfo first(ToQt(paths.front()));
    dialog->setDirectory(first.absolutePath());
    QString typed = first.fileName();
    if (paths.size() > 1) {
        QStringList names;
        for (const auto& p : paths) names << QStringLiteral("\"") + QFileInfo(ToQt(p)).fileName() + QStringLiteral("\"");
        typed = names.join(QLatin1Char(' '));
    }
    if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) edit->setText(typed);
    else dialog->selectFile(typed);
    // As the dialog's Open button does.
    QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    return true;
}

std::vector<std::string> OpenFileDialogFilters() {
    std::vector<std::string> filters;
    if (QFileDialog* dialog = OpenFileDialog()) {
        for (const QString& f : dialog->nameFilters()) filters.push_back(FromQt(f));
    }
    return filters;
}

std::vector<std::string> OpenFileDialogTexts() {
    std::vector<std::string> texts;
    if (QFileDialog* dialog = OpenFileDialog()) {
        for (const QLabel* label : dialog->findChildren<QLabel*>())
            if (label->isVisible()) texts.push_back(FromQt(label->text()));
        for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
            if (button->isVisible() && !button->text().isEmpty()) texts.push_back(FromQt(button->text()));
    }
    return texts;
}

bool SaveOpenFileDialogScreenshot(const std::string& path) {
    QFileDialog* dialog = OpenFileDialog();
    if (dialog == nullptr) return false;
    QDir().mkpath(QFileInfo(ToQt(path)).absolutePath());
    return dialog->grab().save(ToQt(path), "PNG");
}

std::string ShownToolTipText() {
    QtWindowSystem* ws = CurrentWindowSystem();
    return ws ? ws->ToolTipText() : std::string();
}

std::vector<std::string> ShownWindowTitles() {
    std::vector<std::string> titles;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && dynamic_cast<Bound*>(w) != nullptr) titles.push_back(FromQt(w->windowTitle()));
    }
    return titles;
}

CWnd* ShownWindow(const std::string& title) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* bound = dynamic_cast<Bound*>(w);
        if (w->isVisible() && bound != nullptr && FromQt(w->windowTitle()) == title) return bound->Wnd();
    }
    return nullptr;
}

}  // namespace platform::ui::qt::testing

// The window system on Qt: the registry of widgets, the state mirror, modal loops, timers,
// popup menus, tooltips and the shell.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QEvent>
#include <QEventLoop>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <qpa/qwindowsysteminterface_p.h>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/ui/dialog.h"
#include "platform/ui/qt/backend.h"
#include "platform/ui/qt/windowsystem_qt.h"
#include "platform/ui/msgqueue.h"
#include "platform/ui/timers.h"
#include "platform/ui/userinput.h"

namespace platform::ui::qt {

// --- Threads -------------------------------------------------------------------------------------

namespace {
std::atomic<std::thread::id> g_uiThread{};

// Work handed from other threads to the user-interface thread. The calls wait in this queue,
// written and taken under a std::mutex, so the thread sanitizer sees every hand-over; the wake-up
// that follows is a bare event to a receiver that reads nothing from it (the event and Qt's own
// queue stay inside Qt, which synchronises them with locks the sanitizer cannot see).
// Written by any thread under g_tasksMutex; read and emptied by the user-interface thread.
std::mutex g_tasksMutex;
std::deque<std::function<void()>> g_tasks;
bool g_wakeQueued = false;

// Runs the calls queued before it started, one at a time and in order. The wake flag is cleared
// first, so a call queued meanwhile posts a wake-up of its own: it runs also while one of these
// calls waits in a modal loop, and the queue never starves the other events.
void RunQueuedTasks() {
    std::size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(g_tasksMutex);
        g_wakeQueued = false;
        count = g_tasks.size();
    }
    for (; count > 0; --count) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(g_tasksMutex);
            if (g_tasks.empty()) return;
            task = std::move(g_tasks.front());
            g_tasks.pop_front();
        }
        task();
    }
}

// Lives on the user-interface thread as a child of the application object and receives only the
// wake-up events posted to it: every event it gets runs the queue, and the event itself is left
// unread.
class TaskWaker : public QObject {
public:
    explicit TaskWaker(QObject* parent) : QObject(parent) {}
    ~TaskWaker() override;
    bool event(QEvent*) override {
        RunQueuedTasks();
        return true;
    }
};

std::atomic<TaskWaker*> g_waker{nullptr};

TaskWaker::~TaskWaker() {
    // Calls queued for this application object's windows are dropped with it.
    g_waker.store(nullptr);
    std::deque<std::function<void()>> dropped;
    std::lock_guard<std::mutex> lock(g_tasksMutex);
    dropped.swap(g_tasks);
    g_wakeQueued = false;
}

// Queues fn for the user-interface thread's event loop, also when called there. Without an
// application object nothing would run it, and it is dropped.
void QueueOnUi(std::function<void()> fn) {
    TaskWaker* waker = g_waker.load();
    if (waker == nullptr) return;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(g_tasksMutex);
        g_tasks.push_back(std::move(fn));
        wake = !g_wakeQueued;
        g_wakeQueued = true;
    }
    if (wake) QCoreApplication::postEvent(waker, new QEvent(QEvent::User));
}
}  // namespace

void SetUiThread() {
    g_uiThread.store(std::this_thread::get_id());
    if (qApp != nullptr && g_waker.load() == nullptr) g_waker.store(new TaskWaker(qApp));
}
bool OnUiThread() { return std::this_thread::get_id() == g_uiThread.load(); }

void RunOnUi(std::function<void()> fn) {
    if (OnUiThread()) {
        fn();
        return;
    }
    QueueOnUi(std::move(fn));
}

// --- Registry (user-interface thread only) ---------------------------------------------------------

namespace {
std::unordered_map<const CWnd*, QPointer<QWidget>>& Widgets() {
    static std::unordered_map<const CWnd*, QPointer<QWidget>> widgets;
    return widgets;
}
}  // namespace

QWidget* WidgetOf(const CWnd* wnd) {
    const auto it = Widgets().find(wnd);
    return it == Widgets().end() ? nullptr : it->second.data();
}

Bound* BoundOf(const CWnd* wnd) { return dynamic_cast<Bound*>(WidgetOf(wnd)); }

void Register(CWnd* wnd, QWidget* widget) { Widgets()[wnd] = widget; }

QWidget* Unregister(CWnd* wnd) {
    QWidget* widget = WidgetOf(wnd);
    Widgets().erase(wnd);
    if (widget == nullptr) return nullptr;
    for (auto it = Widgets().begin(); it != Widgets().end();) {
        QWidget* w = it->second.data();
        if (w == nullptr || widget->isAncestorOf(w)) {
            if (auto* b = dynamic_cast<Bound*>(w)) b->Unbind();
            it = Widgets().erase(it);
        } else {
            ++it;
        }
    }
    if (auto* b = dynamic_cast<Bound*>(widget)) b->Unbind();
    return widget;
}

// --- State mirror ----------------------------------------------------------------------------------

namespace {
std::mutex g_pendingMutex;
std::map<CWnd*, unsigned> g_pending;
bool g_flushScheduled = false;

void FlushPending() {
    std::map<CWnd*, unsigned> pending;
    {
        std::lock_guard<std::mutex> lock(g_pendingMutex);
        pending.swap(g_pending);
        g_flushScheduled = false;
    }
    for (const auto& [wnd, what] : pending) SyncWidget(wnd, what);
}
}  // namespace

void MirrorStateChange(CWnd* wnd, unsigned what) {
    if (OnUiThread()) {
        SyncWidget(wnd, what);
        return;
    }
    bool schedule = false;
    {
        std::lock_guard<std::mutex> lock(g_pendingMutex);
        g_pending[wnd] |= what;
        schedule = !g_flushScheduled;
        g_flushScheduled = true;
    }
    if (schedule) QueueOnUi(&FlushPending);
}

void ForgetPendingStateChanges() {
    std::lock_guard<std::mutex> lock(g_pendingMutex);
    g_pending.clear();
}

// --- Posted messages -----------------------------------------------------------------------------

namespace {
std::atomic<bool> g_deliveryScheduled{false};

void DeliverPosted() {
    g_deliveryScheduled.store(false);
    const std::size_t waiting = PendingMessageCount();
    DeliverPostedMessages(waiting);
    if (PendingMessageCount() > 0) WakeForPostedMessages();
}
}  // namespace

void WakeForPostedMessages() {
    if (g_deliveryScheduled.exchange(true)) return;
    if (qApp != nullptr) QueueOnUi(&DeliverPosted);
}

// --- The window system -----------------------------------------------------------------------------

// The user's input that the window system hands over while a handler waits: held back whole and
// in order before Qt has handled any of it, and handed back to the window system's queue once the
// wait is over, ahead of what has come since. Qt then handles it as if it had only now arrived:
// its mouse state (position, buttons, the widget under a press) follows the input as it came, so
// every click, key and wheel turn acts, whatever the mouse did before it. Qt's own exclusion of
// user input leaves such input in that queue in the same way but cannot serve: it counts the
// window manager's close request as user input too (on X11 already where the events are read),
// and that request must get through. So every event is taken from the window system as usual,
// and this handler, which Qt asks to handle each one, keeps the input back. Only what the window
// system delivers is held (what the program sends its own widgets is not input of the user);
// input while a box, picker or menu opened meanwhile is active passes, so that it can be answered.
//
// Files dropped on a window take the same road. Qt hands a drop to the widget at once, inside
// whatever loop runs then, so the widget only notes it (QueueDroppedFiles) as an event at the end
// of the window system's queue, behind the input that came before it. This handler takes that
// event in its turn: during a wait it is held with the input; where a click on the window would be
// handled (no box, picker or menu above the window) the drop is handed to the window; while one
// is above it, it waits until none is, and is then handed over in its order.
//
// Qt keeps only the first handler installed. This one is installed at each wait and each drop and
// then stays; each time another is found in its place, the notice sink (the program's trace) says
// so, drops are then handed over by a timer that follows the same rules, and input during a wait
// is not held.
// User-interface thread only.
class QtWindowSystem::InputHold : public QWindowSystemEventHandler {
public:
    using Event = QWindowSystemInterfacePrivate::WindowSystemEvent;

    // A drop noted by the window that took it: a file-open event of the window system's queue
    // (an event Qt would hand to the application object, where nothing acts on it), marked as
    // the program's own.
    class DropEvent : public QWindowSystemInterfacePrivate::FileOpenEvent {
    public:
        DropEvent(CWnd* target, std::vector<std::string> files, POINT at)
            : FileOpenEvent(QUrl()), m_target(target), m_widget(WidgetOf(target)), m_files(std::move(files)), m_at(at) {}

        // Hands the drop to its window, unless the window has gone or the program is closing.
        void Deliver() const {
            if (m_widget.isNull() || WidgetOf(m_target) != m_widget.data() || CloseRequested()) return;
            UserDroppedFiles(m_target, m_files, m_at);
        }
        // Whether the window could take a click now: no box, picker, menu or dialog above it.
        bool WindowMayTakeIt() const {
            if (m_widget.isNull()) return true;  // delivered as gone
            if (QApplication::activePopupWidget() != nullptr) return false;
            QWidget* modal = QApplication::activeModalWidget();
            return modal == nullptr || modal == m_widget->window();
        }

    private:
        CWnd* m_target;
        QPointer<QWidget> m_widget;
        std::vector<std::string> m_files;
        POINT m_at;
    };

    // Installs the handler (Qt keeps a handler that was installed first); false, and said once
    // each time it is found missing, when another one is in its place.
    bool Install() {
        QWindowSystemInterfacePrivate::installWindowSystemEventHandler(this);
        const bool inPlace = InPlace();
        if (!inPlace && !m_toldMissing)
            WindowSystemNotice("input hold: another handler of the window system's events is in place; input during a "
                               "wait is not held, and dropped files are handed over apart from the input");
        m_toldMissing = !inPlace;
        return inPlace;
    }
    bool InPlace() const { return QWindowSystemInterfacePrivate::eventHandler == this; }

    // Holds input while the modal widget that is active now is the active one.
    void Begin() {
        m_modal = QApplication::activeModalWidget();
        m_holding = true;
        Install();
    }
    void End() { m_holding = false; }

    // Hands the held input back to the window system's queue (handled once the waiting handler
    // has returned to the event loop), or drops it. Input for a window that has gone meanwhile is
    // dropped.
    void Release(bool deliver) {
        std::vector<std::unique_ptr<Event>> held;
        held.swap(m_held);
        if (!deliver) return;
        bool queued = false;
        for (auto it = held.rbegin(); it != held.rend(); ++it) {
            if (WindowGone(**it)) continue;
            QWindowSystemInterfacePrivate::windowSystemEventQueue.prepend(it->release());
            queued = true;
        }
        if (queued) WakeWindowSystemQueue();
    }

    // Notes a drop: at the end of the window system's queue when this handler is in place, else
    // as a queued call.
    void Queue(std::unique_ptr<DropEvent> drop) {
        if (Install()) {
            QWindowSystemInterfacePrivate::windowSystemEventQueue.append(drop.release());
            WakeWindowSystemQueue();
            return;
        }
        m_waiting.push_back(std::move(drop));
        ScheduleWaitingDrops();
    }

    bool sendEvent(Event* ev) override {
        if (auto* drop = dynamic_cast<DropEvent*>(ev)) {
            if (Holding()) {
                m_held.push_back(std::make_unique<DropEvent>(*drop));
            } else if (m_waiting.empty() && drop->WindowMayTakeIt()) {
                drop->Deliver();
            } else {
                m_waiting.push_back(std::make_unique<DropEvent>(*drop));
                ScheduleWaitingDrops();
            }
            return true;
        }
        if (Holding()) {
            if (std::unique_ptr<Event> copy = CopyOfInput(*ev)) {
                m_held.push_back(std::move(copy));
                return true;
            }
        }
        return QWindowSystemEventHandler::sendEvent(ev);
    }

private:
    using Wsi = QWindowSystemInterfacePrivate;

    bool Holding() const {
        return m_holding && QApplication::activeModalWidget() == m_modal && QApplication::activePopupWidget() == nullptr;
    }

    static void WakeWindowSystemQueue() {
        if (auto* dispatcher = QAbstractEventDispatcher::instance(qApp->thread()); dispatcher != nullptr) dispatcher->wakeUp();
    }

    // Drops that wait for the box, picker or menu above their window to close are handed over,
    // in order, from the window's own loop; during a wait they join the held input.
    void ScheduleWaitingDrops() {
        if (m_retryScheduled) return;
        m_retryScheduled = true;
        QTimer::singleShot(20, &m_context, [this] {
            m_retryScheduled = false;
            while (!m_waiting.empty()) {
                if (m_holding && !InPlace()) break;
                if (Holding()) {
                    for (auto& drop : m_waiting) m_held.push_back(std::move(drop));
                    m_waiting.clear();
                    return;
                }
                if (!m_waiting.front()->WindowMayTakeIt()) break;
                const std::unique_ptr<DropEvent> drop = std::move(m_waiting.front());
                m_waiting.erase(m_waiting.begin());
                drop->Deliver();
            }
            if (!m_waiting.empty()) ScheduleWaitingDrops();
        });
    }

    // A copy of an event of the user's input (Qt deletes the event it hands over); null for any
    // other event.
    static std::unique_ptr<Event> CopyOfInput(const Event& ev) {
        switch (ev.type) {
        case Wsi::Mouse: return std::make_unique<Wsi::MouseEvent>(static_cast<const Wsi::MouseEvent&>(ev));
        case Wsi::Wheel: return std::make_unique<Wsi::WheelEvent>(static_cast<const Wsi::WheelEvent&>(ev));
        case Wsi::Key: return std::make_unique<Wsi::KeyEvent>(static_cast<const Wsi::KeyEvent&>(ev));
        case Wsi::Touch: return std::make_unique<Wsi::TouchEvent>(static_cast<const Wsi::TouchEvent&>(ev));
        case Wsi::Tablet: return std::make_unique<Wsi::TabletEvent>(static_cast<const Wsi::TabletEvent&>(ev));
        case Wsi::TabletEnterProximity:
            return std::make_unique<Wsi::TabletEnterProximityEvent>(static_cast<const Wsi::TabletEnterProximityEvent&>(ev));
        case Wsi::TabletLeaveProximity:
            return std::make_unique<Wsi::TabletLeaveProximityEvent>(static_cast<const Wsi::TabletLeaveProximityEvent&>(ev));
        case Wsi::Enter: return std::make_unique<Wsi::EnterEvent>(static_cast<const Wsi::EnterEvent&>(ev));
        case Wsi::Leave: return std::make_unique<Wsi::LeaveEvent>(static_cast<const Wsi::LeaveEvent&>(ev));
#ifndef QT_NO_CONTEXTMENU
        case Wsi::ContextMenu: return std::make_unique<Wsi::ContextMenuEvent>(static_cast<const Wsi::ContextMenuEvent&>(ev));
#endif
#ifndef QT_NO_GESTURES
        case Wsi::Gesture: return std::make_unique<Wsi::GestureEvent>(static_cast<const Wsi::GestureEvent&>(ev));
#endif
        default: return nullptr;
        }
    }

    // Whether the window the input was for has been destroyed while it was held (a drop looks
    // at its window when it is handed over).
    static bool WindowGone(const Event& ev) {
        switch (ev.type) {
        case Wsi::Enter: return static_cast<const Wsi::EnterEvent&>(ev).enter.isNull();
        case Wsi::Leave: return static_cast<const Wsi::LeaveEvent&>(ev).leave.isNull();
#ifndef QT_NO_CONTEXTMENU
        case Wsi::ContextMenu: return static_cast<const Wsi::ContextMenuEvent&>(ev).window.isNull();
#endif
        case Wsi::FileOpen:
        case Wsi::TabletEnterProximity:
        case Wsi::TabletLeaveProximity: return false;
        default: {
            const auto& input = static_cast<const Wsi::UserEvent&>(ev);
            return !input.nullWindow() && input.window.isNull();
        }
        }
    }

    std::vector<std::unique_ptr<Event>> m_held;
    std::vector<std::unique_ptr<DropEvent>> m_waiting;  // drops waiting for their window
    QPointer<QWidget> m_modal;
    bool m_holding = false;
    bool m_toldMissing = false;
    bool m_retryScheduled = false;
    QObject m_context;  // the retries' context: they end with the hold
};

QtWindowSystem::QtWindowSystem() = default;

QtWindowSystem::~QtWindowSystem() {
    for (auto& [key, timer] : m_timers) delete timer;
}

SIZE QtWindowSystem::DrawText(Surface* target, const TextJob& job) { return DrawTextOn(target, job); }

DialogBaseUnits QtWindowSystem::BaseUnits(const FontSpec& font) { return MeasureBaseUnits(font); }

COLORREF QtWindowSystem::SysColor(int index) {
    const QPalette pal = QApplication::palette();
    QColor c;
    switch (index) {
    case COLOR_BTNFACE: c = pal.color(QPalette::Window); break;
    case COLOR_BTNTEXT: c = pal.color(QPalette::WindowText); break;
    case COLOR_WINDOW: c = pal.color(QPalette::Base); break;
    case COLOR_WINDOWTEXT: c = pal.color(QPalette::Text); break;
    case COLOR_GRAYTEXT: c = pal.color(QPalette::Disabled, QPalette::WindowText); break;
    case COLOR_BTNSHADOW: c = pal.color(QPalette::Dark); break;
    case COLOR_BTNHIGHLIGHT: c = pal.color(QPalette::Light); break;
    default: return CLR_INVALID;
    }
    return RGB(c.red(), c.green(), c.blue());
}

bool QtWindowSystem::CreateWindowFor(CWnd* wnd) {
    if (WidgetOf(wnd) != nullptr) return true;
    if (auto* dlg = dynamic_cast<CDialog*>(wnd)) {
        MakeDialogWidget(dlg);
        return true;
    }
    QWidget* parent = wnd->GetParent() ? WidgetOf(wnd->GetParent()) : nullptr;
    if (parent == nullptr) return false;
    MakeItemWidget(wnd, parent);
    return true;
}

void QtWindowSystem::DestroyWindowFor(CWnd* wnd) {
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->first.first == wnd) {
            delete it->second;
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
    QWidget* widget = Unregister(wnd);
    if (widget == nullptr) return;
    if (m_tooltipOwner == widget || (m_tooltipOwner != nullptr && widget->isAncestorOf(m_tooltipOwner))) HideToolTip();
    widget->hide();
    widget->deleteLater();
}

void QtWindowSystem::Repaint(CWnd* wnd, const RECT* area) {
    QWidget* w = WidgetOf(wnd);
    if (w == nullptr) return;
    if (area == nullptr) {
        w->update();
    } else if (area->right > area->left && area->bottom > area->top) {
        w->update(QRect(area->left, area->top, area->right - area->left, area->bottom - area->top));
    }
}

POINT QtWindowSystem::ClientOrigin(const CWnd* topLevel) {
    QWidget* w = WidgetOf(topLevel);
    if (w == nullptr) return POINT{};
    const QPoint p = w->mapToGlobal(QPoint(0, 0));
    return POINT{p.x(), p.y()};
}

bool QtWindowSystem::IsIconic(const CWnd* topLevel) {
    QWidget* w = WidgetOf(topLevel);
    return w != nullptr && w->isMinimized();
}

void QtWindowSystem::SetIcon(CWnd* topLevel, HICON icon, bool big) {
    QWidget* w = WidgetOf(topLevel);
    if (w == nullptr || icon == nullptr) return;
    QIcon qicon = w->windowIcon();
    if (big && icon->big) qicon.addPixmap(QPixmap::fromImage(ToImage(*icon->big, true)));
    if (!big && icon->small) qicon.addPixmap(QPixmap::fromImage(ToImage(*icon->small, true)));
    w->setWindowIcon(qicon);
}

void QtWindowSystem::RunModalLoop(CDialog* dlg) {
    QEventLoop loop;
    m_loops[dlg] = &loop;
    if (!dlg->IsEnded()) loop.exec(QEventLoop::DialogExec);
    m_loops.erase(dlg);
}

void QtWindowSystem::EndModal(CDialog* dlg) {
    RunOnUi([this, dlg] {
        const auto it = m_loops.find(dlg);
        if (it != m_loops.end()) it->second->quit();
    });
}

void QtWindowSystem::DismissModals() { DismissOpenModals(); }

QtWindowSystem::InputHold& QtWindowSystem::Hold() {
    if (!m_inputHold) m_inputHold = std::make_unique<InputHold>();
    return *m_inputHold;
}

void QtWindowSystem::QueueDroppedFiles(CWnd* target, std::vector<std::string> files, POINT at) {
    Hold().Queue(std::make_unique<InputHold::DropEvent>(target, std::move(files), at));
}

bool QtWindowSystem::InputHoldInPlace() { return Hold().Install(); }

void QtWindowSystem::ProcessPendingEvents() {
    InputHold& hold = Hold();
    hold.Begin();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    hold.End();
}

void QtWindowSystem::ReleaseHeldInput() {
    // Input given to a program that is closing would start what the close has to stop.
    if (m_inputHold) m_inputHold->Release(!CloseRequested());
}

void QtWindowSystem::TimerChanged(CWnd* wnd, UINT_PTR id, UINT elapse) {
    RunOnUi([this, wnd, id, elapse] {
        const auto key = std::make_pair(wnd, id);
        auto it = m_timers.find(key);
        // The table may have changed again since this was queued: follow what it says now.
        const UINT now = TimerElapse(wnd, id);
        (void)elapse;
        if (now == 0) {
            if (it != m_timers.end()) {
                delete it->second;
                m_timers.erase(it);
            }
            return;
        }
        if (it == m_timers.end()) {
            auto* timer = new QTimer();
            timer->setTimerType(Qt::PreciseTimer);
            QObject::connect(timer, &QTimer::timeout, [wnd, id] { FireTimer(wnd, id); });
            it = m_timers.emplace(key, timer).first;
        }
        it->second->start(static_cast<int>(now));
    });
}

void FillQMenu(QMenu& popup, const CMenu& menu) {
    for (const auto& item : menu.Items()) {
        if (item.flags & MF_SEPARATOR) {
            popup.addSeparator();
            continue;
        }
        QAction* action = popup.addAction(StripPrefix(item.text));
        action->setData(item.id);
        action->setEnabled((item.flags & (MF_GRAYED | MF_DISABLED)) == 0);
    }
}

UINT QtWindowSystem::TrackPopupMenu(const CMenu& menu, CWnd* owner, int x, int y) {
    QWidget* parent = owner ? WidgetOf(owner) : nullptr;
    QMenu popup(parent);
    FillQMenu(popup, menu);
    m_openMenu = &popup;
    QAction* chosen = RunPopupMenu(popup, QPoint(x, y));
    m_openMenu = nullptr;
    return chosen ? chosen->data().toUInt() : 0;
}

bool QtWindowSystem::FileDialog(CWnd* owner, FileDialogRequest& request) { return RunFileDialog(owner, request); }

bool QtWindowSystem::BrowseFolder(CWnd* owner, const std::string& title, std::string* folder) {
    return RunFolderDialog(owner, title, folder);
}

bool QtWindowSystem::ShellOpen(const std::string& path) {
    // The user's browser (the first entry of BROWSER, when it names a program) or the desktop's
    // opener, started with the path as its one argument: no shell sees the path.
    QString program = QStringLiteral("xdg-open");
    const QString first = qEnvironmentVariable("BROWSER").section(QLatin1Char(':'), 0, 0).trimmed();
    if (!first.isEmpty() && !first.contains(QStringLiteral("%s"))) program = first;
    if (QProcess::startDetached(program, QStringList{ToQt(path)})) return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(ToQt(path)));
}

bool QtWindowSystem::IsKeyDown(int virtKey) {
    const Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
    if (virtKey == VK_CONTROL) return (mods & Qt::ControlModifier) != 0;
    if (virtKey == VK_SHIFT) return (mods & Qt::ShiftModifier) != 0;
    return false;
}

void QtWindowSystem::ShowToolTip(CWnd* tool, const std::string& text) {
    QWidget* w = WidgetOf(tool);
    if (w == nullptr) return;
    m_tooltipOwner = w;
    m_tooltipText = text;
    QPoint at = QCursor::pos();
    if (!w->rect().contains(w->mapFromGlobal(at))) at = w->mapToGlobal(QPoint(w->width() / 2, w->height()));
    QToolTip::showText(at + QPoint(0, 16), ToQt(text), w);
}

void QtWindowSystem::HideToolTip() {
    m_tooltipOwner = nullptr;
    m_tooltipText.clear();
    QToolTip::hideText();
}

}  // namespace platform::ui::qt

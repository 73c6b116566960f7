// A user who drags files from a file manager onto a program's window, for tests on an X display
// (Xvfb): a small window of its own starts a drag of the files' addresses, and the mouse is moved
// and its button pressed and released with the X test extension, so the drop reaches the other
// program through the X drag-and-drop protocol as a desktop's would.
//
//   drag_file --title TITLE --at X,Y [--focus X,Y] [--stop PID --key NAME] FILE...
//   drag_file --title TITLE --click X,Y
//   drag_file --title TITLE --type TEXT
//   drag_file --title TITLE --shot FILE.png
//
// TITLE: the caption of the top-level window to drop on; X,Y: the drop point in its client area.
// --focus: before the drag, the left button is pressed at that point and released away from it, so
// the control there takes the keyboard focus without being clicked. --stop: while the drag hovers
// over the window, the process PID is stopped (SIGSTOP, a window thread held as on a busy desktop),
// the key NAME (an X keysym name, e.g. "space") is pressed and released, the files are dropped,
// and the process goes on (SIGCONT): the program then finds the key and the drop waiting together.
// --click: only a click of the left button at that point. --type: with the mouse over the window
// (a file picker), the text is typed into its name box and Return pressed, until it closes. --shot: once the window shows, the whole screen is saved.
// Prints "dropped" and exits 0 when the window accepted the drop and finished with it; 2 on wrong
// arguments, 3 when the window was not found, 4 when it refused the drop, 5 when it did not finish
// with it within 30 s, 6 when the screen could not be saved, 7 when a picker did not close.
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QGuiApplication>
#include <QDrag>
#include <QElapsedTimer>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

namespace {

struct Options {
    std::string title;
    int atX = -1, atY = -1;
    int focusX = -1, focusY = -1;
    pid_t stop = 0;
    std::string key;
    int clickX = -1, clickY = -1;
    std::string type;
    std::string shot;
    QList<QUrl> files;
};

bool Point(const char* text, int* x, int* y) { return std::sscanf(text, "%d,%d", x, y) == 2; }

bool Parse(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--title" && more) o->title = argv[++i];
        else if (a == "--at" && more) {
            if (!Point(argv[++i], &o->atX, &o->atY)) return false;
        } else if (a == "--focus" && more) {
            if (!Point(argv[++i], &o->focusX, &o->focusY)) return false;
        } else if (a == "--stop" && more) o->stop = static_cast<pid_t>(std::atoi(argv[++i]));
        else if (a == "--key" && more) o->key = argv[++i];
        else if (a == "--click" && more) {
            if (!Point(argv[++i], &o->clickX, &o->clickY)) return false;
        } else if (a == "--type" && more) o->type = argv[++i];
        else if (a == "--shot" && more) o->shot = argv[++i];
        else o->files.push_back(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])));
    }
    if (o->title.empty()) return false;
    if (o->clickX >= 0 || !o->type.empty() || !o->shot.empty()) return o->files.isEmpty();
    if (o->files.isEmpty()) return !o->key.empty() && o->stop == 0;
    return o->atX >= 0 && !o->files.isEmpty() && (o->stop == 0) == o->key.empty();
}

std::string WindowTitle(Display* dpy, Window w) {
    const Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(dpy, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        title.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) XFree(data);
    return title;
}

// The shown top-level window with that caption (None when there is none).
Window FindWindow(Display* dpy, const std::string& title) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    Window found = None;
    if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &n) == 0) return None;
    for (unsigned int i = 0; i < n && found == None; ++i) {
        XWindowAttributes attrs;
        if (XGetWindowAttributes(dpy, children[i], &attrs) != 0 && attrs.map_state == IsViewable &&
            WindowTitle(dpy, children[i]) == title)
            found = children[i];
    }
    if (children != nullptr) XFree(children);
    return found;
}

void MoveTo(Display* dpy, int x, int y) {
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
    XSync(dpy, False);
}

// Presses and releases the key of one character, with Shift when the character needs it.
void TypeChar(Display* dpy, char c) {
    const std::string name = c == '/' ? "slash" : c == '.' ? "period" : c == '-' ? "minus" : c == '_' ? "underscore"
                             : c == ' ' ? "space" : std::string(1, c);
    const KeySym sym = XStringToKeysym(name.c_str());
    const KeyCode code = XKeysymToKeycode(dpy, sym);
    if (code == 0) return;
    const bool shift = XkbKeycodeToKeysym(dpy, code, 0, 0) != sym;
    const KeyCode shiftCode = XKeysymToKeycode(dpy, XK_Shift_L);
    if (shift) XTestFakeKeyEvent(dpy, shiftCode, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(dpy, shiftCode, False, CurrentTime);
    XSync(dpy, False);
}

void Button(Display* dpy, bool down) {
    XTestFakeButtonEvent(dpy, 1, down ? True : False, CurrentTime);
    XSync(dpy, False);
}

// Runs the event loop for about ms milliseconds.
void Spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Notes the window's word that it has finished with a drop (XdndFinished): it has taken the
// files' addresses from this program by then, so this program may end.
class FinishWatch : public QAbstractNativeEventFilter {
public:
    explicit FinishWatch(Display* dpy) : m_finished(XInternAtom(dpy, "XdndFinished", False)) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* ev = static_cast<const xcb_generic_event_t*>(message);
        if ((ev->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
            static_cast<const xcb_client_message_event_t*>(message)->type == m_finished)
            finished = true;
        return false;
    }
    bool finished = false;

private:
    Atom m_finished;
};

// The drag's source: a small window; a press of the left button on it starts the drag.
class Source : public QWidget {
public:
    Source(const Options& o, Display* dpy, Window window, QPoint target) : m_o(o), m_dpy(dpy), m_window(window), m_target(target) {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setWindowTitle(QStringLiteral("drag source"));
        resize(40, 40);
    }
    Qt::DropAction result = Qt::IgnoreAction;
    bool done = false;

protected:
    void mousePressEvent(QMouseEvent*) override {
        if (m_started) return;
        m_started = true;
        QTimer::singleShot(0, this, [this] { Drag(); });
    }

private:
    void Drag() {
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls(m_o.files);
        drag->setMimeData(mime);
        // The window's acceptance comes as a change of the drag's action.
        QObject::connect(drag, &QDrag::actionChanged, this, [this](Qt::DropAction a) { m_accepted = a != Qt::IgnoreAction; });
        // The mouse goes there in small steps, waits over the window until it accepts (for up to
        // 10 s), then the button is released.
        auto* steps = new QTimer(this);
        const QPoint from = mapToGlobal(rect().center());
        auto step = std::make_shared<int>(0);
        auto waited = std::make_shared<QElapsedTimer>();
        QObject::connect(steps, &QTimer::timeout, this, [this, steps, from, step, waited] {
            constexpr int kSteps = 12;
            if (*step <= kSteps) {
                const QPoint p = from + (m_target - from) * *step / kSteps;
                MoveTo(m_dpy, p.x(), p.y());
                if (*step == kSteps) waited->start();
                ++*step;
                return;
            }
            // A small move over the window keeps the position messages coming; the window's
            // answers have come once it has accepted for a few of them.
            MoveTo(m_dpy, m_target.x() + (*step & 1), m_target.y());
            ++*step;
            m_acceptedMoves = m_accepted ? m_acceptedMoves + 1 : 0;
            if (m_acceptedMoves < 5 && waited->elapsed() < 10000) return;
            steps->stop();
            if (m_o.stop != 0) {
                // The drag holds the keyboard (for Escape); the key is for the other window.
                if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
                    xcb_ungrab_keyboard(x11->connection(), XCB_CURRENT_TIME);
                    xcb_flush(x11->connection());
                }
                ::kill(m_o.stop, SIGSTOP);
                XSetInputFocus(m_dpy, m_window, RevertToPointerRoot, CurrentTime);
                const KeyCode code = XKeysymToKeycode(m_dpy, XStringToKeysym(m_o.key.c_str()));
                XTestFakeKeyEvent(m_dpy, code, True, CurrentTime);
                XTestFakeKeyEvent(m_dpy, code, False, CurrentTime);
                XSync(m_dpy, False);
            }
            Button(m_dpy, false);
        });
        steps->start(30);
        result = drag->exec(Qt::CopyAction);
        steps->stop();
        if (m_o.stop != 0) ::kill(m_o.stop, SIGCONT);
        done = true;
    }

    const Options& m_o;
    Display* m_dpy;
    Window m_window;
    QPoint m_target;
    bool m_started = false;
    bool m_accepted = false;
    int m_acceptedMoves = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, &o)) {
        std::fprintf(stderr, "usage: drag_file --title TITLE --at X,Y [--focus X,Y] [--stop PID --key NAME] FILE...\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) return 3;

    // No button is held from an earlier run.
    Button(dpy, false);
    Window target = None;
    QElapsedTimer looking;
    looking.start();
    while ((target = FindWindow(dpy, o.title)) == None && looking.elapsed() < 30000) Spin(50);
    if (target == None) {
        std::fprintf(stderr, "drag_file: no window \"%s\"\n", o.title.c_str());
        return 3;
    }
    const auto rootPoint = [&](int x, int y) {
        int rx = 0, ry = 0;
        Window child = 0;
        XTranslateCoordinates(dpy, target, DefaultRootWindow(dpy), x, y, &rx, &ry, &child);
        return QPoint(rx, ry);
    };
    // A window that has just been shown may still be moved to its place by its program: the
    // points are taken once it has stood still for a quarter second.
    {
        QPoint last = rootPoint(0, 0);
        QElapsedTimer settling, still;
        settling.start();
        still.start();
        while (still.elapsed() < 250 && settling.elapsed() < 10000) {
            Spin(25);
            const QPoint now = rootPoint(0, 0);
            if (now != last) still.restart();
            last = now;
        }
    }

    if (!o.shot.empty()) {
        XCloseDisplay(dpy);
        return QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(o.shot.c_str()), "PNG") ? 0 : 6;
    }
    if (o.clickX >= 0) {
        const QPoint at = rootPoint(o.clickX, o.clickY);
        MoveTo(dpy, at.x(), at.y());
        Button(dpy, true);
        Button(dpy, false);
        XCloseDisplay(dpy);
        return 0;
    }
    if (!o.type.empty()) {
        XWindowAttributes attrs;
        XGetWindowAttributes(dpy, target, &attrs);
        const QPoint middle = rootPoint(attrs.width / 2, attrs.height / 2);
        MoveTo(dpy, middle.x(), middle.y());
        // A picker that has only just been shown may not have put its keyboard focus on the
        // name box yet, and keys typed before then go elsewhere (the file list's search). So the
        // name box is taken by its mnemonic (Alt+N), its text replaced, and Return pressed, again
        // until the picker has closed.
        const auto chord = [dpy](KeySym modifier, KeySym key) {
            const KeyCode m = XKeysymToKeycode(dpy, modifier), k = XKeysymToKeycode(dpy, key);
            XTestFakeKeyEvent(dpy, m, True, CurrentTime);
            XTestFakeKeyEvent(dpy, k, True, CurrentTime);
            XTestFakeKeyEvent(dpy, k, False, CurrentTime);
            XTestFakeKeyEvent(dpy, m, False, CurrentTime);
            XSync(dpy, False);
        };
        const auto shown = [&] {
            XWindowAttributes now;
            return XGetWindowAttributes(dpy, target, &now) != 0 && now.map_state == IsViewable;
        };
        int exitCode = 7;
        for (int attempt = 0; attempt < 6 && exitCode != 0; ++attempt) {
            chord(XK_Alt_L, XK_n);
            chord(XK_Control_L, XK_a);
            for (char c : o.type) TypeChar(dpy, c);
            const KeyCode enter = XKeysymToKeycode(dpy, XK_Return);
            XTestFakeKeyEvent(dpy, enter, True, CurrentTime);
            XTestFakeKeyEvent(dpy, enter, False, CurrentTime);
            XSync(dpy, False);
            QElapsedTimer waiting;
            waiting.start();
            while (shown() && waiting.elapsed() < 5000) Spin(50);
            if (!shown()) exitCode = 0;
        }
        XCloseDisplay(dpy);
        return exitCode;
    }
    if (o.focusX >= 0) {
        const QPoint press = rootPoint(o.focusX, o.focusY);
        MoveTo(dpy, press.x(), press.y());
        Button(dpy, true);
        MoveTo(dpy, press.x() + 1, press.y() + 1);
        const QPoint away = rootPoint(2, 2);
        MoveTo(dpy, away.x(), away.y());
        Button(dpy, false);
    }

    if (o.files.isEmpty()) {
        const KeyCode code = XKeysymToKeycode(dpy, XStringToKeysym(o.key.c_str()));
        XTestFakeKeyEvent(dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        XSync(dpy, False);
        XCloseDisplay(dpy);
        return 0;
    }
    FinishWatch watch(dpy);
    app.installNativeEventFilter(&watch);
    // The source in the screen's lower right corner, away from the window.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    Source source(o, dpy, target, rootPoint(o.atX, o.atY));
    source.move(screen.right() - 60, screen.bottom() - 60);
    source.show();
    QElapsedTimer showing;
    showing.start();
    while ((source.windowHandle() == nullptr || !source.windowHandle()->isExposed()) && showing.elapsed() < 10000) Spin(20);
    Spin(100);
    const QPoint start = source.mapToGlobal(source.rect().center());
    MoveTo(dpy, start.x(), start.y());
    Button(dpy, true);
    QElapsedTimer dragging;
    dragging.start();
    while (!source.done && dragging.elapsed() < 60000) Spin(20);
    if (source.result == Qt::IgnoreAction) {
        std::fprintf(stderr, "drag_file: the window did not take the drop\n");
        return 4;
    }
    // The window asks for the files' addresses while it handles the drop: they are served until
    // it has finished.
    QElapsedTimer serving;
    serving.start();
    while (!watch.finished && serving.elapsed() < 30000) Spin(20);
    XCloseDisplay(dpy);
    if (!watch.finished) {
        std::fprintf(stderr, "drag_file: the window did not finish the drop\n");
        return 5;
    }
    std::printf("dropped\n");
    return 0;
}

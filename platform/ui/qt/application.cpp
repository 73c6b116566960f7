#include "platform/ui/qt/application.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <vector>
#include <sys/stat.h>

#include "platform/ui/msgbox.h"
#include "platform/ui/msgqueue.h"
#include "platform/ui/qt/windowsystem_qt.h"

namespace platform::ui::qt {
namespace {

QtWindowSystem* g_current = nullptr;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool IsSocket(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// A local X display (":0", "unix:0.0") is reachable when its socket exists; a remote one is
// taken as given.
bool XDisplayReachable(const std::string& display) {
    if (display.empty()) return false;
    std::string rest = display;
    if (rest.rfind("unix:", 0) == 0) rest = rest.substr(4);
    if (rest.empty() || rest[0] != ':') return true;
    std::string number = rest.substr(1);
    const auto dot = number.find('.');
    if (dot != std::string::npos) number = number.substr(0, dot);
    if (number.empty()) return false;
    return IsSocket("/tmp/.X11-unix/X" + number);
}

bool WaylandReachable(const std::string& display) {
    if (display.empty()) return false;
    const std::string path = display[0] == '/' ? display : Env("XDG_RUNTIME_DIR") + "/" + display;
    if (!IsSocket(path)) return false;
    const QDir plugins(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !plugins.entryList(QStringList() << QStringLiteral("libqwayland*")).isEmpty();
}

// Message boxes from any thread: on the UI thread they run modally; a worker's OK-only box is
// posted and the worker goes on; a worker's question waits for the answer.
int MessageBoxHandler(const std::string& text, const std::string& caption, UINT type) {
    if (OnUiThread()) return ShowMessageBox(text, caption, type);
    if ((type & 0xFu) == MB_OK) {
        RunOnUi([text, caption, type] { ShowMessageBox(text, caption, type); });
        return IDOK;
    }
    // A question waits for the user's answer, handed back through a promise, unless the UI
    // thread declines workers' questions meanwhile (it is about to join this worker): then the
    // worker goes on with "no", and a box not yet shown is never shown.
    const int declined = (type & 0xFu) == MB_YESNO ? IDNO : IDCANCEL;
    if (WorkerQuestionsDeclined() || CloseRequested()) return declined;
    struct Question {
        std::promise<int> answer;
        std::atomic<bool> abandoned{false};
    };
    auto question = std::make_shared<Question>();
    std::future<int> result = question->answer.get_future();
    RunOnUi([question, text, caption, type] {
        if (question->abandoned.load(std::memory_order_acquire)) return;
        question->answer.set_value(ShowMessageBox(text, caption, type));
    });
    try {
        while (result.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
            if (WorkerQuestionsDeclined() || CloseRequested()) {
                question->abandoned.store(true, std::memory_order_release);
                return declined;
            }
        }
        return result.get();
    } catch (const std::future_error&) {
        // The window system ended before the box could be shown: the question was declined.
        return declined;
    }
}

}  // namespace

QtWindowSystem* CurrentWindowSystem() { return g_current; }

std::string CheckDisplay() {
    const std::string platform = Env("QT_QPA_PLATFORM");
    const std::string x = Env("DISPLAY");
    const std::string wayland = Env("WAYLAND_DISPLAY");
    if (!platform.empty()) {
        if (platform.rfind("xcb", 0) == 0 && !XDisplayReachable(x)) {
            return "sorvel: QT_QPA_PLATFORM asks for X11, but the X display \"" + x +
                   "\" is not set or not reachable. Start the program in a desktop session.";
        }
        if (platform.rfind("wayland", 0) == 0 && !WaylandReachable(wayland)) {
            return "sorvel: QT_QPA_PLATFORM asks for Wayland, but the Wayland display \"" + wayland +
                   "\" is not set or not reachable. Start the program in a desktop session.";
        }
        return {};
    }
    if (XDisplayReachable(x) || WaylandReachable(wayland)) return {};
    if (x.empty() && wayland.empty()) {
        return "sorvel: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set). "
               "Start the program in a desktop session.";
    }
    return "sorvel: the display (DISPLAY=\"" + x + "\", WAYLAND_DISPLAY=\"" + wayland +
           "\") cannot be reached. Start the program in a desktop session.";
}

struct Application::Impl {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<QtWindowSystem> ws;
    std::vector<std::unique_ptr<QTranslator>> translators;
};

namespace {

// The toolkit's own dialogs (file pickers, their buttons and labels) speak Japanese like the
// rest of the program: Qt's Japanese translations, where they are installed.
void LoadJapaneseTranslations(std::vector<std::unique_ptr<QTranslator>>& translators) {
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_ja", "qt_ja"}) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QString::fromLatin1(name), folder) && QCoreApplication::installTranslator(translator.get()))
            translators.push_back(std::move(translator));
    }
}

}  // namespace

Application::Application(int& argc, char** argv) {
    if (g_current != nullptr) {
        m_error = "sorvel: the window system is already running.";
        return;
    }
    m_error = CheckDisplay();
    if (!m_error.empty()) return;
    m_impl = std::make_unique<Impl>();
    m_impl->app = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    LoadJapaneseTranslations(m_impl->translators);
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    // Dialog boxes of the toolkit itself (message boxes, pickers) in the Japanese Gothic face.
    FontSpec appFont;
    appFont.face = "MS UI Gothic";
    appFont.height = -12;
    QApplication::setFont(MakeQFont(appFont));
    SetUiThread();
    m_impl->ws = std::make_unique<QtWindowSystem>();
    g_current = m_impl->ws.get();
    SetWindowSystem(m_impl->ws.get());
    SetStateChangeHook(&MirrorStateChange);
    SetQueueWakeHook(&WakeForPostedMessages);
    SetMessageBoxHandler(&MessageBoxHandler);
    if (PendingMessageCount() > 0) WakeForPostedMessages();
    m_bOk = true;
}

Application::~Application() {
    if (!m_impl) return;
    SetMessageBoxHandler(nullptr);
    SetQueueWakeHook(nullptr);
    SetStateChangeHook(nullptr);
    ForgetPendingStateChanges();
    // Windows still made are shown no more (their objects outlive the window system).
    SetWindowSystem(nullptr);
    g_current = nullptr;
    m_impl->ws.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (auto& translator : m_impl->translators) QCoreApplication::removeTranslator(translator.get());
    m_impl->translators.clear();
    m_impl->app.reset();
}

INT_PTR Application::RunMainDialog(CDialog& dlg) {
    if (!m_bOk) return -1;
    return dlg.DoModal();
}

}  // namespace platform::ui::qt

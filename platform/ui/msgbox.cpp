#include "platform/ui/msgbox.h"

#include <atomic>
#include <mutex>

#include "platform/ui/dialog.h"

namespace platform::ui {
namespace {
std::atomic<MessageBoxHandler> g_handler{nullptr};
std::atomic<int> g_headlessAnswer{IDYES};
std::atomic<int> g_declining{0};
std::mutex g_sinkMutex;
std::vector<MessageBoxRecord> g_sink;
}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) { g_handler.store(handler); }

std::vector<MessageBoxRecord> TakeHeadlessMessageBoxes() {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    std::vector<MessageBoxRecord> out;
    out.swap(g_sink);
    return out;
}

void SetHeadlessAnswer(int answer) { g_headlessAnswer.store(answer); }

void DeclineWorkerQuestions(bool on) { g_declining.fetch_add(on ? 1 : -1, std::memory_order_acq_rel); }

bool WorkerQuestionsDeclined() { return g_declining.load(std::memory_order_acquire) > 0; }

}  // namespace platform::ui

int AfxMessageBox(const std::string& text, UINT type, const std::string& caption) {
    // The program is closing: no box is shown any more; a question is answered "no" and a box
    // with a cancel button is cancelled, so nothing starts or changes because of it.
    if (platform::ui::CloseRequested()) {
        switch (type & 0xF) {
        case MB_YESNO: return IDNO;
        case MB_OKCANCEL: return IDCANCEL;
        default: return IDOK;
        }
    }
    if (auto handler = platform::ui::g_handler.load()) return handler(text, caption, type);
    {
        std::lock_guard<std::mutex> lock(platform::ui::g_sinkMutex);
        platform::ui::g_sink.push_back(platform::ui::MessageBoxRecord{text, caption, type});
    }
    if ((type & 0xF) == MB_OK) return IDOK;
    return platform::ui::g_headlessAnswer.load();
}

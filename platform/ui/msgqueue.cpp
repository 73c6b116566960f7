#include "platform/ui/msgqueue.h"

#include <deque>
#include <mutex>

#include "platform/ui/wnd.h"

namespace platform::ui {
namespace {

struct Posted {
    CWnd* target;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::mutex& QueueMutex() {
    static std::mutex m;
    return m;
}
std::deque<Posted>& Queue() {
    static std::deque<Posted> q;
    return q;
}
std::function<void()>& WakeHook() {
    static std::function<void()> hook;
    return hook;
}

}  // namespace

void PostToQueue(CWnd* target, UINT message, WPARAM wParam, LPARAM lParam) {
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(QueueMutex());
        Queue().push_back(Posted{target, message, wParam, lParam});
        wake = WakeHook();
    }
    if (wake) wake();
}

std::size_t DeliverPostedMessages(std::size_t maxCount) {
    std::size_t delivered = 0;
    while (delivered < maxCount) {
        Posted msg{};
        {
            std::lock_guard<std::mutex> lock(QueueMutex());
            if (Queue().empty()) break;
            msg = Queue().front();
            Queue().pop_front();
        }
        if (msg.target != nullptr) msg.target->WindowProc(msg.message, msg.wParam, msg.lParam);
        ++delivered;
    }
    return delivered;
}

void DropMessagesFor(CWnd* target) {
    std::lock_guard<std::mutex> lock(QueueMutex());
    auto& q = Queue();
    for (auto it = q.begin(); it != q.end();) {
        if (it->target == target) it = q.erase(it);
        else ++it;
    }
}

void DropMessages(CWnd* target, UINT message, WPARAM wParam) {
    std::lock_guard<std::mutex> lock(QueueMutex());
    auto& q = Queue();
    for (auto it = q.begin(); it != q.end();) {
        if (it->target == target && it->message == message && it->wParam == wParam) it = q.erase(it);
        else ++it;
    }
}

std::size_t PendingMessageCount() {
    std::lock_guard<std::mutex> lock(QueueMutex());
    return Queue().size();
}

bool HasPostedMessage(CWnd* target, UINT message) {
    std::lock_guard<std::mutex> lock(QueueMutex());
    for (const Posted& p : Queue())
        if (p.target == target && p.message == message) return true;
    return false;
}

void SetQueueWakeHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(QueueMutex());
    WakeHook() = std::move(hook);
}

}  // namespace platform::ui

#include "platform/ui/timers.h"

#include <map>
#include <mutex>
#include <utility>

#include "platform/ui/msgqueue.h"
#include "platform/ui/windowsystem.h"
#include "platform/ui/wnd.h"

namespace platform::ui {
namespace {

struct TimerEntry {
    UINT elapse = 0;
    bool waiting = false;  // a WM_TIMER of this timer is in the queue
};

std::mutex& TableMutex() {
    static std::mutex m;
    return m;
}
std::map<std::pair<const CWnd*, UINT_PTR>, TimerEntry>& Table() {
    static std::map<std::pair<const CWnd*, UINT_PTR>, TimerEntry> t;
    return t;
}

}  // namespace

void StartTimer(CWnd* wnd, UINT_PTR id, UINT elapse) {
    if (elapse == 0) elapse = 1;
    {
        std::lock_guard<std::mutex> lock(TableMutex());
        Table()[{wnd, id}].elapse = elapse;
    }
    if (auto* ws = GetWindowSystem()) ws->TimerChanged(wnd, id, elapse);
}

bool StopTimer(CWnd* wnd, UINT_PTR id) {
    {
        std::lock_guard<std::mutex> lock(TableMutex());
        if (Table().erase({wnd, id}) == 0) return false;
    }
    DropMessages(wnd, WM_TIMER, id);
    if (auto* ws = GetWindowSystem()) ws->TimerChanged(wnd, id, 0);
    return true;
}

void KillAllTimers(CWnd* wnd) {
    std::vector<UINT_PTR> ids;
    {
        std::lock_guard<std::mutex> lock(TableMutex());
        for (const auto& [key, entry] : Table()) {
            if (key.first == wnd) ids.push_back(key.second);
        }
    }
    for (UINT_PTR id : ids) StopTimer(wnd, id);
}

bool IsTimerRunning(const CWnd* wnd, UINT_PTR id) { return TimerElapse(wnd, id) != 0; }

UINT TimerElapse(const CWnd* wnd, UINT_PTR id) {
    std::lock_guard<std::mutex> lock(TableMutex());
    const auto it = Table().find({wnd, id});
    return it == Table().end() ? 0 : it->second.elapse;
}

bool FireTimer(CWnd* wnd, UINT_PTR id) {
    {
        std::lock_guard<std::mutex> lock(TableMutex());
        const auto it = Table().find({wnd, id});
        if (it == Table().end() || it->second.waiting) return false;
        it->second.waiting = true;
    }
    wnd->PostMessage(WM_TIMER, id, 0);
    return true;
}

void TimerDelivered(CWnd* wnd, UINT_PTR id) {
    std::lock_guard<std::mutex> lock(TableMutex());
    const auto it = Table().find({wnd, id});
    if (it != Table().end()) it->second.waiting = false;
}

}  // namespace platform::ui

#include "platform/base/thread.h"

#include <atomic>
#include <system_error>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
std::atomic<unsigned> g_nextThreadId{1};

void RaiseCurrentThreadPriority() {
    // A lower nice value for this thread only; an unprivileged process may not do it, which is fine.
    const pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -5);
}
}  // namespace

bool CWorkerThread::Start(std::function<void()> body, bool raisePriority) {
    Join();
    try {
        m_thread = std::thread([body = std::move(body), raisePriority]() {
            if (raisePriority) RaiseCurrentThreadPriority();
            body();
        });
    } catch (const std::system_error&) {
        m_id = 0;
        return false;
    }
    m_id = g_nextThreadId.fetch_add(1);
    return true;
}

void CWorkerThread::Join() {
    if (!m_thread.joinable()) return;
    if (m_thread.get_id() == std::this_thread::get_id()) return;
    m_thread.join();
    m_id = 0;
}

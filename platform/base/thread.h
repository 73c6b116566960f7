// Worker threads that can be joined. The program's workers end by noticing a cleared run flag;
// whoever clears the flag joins the thread before freeing what the thread uses.
#pragma once

#include <functional>
#include <thread>

class CWorkerThread {
public:
    CWorkerThread() = default;
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;
    ~CWorkerThread() { Join(); }

    // Starts body on a new thread, with raised priority where the system allows it (failure to
    // raise it is not an error). Returns false when no thread could be made; the object then
    // holds no thread. A thread still held from an earlier start is joined first.
    bool Start(std::function<void()> body, bool raisePriority = true);

    // Waits for the thread to end. Does nothing when no thread is held or when called from the
    // thread itself (a worker never waits for its own end).
    void Join();

    bool IsRunning() const { return m_thread.joinable(); }
    // Small number identifying the thread (0 when none), for the trace.
    unsigned Id() const { return m_id; }

private:
    std::thread m_thread;
    unsigned m_id = 0;
};

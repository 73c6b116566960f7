// CSnapshotExchange: hands whole values from one writer thread to one reader thread.
//
// The writer (the user-interface thread) publishes a complete value; the reader (an engine
// thread) takes the newest complete value at the start of a block and uses its own copy for the
// whole block, so a block never mixes two values. The lock is held only while a value is copied
// in or out, and the reader never waits for it: when the writer is copying at that moment, or
// nothing new was published, the reader keeps the copy it has and looks again at its next block.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

template <class T>
class CSnapshotExchange {
public:
    // Writer thread.
    void Publish(const T& value) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_value = value;
        m_published.store(m_published.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Reader thread. Copies the newest value into out and returns true when one was published
    // since the last take and could be taken without waiting; otherwise out is left alone.
    bool TakeNewest(T& out) {
        if (m_published.load(std::memory_order_acquire) == m_taken) return false;
        std::unique_lock<std::mutex> lock(m_mutex, std::try_to_lock);
        if (!lock.owns_lock()) return false;
        out = m_value;
        m_taken = m_published.load(std::memory_order_relaxed);
        return true;
    }

private:
    std::mutex m_mutex;
    T m_value{};
    std::atomic<std::uint64_t> m_published{0};
    std::uint64_t m_taken = 0;  // reader only
};

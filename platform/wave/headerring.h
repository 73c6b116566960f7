// A fixed ring of buffer-header pointers that hands headers from one side of a device to the
// other without locks or allocation.
//
// Safe for one pushing thread and one popping thread at a time. Several threads may push (or
// pop) when something else serialises them, such as a mutex held around every push: the mutex
// orders them and the ring's release/acquire pairs carry the data across. A popper that finds
// the ring empty gets nullptr and nothing changes.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

#include "platform/wave/wavetypes.h"

namespace platform::wave {

template <std::size_t Capacity>
class CHeaderRing {
    static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    // False when the ring is full; the header is not taken then.
    bool Push(WAVEHDR* hdr) {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail - m_head.load(std::memory_order_acquire) >= Capacity) return false;
        m_slots[tail & (Capacity - 1)] = hdr;
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // The oldest header, or nullptr when the ring is empty.
    WAVEHDR* Pop() {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        if (head == m_tail.load(std::memory_order_acquire)) return nullptr;
        WAVEHDR* hdr = m_slots[head & (Capacity - 1)];
        m_head.store(head + 1, std::memory_order_release);
        return hdr;
    }

    bool Empty() const { return m_head.load(std::memory_order_acquire) == m_tail.load(std::memory_order_acquire); }

private:
    std::array<WAVEHDR*, Capacity> m_slots{};
    alignas(64) std::atomic<std::size_t> m_head{0};  // advanced by the popper
    alignas(64) std::atomic<std::size_t> m_tail{0};  // advanced by the pusher
};

}  // namespace platform::wave

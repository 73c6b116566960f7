// A block of samples handed from one writer thread to one reader thread in place, under a
// sequence number: odd while the writer is storing the block, moved on once more when it is
// whole. The reader copies the block and checks the number before and after its copy; a copy
// during which the writer started or finished a block is not whole and is taken again. The
// samples themselves are atomics (release stores, acquire loads: plain moves on common
// processors), so a copy that overlaps a write is a detected retry, never undefined behaviour.
//
// Safe for one writer thread and one reader thread at a time.
#pragma once

#include <atomic>
#include <cstddef>

class CBlockSeq {
public:
    // Writer: around the stores of one block.
    // A sample stored with release keeps the odd number before it, so a reader that sees the
    // sample also sees the number move.
    void BeginWrite() { m_seq.store(m_seq.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }
    void EndWrite() { m_seq.store(m_seq.load(std::memory_order_relaxed) + 1, std::memory_order_release); }
    static void Store(float* at, float value) { std::atomic_ref<float>(*at).store(value, std::memory_order_release); }

    // Reader: copies n samples from src to dst; true when no write touched them meanwhile.
    bool Read(const float* src, float* dst, std::size_t n) const {
        const unsigned before = m_seq.load(std::memory_order_acquire);
        if (before & 1u) return false;
        for (std::size_t i = 0; i < n; ++i)
            dst[i] = std::atomic_ref<float>(const_cast<float&>(src[i])).load(std::memory_order_acquire);
        return m_seq.load(std::memory_order_relaxed) == before;
    }

private:
    std::atomic<unsigned> m_seq{0};
};

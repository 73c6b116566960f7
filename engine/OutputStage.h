// COutputStage: the engine's own copy of the output ring, and its hand-over to the four
// playback buffers that the device reads.
//
// The engine threads write their output into the stage, and read it back there (the added
// voice and the reverb work on what was written, the saved file takes it from there). At the
// end of each cycle Publish copies the stage into the playback buffers under the ring's lock.
// The playback device holds the same lock while it reads a buffer, and the display timer while
// it reads the period being heard, so no reader meets a sample half written and the engine
// never writes a buffer the device is reading. The lock is held only for the copy (a few
// microseconds), never across a cycle's work, so the device's sound thread is not kept waiting.
//
// Threads: one engine thread at a time writes the stage and publishes it (the TD-PSOLA
// analysis thread's Thru copy and its synthesis thread take turns through the marks-ready
// flag; the phase vocoder and the chorus have one thread each). Outside a cycle the stage and
// the playback buffers hold the same samples, so publishing the whole ring hands over exactly
// what the cycle wrote.
#pragma once

#include <cstddef>
#include <mutex>

class COutputStage {
public:
    COutputStage() = default;
    COutputStage(const COutputStage&) = delete;
    COutputStage& operator=(const COutputStage&) = delete;
    ~COutputStage() { Free(); }

    // A zeroed stage of `bytes` bytes, the size of the four playback buffers together.
    bool Allocate(std::size_t bytes);
    void Free();

    // The stage as 16-bit samples, and the start of playback slot `slot` (of four) in it.
    short* Samples() { return reinterpret_cast<short*>(m_data); }
    short* Slot(int slot) { return reinterpret_cast<short*>(m_data + static_cast<std::size_t>(slot) * (m_bytes / 4)); }
    bool IsAllocated() const { return m_data != nullptr; }

    // Silence in the stage, as in the playback buffers at a run's start. Only while no engine
    // thread runs.
    void Clear();

    // Copies the stage into the playback buffers (`playback`, the same size) under the lock.
    void Publish(char* playback);

    // Held by every reader of the playback buffers while it reads them.
    std::mutex& ReadLock() { return m_lock; }

private:
    char* m_data = nullptr;
    std::size_t m_bytes = 0;
    std::mutex m_lock;
};

// CWaveDeviceCore: the buffer queue of one open sound device and the delivery of its finished
// buffers. Every backend (sound system, virtual files, hand-pumped test devices) drives the
// same core, so queueing, ordering, reset, pause and completion behave alike everywhere.
//
// Threads and what they touch:
// - Program side, any thread (the device calls serialise per device with their own mutex):
//   Submit, Reset, Pause, Restart, Start, Stop, PlayedBytes, Lose, WaitPosted. Submit only pushes
//   into a lock-free ring; the others take m_procLock briefly.
// - Device side, one thread at a time (the sound system's callback, a virtual device's clock
//   thread, or a test pumping by hand): Render / Capture take m_procLock and move bytes between
//   the device and the buffers in the order they were queued. TryRender / TryCapture never wait:
//   when the program side holds the queue at that moment they move nothing, and the caller plays
//   silence or drops that period. Neither allocates nor blocks.
// - The completion thread (owned here) takes finished headers from the done ring in order and
//   hands each to the post function, which is the only way a completion reaches the program.
//   When the device side finds nothing to do it simply returns; the completion thread sleeps on
//   an atomic until something finishes.
// A header belongs to the device from Submit until its completion has been posted: the device
// side writes lpData (capture), dwBytesRecorded and dwFlags only in that time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wave/headerring.h"
#include "platform/wave/wavetypes.h"

namespace platform::wave {

class CLiveDelay;

enum class Direction { In, Out };


class CWaveDeviceCore {
public:
    // Most buffers one device holds at once (queued plus finished but not yet posted).
    static constexpr std::size_t kMaxBuffers = 256;

    // post runs on the completion thread, once per finished buffer, in order.
    CWaveDeviceCore(Direction dir, const WAVEFORMATEX& format, std::function<void(WAVEHDR*)> post);
    // Stops the completion thread; buffers that finished before are posted first. The device side
    // must have stopped calling in.
    ~CWaveDeviceCore();
    CWaveDeviceCore(const CWaveDeviceCore&) = delete;
    CWaveDeviceCore& operator=(const CWaveDeviceCore&) = delete;

    Direction Dir() const { return m_dir; }
    const WAVEFORMATEX& Format() const { return m_format; }

    // --- Program side -----------------------------------------------------------------------
    // Queues a prepared header (flags and length checked by the caller). Capture headers start
    // with 0 bytes recorded.
    MMRESULT Submit(WAVEHDR* hdr);
    // Returns every queued buffer at once, in order, marked done; capture stops, the played
    // position goes back to 0. Returns after their completions have been posted.
    MMRESULT Reset();
    MMRESULT Pause();    // playback holds still; the current buffer keeps its place
    MMRESULT Restart();  // playback goes on from where it paused
    MMRESULT Start();    // capture starts filling buffers
    MMRESULT Stop();     // capture stops; a partly filled current buffer comes back with what it holds
    // Bytes played since open or the last reset.
    MMRESULT PlayedBytes(std::uint64_t* bytes) const;
    // Buffers queued and not yet finished.
    int QueuedCount() const { return m_queued.load(std::memory_order_acquire); }
    bool IsLost() const { return m_lost.load(std::memory_order_acquire); }
    // The device has gone away: every queued buffer comes back marked done, and later calls
    // answer MMSYSERR_NODRIVER. Not for the completion thread or a sound-system callback.
    void Lose();
    // The same, requested from a thread that must not wait (the sound system's own threads):
    // the completion thread carries it out.
    void LoseAsync();
    // Waits until every buffer finished so far has been posted.
    void WaitPosted();
    // Playback: the device side holds this lock while it reads queued buffers' memory, so a
    // program that writes into queued buffers from its own threads does so under the same lock
    // and never writes a buffer while it is being read. The program holds it only for short
    // copies. nullptr: no lock.
    void SetReadLock(std::mutex* lock);
    // How far the program has gone with the stream, in bytes since the device was opened or
    // reset; nullptr: not told. RenderPaced and CapturePaced, the calls of devices on a clock of
    // their own making (the virtual devices), begin no buffer that starts beyond it, so such a
    // device waits for the program instead of leaving it behind. The other device-side calls
    // take no notice: a real device, or a test standing in for one, keeps its own time.
    void SetProgress(const std::atomic<std::int64_t>* bytes);

    // --- Live runs (a recording and a playback device on the sound system's clock) -----------
    // Links this device to the delay keeper of a live run; its recording and its playback
    // device share one. Recording: every piece stored, dropped or lost to an overrun tells the
    // keeper the recording's offset. Playback: every request for sound asks the keeper for a
    // correction, and the device skips what is late or plays silence to hold the delay. With
    // ringBytes > 0 the program's buffers, end to end, are a ring of that many bytes into which
    // the program writes up to aheadBytes beyond its progress (SetProgress): sound whose ring
    // entries were written again for a later turn is skipped, never played, and the delay kept
    // leaves the playback far enough behind what the program has written. Only the devices
    // of the calls without "Paced" keep real time; a paced device is never linked.
    void LinkLiveDelay(std::shared_ptr<CLiveDelay> delay, std::size_t ringBytes = 0, std::size_t aheadBytes = 0);
    // Recording: the program dropped `bytes` of what this device delivered (the input lost
    // that much time).
    void NoteProgramDrop(std::size_t bytes);
    // Playback: what it did to keep the delay so far. Every skip and hold is faded out and in
    // over a few milliseconds (16-bit PCM), and a slow drift between the two devices' clocks is
    // taken up a frame at a time, each step crossfaded, with no cut.
    LiveDelayCounts DelayCounts() const;
    // The steady clock the live delay reads, in seconds (tests step their own).
    void SetClock(std::function<double()> clock);

    // --- Device side ------------------------------------------------------------------------
    // Copies up to `bytes` bytes from the queued buffers into out, reading each buffer's memory
    // now; returns how many were copied (0 while paused, fewer when the queue runs dry). The
    // rest of out is left untouched. Finished buffers are completed.
    std::size_t Render(BYTE* out, std::size_t bytes);
    std::size_t TryRender(BYTE* out, std::size_t bytes);
    // Stores up to `bytes` bytes into the queued buffers; returns how many were stored (0 while
    // not started, fewer when the queue runs dry). Full buffers are completed.
    std::size_t Capture(const BYTE* in, std::size_t bytes);
    std::size_t TryCapture(const BYTE* in, std::size_t bytes);
    // Render and Capture that begin no buffer beyond the program's progress (SetProgress).
    std::size_t RenderPaced(BYTE* out, std::size_t bytes);
    std::size_t CapturePaced(const BYTE* in, std::size_t bytes);
    // Capture: `bytes` recorded bytes were dropped before they reached a buffer (a stall's
    // backlog). Like the bytes that find no queued buffer while capture runs, they are counted
    // into the `reserved` field of the next buffer that completes, so the program hears of them
    // in order with the sound.
    void DropCaptured(std::size_t bytes);
    // Stores up to `bytes` bytes into the current capture buffer only and completes it, full or
    // not. False when not started or nothing is queued.
    bool CaptureOneBuffer(const BYTE* in, std::size_t bytes);
    // Plays the rest of the current playback buffer (or the next one) and completes it; its
    // bytes are appended to out. False while paused or when nothing is queued.
    bool RenderOneBuffer(std::vector<BYTE>* out);

private:
    std::size_t RenderUnder(std::unique_lock<std::mutex>& lock, BYTE* out, std::size_t bytes, bool paced);
    std::size_t CaptureUnder(std::unique_lock<std::mutex>& lock, const BYTE* in, std::size_t bytes, bool paced);
    std::size_t RenderLocked(BYTE* out, std::size_t bytes, bool paced);
    std::size_t CaptureLocked(const BYTE* in, std::size_t bytes, bool paced);
    bool TakeCurrentLocked();
    // Live runs: the recording's offset after a piece; the playback's corrections before a
    // request for `bytes`.
    void NoteInputOffsetLocked();
    void AskLiveDelayLocked(std::size_t bytes);
    // A linked playback: the queued buffers with the keeper's corrections, each cut faded.
    std::size_t RenderLiveLocked(BYTE* out, std::size_t bytes);
    // The pieces of RenderLiveLocked; each puts what is to go out next into m_stage.
    void FadeOutForHoldLocked();
    bool CutOverwrittenLocked();  // false while the queue holds too little to skip
    bool CrossfadeSkipLocked();   // the same
    void StepLocked();
    // Up to `frames` whole frames of the queued buffers into `to` (past them when null), in
    // order; returns how many.
    std::size_t TakeFramesLocked(BYTE* to, std::size_t frames);
    // Moves the playback past up to *debt bytes of the queued buffers without playing them.
    void SkipLocked(std::uint64_t* debt);
    std::size_t StagedBytesLocked() const { return m_stage.size() - m_stageAt; }
    // Up to `bytes` of the current playback buffer (m_cur, not null) into out, or past them
    // when out is null; completes the buffer at its end. Returns how many.
    std::size_t PlayCurrentLocked(BYTE* out, std::size_t bytes);
    // A new buffer starting at stream byte `start` may be moved: no progress was set, or it
    // has reached the buffer's start.
    bool ProgressReachedLocked(std::uint64_t start) const;
    std::unique_lock<std::mutex> ReadLockLocked();  // the program's read lock, when it set one
    void CompleteLocked(WAVEHDR* hdr);
    void ReturnAllLocked();
    void Signal();
    void CompletionLoop();

    const Direction m_dir;
    const WAVEFORMATEX m_format;
    const std::function<void(WAVEHDR*)> m_post;

    // Program side → device side.
    CHeaderRing<kMaxBuffers> m_pending;
    std::uint32_t m_submitted = 0;  // program side only (under the device call mutex)
    // Device side → completion thread.
    CHeaderRing<kMaxBuffers> m_done;

    // Held by whoever moves buffers through the queue. Guards the members below it.
    mutable std::mutex m_procLock;
    WAVEHDR* m_cur = nullptr;  // buffer being played or filled
    std::size_t m_curOffset = 0;
    bool m_paused = false;   // playback
    bool m_started = false;  // capture
    std::mutex* m_readLock = nullptr;
    const std::atomic<std::int64_t>* m_progress = nullptr;
    std::uint64_t m_capturedBytes = 0;  // capture: bytes stored since the last reset
    std::uint64_t m_droppedBytes = 0;   // capture: bytes dropped since the last completed buffer
    // Live runs (see LinkLiveDelay).
    std::shared_ptr<CLiveDelay> m_live;
    std::function<double()> m_clock;
    std::size_t m_ringBytes = 0;
    std::size_t m_aheadBytes = 0;
    std::uint64_t m_programDropped = 0;  // capture: bytes the program dropped since the last reset
    // Playback. A skip of late sound crossfades the sound before it into the sound after it; a
    // hold fades the sound out, plays silence and fades the sound in again; a skip of entries
    // written over (which must not be heard) takes the last level handed out down to silence
    // and fades the sound after it in; a gradual step crossfades the stream into itself one
    // frame on or back over kStepFrames frames.
    std::uint64_t m_skipDebt = 0;        // bytes of late sound still to skip
    std::uint64_t m_overDebt = 0;        // bytes of entries written over still to skip
    std::uint64_t m_holdDebt = 0;        // bytes of silence still to play
    std::int64_t m_stepDebt = 0;         // frames still to leave out (> 0) or play twice (< 0)
    std::size_t m_frameBytes = 2;
    std::size_t m_channels = 1;
    std::size_t m_fadeFrames = 0;        // 0: the format is not 16-bit PCM and cuts are not faded
    std::vector<BYTE> m_stage;           // what goes out before anything more of the queue
    std::size_t m_stageAt = 0;           // how much of m_stage has gone out
    std::vector<BYTE> m_scratch;         // the two stretches of a crossfade
    std::vector<BYTE> m_lastFrame;       // the frame handed out last
    std::size_t m_fadeInLeft = 0;        // frames of the sound to come that are still faded in
    bool m_silent = false;               // what went out last ends in silence
    std::size_t m_sinceStep = 0;         // frames played since the last gradual step
    std::atomic<std::uint64_t> m_skippedLate{0};
    std::atomic<std::uint64_t> m_skippedOverwritten{0};
    std::atomic<std::uint64_t> m_held{0};
    std::atomic<std::uint64_t> m_steppedOn{0};
    std::atomic<std::uint64_t> m_steppedBack{0};

    std::atomic<std::uint64_t> m_playedBytes{0};
    std::atomic<int> m_queued{0};
    std::atomic<bool> m_lost{false};
    std::atomic<bool> m_lostRequest{false};
    std::atomic<std::uint32_t> m_gate{0};  // orders Submit's push against Lose (see Submit)
    std::atomic<std::uint32_t> m_completed{0};  // pushed into m_done
    std::atomic<std::uint32_t> m_posted{0};     // handed to m_post
    std::atomic<std::uint32_t> m_signal{0};     // bumped to wake the completion thread
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace platform::wave

#include "platform/wave/devicecore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/wave/capturebacklog.h"
#include "platform/wave/cutfade.h"
#include "platform/wave/livedelay.h"

namespace platform::wave {

CWaveDeviceCore::CWaveDeviceCore(Direction dir, const WAVEFORMATEX& format, std::function<void(WAVEHDR*)> post)
    : m_dir(dir), m_format(format), m_post(std::move(post)), m_clock(&SteadySeconds) {
    m_thread = std::thread([this] { CompletionLoop(); });
}

CWaveDeviceCore::~CWaveDeviceCore() {
    m_stop.store(true, std::memory_order_release);
    Signal();
    if (m_thread.joinable()) m_thread.join();
}

// --- Program side ------------------------------------------------------------------------------

MMRESULT CWaveDeviceCore::Submit(WAVEHDR* hdr) {
    if (m_lost.load(std::memory_order_acquire)) return MMSYSERR_NODRIVER;
    // A header stays ours until its completion is posted, so this bound keeps both rings from
    // overflowing.
    if (m_submitted - m_posted.load(std::memory_order_acquire) >= kMaxBuffers) return MMSYSERR_NOMEM;
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    if (m_dir == Direction::In) {
        hdr->dwBytesRecorded = 0;
        hdr->reserved = 0;
    }
    m_queued.fetch_add(1, std::memory_order_acq_rel);
    ++m_submitted;
    m_pending.Push(hdr);
    // The device may have gone away while we pushed: Lose raises the flag and then empties the
    // queue, we push and then look at the flag. Both pass through the same read-modify-write of
    // m_gate in between, so whichever comes second sees what the first did, and the header
    // cannot be stranded.
    m_gate.fetch_add(1, std::memory_order_acq_rel);
    if (m_lost.load(std::memory_order_acquire)) {
        {
            std::lock_guard<std::mutex> lock(m_procLock);
            ReturnAllLocked();
        }
        Signal();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveDeviceCore::Reset() {
    if (m_lost.load(std::memory_order_acquire)) return MMSYSERR_NODRIVER;
    {
        std::lock_guard<std::mutex> lock(m_procLock);
        m_started = false;
        ReturnAllLocked();
        m_playedBytes.store(0, std::memory_order_release);
        m_capturedBytes = 0;
        m_droppedBytes = 0;
        m_programDropped = 0;
        m_skipDebt = 0;
        m_overDebt = 0;
        m_holdDebt = 0;
        m_stepDebt = 0;
        m_stage.clear();
        m_stageAt = 0;
        m_fadeInLeft = 0;
        m_silent = false;
        m_sinceStep = 0;
        std::fill(m_lastFrame.begin(), m_lastFrame.end(), BYTE{0});
    }
    Signal();
    WaitPosted();
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveDeviceCore::Pause() {
    if (m_lost.load(std::memory_order_acquire)) return MMSYSERR_NODRIVER;
    std::lock_guard<std::mutex> lock(m_procLock);
    m_paused = true;
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveDeviceCore::Restart() {
    if (m_lost.load(std::memory_order_acquire)) return MMSYSERR_NODRIVER;
    std::lock_guard<std::mutex> lock(m_procLock);
    m_paused = false;
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveDeviceCore::Start() {
    if (m_lost.load(std::memory_order_acquire)) return MMSYSERR_NODRIVER;
    std::lock_guard<std::mutex> lock(m_procLock);
    m_started = true;
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveDeviceCore::Stop() {
    if (m_lost.load(std::memory_order_acquire)) return MMSYSERR_NODRIVER;
    bool completed = false;
    {
        std::lock_guard<std::mutex> lock(m_procLock);
        m_started = false;
        if (m_cur != nullptr && m_cur->dwBytesRecorded > 0) {
            CompleteLocked(m_cur);
            m_cur = nullptr;
            m_curOffset = 0;
            completed = true;
        }
    }
    if (completed) {
        Signal();
        WaitPosted();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT CWaveDeviceCore::PlayedBytes(std::uint64_t* bytes) const {
    if (m_lost.load(std::memory_order_acquire)) return MMSYSERR_NODRIVER;
    *bytes = m_playedBytes.load(std::memory_order_acquire);
    return MMSYSERR_NOERROR;
}

void CWaveDeviceCore::Lose() {
    {
        std::lock_guard<std::mutex> lock(m_procLock);
        m_lost.store(true, std::memory_order_release);
        m_gate.fetch_add(1, std::memory_order_acq_rel);
        m_started = false;
        ReturnAllLocked();
    }
    Signal();
}

void CWaveDeviceCore::SetReadLock(std::mutex* readLock) {
    std::lock_guard<std::mutex> lock(m_procLock);
    m_readLock = readLock;
}

void CWaveDeviceCore::SetProgress(const std::atomic<std::int64_t>* bytes) {
    std::lock_guard<std::mutex> lock(m_procLock);
    m_progress = bytes;
}

void CWaveDeviceCore::LinkLiveDelay(std::shared_ptr<CLiveDelay> delay, std::size_t ringBytes, std::size_t aheadBytes) {
    std::lock_guard<std::mutex> lock(m_procLock);
    m_live = std::move(delay);
    m_ringBytes = ringBytes;
    m_aheadBytes = aheadBytes;
    // The fades work on whole frames of 16-bit samples; their memory is made here, never on the
    // device's own thread.
    m_channels = std::max<std::size_t>(m_format.nChannels, 1);
    m_frameBytes = std::max<std::size_t>(m_format.nBlockAlign, 1);
    const bool pcm16 = m_format.wBitsPerSample == 16 && m_frameBytes == 2 * m_channels;
    m_fadeFrames = pcm16 ? std::max<std::size_t>(1, static_cast<std::size_t>(m_format.nSamplesPerSec * cutfade::kFadeSeconds)) : 0;
    const std::size_t most = (m_fadeFrames + cutfade::kStepFrames + 2) * m_frameBytes;
    m_stage.reserve(most);
    m_scratch.assign(2 * most, BYTE{0});
    m_lastFrame.assign(m_frameBytes, BYTE{0});
}

void CWaveDeviceCore::NoteProgramDrop(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(m_procLock);
    m_programDropped += bytes;
    if (m_live != nullptr && m_started) NoteInputOffsetLocked();
}

LiveDelayCounts CWaveDeviceCore::DelayCounts() const {
    LiveDelayCounts counts;
    counts.skippedLate = m_skippedLate.load(std::memory_order_acquire);
    counts.skippedOverwritten = m_skippedOverwritten.load(std::memory_order_acquire);
    counts.held = m_held.load(std::memory_order_acquire);
    counts.steppedOn = m_steppedOn.load(std::memory_order_acquire);
    counts.steppedBack = m_steppedBack.load(std::memory_order_acquire);
    return counts;
}

void CWaveDeviceCore::SetClock(std::function<double()> clock) {
    std::lock_guard<std::mutex> lock(m_procLock);
    m_clock = std::move(clock);
}

void CWaveDeviceCore::LoseAsync() {
    m_lostRequest.store(true, std::memory_order_release);
    Signal();
}

void CWaveDeviceCore::WaitPosted() {
    const std::uint32_t target = m_completed.load(std::memory_order_acquire);
    for (;;) {
        const std::uint32_t posted = m_posted.load(std::memory_order_acquire);
        if (static_cast<std::int32_t>(posted - target) >= 0) return;
        m_posted.wait(posted, std::memory_order_acquire);
    }
}

// --- Device side -------------------------------------------------------------------------------

std::size_t CWaveDeviceCore::Render(BYTE* out, std::size_t bytes) {
    std::unique_lock<std::mutex> lock(m_procLock);
    return RenderUnder(lock, out, bytes, false);
}

std::size_t CWaveDeviceCore::TryRender(BYTE* out, std::size_t bytes) {
    std::unique_lock<std::mutex> lock(m_procLock, std::try_to_lock);
    return RenderUnder(lock, out, bytes, false);
}

std::size_t CWaveDeviceCore::RenderPaced(BYTE* out, std::size_t bytes) {
    std::unique_lock<std::mutex> lock(m_procLock);
    return RenderUnder(lock, out, bytes, true);
}

std::size_t CWaveDeviceCore::Capture(const BYTE* in, std::size_t bytes) {
    std::unique_lock<std::mutex> lock(m_procLock);
    return CaptureUnder(lock, in, bytes, false);
}

std::size_t CWaveDeviceCore::TryCapture(const BYTE* in, std::size_t bytes) {
    std::unique_lock<std::mutex> lock(m_procLock, std::try_to_lock);
    return CaptureUnder(lock, in, bytes, false);
}

std::size_t CWaveDeviceCore::CapturePaced(const BYTE* in, std::size_t bytes) {
    std::unique_lock<std::mutex> lock(m_procLock);
    return CaptureUnder(lock, in, bytes, true);
}

// Moves bytes while `lock` holds m_procLock (nothing when a try found it taken), then wakes the
// completion thread for the buffers that finished.
std::size_t CWaveDeviceCore::RenderUnder(std::unique_lock<std::mutex>& lock, BYTE* out, std::size_t bytes, bool paced) {
    if (!lock.owns_lock()) return 0;
    const std::uint32_t before = m_completed.load(std::memory_order_relaxed);
    const std::size_t n = RenderLocked(out, bytes, paced);
    const bool finished = m_completed.load(std::memory_order_relaxed) != before;
    lock.unlock();
    if (finished) Signal();
    return n;
}

std::size_t CWaveDeviceCore::CaptureUnder(std::unique_lock<std::mutex>& lock, const BYTE* in, std::size_t bytes, bool paced) {
    if (!lock.owns_lock()) return 0;
    const std::uint32_t before = m_completed.load(std::memory_order_relaxed);
    const std::size_t n = CaptureLocked(in, bytes, paced);
    const bool finished = m_completed.load(std::memory_order_relaxed) != before;
    lock.unlock();
    if (finished) Signal();
    return n;
}

void CWaveDeviceCore::DropCaptured(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(m_procLock);
    if (!m_started || m_lost.load(std::memory_order_relaxed)) return;
    m_droppedBytes += bytes;
    if (m_live != nullptr) NoteInputOffsetLocked();
}

bool CWaveDeviceCore::CaptureOneBuffer(const BYTE* in, std::size_t bytes) {
    {
        std::lock_guard<std::mutex> lock(m_procLock);
        if (!m_started || m_lost.load(std::memory_order_relaxed) || !TakeCurrentLocked()) return false;
        WAVEHDR* hdr = m_cur;
        const std::size_t n = std::min<std::size_t>(bytes, hdr->dwBufferLength - hdr->dwBytesRecorded);
        if (n > 0) std::memcpy(hdr->lpData + hdr->dwBytesRecorded, in, n);
        hdr->dwBytesRecorded += static_cast<DWORD>(n);
        m_capturedBytes += n;
        m_cur = nullptr;
        m_curOffset = 0;
        CompleteLocked(hdr);
    }
    Signal();
    return true;
}

bool CWaveDeviceCore::RenderOneBuffer(std::vector<BYTE>* out) {
    {
        std::lock_guard<std::mutex> lock(m_procLock);
        if (m_paused || m_lost.load(std::memory_order_relaxed) || !TakeCurrentLocked()) return false;
        WAVEHDR* hdr = m_cur;
        const std::size_t n = hdr->dwBufferLength - m_curOffset;
        const BYTE* src = reinterpret_cast<const BYTE*>(hdr->lpData) + m_curOffset;
        {
            std::unique_lock<std::mutex> reading = ReadLockLocked();
            out->insert(out->end(), src, src + n);
        }
        m_playedBytes.store(m_playedBytes.load(std::memory_order_relaxed) + n, std::memory_order_release);
        m_cur = nullptr;
        m_curOffset = 0;
        CompleteLocked(hdr);
    }
    Signal();
    return true;
}

// --- Under m_procLock --------------------------------------------------------------------------

std::unique_lock<std::mutex> CWaveDeviceCore::ReadLockLocked() {
    return m_readLock != nullptr ? std::unique_lock<std::mutex>(*m_readLock) : std::unique_lock<std::mutex>();
}

bool CWaveDeviceCore::ProgressReachedLocked(std::uint64_t start) const {
    if (m_progress == nullptr) return true;
    const std::int64_t reached = m_progress->load(std::memory_order_acquire);
    return reached >= 0 && static_cast<std::uint64_t>(reached) >= start;
}

bool CWaveDeviceCore::TakeCurrentLocked() {
    if (m_cur == nullptr) {
        m_cur = m_pending.Pop();
        m_curOffset = 0;
    }
    return m_cur != nullptr;
}

std::size_t CWaveDeviceCore::RenderLocked(BYTE* out, std::size_t bytes, bool paced) {
    if (m_paused || m_lost.load(std::memory_order_relaxed)) return 0;
    std::unique_lock<std::mutex> reading = ReadLockLocked();
    if (m_live != nullptr && !paced) return RenderLiveLocked(out, bytes);
    std::size_t done = 0;
    while (done < bytes) {
        // A buffer is begun only once the program has gone as far as its start.
        if (m_cur == nullptr && paced && !ProgressReachedLocked(m_playedBytes.load(std::memory_order_relaxed) + done)) break;
        if (!TakeCurrentLocked()) break;
        done += PlayCurrentLocked(out + done, bytes - done);
    }
    m_playedBytes.store(m_playedBytes.load(std::memory_order_relaxed) + done, std::memory_order_release);
    return done;
}

void CWaveDeviceCore::AskLiveDelayLocked(std::size_t bytes) {
    const std::uint64_t frame = m_frameBytes;
    const double rate = static_cast<double>(m_format.nAvgBytesPerSec);
    const std::uint64_t position = m_playedBytes.load(std::memory_order_relaxed);
    // How much of the stream the playback may still take, this request included, before it
    // reaches entries the program has not written for this turn of the ring.
    double room = std::numeric_limits<double>::infinity();
    // Entries of the ring that the program has written again for a later turn hold newer
    // sound: the playback, a whole ring behind, goes on a quarter ring (a block) past them.
    if (m_ringBytes > 0 && m_progress != nullptr) {
        const std::int64_t written = m_progress->load(std::memory_order_acquire) + static_cast<std::int64_t>(m_aheadBytes);
        const std::int64_t oldestKept = written - static_cast<std::int64_t>(m_ringBytes);
        const std::int64_t next = static_cast<std::int64_t>(position + m_skipDebt + m_overDebt);
        if (next < oldestKept) {
            std::uint64_t more = static_cast<std::uint64_t>(oldestKept - next) + m_ringBytes / 4;
            more -= more % frame;
            m_overDebt += more;
            m_skippedOverwritten.fetch_add(more, std::memory_order_acq_rel);
        }
        const std::int64_t last = static_cast<std::int64_t>(position + m_skipDebt + m_overDebt + bytes) - static_cast<std::int64_t>(m_holdDebt);
        room = static_cast<double>(written - last) / rate;
    }
    // The correction the delay keeper asks for, counting what is still to skip, to hold or to
    // step, and what is made but has not gone out yet.
    const double now = m_clock();
    const double ahead = static_cast<double>(position) + static_cast<double>(m_skipDebt) + static_cast<double>(m_overDebt) -
                         static_cast<double>(m_holdDebt) + static_cast<double>(m_stepDebt) * static_cast<double>(frame) -
                         static_cast<double>(StagedBytesLocked());
    const CLiveDelay::Move move = m_live->Correction(now - ahead / rate, now, room);
    if (move.seconds != 0.0) {
        std::uint64_t amount = static_cast<std::uint64_t>(std::fabs(move.seconds) * rate);
        amount -= amount % frame;
        if (move.gradual && m_fadeFrames > 0) {
            const auto frames = static_cast<std::int64_t>(amount / frame);
            m_stepDebt += move.seconds > 0.0 ? frames : -frames;
        } else if (move.seconds > 0.0) {
            m_skipDebt += amount;
            m_skippedLate.fetch_add(amount, std::memory_order_acq_rel);
        } else {
            m_holdDebt += amount;
            m_held.fetch_add(amount, std::memory_order_acq_rel);
        }
    }
    // Skipping and holding at once would cancel out.
    const std::uint64_t both = std::min(m_skipDebt, m_holdDebt);
    m_skipDebt -= both;
    m_holdDebt -= both;
    // Late sound next to entries written over goes in the same cut.
    if (m_overDebt > 0) {
        m_overDebt += m_skipDebt;
        m_skipDebt = 0;
    }
}

std::size_t CWaveDeviceCore::RenderLiveLocked(BYTE* out, std::size_t bytes) {
    AskLiveDelayLocked(bytes);
    const std::size_t frame = m_frameBytes;
    bytes -= bytes % frame;
    std::size_t done = 0;
    bool dry = false;  // the queue holds too little to go on now
    while (done < bytes) {
        if (m_stageAt < m_stage.size()) {
            const std::size_t n = std::min(m_stage.size() - m_stageAt, bytes - done);
            std::memcpy(out + done, m_stage.data() + m_stageAt, n);
            m_stageAt += n;
            done += n;
            continue;
        }
        m_stage.clear();
        m_stageAt = 0;
        if (dry) break;
        if (m_overDebt > 0) {
            dry = !CutOverwrittenLocked();
        } else if (m_holdDebt > 0) {
            if (!m_silent) {
                FadeOutForHoldLocked();
                continue;
            }
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(m_holdDebt, bytes - done));
            std::memset(out + done, 0, n);
            done += n;
            m_holdDebt -= n;
            if (m_holdDebt == 0) m_fadeInLeft = m_fadeFrames;
        } else if (m_skipDebt > 0) {
            dry = !CrossfadeSkipLocked();
        } else if (m_stepDebt != 0 && m_fadeInLeft == 0 && m_sinceStep >= cutfade::kStepSpacingFrames) {
            StepLocked();
            dry = m_stage.empty();
        } else {
            const std::size_t n = TakeFramesLocked(out + done, (bytes - done) / frame);
            if (n == 0) break;
            if (m_fadeInLeft > 0) {
                const std::size_t k = std::min(n, m_fadeInLeft);
                cutfade::Fade(out + done, k, m_channels, m_fadeFrames - m_fadeInLeft, m_fadeFrames, true);
                m_fadeInLeft -= k;
            }
            m_silent = false;
            m_sinceStep += n;
            done += n * frame;
        }
    }
    if (done >= frame) std::memcpy(m_lastFrame.data(), out + done - frame, frame);
    return done;
}

void CWaveDeviceCore::FadeOutForHoldLocked() {
    // The sound fades out over its next few milliseconds; with nothing queued, the last level
    // handed out goes down to silence instead, as part of the hold.
    const std::size_t frame = m_frameBytes;
    m_stage.resize(m_fadeFrames * frame);
    const std::size_t n = TakeFramesLocked(m_stage.data(), m_fadeFrames);
    if (n > 0) {
        m_stage.resize(n * frame);
        cutfade::Fade(m_stage.data(), n, m_channels, 0, n, false);
    } else {
        const std::size_t tail = static_cast<std::size_t>(std::min<std::uint64_t>(m_fadeFrames, m_holdDebt / frame));
        m_stage.resize(tail * frame);
        cutfade::Tail(m_stage.data(), m_lastFrame.data(), tail, m_channels);
        m_holdDebt -= tail * frame;
        if (m_holdDebt == 0) m_fadeInLeft = m_fadeFrames;
    }
    m_silent = true;
}

bool CWaveDeviceCore::CutOverwrittenLocked() {
    // Nothing of the entries written over may be heard: the last level handed out goes down to
    // silence, which the skip makes up for, and the sound after them fades in.
    if (!m_silent) {
        m_stage.resize(m_fadeFrames * m_frameBytes);
        cutfade::Tail(m_stage.data(), m_lastFrame.data(), m_fadeFrames, m_channels);
        m_overDebt += m_stage.size();
        m_silent = true;
    }
    SkipLocked(&m_overDebt);
    if (m_overDebt > 0) return false;
    m_fadeInLeft = m_fadeFrames;
    return true;
}

bool CWaveDeviceCore::CrossfadeSkipLocked() {
    const std::size_t frame = m_frameBytes;
    if (m_silent) {
        // Nothing sounds to fade out (a hold went before): the sound after the skip fades in.
        SkipLocked(&m_skipDebt);
        if (m_skipDebt > 0) return false;
        m_fadeInLeft = m_fadeFrames;
        return true;
    }
    // The sound just before the skip and the sound just after it, each a fade long, are laid
    // over each other.
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(m_fadeFrames, m_skipDebt / frame));
    BYTE* before = m_scratch.data();
    const std::size_t had = TakeFramesLocked(before, want);
    m_skipDebt -= had * frame;
    SkipLocked(&m_skipDebt);
    BYTE* after = m_scratch.data() + had * frame;
    const std::size_t got = m_skipDebt == 0 ? TakeFramesLocked(after, had) : 0;
    m_stage.resize(had * frame);
    if (got == had) {
        cutfade::Crossfade(m_stage.data(), before, after, had, m_channels);
        return true;
    }
    // The queue ran short: the sound before fades out alone, and whatever comes after the skip
    // fades in.
    std::memcpy(m_stage.data(), before, had * frame);
    cutfade::Fade(m_stage.data(), had, m_channels, 0, had, false);
    m_stage.insert(m_stage.end(), after, after + got * frame);
    if (got > 0) cutfade::Fade(m_stage.data() + had * frame, got, m_channels, 0, got, true);
    m_skipDebt += (had - got) * frame;  // what of the sound before went out adds to the skip
    m_silent = got == 0;
    if (m_silent) m_fadeInLeft = m_fadeFrames;
    return m_skipDebt == 0 || got > 0;
}

void CWaveDeviceCore::StepLocked() {
    // One frame left out or played twice: the stream crossfades into itself one frame on or
    // back, which no ear tells from the stream as it was.
    const std::size_t frame = m_frameBytes;
    const std::size_t l = cutfade::kStepFrames;
    BYTE* s = m_scratch.data();
    const bool on = m_stepDebt > 0;
    const std::size_t want = on ? l + 1 : l;
    const std::size_t got = TakeFramesLocked(s, want);
    m_sinceStep = 0;
    if (got < want) {
        // Too little queued to step: what there is goes out as it is.
        m_stage.assign(s, s + got * frame);
        m_sinceStep = got;
        return;
    }
    if (on) {
        m_stage.resize(l * frame);
        cutfade::Crossfade(m_stage.data(), s, s + frame, l, m_channels);
        --m_stepDebt;
        m_steppedOn.fetch_add(frame, std::memory_order_acq_rel);
    } else {
        m_stage.resize((l + 1) * frame);
        std::memcpy(m_stage.data(), s, frame);
        cutfade::Crossfade(m_stage.data() + frame, s + frame, s, l - 1, m_channels);
        std::memcpy(m_stage.data() + l * frame, s + (l - 1) * frame, frame);
        ++m_stepDebt;
        m_steppedBack.fetch_add(frame, std::memory_order_acq_rel);
    }
}

std::size_t CWaveDeviceCore::TakeFramesLocked(BYTE* to, std::size_t frames) {
    const std::size_t bytes = frames * m_frameBytes;
    std::size_t done = 0;
    while (done < bytes && TakeCurrentLocked()) done += PlayCurrentLocked(to != nullptr ? to + done : nullptr, bytes - done);
    m_playedBytes.store(m_playedBytes.load(std::memory_order_relaxed) + done, std::memory_order_release);
    return done / m_frameBytes;
}

void CWaveDeviceCore::SkipLocked(std::uint64_t* debt) {
    const std::uint64_t frames = *debt / m_frameBytes;
    std::uint64_t skipped = 0;
    while (skipped < frames) {
        const std::size_t n = TakeFramesLocked(nullptr, static_cast<std::size_t>(std::min<std::uint64_t>(frames - skipped, SIZE_MAX / m_frameBytes)));
        if (n == 0) break;
        skipped += n;
    }
    *debt -= skipped * m_frameBytes;
}

std::size_t CWaveDeviceCore::PlayCurrentLocked(BYTE* out, std::size_t bytes) {
    const std::size_t n = std::min<std::size_t>(m_cur->dwBufferLength - m_curOffset, bytes);
    // The buffer's memory is read now, not when it was queued: the program may still have been
    // writing into it.
    if (out != nullptr && n > 0) std::memcpy(out, m_cur->lpData + m_curOffset, n);
    m_curOffset += n;
    if (m_curOffset >= m_cur->dwBufferLength) {
        CompleteLocked(m_cur);
        m_cur = nullptr;
        m_curOffset = 0;
    }
    return n;
}

void CWaveDeviceCore::NoteInputOffsetLocked() {
    const double kept = static_cast<double>(m_capturedBytes) - static_cast<double>(m_programDropped);
    const double now = m_clock();
    m_live->NoteInput(now - kept / static_cast<double>(m_format.nAvgBytesPerSec), now);
}

std::size_t CWaveDeviceCore::CaptureLocked(const BYTE* in, std::size_t bytes, bool paced) {
    if (!m_started || m_lost.load(std::memory_order_relaxed)) return 0;
    std::size_t done = 0;
    while (done < bytes) {
        if (m_cur == nullptr && paced && !ProgressReachedLocked(m_capturedBytes)) break;
        if (!TakeCurrentLocked()) {
            // Nowhere to put it: an overrun. A paced device keeps its bytes for later instead.
            if (!paced) m_droppedBytes += bytes - done;
            break;
        }
        WAVEHDR* hdr = m_cur;
        const std::size_t room = hdr->dwBufferLength - hdr->dwBytesRecorded;
        const std::size_t n = std::min(room, bytes - done);
        if (n > 0) std::memcpy(hdr->lpData + hdr->dwBytesRecorded, in + done, n);
        hdr->dwBytesRecorded += static_cast<DWORD>(n);
        done += n;
        m_capturedBytes += n;
        if (hdr->dwBytesRecorded >= hdr->dwBufferLength) {
            CompleteLocked(hdr);
            m_cur = nullptr;
        }
    }
    if (m_live != nullptr && !paced) NoteInputOffsetLocked();
    return done;
}

void CWaveDeviceCore::CompleteLocked(WAVEHDR* hdr) {
    if (m_dir == Direction::In) {
        hdr->reserved = m_droppedBytes;
        m_droppedBytes = 0;
    }
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    m_queued.fetch_sub(1, std::memory_order_acq_rel);
    m_done.Push(hdr);  // cannot be full: Submit bounds the headers in flight
    m_completed.fetch_add(1, std::memory_order_release);
}

void CWaveDeviceCore::ReturnAllLocked() {
    if (m_cur != nullptr) CompleteLocked(m_cur);
    m_cur = nullptr;
    m_curOffset = 0;
    while (WAVEHDR* hdr = m_pending.Pop()) CompleteLocked(hdr);
}

// --- Completion thread -------------------------------------------------------------------------

void CWaveDeviceCore::Signal() {
    m_signal.fetch_add(1, std::memory_order_release);
    m_signal.notify_one();
}

void CWaveDeviceCore::CompletionLoop() {
    for (;;) {
        const std::uint32_t seen = m_signal.load(std::memory_order_acquire);
        if (m_lostRequest.exchange(false, std::memory_order_acq_rel)) Lose();
        while (WAVEHDR* hdr = m_done.Pop()) {
            if (m_post) m_post(hdr);
            m_posted.fetch_add(1, std::memory_order_acq_rel);
            m_posted.notify_all();
        }
        if (m_stop.load(std::memory_order_acquire)) return;
        m_signal.wait(seen, std::memory_order_acquire);
    }
}

}  // namespace platform::wave

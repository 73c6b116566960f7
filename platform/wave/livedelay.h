// CLiveDelay: holds the delay of a live run's playback behind its recording at one value,
// whatever stalls came between, and however the two devices' clocks drift apart.
//
// Each side of the run keeps a timeline: a recording device says, as each piece arrives, when
// that happened and how far its stream has got (bytes kept for the program); a playback device
// says, each time it is asked for sound, when that is and how far its stream has got (bytes
// taken from the program's buffers). The offset of a timeline is time minus position over the
// byte rate. Whatever the program does in between, the sound recorded at input position p is
// played at output position p plus a fixed distance, so the lag of the output behind the input
// is that distance plus the playback's offset minus the recording's: every second the recording
// loses (an overrun, a stall's backlog dropped, a block the engine had no room for) lowers the
// lag, every second the playback loses (it ran dry, the device stalled) raises it, and a
// recording clock a little faster than the playback's lowers it slowly and steadily.
//
// Both offsets are read as their least value of the last half second or so: a piece that
// arrives late, or a request that comes late, raises the offset only for a moment, while a loss
// raises it for good. Once their difference has held still for a second after the start (whose
// own moves, a sound server filling its buffers, are not stalls), it is the usual lag, made
// larger where the playback would otherwise come closer than kRoomSeconds to what the program
// has not yet written into its buffers (the sound server began the recording late). From
// then on:
// - a difference that stays more than kMoveSeconds above the usual value is skipped at the
//   playback (what is late is not played), one that stays as far below it is held (the
//   playback plays silence for that long): one move, which the playback fades out and in;
// - a smaller difference that keeps beyond the drift band for a second or more (a slow drift of
//   the two clocks, or a loss too small to be worth a move) is taken up gradually, a frame at a
//   time, with no cut.
// While a stall goes on, a side's newest offset climbs above its least value; the two sides'
// least values then climb unevenly (each side notes at its own moments), so nothing is decided
// until both timelines have held still again, and the stall costs one move or none.
//
// Threads: the recording device's thread calls NoteInput, the playback device's thread calls
// Correction; the recording's offsets pass between them through atomics. Neither waits.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace platform::wave {

// The least of the values noted in the current span of the steady clock and the one before it
// (spans are whole multiples of the span's length, so two filters on the same clock forget at
// the same moments). One thread.
class CRecentLeast {
public:
    explicit CRecentLeast(double span) : m_span(span) {}

    void Note(double value, double now) {
        const auto index = static_cast<long long>(std::floor(now / m_span));
        if (index != m_index) {
            m_previous = index == m_index + 1 ? m_current : kNone;
            m_current = kNone;
            m_index = index;
        }
        if (value < m_current) m_current = value;
    }
    // Forgets every value noted so far: the next one stands alone.
    void Forget() { m_current = m_previous = kNone; }
    double Least() const { return m_current < m_previous ? m_current : m_previous; }

private:
    static constexpr double kNone = std::numeric_limits<double>::infinity();
    const double m_span;
    long long m_index = std::numeric_limits<long long>::min();
    double m_current = kNone;
    double m_previous = kNone;
};

class CLiveDelay {
public:
    // How far the lag may stray from its usual value before it is corrected at all (seconds):
    // wider than the few milliseconds a sound server's buffering wanders by.
    static constexpr double kDriftBandSeconds = 0.008;
    // Beyond this the difference is a stall's loss, made up in one move; up to it, it is taken
    // up gradually (a clock's drift, or a small loss that a move would only make heard).
    static constexpr double kMoveSeconds = 0.04;
    // How far the lag may move while the start settles.
    static constexpr double kSettleBandSeconds = 0.02;
    // How long the difference of both timelines must hold still before it is taken as the usual
    // lag.
    static constexpr double kSettleSeconds = 1.0;
    // Span of the least-value filters. A stall reaches the two sides a moment apart, perhaps
    // in different spans, so a difference is corrected only once it has lasted a span and a
    // half on one side of the usual value, and then by the least of it seen meanwhile.
    static constexpr double kSpanSeconds = 0.25;
    static constexpr double kLastingSeconds = 1.5 * kSpanSeconds;
    // A drift is taken up once it has kept to one side of the band this long.
    static constexpr double kDriftLastingSeconds = 1.0;
    // A side whose newest offset stands this far above its least value is still losing time (a
    // stall goes on, or has only just ended): nothing is decided meanwhile.
    static constexpr double kMovingSeconds = 0.08;
    // How far, at the least, the playback is to stay behind what the program has written into
    // its buffers: the program writes in blocks, each as its recording arrives, a little later
    // from time to time.
    static constexpr double kRoomSeconds = 0.1;

    // What the playback is to do: skip (seconds > 0) or hold (seconds < 0), in one move or,
    // when gradual, a frame at a time.
    struct Move {
        double seconds = 0.0;
        bool gradual = false;
    };

    // Recording device: at `now`, the recording's offset (arrival time minus stream position
    // over the byte rate), seconds on the steady clock.
    void NoteInput(double offset, double now) {
        m_input.Note(offset, now);
        m_inputNewest.store(offset, std::memory_order_release);
        m_inputOffset.store(m_input.Least(), std::memory_order_release);
    }

    // Playback device: at `now`, the playback's offset counting the corrections already asked
    // for, and its room: how many seconds of the stream it may still take before it reaches
    // what the program has not written yet (infinite when it cannot tell).
    Move Correction(double outputOffset, double now, double room = std::numeric_limits<double>::infinity()) {
        m_output.Note(outputOffset, now);
        const double input = m_inputOffset.load(std::memory_order_acquire);
        if (!std::isfinite(input)) return {};
        const double outputLeast = m_output.Least();
        const double lag = outputLeast - input;
        if (!m_settled) {
            // The start has its own moves (the sound server fills its buffers, the first pieces
            // come in a burst): the usual lag is the one that then holds for a second.
            if (m_settleStart < 0.0 || std::fabs(lag - m_usual) > kSettleBandSeconds) {
                m_settleStart = now;
                m_usual = lag;
                m_settleRoom = room;
            }
            m_settleRoom = std::min(m_settleRoom, room);
            m_settled = now - m_settleStart >= kSettleSeconds;
            // The value it holds at the end of that second: a drift is measured from there. A
            // playback that started too far ahead of its recording (the sound server began the
            // recording late) would reach, before each block of the program arrives, buffer
            // entries still holding the ring's previous turn: the usual lag is as much larger,
            // and the playback holds it from now on.
            if (m_settled) m_usual = lag + std::max(0.0, kRoomSeconds - m_settleRoom);
            return {};
        }
        const bool moving = outputOffset - outputLeast > kMovingSeconds ||
                            m_inputNewest.load(std::memory_order_acquire) - input > kMovingSeconds;
        const double off = lag - m_usual;
        if (moving) {
            m_move.Restart(0, now, off);
            m_drift.Restart(0, now, off);
            return {};
        }
        const int side = off > kMoveSeconds ? 1 : (off < -kMoveSeconds ? -1 : 0);
        if (m_move.Keep(side, now, off) >= kLastingSeconds) {
            const double correction = m_move.least;
            m_move.Restart(0, now, off);
            m_drift.Restart(0, now, off);
            Forget(correction);
            return {correction, false};
        }
        // A drift or a small loss: short of a move, beyond the band.
        const int driftSide = side != 0 ? 0 : (off > kDriftBandSeconds ? 1 : (off < -kDriftBandSeconds ? -1 : 0));
        if (m_drift.Keep(driftSide, now, off) >= kDriftLastingSeconds) {
            const double correction = m_drift.least;
            m_drift.Restart(0, now, off);
            Forget(correction);
            return {correction, true};
        }
        return {};
    }

private:
    // Which side of a band the difference has kept to since when, and its smallest size
    // meanwhile.
    struct Side {
        int side = 0;
        double since = 0.0;
        double least = 0.0;
        void Restart(int s, double now, double off) {
            side = s;
            since = now;
            least = off;
        }
        // How long the difference has kept to `s` (0 while it keeps to none).
        double Keep(int s, double now, double off) {
            if (s == 0 || s != side) {
                Restart(s, now, off);
                return 0.0;
            }
            if (std::fabs(off) < std::fabs(least)) least = off;
            return now - since;
        }
    };

    // A hold raises the playback's offset from the next request on; its older, lower values
    // would hide that for a span, so they go.
    void Forget(double correction) {
        if (correction < 0.0) m_output.Forget();
    }

    CRecentLeast m_input{kSpanSeconds};   // recording thread
    std::atomic<double> m_inputOffset{std::numeric_limits<double>::quiet_NaN()};
    std::atomic<double> m_inputNewest{std::numeric_limits<double>::quiet_NaN()};
    CRecentLeast m_output{kSpanSeconds};  // playback thread, as the rest below
    bool m_settled = false;
    double m_settleStart = -1.0;
    double m_usual = 0.0;
    double m_settleRoom = 0.0;  // the least room while the start settles
    Side m_move;   // beyond kMoveSeconds
    Side m_drift;  // short of it, beyond the drift band
};

}  // namespace platform::wave

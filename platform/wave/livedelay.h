// CLiveDelay: holds the delay of a live run's playback behind its recording at one value,
// whatever stalls came between.
//
// Each side of the run keeps a timeline: a recording device says, as each piece arrives, when
// that happened and how far its stream has got (bytes kept for the program); a playback device
// says, each time it is asked for sound, when that is and how far its stream has got (bytes
// taken from the program's buffers). The offset of a timeline is time minus position over the
// byte rate. Whatever the program does in between, the sound recorded at input position p is
// played at output position p plus a fixed distance, so the lag of the output behind the input
// is that distance plus the playback's offset minus the recording's: every second the recording
// loses (an overrun, a stall's backlog dropped, a block the engine had no room for) lowers the
// lag, every second the playback loses (it ran dry, the device stalled) raises it.
//
// Both offsets are read as their least value of the last half second or so: a piece that
// arrives late, or a request that comes late, raises the offset only for a moment, while a loss
// raises it for good. Once their difference has held still for a second after the start (whose
// own moves, a sound server filling its buffers, are not stalls), it is the usual lag. From then on, a difference that stays more than the tolerance above the usual value is
// skipped at the playback (what is late is not played), one that stays below it is held (the
// playback plays silence for that long), so the lag comes back to the usual value within about
// a second of any stall, however many there were, and on whichever side they fell.
//
// Threads: the recording device's thread calls NoteInput, the playback device's thread calls
// Correction; the recording's offset passes between them through an atomic. Neither waits.
#pragma once

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
    // How far the lag may stray from its usual value before it is corrected (seconds).
    static constexpr double kToleranceSeconds = 0.02;
    // How long the difference of both timelines must hold still before it is taken as the usual
    // lag.
    static constexpr double kSettleSeconds = 1.0;
    // Span of the least-value filters. A stall reaches the two sides a moment apart, perhaps
    // in different spans, so a difference is corrected only once it has lasted a span and a
    // half on one side of the usual value, and then by the least of it seen meanwhile.
    static constexpr double kSpanSeconds = 0.25;
    static constexpr double kLastingSeconds = 1.5 * kSpanSeconds;

    // Recording device: at `now`, the recording's offset (arrival time minus stream position
    // over the byte rate), seconds on the steady clock.
    void NoteInput(double offset, double now) {
        m_input.Note(offset, now);
        m_inputOffset.store(m_input.Least(), std::memory_order_release);
    }

    // Playback device: at `now`, the playback's offset counting the corrections already asked
    // for. Returns the seconds to skip (more than 0) or to hold (less than 0), or 0.
    double Correction(double outputOffset, double now) {
        m_output.Note(outputOffset, now);
        const double input = m_inputOffset.load(std::memory_order_acquire);
        if (!std::isfinite(input)) return 0.0;
        const double lag = m_output.Least() - input;
        if (!m_settled) {
            // The start has its own moves (the sound server fills its buffers, the first pieces
            // come in a burst): the usual lag is the one that then holds for a second.
            if (m_settleStart < 0.0 || std::fabs(lag - m_usual) > kToleranceSeconds) {
                m_settleStart = now;
                m_usual = lag;
            }
            m_settled = now - m_settleStart >= kSettleSeconds;
            return 0.0;
        }
        const double off = lag - m_usual;
        const int side = off > kToleranceSeconds ? 1 : (off < -kToleranceSeconds ? -1 : 0);
        if (side == 0 || side != m_side) {
            m_side = side;
            m_sideSince = now;
            m_least = off;
            return 0.0;
        }
        if (std::fabs(off) < std::fabs(m_least)) m_least = off;
        if (now - m_sideSince < kLastingSeconds) return 0.0;
        const double correction = m_least;
        m_side = 0;
        // A hold raises the playback's offset from the next request on; its older, lower values
        // would hide that for a span, so they go.
        if (correction < 0.0) m_output.Forget();
        return correction;
    }

private:
    CRecentLeast m_input{kSpanSeconds};   // recording thread
    std::atomic<double> m_inputOffset{std::numeric_limits<double>::quiet_NaN()};
    CRecentLeast m_output{kSpanSeconds};  // playback thread, as the rest below
    bool m_settled = false;
    double m_settleStart = -1.0;
    double m_usual = 0.0;
    int m_side = 0;           // which side of the usual value the lag has kept to lately
    double m_sideSince = 0.0;
    double m_least = 0.0;     // the smallest difference seen on that side meanwhile
};

}  // namespace platform::wave

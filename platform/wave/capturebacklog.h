// CCaptureBacklog: tells, piece by piece, whether recorded sound that reaches the program now is
// a backlog: sound recorded while the process could not read (a stall), queued in the sound
// server, its socket or the driver, and handed on late all at once. Such sound is dropped, as a
// sound card drops an overrun, so that the input loses what the stall kept from it and its delay
// stays what it usually is; the output, which could not play during the stall either, has lost
// about as much, and a LIVE run's lag behind its input comes back to its usual value.
//
// The measure is the age of each piece: how long before its arrival its first frame was
// recorded, as the sound system's timing tells it. The usual age is the least age seen lately
// (it follows the device's delay when that grows slowly); a piece older than that by more than
// the slack is backlog. A backlog drains far faster than real time; ages that stay high while
// sound arrives at about real time mean the device's own delay has grown, and are taken as the
// new usual age after a quarter of a second. Nothing is dropped beyond what the stall itself
// kept waiting: the time that passed without any sound arriving, less the slack.
//
// One thread at a time (the thread that reads the device) calls it; it holds no lock.
#pragma once

#include <chrono>

namespace platform::wave {

// Seconds on the steady clock: the arrival times the detector compares.
inline double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class CCaptureBacklog {
public:
    // Extra age a piece may have over the usual before it counts as backlog: about the
    // playback's own buffer, which carries the output over that much of a stall.
    static constexpr double kSlackSeconds = 0.1;

    // ageSeconds: how long before `now` the piece's first frame was recorded (negative when the
    // sound system cannot tell yet); pieceSeconds: the piece's length; now: its arrival, in
    // seconds on a steady clock. True: the piece is backlog, to be dropped.
    bool IsBacklog(double ageSeconds, double pieceSeconds, double now) {
        // A stall can keep no more waiting than the time that passed without sound arriving:
        // what is dropped of one backlog never exceeds that gap less the slack, whatever the
        // ages say (a sound server that starved itself may tell ages that mislead).
        if (m_lastArrival >= 0.0 && now - m_lastArrival > kSlackSeconds) m_budget += now - m_lastArrival - kSlackSeconds;
        m_lastArrival = now;
        if (ageSeconds < 0.0) return false;
        if (m_usual < 0.0 || ageSeconds <= m_usual + kRise * pieceSeconds) {
            Settle(ageSeconds);
            return false;
        }
        if (ageSeconds <= m_usual + kSlackSeconds) {
            m_usual += kRise * pieceSeconds;
            m_draining = false;
            m_budget = 0.0;
            return false;
        }
        if (!m_draining) {
            m_draining = true;
            m_drainStart = now;
            m_drained = 0.0;
        }
        const double elapsed = now - m_drainStart;
        if ((elapsed > kSettleSeconds && m_drained < kDrainSpeed * elapsed) || m_budget < pieceSeconds * 0.5) {
            // Not draining, or no stall to account for it: sound comes at about real time, only
            // later than it used to.
            Settle(ageSeconds);
            return false;
        }
        m_drained += pieceSeconds;
        m_budget -= pieceSeconds;
        return true;
    }

    // The usual age (seconds), or negative before the first known age.
    double UsualAge() const { return m_usual; }

private:
    void Settle(double ageSeconds) {
        m_usual = ageSeconds;
        m_draining = false;
        m_budget = 0.0;
    }

    // How fast the usual age may follow ages that grow, per second of sound.
    static constexpr double kRise = 0.01;
    // How long ages above the bound may last before they are taken as the device's new delay,
    // unless what is dropped meanwhile comes at least this many times faster than real time.
    static constexpr double kSettleSeconds = 0.25;
    static constexpr double kDrainSpeed = 2.0;

    double m_usual = -1.0;
    bool m_draining = false;
    double m_drainStart = 0.0;
    double m_drained = 0.0;  // seconds of sound dropped since m_drainStart
    double m_lastArrival = -1.0;
    double m_budget = 0.0;   // seconds of a stall not yet accounted for by drops
};

}  // namespace platform::wave

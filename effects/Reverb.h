// CReverb: a feed-forward multi-tap echo over the dry input. Echo k of a value comes k delay
// spans after it with gain g_k; in stereo the right channel's echoes are inverted. A history of
// the H values before the current block lets echoes reach back into earlier blocks.
//
// Threads: the user-interface thread publishes complete tap sets (Publish) and asks for the
// history to be cleared (RequestClear); the one engine thread that applies the reverb calls
// Process, which first clears the history when asked, then takes the newest complete tap set
// and uses it for the whole call. Only the engine thread touches the history once a run is on.
#pragma once

#include <atomic>
#include <vector>

#include "effects/EchoGains.h"
#include "effects/Snapshot.h"

// What the processing needs of the reverb's values: the echo spacing in seconds, the number of
// echoes and their gains (gain[k] for echo k; gain[0] is not used by the processing).
struct ReverbTaps {
    float delay = 0.07f;
    int repeat = 0;
    float gain[kEchoGainSlots] = {};
};

class CReverb {
public:
    // historyValues: H, the number of values before the block that the taps can reach (half the
    // device block in 16-bit values). A call filters at most 2·H values at a time; longer blocks
    // are processed in pieces of that size.
    explicit CReverb(int historyValues);

    // User-interface thread.
    void Publish(const ReverbTaps& taps) { m_pending.Publish(taps); }
    // Any thread: the engine clears the history at the start of its next call.
    void RequestClear() { m_bClearRequested.store(true, std::memory_order_release); }

    // Engine thread (or before any engine thread runs). Adds the echoes to n values in place
    // (channels 1 mono, any other value interleaved stereo) and moves the history on. Each value
    // is limited to -32767..32767 (NaN gives 0). In stereo a lone value at the end of an odd
    // block gets no echoes.
    void Process(float* buf, int n, int channels);
    void ClearHistory();

    int HistoryValues() const { return m_nHistory; }
    // Engine thread: the tap set the last call used.
    const ReverbTaps& TapsInUse() const { return m_taps; }

private:
    void ProcessPiece(float* buf, int n, int channels);

    int m_nHistory;                // H
    std::vector<float> m_history;  // H values before the block, then room for a block of 2·H
    CSnapshotExchange<ReverbTaps> m_pending;
    ReverbTaps m_taps;  // engine thread
    std::atomic<bool> m_bClearRequested{false};
};

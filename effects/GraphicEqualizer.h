// CGraphicEqualizer: the eleven peaking bands in cascade over the engine's blocks.
//
// Threads: the user-interface thread designs and publishes a complete coefficient set
// (Publish); the one engine thread that equalises calls Process, which takes the newest complete
// set at the start of each block and filters the whole block with it. Only the engine thread
// touches the filters (their coefficients in use and their history). When nothing new was
// published, or the set is being copied in at that moment, the block uses the set already in
// the filters.
#pragma once

#include "effects/IIRUnit.h"
#include "effects/Snapshot.h"

inline constexpr int kEqBands = 11;

// Centre frequency of band k in Hz: 16.3516·2^k, doubled in double precision once per band.
double EqBandFrequency(int band);

// One complete design: the numerator b and denominator a of every band.
struct EqDesign {
    float b[kEqBands][3];
    float a[kEqBands][3];
    EqDesign();  // every band the identity filter
};

class CGraphicEqualizer {
public:
    // User-interface thread.
    void Publish(const EqDesign& design) { m_pending.Publish(design); }

    // Engine thread. Equalises n values (channels 1 mono, any other value interleaved stereo) in
    // place: the eleven bands in cascade, then each value truncated toward zero and limited to
    // -32767..32767 (NaN gives 0). Any n works; n <= 0 does nothing. A filter whose history is no
    // longer finite after the block starts the next block from silence.
    void Process(float* buf, int n, int channels);

    // Engine thread: the filter of band k as the last block used it.
    const CIIRUnit& Band(int k) const { return m_iir[k]; }

private:
    void TakeNewestDesign();

    CIIRUnit m_iir[kEqBands];
    CSnapshotExchange<EqDesign> m_pending;
    EqDesign m_taken;  // engine thread
};

// CIIRUnit: one second-order recursive section (biquad, direct form I) with the history of up
// to two interleaved channels. Values are floats that carry 16-bit sample values; the unit
// neither scales nor clamps.
//
// The history slots hold the last input and output values of the stream seen so far: for one
// channel the last two (slot [0] two back, slot [1] one back), for two interleaved channels the
// last four (slot [0] four back ... slot [3] one back), so a channel's one-back value lies two
// positions back. Because the slots are simply the stream's tail, any block length works
// (0, 1, odd stereo counts) and splitting a stream into several calls gives the same output as
// one call, as long as the channel count stays the same.
//
// Not locked: the thread that filters owns the unit (coefficients and history).
#pragma once

class CIIRUnit {
public:
    CIIRUnit();
    virtual ~CIIRUnit();

    // Filters n values (all channels counted, interleaved) from in to out and moves the history
    // on. channels 1 means one channel, any other value two interleaved channels. in and out may
    // be the same buffer.
    void Process(const float* in, int n, int channels, float* out);
    // Back to the identity filter with a cleared history.
    void Reset();
    // Clears the history only; the coefficients stay.
    void ClearHistory();
    bool HistoryIsFinite() const;
    // Peaking equaliser at 44100 Hz, the same design the graphic equaliser uses. History stays.
    void SetPeakingEQ(float freq, float gainDb, float q);

    // The recursion state of one channel while a block is being filtered.
    struct Lane {
        float x1, x2, y1, y2;
    };
    // One output value: b0·x + b1·x[-1] + b2·x[-2] − a1·y[-1] − a2·y[-2], left to right in single
    // precision.
    static inline float Step(const float* b, const float* a, Lane& s, float x) {
        const float y = b[0] * x + b[1] * s.x1 + b[2] * s.x2 - a[1] * s.y1 - a[2] * s.y2;
        s.x2 = s.x1;
        s.x1 = x;
        s.y2 = s.y1;
        s.y1 = y;
        return y;
    }
    // Lane 0 takes the block's first value (mono: every value); lane 1 the second (stereo).
    void LoadLanes(int channels, Lane lanes[2]) const;
    // Stores the lanes back into the history slots after a block of n values.
    void StoreLanes(int channels, int n, const Lane lanes[2]);

    float m_fA[3];      // a0 (normalised, unused by the recursion), a1, a2
    float m_fB[3];      // b0, b1, b2
    float m_fXHist[4];  // last input values
    float m_fYHist[4];  // last output values
};

// CPitchScaleManager: the front of the phase vocoder. Owns one CPitchScaleUnit per channel,
// chooses the mono, stereo or stereo-vocal path, and keeps the magnitudes and true
// frequencies of the last frame of each channel for the spectrum display.
//
// Threads:
// - Process and SetPitchRatio run on the phase-vocoder thread (tests and the batch call them
//   from their own thread); m_cs serialises them.
// - m_nChannels is written by the run start before the phase-vocoder thread starts, and read
//   by Process.
// - The display snapshot is written by Process and read by the display timer on the UI thread
//   through ReadSnapshot. Both sides take m_csSnapshot only for the 16 KB copy, so a reader
//   always gets one whole frame (never half of one and half of the next) and never waits for
//   the processing itself. Before the first frame the snapshot is all zeros.
#pragma once

#include <atomic>
#include <memory>

#include "engine/PitchScaleUnit.h"
#include "platform/base/critsec.h"

class CPitchScaleManager {
public:
    static constexpr int kSnapshotRows = 4;  // magnitude L, magnitude R, frequency L, frequency R
    static constexpr int kSnapshotBins = CPitchScaleUnit::kBins;
    using Snapshot = float[kSnapshotRows][kSnapshotBins];

    CPitchScaleManager();
    virtual ~CPitchScaleManager();
    CPitchScaleManager(const CPitchScaleManager&) = delete;
    CPitchScaleManager& operator=(const CPitchScaleManager&) = delete;

    // Replaces both units by fresh ones at 44100 Hz and sets the channel count to 2. The
    // parameters are unused. 0 when memory ran out (the manager then has no units).
    int Init(int unused1, int unused2);

    // count samples per channel from inL/inR to outL/outR. params: the five VocalParams floats
    // (params[0] > 0 selects the vocal path of a stereo run; null counts as vocal off). Returns 1 with *pOutCount = count
    // (0 for count 0), or 0 with *pOutCount = 0 and the outputs untouched when the channel
    // count is neither 1 nor 2 or there are no units.
    int Process(const float* inL, const float* inR, int count, float* outL, float* outR, int* pOutCount,
                const float* params, int bReset);

    // Sets the ratio of both units under the processing lock.
    void SetPitchRatio(float ratio);

    // Copies the display arrays of the last completed frame: [0] magnitudes left (or mono),
    // [1] magnitudes right, [2] true frequencies left in Hz, [3] right. Any thread.
    void ReadSnapshot(Snapshot& out) const;

    const CPitchScaleUnit* Unit(int index) const { return m_pUnit[index].get(); }

    // 1 or 2: the path Process takes; 2 after Init, then the channel count of each run.
    std::atomic<int> m_nChannels{2};
    int m_nSampleRate = 44100;

private:
    void Publish(const float* mag0, const float* mag1, const float* freq0, const float* freq1);

    std::unique_ptr<CPitchScaleUnit> m_pUnit[2];
    CCriticalSection m_cs;
    mutable CCriticalSection m_csSnapshot;
    Snapshot m_fSnapshot = {};
};

// What the pitch analyser's update keeps from one timer tick to the next (user-interface
// thread only): the mark count it has consumed and the last 20 raw points, which the clean-up
// passes of the next batch look back on.
#pragma once

struct CPitchTrackCarry {
    static constexpr int kCarried = 20;
    int prevCount = 1;
    float pitch[kCarried] = {};
    float time[kCarried] = {};
    // Set when a run has ended (STOP): the next update starts afresh whatever the mark count.
    bool restart = false;
};

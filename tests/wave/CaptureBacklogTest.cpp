// Which recorded pieces count as the backlog of a stall, by their age on arrival.
#include <gtest/gtest.h>

#include "platform/wave/capturebacklog.h"

using platform::wave::CCaptureBacklog;

namespace {

constexpr double kPiece = 0.02;  // pieces of 20 ms, as the sound server hands them on

// Feeds `seconds` of pieces arriving in real time with ages from `age(i)`; returns the seconds
// dropped. *now advances with the pieces.
template <typename Age>
double RealTime(CCaptureBacklog& b, double* now, double seconds, Age age) {
    double dropped = 0.0;
    for (int i = 0; i < static_cast<int>(seconds / kPiece + 0.5); ++i) {
        *now += kPiece;
        if (b.IsBacklog(age(i), kPiece, *now)) dropped += kPiece;
    }
    return dropped;
}

// A stall of `stall` seconds: what was recorded meanwhile arrives at once, oldest first, each
// piece one piece younger than the one before.
double Burst(CCaptureBacklog& b, double now, double stall, double usual) {
    double dropped = 0.0;
    for (double age = stall + usual; age > usual - 1e-9; age -= kPiece)
        if (b.IsBacklog(age, kPiece, now)) dropped += kPiece;
    return dropped;
}

TEST(CaptureBacklog, JitterWithinTheSlackKeepsEverythingAndUnknownAgesAreKept) {
    CCaptureBacklog b;
    double now = 0.0;
    EXPECT_EQ(RealTime(b, &now, 1.0, [](int) { return -1.0; }), 0.0);
    EXPECT_EQ(RealTime(b, &now, 30.0, [](int i) { return 0.02 + 0.07 * ((i * 7919) % 10) / 10.0; }), 0.0);
    EXPECT_NEAR(b.UsualAge(), 0.02, 0.015);
}

TEST(CaptureBacklog, AStallsBacklogIsDroppedDownToTheUsualAgeAndTheRunGoesOn) {
    for (double stall : {0.5, 1.0, 2.0}) {
        CCaptureBacklog b;
        double now = 0.0;
        ASSERT_EQ(RealTime(b, &now, 5.0, [](int) { return 0.03; }), 0.0);
        now += stall;
        const double dropped = Burst(b, now, stall, 0.03);
        // All but the slack's worth: the output, whose own buffer carried it over as much of the
        // stall, lost as much.
        EXPECT_NEAR(dropped, stall - CCaptureBacklog::kSlackSeconds, 1.5 * kPiece) << stall;
        EXPECT_EQ(RealTime(b, &now, 5.0, [](int) { return 0.03; }), 0.0) << stall;
    }
}

TEST(CaptureBacklog, AgesThatGrowWhileSoundKeepsComingCostNothingAndBecomeTheUsualAge) {
    CCaptureBacklog b;
    double now = 0.0;
    ASSERT_EQ(RealTime(b, &now, 5.0, [](int) { return 0.03; }), 0.0);
    // From now on every piece comes in real time, 0.4 s older than before: no stall kept any
    // of it waiting (a device's delay that grew, or a sound server that tells ages that mislead).
    EXPECT_EQ(RealTime(b, &now, 5.0, [](int) { return 0.43; }), 0.0);
    EXPECT_NEAR(b.UsualAge(), 0.43, 0.01);
    // A stall after that is measured from the new delay.
    now += 1.0;
    EXPECT_NEAR(Burst(b, now, 1.0, 0.43), 1.0 - CCaptureBacklog::kSlackSeconds, 1.5 * kPiece);
}

TEST(CaptureBacklog, AStallCostsNoMoreThanItsOwnLengthWhateverTheAgesSay) {
    for (double stall : {0.25, 0.5}) {
        CCaptureBacklog b;
        double now = 0.0;
        ASSERT_EQ(RealTime(b, &now, 5.0, [](int) { return 0.03; }), 0.0);
        // A sound server that starved for `stall` seconds, then hands on its sound with ages
        // half a second too old for a while.
        now += stall;
        const double dropped = RealTime(b, &now, 1.0, [](int i) { return i < 25 ? 0.53 : 0.03; });
        EXPECT_LE(dropped, stall - CCaptureBacklog::kSlackSeconds + kPiece) << stall;
    }
}

TEST(CaptureBacklog, JitterDoesNotRaiseTheUsualAgeSoAStallAfterItIsDroppedInFull) {
    CCaptureBacklog b;
    double now = 0.0;
    // Ages that climb within the slack and fall back, for half a minute, ending at the top:
    // the usual age stays at their least, not where the last pieces pushed it.
    ASSERT_EQ(RealTime(b, &now, 30.08, [](int i) { return 0.02 + 0.01 * (i % 8); }), 0.0);
    now += 1.0;
    EXPECT_NEAR(Burst(b, now, 1.0, 0.02), 1.0 - CCaptureBacklog::kSlackSeconds, 1.5 * kPiece);
}

TEST(CaptureBacklog, ADelayThatCreepsUpIsFollowedWithoutDropping) {
    CCaptureBacklog b;
    double now = 0.0;
    // 0.2 s more over five minutes, as a device's clock drifts against the system's.
    EXPECT_EQ(RealTime(b, &now, 300.0, [](int i) { return 0.03 + 0.2 * i * kPiece / 300.0; }), 0.0);
}

}  // namespace

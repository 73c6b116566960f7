#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "support/Signals.h"
#include "engine/PitchScaleManager.h"

namespace {

const float kVocalOff[5] = {0.0f, 100.0f, 16000.0f, 0.5f, 0.5f};
const float kVocalCut[5] = {1.0f, 100.0f, 16000.0f, 0.5f, 0.5f};

class PitchScaleManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(manager.Init(0, 0), 1); }

    int Run(const std::vector<float>& l, const std::vector<float>& r, const float* params, int reset,
            std::vector<float>& outL, std::vector<float>& outR) {
        int produced = -1;
        const int ok = manager.Process(l.data(), r.data(), static_cast<int>(l.size()), outL.data(), outR.data(),
                                       &produced, params, reset);
        EXPECT_EQ(ok == 1 ? static_cast<int>(l.size()) : 0, produced);
        return ok;
    }

    static bool RowsEqual(const CPitchScaleManager::Snapshot& s, int a, int b) {
        return std::memcmp(s[a], s[b], sizeof(s[a])) == 0;
    }

    CPitchScaleManager manager;
    CPitchScaleManager::Snapshot snap;
};

TEST_F(PitchScaleManagerTest, InitMakesTwoUnitsForTwoChannels) {
    EXPECT_EQ(manager.m_nChannels.load(), 2);
    EXPECT_NE(manager.Unit(0), nullptr);
    EXPECT_NE(manager.Unit(1), nullptr);
    EXPECT_NE(manager.Unit(0), manager.Unit(1));
}

TEST_F(PitchScaleManagerTest, SnapshotStartsZeroed) {
    manager.ReadSnapshot(snap);
    for (const auto& row : snap)
        for (float v : row) ASSERT_EQ(v, 0.0f);
}

TEST_F(PitchScaleManagerTest, CountZeroReportsZeroAndLeavesTheSnapshot) {
    int produced = -1;
    EXPECT_EQ(manager.Process(nullptr, nullptr, 0, nullptr, nullptr, &produced, kVocalOff, 1), 1);
    EXPECT_EQ(produced, 0);
    manager.ReadSnapshot(snap);
    EXPECT_EQ(snap[0][10], 0.0f);
}

TEST_F(PitchScaleManagerTest, ThreeChannelsReportFailureAndWriteNothing) {
    manager.m_nChannels = 3;
    const std::vector<float> in = signals::FloatSine(500.0, 1000.0, 4096);
    std::vector<float> outL(4096, 9.0f), outR(4096, 9.0f);
    EXPECT_EQ(Run(in, in, kVocalOff, 1, outL, outR), 0);
    for (size_t i = 0; i < outL.size(); ++i) ASSERT_TRUE(outL[i] == 9.0f && outR[i] == 9.0f) << i;
}

TEST_F(PitchScaleManagerTest, MonoRunShowsUnitZeroInBothRowsAndLeavesTheRightOutputAlone) {
    manager.m_nChannels = 1;
    const std::vector<float> in = signals::FloatSine(500.0, 1000.0, 8192);
    std::vector<float> outL(8192), outR(8192, 9.0f);
    ASSERT_EQ(Run(in, in, kVocalOff, 1, outL, outR), 1);
    manager.ReadSnapshot(snap);
    EXPECT_TRUE(RowsEqual(snap, 0, 1));
    EXPECT_TRUE(RowsEqual(snap, 2, 3));
    EXPECT_EQ(std::memcmp(snap[0], manager.Unit(0)->AnaMag(), sizeof(snap[0])), 0);
    EXPECT_GT(snap[0][23], 1000.0f);  // 500 Hz lies in bin 23
    EXPECT_EQ(outR[100], 9.0f);
}

TEST_F(PitchScaleManagerTest, StereoRunShowsEachChannelInItsOwnRows) {
    const std::vector<float> l = signals::FloatSine(500.0, 1000.0, 8192);
    const std::vector<float> r = signals::FloatSine(2000.0, 1000.0, 8192);
    std::vector<float> outL(8192), outR(8192);
    ASSERT_EQ(Run(l, r, kVocalOff, 1, outL, outR), 1);
    manager.ReadSnapshot(snap);
    EXPECT_GT(snap[0][23], 1000.0f);
    EXPECT_LT(snap[1][23], 1.0f);
    EXPECT_GT(snap[1][93], 1000.0f);  // 2000 Hz lies in bin 93
    EXPECT_NEAR(snap[2][23], 23.0f * 44100.0f / 2048.0f, 0.5f);  // reset frames: bin centres
    EXPECT_NEAR(snap[3][93], 93.0f * 44100.0f / 2048.0f, 0.5f);
}

TEST_F(PitchScaleManagerTest, VocalPathKeepsTheFrequencyRowsOfTheLastShiftCall) {
    const std::vector<float> l = signals::FloatSine(500.0, 1000.0, 8192);
    std::vector<float> outL(8192), outR(8192);
    ASSERT_EQ(Run(l, l, kVocalOff, 1, outL, outR), 1);
    CPitchScaleManager::Snapshot before;
    manager.ReadSnapshot(before);
    ASSERT_EQ(Run(l, l, kVocalCut, 1, outL, outR), 1);
    manager.ReadSnapshot(snap);
    EXPECT_EQ(std::memcmp(snap[2], before[2], sizeof(snap[2])), 0);
    EXPECT_EQ(std::memcmp(snap[3], before[3], sizeof(snap[3])), 0);
    EXPECT_EQ(std::memcmp(snap[0], manager.Unit(0)->DispMag(), sizeof(snap[0])), 0);
    EXPECT_EQ(std::memcmp(snap[1], manager.Unit(0)->DispMagR(), sizeof(snap[1])), 0);
}

TEST_F(PitchScaleManagerTest, SetPitchRatioReachesBothUnitsAndIgnoresRatiosNotAboveZero) {
    manager.SetPitchRatio(1.5f);
    EXPECT_EQ(manager.Unit(0)->GetPitchRatio(), 1.5f);
    EXPECT_EQ(manager.Unit(1)->GetPitchRatio(), 1.5f);
    manager.SetPitchRatio(0.0f);
    EXPECT_EQ(manager.Unit(0)->GetPitchRatio(), 1.0f);
    EXPECT_EQ(manager.Unit(1)->GetPitchRatio(), 1.0f);
}

TEST_F(PitchScaleManagerTest, DisplayReaderOnAnotherThreadAlwaysGetsWholeFrames) {
    // Mono rows 0/1 and 2/3 are copies of one frame; a torn read would mix two frames.
    manager.m_nChannels = 1;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, reads{0};
    std::thread reader([&] {
        CPitchScaleManager::Snapshot s;
        while (!done.load()) {
            manager.ReadSnapshot(s);
            if (!RowsEqual(s, 0, 1) || !RowsEqual(s, 2, 3)) ++torn;
            ++reads;
        }
    });
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> noise(-8000.0f, 8000.0f);
    std::vector<float> in(256), out(256);
    for (int frame = 0; frame < 3000 || reads.load() < 100; ++frame) {
        for (float& v : in) v = noise(rng);
        int produced = 0;
        manager.Process(in.data(), in.data(), 256, out.data(), out.data(), &produced, kVocalOff, 0);
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace

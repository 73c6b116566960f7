#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "effects/EchoGains.h"
#include "effects/Reverb.h"

namespace {

constexpr int kHistory = 16384;  // H for the standard 32768-byte block

ReverbTaps Taps(float attenuation, float delay, int repeat) {
    ReverbTaps taps;
    taps.delay = delay;
    taps.repeat = repeat;
    CalcEchoGains(attenuation, repeat, taps.gain);
    return taps;
}

std::unique_ptr<CReverb> MakeReverb(const ReverbTaps& taps, int history = kHistory) {
    auto reverb = std::make_unique<CReverb>(history);
    reverb->Publish(taps);
    return reverb;
}

// Positions of the non-zero values.
std::vector<int> NonZero(const std::vector<float>& v) {
    std::vector<int> at;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != 0.0f) at.push_back(static_cast<int>(i));
    }
    return at;
}

TEST(EchoGains, DefaultsGiveTheNormalisedTrain) {
    float g[kEchoGainSlots] = {};
    CalcEchoGains(0.7f, 12, g);
    EXPECT_NEAR(g[0], 0.40391f, 0.000005f);
    EXPECT_NEAR(g[1], 0.2827f, 0.00005f);
    EXPECT_NEAR(g[2], 0.1979f, 0.00005f);
    EXPECT_NEAR(g[12], 0.0056f, 0.00005f);
    EXPECT_NEAR(1.0f / g[0] / 0.75f, 3.30104f, 0.00005f);  // the sum of the train
}

TEST(EchoGains, ShortQuietTrainIsNotScaledUp) {
    float g[kEchoGainSlots] = {};
    CalcEchoGains(0.05f, 1, g);
    EXPECT_EQ(g[0], 1.0f);
    EXPECT_FLOAT_EQ(g[1], 0.05f);
}

TEST(EchoGains, LongLoudTrainIsScaledDown) {
    float g[kEchoGainSlots] = {};
    CalcEchoGains(0.95f, 15, g);
    EXPECT_NEAR(g[0], 0.1191f, 0.00005f);
    EXPECT_FLOAT_EQ(g[15], g[0] * std::pow(0.95f, 15.0f));
}

TEST(EchoGains, EntriesAboveTheRepeatCountAreLeftAlone) {
    float g[kEchoGainSlots];
    std::fill(std::begin(g), std::end(g), -1.0f);
    CalcEchoGains(0.5f, 3, g);
    EXPECT_GT(g[3], 0.0f);
    EXPECT_EQ(g[4], -1.0f);
    EXPECT_EQ(g[15], -1.0f);
}

TEST(Reverb, MonoImpulseEchoesAtMultiplesOfTheDelay) {
    const ReverbTaps taps = Taps(0.7f, 0.01f, 3);
    auto reverb = MakeReverb(taps);
    std::vector<float> block(4096, 0.0f);
    block[0] = 10000.0f;
    reverb->Process(block.data(), 4096, 1);
    EXPECT_EQ(NonZero(block), (std::vector<int>{0, 441, 882, 1323}));
    EXPECT_EQ(block[0], 10000.0f);
    EXPECT_FLOAT_EQ(block[441], 10000.0f * taps.gain[1]);
    EXPECT_FLOAT_EQ(block[882], 10000.0f * taps.gain[2]);
    EXPECT_FLOAT_EQ(block[1323], 10000.0f * taps.gain[3]);
}

TEST(Reverb, DelayThatIsNotAWholeNumberOfSamplesEchoesAtBothNeighbours) {
    // 0.1 s is 4409.9995 samples in single precision: offsets -0.9995 and 0.0005 both truncate to 0.
    const float delay = 10.0f * 0.01f;
    ASSERT_EQ(delay * 44100.0f, 4409.99951171875f);
    auto reverb = MakeReverb(Taps(0.7f, delay, 1));
    std::vector<float> block(8192, 0.0f);
    block[0] = 10000.0f;
    reverb->Process(block.data(), 8192, 1);
    EXPECT_EQ(NonZero(block), (std::vector<int>{0, 4409, 4410}));
}

TEST(Reverb, StereoEchoesStayInTheirChannelAndAreInvertedOnTheRight) {
    const ReverbTaps taps = Taps(0.7f, 0.01f, 3);
    auto reverb = MakeReverb(taps);
    std::vector<float> left(8192, 0.0f);
    left[0] = 10000.0f;
    reverb->Process(left.data(), 8192, 2);
    EXPECT_EQ(NonZero(left), (std::vector<int>{0, 2 * 441, 2 * 882, 2 * 1323}));
    EXPECT_FLOAT_EQ(left[2 * 441], 10000.0f * taps.gain[1]);

    auto reverbR = MakeReverb(taps);
    std::vector<float> right(8192, 0.0f);
    right[1] = 10000.0f;
    reverbR->Process(right.data(), 8192, 2);
    EXPECT_EQ(NonZero(right), (std::vector<int>{1, 2 * 441 + 1, 2 * 882 + 1, 2 * 1323 + 1}));
    EXPECT_FLOAT_EQ(right[2 * 441 + 1], -10000.0f * taps.gain[1]);
    EXPECT_FLOAT_EQ(right[2 * 1323 + 1], -10000.0f * taps.gain[3]);
}

TEST(Reverb, StereoTapBetweenTwoFramesTakesAWholeFrame) {
    // Two delay spans are 882.5 values: the taps of frames 441 and 442 both land on the impulse's
    // frame, and never on the other channel's value.
    const float delay = 441.25f / 44100.0f;
    ASSERT_EQ(2.0f * (delay * 44100.0f), 882.5f);
    const ReverbTaps taps = Taps(0.7f, delay, 1);
    auto reverb = MakeReverb(taps);
    std::vector<float> left(2000, 0.0f);
    left[0] = 10000.0f;
    reverb->Process(left.data(), 2000, 2);
    EXPECT_EQ(NonZero(left), (std::vector<int>{0, 882, 884}));

    auto reverbR = MakeReverb(taps);
    std::vector<float> right(2000, 0.0f);
    right[1] = 10000.0f;
    reverbR->Process(right.data(), 2000, 2);
    EXPECT_EQ(NonZero(right), (std::vector<int>{1, 883, 885}));
    EXPECT_LT(right[885], 0.0f);
}

TEST(Reverb, EchoThatFallsIntoTheNextBlockComesFromTheHistory) {
    const ReverbTaps taps = Taps(0.7f, 0.07f, 2);  // 3087 samples apart
    auto reverb = MakeReverb(taps);
    std::vector<float> first(2000, 0.0f);
    first[1000] = 8000.0f;
    reverb->Process(first.data(), 2000, 1);
    EXPECT_EQ(NonZero(first), (std::vector<int>{1000}));
    std::vector<float> second(8000, 0.0f);
    reverb->Process(second.data(), 8000, 1);
    // 1000 + 3087 - 2000 and 1000 + 6174 - 2000
    EXPECT_EQ(NonZero(second), (std::vector<int>{2087, 5174}));
    EXPECT_FLOAT_EQ(second[2087], 8000.0f * taps.gain[1]);
}

TEST(Reverb, ShortBlocksKeepEchoesOfSoundWithinTheHistory) {
    const ReverbTaps taps = Taps(0.5f, 0.01f, 4);
    auto whole = MakeReverb(taps);
    std::vector<float> expected(3000, 0.0f);
    expected[5] = 1000.0f;
    expected[700] = -2000.0f;
    std::vector<float> pieces = expected;
    whole->Process(expected.data(), 3000, 1);
    auto split = MakeReverb(taps);
    for (int pos = 0; pos < 3000; pos += 300) split->Process(pieces.data() + pos, 300, 1);
    EXPECT_EQ(pieces, expected);
}

TEST(Reverb, TapsBeyondTheHistoryAreSkipped) {
    // H = 1000 and blocks of 1000: the impulse at 0 is in the history during the second block
    // but gone by the third, so its fifth echo (at 2205) is not heard.
    auto reverb = MakeReverb(Taps(0.7f, 0.01f, 5), 1000);
    std::vector<float> stream(3000, 0.0f);
    stream[0] = 10000.0f;
    for (int pos = 0; pos < 3000; pos += 1000) reverb->Process(stream.data() + pos, 1000, 1);
    EXPECT_EQ(NonZero(stream), (std::vector<int>{0, 441, 882, 1323, 1764}));
}

TEST(Reverb, SwitchingOnAgainHearsNoEarlierSound) {
    auto reverb = MakeReverb(Taps(0.7f, 0.01f, 3));
    std::vector<float> loud(1000, 20000.0f);
    reverb->Process(loud.data(), 1000, 1);
    reverb->RequestClear();
    std::vector<float> silence(4000, 0.0f);
    reverb->Process(silence.data(), 4000, 1);
    EXPECT_TRUE(NonZero(silence).empty());
}

TEST(Reverb, BlockLongerThanTheRoomIsProcessedInPieces) {
    // H = 500: at most 1000 values per piece. The long block must equal the same pieces.
    const ReverbTaps taps = Taps(0.6f, 0.01f, 2);
    std::vector<float> in(3500);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<float>((i * 7919) % 2001) - 1000.0f;
    auto once = MakeReverb(taps, 500);
    std::vector<float> longBlock = in;
    once->Process(longBlock.data(), 3500, 1);
    auto split = MakeReverb(taps, 500);
    std::vector<float> pieces = in;
    for (int pos = 0; pos < 3500; pos += 1000) split->Process(pieces.data() + pos, std::min(1000, 3500 - pos), 1);
    EXPECT_EQ(longBlock, pieces);
}

TEST(Reverb, OddStereoBlockReadsNothingPastItsEnd) {
    auto reverb = MakeReverb(Taps(0.7f, 0.01f, 3));
    auto block = std::make_unique<float[]>(2001);  // exactly the block: any read past it is caught
    for (int i = 0; i < 2001; ++i) block[static_cast<size_t>(i)] = 100.0f;
    reverb->Process(block.get(), 2001, 2);
    EXPECT_EQ(block[2000], 100.0f);  // the lone value passes dry
    EXPECT_GT(block[2 * 441], 100.0f);
}

TEST(Reverb, OutputIsLimitedToTheSampleRange) {
    auto reverb = MakeReverb(Taps(0.95f, 0.01f, 15));
    std::vector<float> block(8000, 32000.0f);
    block[7] = std::numeric_limits<float>::quiet_NaN();
    block[3] = -40000.0f;
    reverb->Process(block.data(), 8000, 1);
    EXPECT_EQ(block[3], -32767.0f);
    EXPECT_EQ(block[7], 0.0f);
    EXPECT_EQ(block[7999], 32767.0f);
}

TEST(Reverb, DelayThatIsNotANonNegativeNumberGivesNoEchoes) {
    for (float delay : {-0.05f, std::numeric_limits<float>::quiet_NaN()}) {
        auto reverb = MakeReverb(Taps(0.7f, delay, 5));
        std::vector<float> block(4000, 0.0f);
        block[0] = 1000.0f;
        reverb->Process(block.data(), 4000, 1);
        EXPECT_EQ(NonZero(block), (std::vector<int>{0}));
    }
}

}  // namespace

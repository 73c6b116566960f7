// The spectrum view: axis tables, grids and labels of the four axes, and where magnitudes land.
#include <cmath>
#include <limits>
#include <vector>

#include "AnalyserSupport.h"

namespace {

constexpr int kW = 452;
constexpr int kPlotH = 250;
constexpr double kBinHz = 44100.0 / 2048.0;
// Magnitude of a full-scale bin.
constexpr float kNorm = 1024.0f * 32768.0f * 1.4142135f * 0.5f;

class SpectrumViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        TakeTexts();
        screen.InitSpectrumAnalyzer(440);
    }
    int LogX(double hz) { return static_cast<int>(std::log10(hz / kBinHz) * kW / std::log10(1024.0)); }
    // Rows of column x that have the colour.
    std::vector<int> RowsOf(int x, COLORREF c) {
        std::vector<int> rows;
        for (int y = 0; y < 260; ++y)
            if (ImagePixel(screen, x, y) == c) rows.push_back(y);
        return rows;
    }
    CFFTScreen screen;
};

TEST_F(SpectrumViewTest, AxisTablesPlaceFrequenciesWhereTheirScalesSay) {
    const auto& linear1 = screen.m_pnBinX[0];
    const auto& keyboard = screen.m_pnBinX[1];
    const auto& linear2 = screen.m_pnBinX[2];
    const auto& log = screen.m_pnBinX[3];
    // Linear1: 0..22050 Hz across the width; Linear2: 0..8820 Hz.
    EXPECT_EQ(linear1[512], 226);
    EXPECT_EQ(linear1[1023], 451);
    EXPECT_EQ(linear2[409], static_cast<int>(409 * 2.5 / 1024 * kW));
    EXPECT_GT(linear2[500], kW) << "bins above 8820 Hz lie right of the window";
    // Log: bin 1 at x 0; 100 Hz at x 100.
    EXPECT_EQ(log[1], 0);
    EXPECT_EQ(screen.m_nLogLabelX[0], 100);
    EXPECT_EQ(screen.m_nLogLabelX[0], LogX(100.0));
    EXPECT_EQ(screen.m_nLogLabelX[1], LogX(1000.0));
    EXPECT_EQ(screen.m_nLogLabelX[2], LogX(10000.0));
    EXPECT_LT(log[0], -1000) << "bin 0 far left";
    // Keyboard: 49 semitones from the lower edge of C2 (64.08 Hz at A4 = 440).
    EXPECT_NEAR(screen.m_fKeyboardF0, 440.0 * std::pow(2.0, -33.5 / 12.0) + 0.5, 1e-3);
    EXPECT_GT(keyboard[3], 0);
    EXPECT_LT(keyboard[3], 3) << "bin 3 (64.6 Hz) just right of x 0";
    // A4 (440 Hz, bin 20.43) lies in key 33's column.
    const double a4x = 12.0 * std::log2(20.0 * kBinHz / screen.m_fKeyboardF0) * kW / 49.0;
    EXPECT_EQ(keyboard[20], static_cast<int>(a4x));
    // Linear major lines at 5, 10, 15, 20 kHz and the 1-kHz steps between them.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(screen.m_nLinMajorX[i], static_cast<int>((i + 1) * 5000.0 / 22050.0 * kW)) << i;
    for (int k = 1, j = 0; k <= 22; ++k) {
        if (k % 5 == 0) continue;
        EXPECT_NEAR(screen.m_nLinMinorX[j], k * 1000.0 / 22050.0 * kW, 2.5) << k;  // steps of a fifth of 5 kHz, truncated
        ++j;
    }
    EXPECT_EQ(screen.m_nLogGridCount, 28);
    EXPECT_EQ(screen.m_pnLogGridX[0], LogX(20.0));
    EXPECT_EQ(screen.m_pnLogGridX[7 + 6], LogX(800.0));
}

TEST_F(SpectrumViewTest, EachAxisDrawsItsLinesAndLabels) {
    struct Case {
        int mode;
        std::vector<int> greyX;      // full-height grey lines
        std::vector<int> darkGreyX;  // full-height dark grey lines
        std::vector<const char*> labels;
    };
    const Case cases[] = {
        {0, {screen.m_nLogLabelX[0], screen.m_nLogLabelX[1], screen.m_nLogLabelX[2]}, {LogX(200.0), LogX(3000.0)}, {"100", "1k", "10k"}},
        {1, {102, 204, 307, 409}, {20, 183}, {"5k", "10k", "15k", "20k"}},
        {3, {102, 204, 307, 409}, {20, 183}, {"2k", "4k", "6k", "8k"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        TakeTexts();
        screen.SetAxisMode(c.mode);
        EXPECT_EQ(screen.m_nAxisMode, c.mode);
        for (int x : c.greyX) {
            for (int y : {1, 100, 239, 249}) EXPECT_EQ(ImagePixel(screen, x, y), kGreyPx) << x << "," << y;
        }
        for (int x : c.darkGreyX) EXPECT_EQ(ImagePixel(screen, x, 100), kDarkGreyPx) << x;
        const auto texts = TakeTexts();
        for (std::size_t i = 0; i < c.labels.size(); ++i) {
            const int x = c.mode == 0 ? screen.m_nLogLabelX[i] + 2 : screen.m_nLinMajorX[i] + 2;
            EXPECT_TRUE(DrewText(texts, c.labels[i], x, kPlotH)) << c.labels[i];
        }
        // Level lines every 40 pixels across the width, grey and dark grey in turn.
        for (int i = 0; 40 * i < kPlotH; ++i) EXPECT_EQ(ImagePixel(screen, 50, 40 * i), i % 2 == 0 ? kGreyPx : kDarkGreyPx) << i;
    }
}

TEST_F(SpectrumViewTest, KeyboardAxisHasSemitoneColumnsAndAPianoStrip) {
    screen.SetAxisMode(2);
    const auto texts = TakeTexts();
    for (int k = 0; k <= 48; ++k) {
        const int x0 = k * kW / 49;
        const int semi = k % 12;
        const bool white = !(semi == 1 || semi == 3 || semi == 6 || semi == 8 || semi == 10);
        EXPECT_EQ(ImagePixel(screen, x0, 100), semi == 0 ? RGB(200, 200, 200) : kGreyPx) << k;
        EXPECT_EQ(ImagePixel(screen, x0 + 4, 100), white ? kDarkGreyPx : kBlackPx) << k;
    }
    // Strip: white with black keys on top; the black keys reach down to row 19.
    EXPECT_EQ(ImagePixel(screen, 5, 25), kWhitePx);
    const int cSharpX = 443 / 28 + 3;  // right of the edge between C2 and D2
    EXPECT_EQ(ImagePixel(screen, cSharpX, 19), kBlackPx);
    EXPECT_EQ(ImagePixel(screen, cSharpX, 20), kWhitePx);
    const int eSharpX = 3 * 443 / 28 + 3;  // no key between E and F
    EXPECT_EQ(ImagePixel(screen, eSharpX, 10), kWhitePx);
    // Level lines every 10 dB cross the columns.
    for (int i = 1; 40 * i < kPlotH; ++i) EXPECT_EQ(ImagePixel(screen, 14, 40 * i), i % 2 == 0 ? kGreyPx : kDarkGreyPx) << i;
    EXPECT_TRUE(DrewText(texts, "C2", 7, kPlotH));
    EXPECT_TRUE(DrewText(texts, "C4", kW * 24 / 49 + 7, kPlotH));
    EXPECT_TRUE(DrewText(texts, "C6", kW * 48 / 49 + 4, kPlotH));
}

TEST_F(SpectrumViewTest, MagnitudesFallTwoPixelsPerDecibelOrFourOnTheKeyboardAxis) {
    std::vector<float> mag(1024, 0.0f), other(1024, 0.0f), freq(1024, 0.0f);
    // Flat curves: -60 dB left, silence right.
    for (auto& m : mag) m = kNorm * 1e-3f;
    screen.SetAxisMode(1);
    screen.DrawSpectrum(mag.data(), other.data(), nullptr, 0, freq.data(), freq.data());
    EXPECT_EQ(RowsOf(300, RGB(0, 255, 255)), std::vector<int>{120});
    EXPECT_EQ(RowsOf(300, RGB(255, 0, 255)), std::vector<int>{kPlotH}) << "zero magnitude at the bottom";
    screen.SetAxisMode(2);
    screen.DrawSpectrum(mag.data(), other.data(), nullptr, 1, freq.data(), freq.data());
    EXPECT_EQ(RowsOf(300, RGB(0, 255, 255)), std::vector<int>{240});

    // Full scale at the top; -120 dB at 240 on a linear axis; beyond the floor it clamps.
    for (auto& m : mag) m = kNorm;
    screen.SetAxisMode(3);
    screen.DrawSpectrum(mag.data(), other.data(), nullptr, 0, freq.data(), freq.data());
    EXPECT_EQ(RowsOf(300, RGB(0, 255, 255)), std::vector<int>{0});
    for (auto& m : mag) m = kNorm * 1e-6f;
    screen.DrawSpectrum(mag.data(), other.data(), nullptr, 0, freq.data(), freq.data());
    const auto rows = RowsOf(100, RGB(0, 255, 255));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NEAR(rows[0], 240, 1);
}

TEST_F(SpectrumViewTest, MagnitudesWithoutNumberLieAtTheFloorAndHugeOnesAtTheTop) {
    std::vector<float> mag(1024, std::numeric_limits<float>::quiet_NaN()), big(1024, std::numeric_limits<float>::infinity());
    std::vector<float> freq(1024, std::numeric_limits<float>::quiet_NaN());
    screen.SetAxisMode(1);
    screen.DrawSpectrum(mag.data(), big.data(), nullptr, 0, freq.data(), freq.data());
    EXPECT_EQ(RowsOf(300, RGB(0, 255, 255)), std::vector<int>{kPlotH});
    EXPECT_EQ(RowsOf(300, RGB(255, 0, 255)), std::vector<int>{0});
    screen.SetAxisMode(2);
    screen.DrawSpectrum(mag.data(), big.data(), nullptr, -1, freq.data(), freq.data());  // no marks, no crash
}

TEST_F(SpectrumViewTest, KeyboardMarksStandAtTheTrueFrequencyOfEachLowBin) {
    std::vector<float> mag(1024, 0.0f), none(1024, 0.0f), freq(1024, 0.0f);
    // Bin 20 holds A4 (440 Hz) at -30 dB: a 6 x 8 mark at its key, 4 pixels per dB.
    mag[20] = kNorm * std::pow(10.0f, -30.0f / 20.0f);
    freq[20] = 440.0f;
    screen.SetAxisMode(2);
    screen.DrawSpectrum(mag.data(), none.data(), nullptr, -1, freq.data(), freq.data());
    const int x = static_cast<int>(std::log(440.0 / screen.m_fKeyboardF0) * 452 * 17.31234 / 49);
    EXPECT_EQ(x / (452 / 49.0) >= 33 && x / (452 / 49.0) < 34, true) << "A4 is key 33";
    const int y = 120;
    for (int dx = -1; dx <= 4; ++dx)
        for (int dy = -4; dy <= 3; ++dy) EXPECT_EQ(ImagePixel(screen, x + dx, y + dy), RGB(0, 255, 255)) << dx << "," << dy;
    EXPECT_NE(ImagePixel(screen, x + 5, y), RGB(0, 255, 255));
    EXPECT_NE(ImagePixel(screen, x, y + 4), RGB(0, 255, 255));
}

}  // namespace

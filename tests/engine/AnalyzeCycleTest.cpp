#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "support/EngineHarness.h"
#include "support/Signals.h"

namespace {

class AnalyzeCycleTest : public ::testing::Test {
protected:
    EngineHarness h;

    void Store(const std::vector<short>& block) {
        WAVEHDR* hdr = h.dlg.m_pInHdr[h.blocksIn & 3];
        char* data = h.dlg.m_pInData[h.blocksIn & 3];
        std::memcpy(data, block.data(), block.size() * sizeof(short));
        hdr->lpData = data;
        hdr->dwBufferLength = static_cast<DWORD>(h.dlg.m_nBlockBytes);
        hdr->dwBytesRecorded = static_cast<DWORD>(block.size() * sizeof(short));
        h.dlg.StoreInputBlock(hdr);
        ++h.blocksIn;
    }
    std::int64_t Mark(int i) const { return h.dlg.m_pnMark[i & h.dlg.m_nRingMask]; }
    int Amp(int i) const { return h.dlg.m_psMarkAmp[i & h.dlg.m_nRingMask]; }
};

TEST_F(AnalyzeCycleTest, SilenceGivesMarksEvery441SamplesWithZeroAmplitude) {
    h.Begin();
    Store(std::vector<short>(static_cast<size_t>(h.Half()), 0));
    ASSERT_TRUE(h.dlg.AnalyzeStep(h.analyze));
    const int count = h.dlg.m_nMarkCount;
    // Windows of 929 samples (keys 7..40) must have arrived: marks reach up to the count minus W2.
    EXPECT_EQ(count, (h.Half() - 928 - 1) / 441 + 1);
    for (int i = 0; i <= count; ++i) {
        EXPECT_EQ(Mark(i), 441 * i);
        if (i > 0) {
            EXPECT_EQ(Amp(i), 0);
        }
    }
    EXPECT_EQ(h.dlg.m_bMarksReady, TRUE);
    // The synthesis has not taken the block yet: a new block waits.
    Store(std::vector<short>(static_cast<size_t>(h.Half()), 0));
    EXPECT_FALSE(h.dlg.AnalyzeStep(h.analyze));
}

TEST_F(AnalyzeCycleTest, VoicedPeriodsCarryTheirPeakAndUnvoicedOnesANegativeOne) {
    h.Begin();
    auto tone = signals::Sine(220.5, 9000.0, h.Half());
    // The second half is noise-free silence with one click: unvoiced periods.
    for (int i = h.Half() / 2; i < h.Half(); ++i) tone[static_cast<size_t>(i)] = 0;
    tone[static_cast<size_t>(h.Half() / 2 + 2000)] = -1500;
    Store(tone);
    h.dlg.AnalyzeStep(h.analyze);
    const int count = h.dlg.m_nMarkCount;
    bool sawVoiced = false;
    bool sawClick = false;
    for (int i = 1; i <= count; ++i) {
        const int period = Mark(i) - Mark(i - 1);
        if (Mark(i) < h.Half() / 2 - 1000) {
            EXPECT_EQ(period, 200) << i;
            EXPECT_NEAR(Amp(i), 9000, 2) << i;
            sawVoiced = true;
        }
        if (Amp(i) == -1500) sawClick = true;
        if (Amp(i) < 0) {
            EXPECT_EQ(period, 441);
        }
    }
    EXPECT_TRUE(sawVoiced);
    EXPECT_TRUE(sawClick);
}

TEST_F(AnalyzeCycleTest, FullScaleNegativePeakStaysVoiced) {
    h.Begin();
    std::vector<short> block(static_cast<size_t>(h.Half()));
    for (int i = 0; i < h.Half(); ++i) block[static_cast<size_t>(i)] = (i % 200) < 100 ? 20000 : -32768;
    Store(block);
    h.dlg.AnalyzeStep(h.analyze);
    ASSERT_GT(h.dlg.m_nMarkCount, 2);
    EXPECT_EQ(Amp(2), 32767);
}

TEST_F(AnalyzeCycleTest, UnvoicedScanNeverReadsInputThatHasNotArrived) {
    // A narrow high range makes W2 (128) shorter than the unvoiced step (441).
    h.dlg.m_comboMinKey.SetCurSel(41);
    h.dlg.m_comboMaxKey.SetCurSel(45);
    h.Begin();
    // Stale loud samples beyond the count, left from an earlier run.
    for (int i = h.Half(); i < h.dlg.m_nRingLen; ++i) h.dlg.m_pfInputBuf[i] = 30000.0f;
    Store(std::vector<short>(static_cast<size_t>(h.Half()), 0));
    h.dlg.AnalyzeStep(h.analyze);
    for (int i = 1; i <= h.dlg.m_nMarkCount; ++i) EXPECT_EQ(Amp(i), 0) << i;
}

TEST_F(AnalyzeCycleTest, ThruCopiesEveryBlockSinceTheLastPassAndMakesNoMarks) {
    h.Begin();
    h.dlg.m_chkThru.SetCheck(BST_CHECKED);
    const auto a = signals::Sine(300.0, 5000.0, h.Half());
    const auto b = signals::Sine(700.0, 3000.0, h.Half());
    Store(a);
    Store(b);
    ASSERT_TRUE(h.dlg.AnalyzeStep(h.analyze));
    const auto* ring = reinterpret_cast<const short*>(h.dlg.m_pOutData[0]);
    for (int i = 0; i < h.Half(); ++i) {
        ASSERT_EQ(ring[(i + h.dlg.m_nBlockBytes) & h.dlg.m_nRingMask], a[static_cast<size_t>(i)]) << i;
        ASSERT_EQ(ring[(h.Half() + i + h.dlg.m_nBlockBytes) & h.dlg.m_nRingMask], b[static_cast<size_t>(i)]) << i;
    }
    EXPECT_EQ(h.dlg.m_nMarkCount, 0);
    EXPECT_EQ(h.dlg.m_bMarksReady, FALSE);
    EXPECT_NE(h.dlg.m_staticProcTime.GetWindowText().find("ProcTime "), std::string::npos);
}

TEST_F(AnalyzeCycleTest, AfterThruTheMarksStartAgainWhereThruStopped) {
    h.Begin();
    const auto tone = signals::Sine(220.5, 6000.0, h.Half());
    Store(tone);
    ASSERT_TRUE(h.dlg.AnalyzeStep(h.analyze));
    h.dlg.m_bMarksReady = FALSE;  // as the synthesis leaves it
    const int before = h.dlg.m_nMarkCount;
    h.dlg.m_chkThru.SetCheck(BST_CHECKED);
    for (int b = 0; b < 20; ++b) {
        Store(tone);
        ASSERT_TRUE(h.dlg.AnalyzeStep(h.analyze));
    }
    h.dlg.m_chkThru.SetCheck(BST_UNCHECKED);
    Store(tone);
    ASSERT_TRUE(h.dlg.AnalyzeStep(h.analyze));
    // One mark where Thru stopped begins the new chain; the stretch Thru played gets none.
    const int restart = h.dlg.m_nMarkRestart;
    EXPECT_EQ(restart, before + 1);
    EXPECT_EQ(Mark(restart), 21 * h.Half());
    EXPECT_EQ(Amp(restart), 0);
    // Then one block's marks, a period (200 samples) apart.
    EXPECT_LE(h.dlg.m_nMarkCount - restart, h.Half() / 200 + 1);
    for (int i = restart + 2; i <= h.dlg.m_nMarkCount; ++i) EXPECT_EQ(Mark(i) - Mark(i - 1), 200) << i;
}

TEST_F(AnalyzeCycleTest, ThruWaitsUntilTheSynthesisHasTakenTheBlockBefore) {
    h.Begin();
    const auto a = signals::Sine(300.0, 5000.0, h.Half());
    Store(a);
    ASSERT_TRUE(h.dlg.AnalyzeStep(h.analyze));
    ASSERT_EQ(h.dlg.m_bMarksReady, TRUE);
    h.dlg.m_chkThru.SetCheck(BST_CHECKED);
    Store(a);
    // The synthesis has not taken the marks yet: it may be writing the output ring.
    EXPECT_FALSE(h.dlg.AnalyzeStep(h.analyze));
    const auto* ring = reinterpret_cast<const short*>(h.dlg.m_pOutData[0]);
    const int at = (h.Half() + h.dlg.m_nBlockBytes) & h.dlg.m_nRingMask;
    EXPECT_EQ(ring[at + 10], 0);
    ASSERT_TRUE(h.dlg.SynthesizeStep(h.synth));
    EXPECT_TRUE(h.dlg.AnalyzeStep(h.analyze));
    EXPECT_EQ(ring[at + 10], a[10]);
}

TEST_F(AnalyzeCycleTest, ThresholdOutsideZeroToOneIsResetToOneHalf) {
    h.Begin();
    for (const char* text : {"1.5", "-0.1", "nan"}) {
        h.dlg.m_editCorrTh.SetWindowText(text);
        h.dlg.m_bMarksReady = FALSE;
        Store(std::vector<short>(static_cast<size_t>(h.Half()), 0));
        h.dlg.AnalyzeStep(h.analyze);
        EXPECT_EQ(h.dlg.m_editCorrTh.GetWindowText(), "0.5") << text;
    }
    h.dlg.m_editCorrTh.SetWindowText("0.7");
    h.dlg.m_bMarksReady = FALSE;
    Store(std::vector<short>(static_cast<size_t>(h.Half()), 0));
    h.dlg.AnalyzeStep(h.analyze);
    EXPECT_EQ(h.dlg.m_editCorrTh.GetWindowText(), "0.7");
}

TEST_F(AnalyzeCycleTest, ShortCaptureBufferKeepsTheRingAligned) {
    h.Begin();
    std::vector<short> shortBlock(1000, 100);
    Store(shortBlock);
    EXPECT_EQ(h.dlg.m_nInputCount, 1000);
    // A full block after it straddles the ring's end correctly when the ring fills (the engine
    // keeps up, so every block finds room).
    for (int k = 0; k < 4; ++k) {
        Store(std::vector<short>(static_cast<size_t>(h.Half()), static_cast<short>(k + 1)));
        h.dlg.AnalyzeStep(h.analyze);
        h.dlg.SynthesizeStep(h.synth);
    }
    EXPECT_EQ(h.dlg.m_nInputCount, 1000 + 4 * h.Half());
    EXPECT_EQ(h.dlg.m_pfInputBuf[(1000 + 4 * h.Half() - 1) & h.dlg.m_nRingMask], 4.0f);
    // The fourth full block runs from 1000 + 3 half blocks across the ring's end to entry 999.
    EXPECT_EQ(h.dlg.m_pfInputBuf[(1000 + 3 * h.Half()) & h.dlg.m_nRingMask], 4.0f);
    EXPECT_EQ(h.dlg.m_pfInputBuf[h.dlg.m_nRingLen - 1], 4.0f);
    EXPECT_EQ(h.dlg.m_pfInputBuf[1000], 1.0f);
}

TEST_F(AnalyzeCycleTest, EmptyCaptureBufferStoresNothing) {
    h.Begin();
    WAVEHDR hdr{};
    hdr.lpData = h.dlg.m_pInData[0];
    hdr.dwBufferLength = static_cast<DWORD>(h.dlg.m_nBlockBytes);
    hdr.dwBytesRecorded = 0;
    EXPECT_EQ(h.dlg.StoreInputBlock(&hdr), FALSE);
    EXPECT_EQ(h.dlg.m_nInputCount, 0);
}

}  // namespace

namespace {

TEST(AnalyzeWideRangeTest, LowTuningWithEveryKeyRunsTheWholePathCleanly) {
    EngineHarness h(0, 220);
    h.dlg.m_comboMinKey.SetCurSel(0);
    h.dlg.m_comboMaxKey.SetCurSel(61);
    const auto in = signals::Harmonic(55.0, 30, 9000.0, 6 * h.Half(), [](double hz) { return 100.0 / hz; });
    const auto out = h.Run(in);
    // Periods of 55 Hz (801.8 samples) are found across the widest lag range.
    int voiced = 0;
    for (int i = 1; i <= h.dlg.m_nMarkCount; ++i) {
        const int period = h.dlg.m_pnMark[i & h.dlg.m_nRingMask] - h.dlg.m_pnMark[(i - 1) & h.dlg.m_nRingMask];
        if (h.dlg.m_psMarkAmp[i & h.dlg.m_nRingMask] > 0 && std::abs(period - 802) <= 1) ++voiced;
    }
    EXPECT_GT(voiced, h.dlg.m_nMarkCount / 2);
    EXPECT_GT(*std::max_element(out.begin(), out.end()), 3000);
}

}  // namespace

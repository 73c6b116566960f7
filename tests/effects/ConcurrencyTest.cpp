#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "effects/EQdlg.h"
#include "support/TempFolder.h"

namespace {

bool SameCoefficients(const CGraphicEqualizer& eq, const EqDesign& design) {
    for (int k = 0; k < kEqBands; ++k) {
        for (int i = 0; i < 3; ++i) {
            if (eq.Band(k).m_fB[i] != design.b[k][i] || eq.Band(k).m_fA[i] != design.a[k][i]) return false;
        }
    }
    return true;
}

bool SameTaps(const ReverbTaps& a, const ReverbTaps& b) {
    if (a.delay != b.delay || a.repeat != b.repeat) return false;
    for (int k = 1; k <= a.repeat; ++k) {
        if (a.gain[k] != b.gain[k]) return false;
    }
    return true;
}

class EffectThreads : public ::testing::Test {
protected:
    EffectThreads() {
        mainDlg.m_nBlockBytes = 4096;
        dlg = std::make_unique<CEQdlg>(&mainDlg);
    }

    static std::vector<float> Block(int n, int round) {
        std::vector<float> v(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            v[static_cast<size_t>(i)] = std::trunc(8000.0f * std::sin(0.05f * static_cast<float>(i + round * n)) + static_cast<float>((i * 131 + round) % 997));
        }
        return v;
    }

    TempFolder folder;
    CWaveInOutDlg mainDlg{folder.Path()};
    std::unique_ptr<CEQdlg> dlg;
};

// One thread redesigns the equaliser from its presets while another equalises blocks. Every
// block must have been filtered with one complete design: the coefficients the block used are
// one of the two designs in full, and the output equals a single-threaded run that applies that
// design to the same block.
TEST_F(EffectThreads, EveryEqualisedBlockUsesOneCompleteDesign) {
    // Short blocks, so that the engine takes designs often while the other thread publishes.
    constexpr int kBlock = 64;
    constexpr int kRounds = 20000;
    for (int k = 0; k < kEqBands; ++k) {
        dlg->m_nPresetGain[0][k] = 12;
        dlg->m_nPresetGain[1][k] = (k % 2) ? -24 : 9;
    }
    dlg->m_fPresetQ[0] = 0.5f;
    dlg->m_fPresetQ[1] = 3.0f;
    dlg->OnPreset(2, false);
    const EqDesign designB = dlg->m_design;
    dlg->OnPreset(1, false);
    const EqDesign designA = dlg->m_design;

    std::atomic<bool> done{false};
    std::atomic<int> blocks{0};
    int seenA = 0;
    int seenB = 0;
    int torn = 0;
    int mismatched = 0;
    std::thread engine([&] {
        CGraphicEqualizer shadow;
        for (int round = 0; round < kRounds; ++round) {
            std::vector<float> buf = Block(kBlock, round);
            std::vector<float> expected = buf;
            dlg->ProcessEQ(buf.data(), kBlock, round % 3 == 0 ? 2 : 1);
            const bool isA = SameCoefficients(dlg->m_eq, designA);
            const bool isB = SameCoefficients(dlg->m_eq, designB);
            if (!isA && !isB) {
                ++torn;
                continue;
            }
            seenA += isA;
            seenB += isB;
            shadow.Publish(isA ? designA : designB);
            shadow.Process(expected.data(), kBlock, round % 3 == 0 ? 2 : 1);
            if (expected != buf) ++mismatched;
            blocks.fetch_add(1);
        }
        done.store(true);
    });
    for (int n = 0; !done.load(); ++n) dlg->OnPreset(1 + n % 2, false);
    engine.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(mismatched, 0);
    EXPECT_EQ(blocks.load(), kRounds);
    EXPECT_EQ(seenA + seenB, kRounds);
}

// One thread moves the reverb trackbars while another applies the reverb: every block uses one
// complete tap set (delay, count and gains from one moment).
TEST_F(EffectThreads, EveryReverbBlockUsesOneCompleteTapSet) {
    dlg->m_chkReverb.SetCheck(BST_CHECKED);
    dlg->OnBnClickedReverbEnable();
    std::atomic<bool> done{false};
    int inconsistent = 0;
    int mismatched = 0;
    std::thread engine([&] {
        CReverb shadow(dlg->m_nBufLen / 2);
        for (int round = 0; round < 3000; ++round) {
            std::vector<float> buf = Block(256, round);
            std::vector<float> expected = buf;
            dlg->ProcessReverb(buf.data(), 256, 1);
            const ReverbTaps used = dlg->m_reverb.TapsInUse();
            // The gains of a complete set are the train of one attenuation and count.
            float gains[kEchoGainSlots] = {};
            bool fromOneSet = false;
            for (int pos = 1; pos <= 19 && !fromOneSet; ++pos) {
                CalcEchoGains(static_cast<float>(pos) * 0.05f, used.repeat, gains);
                ReverbTaps candidate = used;
                std::copy(std::begin(gains), std::end(gains), std::begin(candidate.gain));
                fromOneSet = SameTaps(candidate, used);
            }
            if (!fromOneSet) ++inconsistent;
            shadow.Publish(used);
            shadow.Process(expected.data(), 256, 1);
            if (expected != buf) ++mismatched;
        }
        done.store(true);
    });
    NMHDR hdr;
    hdr.code = NM_CUSTOMDRAW;
    for (int n = 0; !done.load(); ++n) {
        dlg->m_sliderAttenuation.SetPos(1 + n % 19);
        hdr.idFrom = CEQdlg::IDC_SLIDER_ATTENUATION;
        dlg->SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr));
        dlg->m_sliderRepeat.SetPos(1 + (n * 7) % 15);
        hdr.idFrom = CEQdlg::IDC_SLIDER_REPEAT;
        dlg->SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr));
        dlg->m_sliderDelay.SetPos(1 + n % 10);
        hdr.idFrom = CEQdlg::IDC_SLIDER_DELAY;
        dlg->SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr));
    }
    engine.join();
    EXPECT_EQ(inconsistent, 0);
    EXPECT_EQ(mismatched, 0);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/EngineHarness.h"
#include "support/Signals.h"

namespace {

int Peak(const std::vector<short>& s, size_t from) {
    int peak = 0;
    for (size_t i = from; i < s.size(); ++i) peak = std::max(peak, std::abs(static_cast<int>(s[i])));
    return peak;
}

// A voice gliding between 150 and 250 Hz, so that every mode has marks to follow.
std::vector<short> Glide(int n) {
    std::vector<short> s(static_cast<size_t>(n));
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double f = 200.0 + 50.0 * std::sin(2 * signals::kPi * 0.3 * i / signals::kRate);
        phase += 2 * signals::kPi * f / signals::kRate;
        s[static_cast<size_t>(i)] = static_cast<short>(6000.0 * std::sin(phase) + 2000.0 * std::sin(2 * phase) + 1000.0 * std::sin(3 * phase));
    }
    return s;
}

TEST(VoiceModeSwitchTest, SwitchingModesEveryFewBlocksCausesNoBurst) {
    const auto in = Glide(static_cast<int>(60 * signals::kRate));
    int steady = 0;
    for (int mode = 0; mode <= 6; ++mode) {
        EngineHarness h;
        h.dlg.m_comboVoiceMode.SetCurSel(mode);
        const auto out = h.Run(std::vector<short>(in.begin(), in.begin() + 8 * h.Half()));
        steady = std::max(steady, Peak(out, static_cast<size_t>(2 * h.Half())));
    }
    ASSERT_GT(steady, 1000);

    EngineHarness h;
    h.Begin();
    const int half = h.Half();
    const int blocks = static_cast<int>(in.size()) / half;
    int worst = 0;
    for (int b = 0; b < blocks; ++b) {
        h.dlg.m_comboVoiceMode.SetCurSel((b / 3) % 7);
        h.FeedBlock(in.data() + static_cast<size_t>(b) * static_cast<size_t>(half), half);
        if (b >= 2) worst = std::max(worst, Peak(h.OutputBlock(b - 1), 0));
    }
    EXPECT_LE(worst, 2 * steady);  // within 6 dB of the steady-state peak
}

}  // namespace

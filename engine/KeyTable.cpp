// The key table (62 keys, C_2 .. C#7) and note names.
#include <cmath>
#include <cstdio>

#include "app/WaveInOutDlg.h"

namespace {
const char* const kPitchClassNames[12] = {"C_", "C#", "D_", "D#", "E_", "F_", "F#", "G_", "G#", "A_", "A#", "B_"};

// Name of the key k < count whose band [boundary k, boundary k+1) holds hz, else "".
// Note names cover keys 0..60: key 61 is offered for the vocal range but is never named.
void LookUpNoteName(const int* boundaries, int count, int hz, char* out, size_t outSize) {
    out[0] = '\0';
    if (hz < boundaries[0]) return;
    for (int k = 0; k < count; ++k) {
        if (hz < boundaries[k + 1]) {
            std::snprintf(out, outSize, "%s%d", kPitchClassNames[k % 12], k / 12 + 2);
            return;
        }
    }
}
}  // namespace

std::string CWaveInOutDlg::KeyName(int key) {
    if (key < 0 || key >= kKeyCount) return {};
    char buf[8];
    std::snprintf(buf, sizeof buf, "%s%d", kPitchClassNames[key % 12], key / 12 + 2);
    return buf;
}

void CWaveInOutDlg::BuildKeyTable() {
    const int a4 = m_nA4.load();
    for (int i = 0; i <= kKeyCount; ++i) {
        // Single precision in this order: the exponent, the power, the rounding.
        const float e = (static_cast<float>(i) - 33.5f) * 0.083333336f;
        const float v = static_cast<float>(a4) * std::pow(2.0f, e);
        m_nKeyBoundaryHz[i] = static_cast<int>(v + 0.5f);
    }
    m_comboMinKey.ResetContent();
    m_comboMaxKey.ResetContent();
    for (int i = 0; i < kKeyCount; ++i) {
        const std::string name = KeyName(i);
        m_comboMinKey.AddString(name);
        m_comboMaxKey.AddString(name);
    }
}

const char* CWaveInOutDlg::FreqToNoteName(int hz) const {
    // One buffer per thread: the UI thread and the analysis thread both ask.
    thread_local char buf[8];
    LookUpNoteName(m_nKeyBoundaryHz, kKeyCount - 1, hz, buf, sizeof buf);
    return buf;
}

const char* CWaveInOutDlg::ShowNoteName(int hz, CWnd* pCtrl) const {
    thread_local char buf[8];
    LookUpNoteName(m_nKeyBoundaryHz, kKeyCount - 1, hz, buf, sizeof buf);
    if (pCtrl != nullptr) pCtrl->SetWindowText(buf);
    return buf;
}

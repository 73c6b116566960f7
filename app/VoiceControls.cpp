// The voice group of the main dialog: the pitch and formant trackbars with their value texts,
// the fixed settings "M→W", "W→M" and "Reset", and the four voice presets. Everything here
// runs on the user-interface thread; the engine threads read the two ratios and the control
// selections these handlers set, each in its next round (a round sees the old or the new value).
#include <charconv>
#include <cstdio>
#include <cmath>
#include <string>

#include "app/WaveInOutDlg.h"

namespace {

// One fixed or stored voice setting as the voice group shows it.
struct VoiceSetting {
    int pitch;
    int formant;
    int minKey;
    int maxKey;
    std::string corrTh;
    int keyRange;
};

// Value text of a trackbar: the ratio in percent and the shift in semitones with its sign,
// e.g. "200% (+12.0)", " 75% (-5.0)", "100% ( 0.0)".
std::string RatioText(float ratio, double semitones) {
    const char sign = semitones > 0.0 ? '+' : (semitones < 0.0 ? '-' : ' ');
    char text[64];
    std::snprintf(text, sizeof text, "%3.0f%% (%1c%3.1f)", static_cast<double>(ratio * 100.0f), sign,
                  std::fabs(semitones));
    return text;
}

// The threshold text of a preset, "%.3f" with a decimal point whatever the user's locale says.
std::string ThresholdText(float value) {
    char text[64];
    const auto res = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, 3);
    if (res.ec != std::errc()) return "0.500";
    return std::string(text, res.ptr);
}

// The threshold typed into the edit, read as a C number: leading blanks, then as much as forms
// a number (at most 99 characters are looked at); 0.0 when the text does not start with one.
float ParseThreshold(const std::string& full) {
    const std::string text = full.substr(0, 99);
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r')) ++at;
    if (at < text.size() && text[at] == '+') ++at;
    float value = 0.0f;
    const auto res = std::from_chars(text.data() + at, text.data() + text.size(), value, std::chars_format::general);
    if (res.ec != std::errc() || !std::isfinite(value)) return 0.0f;
    return value;
}

}  // namespace

void CWaveInOutDlg::OnCustomDrawPitch(NMHDR*, LRESULT* pResult) {
    const int pos = m_sliderPitch.GetPos();
    const float p = std::pow(2.0f, static_cast<float>(pos) * (1.0f / 24.0f));
    m_fPitchRatio.store(p, std::memory_order_relaxed);
    m_staticPitchValue.SetWindowText(RatioText(p, pos * 0.5));
    if (pResult != nullptr) *pResult = 0;
}

void CWaveInOutDlg::OnCustomDrawFormant(NMHDR*, LRESULT* pResult) {
    const int pos = m_sliderFormant.GetPos();
    const float v = static_cast<float>(pos * 0.5);
    const float f = std::pow(2.0f, v * (1.0f / 12.0f));
    m_fFormantRatio.store(f, std::memory_order_relaxed);
    m_staticFormantValue.SetWindowText(RatioText(f, static_cast<double>(v)));
    if (pResult != nullptr) *pResult = 0;
}

namespace {

// Sets the voice group to a setting. The trackbars take effect at their next redraw, which
// their custom-draw handlers turn into the ratios. The pitch is left alone when keepPitch is
// set (the phase vocoder's vocal cut and extract need the pitch unshifted).
void ApplyVoiceSetting(CWaveInOutDlg& dlg, const VoiceSetting& s, bool keepPitch) {
    if (!keepPitch) dlg.m_sliderPitch.SetPos(s.pitch);
    dlg.m_sliderFormant.SetPos(s.formant);
    dlg.m_comboMinKey.SetCurSel(s.minKey);
    dlg.m_comboMaxKey.SetCurSel(s.maxKey);
    dlg.m_editCorrTh.SetWindowText(s.corrTh);
    dlg.m_comboKeyRange.SetCurSel(s.keyRange);
}

bool VocalModeHoldsPitch(const CWaveInOutDlg& dlg) { return dlg.m_nMethod == 1 && dlg.m_nVocalMode >= 1; }

}  // namespace

void CWaveInOutDlg::OnBnClickedReset() {
    ApplyVoiceSetting(*this, {0, 0, 7, 40, "0.5", 3}, false);
    OnCbnSelchangeKeyRange();
}

void CWaveInOutDlg::OnBnClickedWomanToMan() {
    ApplyVoiceSetting(*this, {-24, -10, 19, 40, "0.5", 3}, VocalModeHoldsPitch(*this));
    OnCbnSelchangeKeyRange();
}

void CWaveInOutDlg::OnBnClickedManToWoman() {
    ApplyVoiceSetting(*this, {24, 8, 7, 28, "0.5", 1}, VocalModeHoldsPitch(*this));
    OnCbnSelchangeKeyRange();
}

void CWaveInOutDlg::OnBnClickedVoicePreset1() { OnPreset(0); }
void CWaveInOutDlg::OnBnClickedVoicePreset2() { OnPreset(1); }
void CWaveInOutDlg::OnBnClickedVoicePreset3() { OnPreset(2); }
void CWaveInOutDlg::OnBnClickedVoicePreset4() { OnPreset(3); }

void CWaveInOutDlg::OnPreset(int n) {
    if (n < 0 || n > 3) return;
    VoicePreset& preset = m_voicePreset[n];
    if (GetKeyState(VK_CONTROL) < 0) {
        // Ctrl+click stores what the voice group shows now; the fields the group does not
        // show (A4 and the two kept floats) stay as the settings file gave them.
        preset.nPitch = m_sliderPitch.GetPos();
        preset.nFormant = m_sliderFormant.GetPos();
        preset.nMinKey = m_comboMinKey.GetCurSel();
        preset.nMaxKey = m_comboMaxKey.GetCurSel();
        preset.fCorrTh = ParseThreshold(m_editCorrTh.GetWindowText());
        preset.nKeyRange = m_nKeyRange;
        preset.nVoiceMode = m_comboVoiceMode.GetCurSel();
        return;
    }
    ApplyVoiceSetting(*this,
                      {preset.nPitch, preset.nFormant, preset.nMinKey, preset.nMaxKey, ThresholdText(preset.fCorrTh),
                       preset.nKeyRange},
                      VocalModeHoldsPitch(*this));
    m_comboVoiceMode.SetCurSel(preset.nVoiceMode);
    OnCbnSelchangeKeyRange();
}

void CWaveInOutDlg::OnCbnSelchangeMinKey() {}
void CWaveInOutDlg::OnCbnSelchangeMaxKey() {}

// The Effect button: the sound-effect dialog is made on its first press and then shown and
// hidden by turns; its presets and reverb values travel between it and the values the main
// dialog keeps for the settings file.
#include <algorithm>

#include "app/WaveInOutDlg.h"
#include "effects/EQdlg.h"

void CWaveInOutDlg::OnBnClickedEffect() {
    m_bEffectShown = !m_bEffectShown;
    CEQdlg* effects = m_pEQDlg.load(std::memory_order_acquire);
    if (m_bEffectShown && effects == nullptr) {
        effects = new CEQdlg(this);
        for (int p = 0; p < CEQdlg::kPresets; ++p) {
            std::copy(std::begin(m_nPresetGain[p]), std::end(m_nPresetGain[p]), std::begin(effects->m_nPresetGain[p]));
            effects->m_fPresetQ[p] = m_fPresetQ[p];
        }
        effects->m_fAttenuation = m_fReverbAttenuation;
        effects->m_fDelay = m_fReverbDelay;
        effects->m_nRepeat = m_nReverbRepeat;
        // The engine threads see the dialog only once it is whole.
        m_pEQDlg.store(effects, std::memory_order_release);
    }
    if (effects != nullptr) effects->ShowWindow(m_bEffectShown ? SW_SHOW : SW_HIDE);
}

void CWaveInOutDlg::FetchEffectSettings(const CEQdlg* effects) {
    if (effects == nullptr) effects = m_pEQDlg.load(std::memory_order_acquire);
    if (effects == nullptr) return;
    for (int p = 0; p < CEQdlg::kPresets; ++p) {
        std::copy(std::begin(effects->m_nPresetGain[p]), std::end(effects->m_nPresetGain[p]), std::begin(m_nPresetGain[p]));
        m_fPresetQ[p] = effects->m_fPresetQ[p];
    }
    m_fReverbAttenuation = effects->m_fAttenuation;
    m_fReverbDelay = effects->m_fDelay;
    m_nReverbRepeat = effects->m_nRepeat;
}

// CEQdlg: the sound-effect dialog, and the object that holds the graphic equaliser and the
// reverb. The main dialog makes it on the first press of Effect and deletes it when it closes;
// while it exists the engine applies its effects.
//
// Threads: everything except ProcessEQ and ProcessReverb runs on the user-interface thread:
// the handlers, the band designs and responses, the presets, the reverb values and their texts.
// The engine thread of the current method reads m_bEQ and m_bReverb and calls ProcessEQ and
// ProcessReverb; those work only on the two processing objects, which take each complete
// coefficient set and tap set the user-interface thread publishes at the start of a block (a
// block never mixes two designs) and keep using the previous one while nothing new is there.
// Clearing the reverb's history is requested here and done by the engine at its next block.
//
// Without a window the control objects still hold every value the effects read, so the dialog
// works headless; a window system mirrors them and sends the trackbars' redraw notifications.
#pragma once

#include <atomic>

#include "effects/EchoGains.h"
#include "effects/EqResponse.h"
#include "effects/GraphicEqualizer.h"
#include "effects/Reverb.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "resources/resource_ids.h"

class CWaveInOutDlg;

class CEQdlg : public CDialog {
public:
    static constexpr UINT IDD = IDD_EFFECT_DIALOG;
    static constexpr int kPresets = 4;

    // Control ids of template 103, under the names this class uses.
    static constexpr int IDC_SLIDER_BAND0 = ::IDC_EQ_BAND0;       // band k = IDC_SLIDER_BAND0 + k
    static constexpr int IDC_STATIC_BAND0 = ::IDC_EQ_BAND_VALUE0;
    static constexpr int IDC_RESET = ::IDC_EQ_RESET;
    static constexpr int IDC_PRESET1 = ::IDC_EQ_PRESET1;
    static constexpr int IDC_PRESET2 = ::IDC_EQ_PRESET2;
    static constexpr int IDC_PRESET3 = ::IDC_EQ_PRESET3;
    static constexpr int IDC_PRESET4 = ::IDC_EQ_PRESET4;
    static constexpr int IDC_CLOSE = ::IDC_EQ_CLOSE;
    static constexpr int IDC_EDIT_Q = ::IDC_EQ_Q;
    static constexpr int IDC_STATIC_CTRLCLICK = ::IDC_EQ_CTRL_CLICK;
    static constexpr int IDC_EQ_ENABLE = ::IDC_EQ_ENABLE;
    static constexpr int IDC_SLIDER_ATTENUATION = ::IDC_REVERB_ATTENUATION;
    static constexpr int IDC_SLIDER_DELAY = ::IDC_REVERB_DELAY;
    static constexpr int IDC_SLIDER_REPEAT = ::IDC_REVERB_REPEAT;
    static constexpr int IDC_REVERB_DEFAULT = ::IDC_REVERB_DEFAULT;
    static constexpr int IDC_REVERB_ENABLE = ::IDC_REVERB_ENABLE;
    static constexpr int IDC_STATIC_ATTENUATION = ::IDC_REVERB_ATTENUATION_VALUE;
    static constexpr int IDC_STATIC_DELAY = ::IDC_REVERB_DELAY_VALUE;
    static constexpr int IDC_STATIC_REPEAT = ::IDC_REVERB_REPEAT_VALUE;

    // Builds the dialog and its window (hidden) from template 103, then its state: flat bands,
    // Q text "1.0", both effects off, the reverb trackbars at 14, 7 and 12, the processing
    // objects sized for the main dialog's block. Notifications act only once all is set.
    explicit CEQdlg(CWaveInOutDlg* pParent);
    // Copies the presets and reverb values back into the main dialog first.
    ~CEQdlg() override;

    void DoDataExchange(CDataExchange* pDX) override;

    // --- Engine thread ----------------------------------------------------------------------
    // Equalises count values in place (channels 1 mono, any other value interleaved stereo):
    // the eleven bands in cascade, then each value truncated toward zero and limited to
    // -32767..32767. The caller tests m_bEQ.
    void ProcessEQ(float* buf, int count, int channels);
    // Adds the echoes to count values in place and moves the history on; each value limited to
    // -32767..32767 in float. The caller tests m_bReverb.
    void ProcessReverb(float* buf, int count, int channels);

    // --- Equaliser (user-interface thread) --------------------------------------------------
    // Reads the Q, redesigns every band marked changed, sums the total response and publishes
    // the complete coefficient set to the engine.
    void UpdateFilters();
    static void CalcResponse(const float* b, const float* a, float* out) { CalcEqResponse(b, a, out); }
    // With Ctrl held: stores the current gains and Q as preset n (1..4), nothing else. Without:
    // loads preset n onto the trackbars and the Q text and redesigns every band.
    void OnPreset(int n, bool bCtrlDown);
    // Preset buttons 1085, 1086, 1087 and 1092: preset 1 to 4, stored when Ctrl is held down at
    // the click, else loaded.
    void OnBnClickedPreset1();
    void OnBnClickedPreset2();
    void OnBnClickedPreset3();
    void OnBnClickedPreset4();
    void OnBnClickedReset();
    void OnBnClickedEqEnable();
    void OnCustomDrawBand0(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawBand1(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawBand2(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawBand3(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawBand4(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawBand5(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawBand6(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawBand7(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawBand8(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawBand9(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawBand10(NMHDR* pNMHDR, LRESULT* pResult);

    // --- Reverb (user-interface thread) -----------------------------------------------------
    void OnCustomDrawAttenuation(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawDelay(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawRepeat(NMHDR* pNMHDR, LRESULT* pResult);
    void OnBnClickedReverbDefault();
    void OnBnClickedReverbEnable();

    // --- Showing and hiding -----------------------------------------------------------------
    // Puts the current gains and the reverb values on the trackbars (values outside a
    // trackbar's range are limited by it); when shown, the values are read back from them as
    // the trackbars' redraws do.
    void OnShowWindow(BOOL bShow, UINT nStatus);
    // The close box, button 1088 "閉じる", Escape and Enter: hidden through the main dialog's
    // Effect toggle, so that its shown flag follows. The object and the effects stay.
    void OnClose();
    void OnBnClickedClose();
    void OnOK() override;
    void OnCancel() override;

    // --- Painting -------------------------------------------------------------------------------
    // The filter-response and impulse-response graphs; the controls paint themselves.
    void OnPaint();

    // --- Controls ---------------------------------------------------------------------------
    CSliderCtrl m_sliderBand[kEqBands];    // 1062 .. 1072, position = -gain, range -12..24
    CStatic m_staticBandValue[kEqBands];   // 1073 .. 1083, "%3d" of the gain
    CEdit m_editQ;                         // 1089
    CButton m_chkEQ;                       // 1091
    CStatic m_staticCtrlClick;             // 1090
    CSliderCtrl m_sliderAttenuation;       // 1060, range 1..19, position·0.05
    CSliderCtrl m_sliderDelay;             // 1061, range 1..10, position·0.01 s
    CSliderCtrl m_sliderRepeat;            // 1093, range 1..15
    CStatic m_staticAttenuation;           // 1123, "%4.2f"
    CStatic m_staticDelay;                 // 1124, "%4.2f"
    CStatic m_staticRepeat;                // 1125, "%2d"
    CButton m_chkReverb;                   // 1121
    CFont m_fontCtrlClick;                 // the small face of text 1090

    CWaveInOutDlg* m_pMainDlg;
    int m_nBufLen;  // the main dialog's block size in bytes when the dialog was built

    // --- Equaliser state --------------------------------------------------------------------
    std::atomic<BOOL> m_bEQ{FALSE};
    int m_nGain[kEqBands] = {};                     // dB, -24..12
    int m_nPresetGain[kPresets][kEqBands] = {};
    BOOL m_bBandChanged[kEqBands] = {};
    float m_fBandResp[kEqBands][kEqResponsePoints] = {};
    float m_fTotalResp[kEqResponsePoints] = {};
    float m_fQ = 0.0f;                              // Q of all bands as last read
    float m_fPresetQ[kPresets] = {};
    double m_dLastQ = 0.0;                          // Q of the last design
    EqDesign m_design;                              // the bands' coefficients as last designed
    CGraphicEqualizer m_eq;                         // the filters the engine runs

    // --- Reverb state -----------------------------------------------------------------------
    std::atomic<BOOL> m_bReverb{FALSE};
    float m_fAttenuation = 0.7f;
    float m_fDelay = 0.07f;
    int m_nRepeat = 12;
    float m_fEchoGain[kEchoGainSlots] = {};  // g0 the direct path as drawn, g1..g15 the echoes
    CReverb m_reverb;

    DECLARE_MESSAGE_MAP()

private:
    void OnCustomDrawBand(int band, LRESULT* pResult);
    void HideThroughMainDialog();
    void ReadAttenuation();
    void ReadDelay();
    void ReadRepeat();
    void PublishReverb();
    void CopySettingsToMainDialog();

    // Set at the end of the constructor: notifications that arrive while the dialog is being
    // built (its window made, its controls set) change nothing.
    bool m_bReady = false;
};

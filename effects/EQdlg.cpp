#include "effects/EQdlg.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>

#include "app/WaveInOutDlg.h"
#include "effects/EffectGraphs.h"
#include "effects/NumberText.h"
#include "effects/PeakingDesign.h"
#include "platform/ui/msgbox.h"

namespace {

constexpr int kBandPosMin = -12;  // +12 dB at the top
constexpr int kBandPosMax = 24;   // -24 dB at the bottom
constexpr int kBandTics[] = {-12, -6, 0, 6, 12, 18, 24};
constexpr int kDefaultAttenuationPos = 14;
constexpr int kDefaultDelayPos = 7;
constexpr int kDefaultRepeatPos = 12;
constexpr size_t kMaxQTextChars = 99;
const char* const kQMessage = "Q値は正の実数です";

// The trackbar position that shows value·scale rounded: the integer part of value·scale + 0.5,
// limited to the trackbar's range in float (a value that is not a number leaves it where it is).
int PositionFor(float value, float scale, const CSliderCtrl& slider) {
    const float x = value * scale + 0.5f;
    if (!(x == x)) return slider.GetPos();
    const float lo = static_cast<float>(slider.GetRangeMin());
    const float hi = static_cast<float>(slider.GetRangeMax());
    return static_cast<int>(std::clamp(x, lo, hi));
}

// Draws one graph into an image of its own and copies it to its place in the client area.
template <typename Draw>
void PaintGraph(CDC& dc, const CRect& place, Draw draw) {
    CImage image;
    if (!image.Create(place.Width(), -place.Height(), 24)) return;
    if (CDC* graph = image.GetDC()) draw(*graph);
    image.ReleaseDC();
    image.BitBlt(dc.GetSafeHdc(), place.left, place.top, SRCCOPY);
}

}  // namespace

BEGIN_MESSAGE_MAP(CEQdlg, CDialog)
    ON_WM_SHOWWINDOW()
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 0, &CEQdlg::OnCustomDrawBand0)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 1, &CEQdlg::OnCustomDrawBand1)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 2, &CEQdlg::OnCustomDrawBand2)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 3, &CEQdlg::OnCustomDrawBand3)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 4, &CEQdlg::OnCustomDrawBand4)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 5, &CEQdlg::OnCustomDrawBand5)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 6, &CEQdlg::OnCustomDrawBand6)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 7, &CEQdlg::OnCustomDrawBand7)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 8, &CEQdlg::OnCustomDrawBand8)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 9, &CEQdlg::OnCustomDrawBand9)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_BAND0 + 10, &CEQdlg::OnCustomDrawBand10)
    ON_BN_CLICKED(CEQdlg::IDC_CLOSE, &CEQdlg::OnBnClickedClose)
    ON_WM_CLOSE()
    ON_WM_PAINT()
    ON_BN_CLICKED(CEQdlg::IDC_EQ_ENABLE, &CEQdlg::OnBnClickedEqEnable)
    ON_BN_CLICKED(CEQdlg::IDC_RESET, &CEQdlg::OnBnClickedReset)
    ON_BN_CLICKED(CEQdlg::IDC_PRESET1, &CEQdlg::OnBnClickedPreset1)
    ON_BN_CLICKED(CEQdlg::IDC_PRESET2, &CEQdlg::OnBnClickedPreset2)
    ON_BN_CLICKED(CEQdlg::IDC_PRESET3, &CEQdlg::OnBnClickedPreset3)
    ON_BN_CLICKED(CEQdlg::IDC_PRESET4, &CEQdlg::OnBnClickedPreset4)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_ATTENUATION, &CEQdlg::OnCustomDrawAttenuation)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_DELAY, &CEQdlg::OnCustomDrawDelay)
    ON_NOTIFY(NM_CUSTOMDRAW, CEQdlg::IDC_SLIDER_REPEAT, &CEQdlg::OnCustomDrawRepeat)
    ON_BN_CLICKED(CEQdlg::IDC_REVERB_ENABLE, &CEQdlg::OnBnClickedReverbEnable)
    ON_BN_CLICKED(CEQdlg::IDC_REVERB_DEFAULT, &CEQdlg::OnBnClickedReverbDefault)
END_MESSAGE_MAP()

CEQdlg::CEQdlg(CWaveInOutDlg* pParent)
    : CDialog(IDD, pParent),
      m_pMainDlg(pParent),
      m_nBufLen(pParent != nullptr ? pParent->GetBlockBytes() : 0),
      m_reverb(m_nBufLen / 2) {
    // The window first (hidden): the template's texts are in place before the values below.
    Create(IDD, pParent);
    for (int k = 0; k < kEqBands; ++k) {
        m_sliderBand[k].SetRange(kBandPosMin, kBandPosMax, TRUE);
        m_sliderBand[k].SetPos(0);
        for (int tic : kBandTics) m_sliderBand[k].SetTic(tic);
    }
    m_editQ.SetWindowText("1.0");
    m_staticCtrlClick.SetWindowText("Ctrl+Clickで保存");

    m_sliderAttenuation.SetRange(1, 19);
    m_sliderAttenuation.SetPos(kDefaultAttenuationPos);
    m_sliderDelay.SetRange(1, 10);
    m_sliderDelay.SetPos(kDefaultDelayPos);
    m_sliderRepeat.SetRange(1, 15);
    m_sliderRepeat.SetPos(kDefaultRepeatPos);
    // The values, their texts and echo gains as the trackbars show them, so that the reverb has
    // a complete tap set before its first redraw.
    ReadAttenuation();
    ReadDelay();
    ReadRepeat();

    m_fontCtrlClick.CreateFont(8, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "ＭＳ ゴシック");
    m_staticCtrlClick.SetFont(&m_fontCtrlClick, TRUE);
    m_bReady = true;
}

CEQdlg::~CEQdlg() {
    CopySettingsToMainDialog();
    DestroyWindow();
}

void CEQdlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    for (int k = 0; k < kEqBands; ++k) DDX_Control(pDX, IDC_SLIDER_BAND0 + k, m_sliderBand[k]);
    for (int k = 0; k < kEqBands; ++k) DDX_Control(pDX, IDC_STATIC_BAND0 + k, m_staticBandValue[k]);
    DDX_Control(pDX, IDC_EDIT_Q, m_editQ);
    DDX_Control(pDX, IDC_EQ_ENABLE, m_chkEQ);
    DDX_Control(pDX, IDC_STATIC_CTRLCLICK, m_staticCtrlClick);
    DDX_Control(pDX, IDC_SLIDER_ATTENUATION, m_sliderAttenuation);
    DDX_Control(pDX, IDC_SLIDER_DELAY, m_sliderDelay);
    DDX_Control(pDX, IDC_SLIDER_REPEAT, m_sliderRepeat);
    DDX_Control(pDX, IDC_STATIC_ATTENUATION, m_staticAttenuation);
    DDX_Control(pDX, IDC_STATIC_DELAY, m_staticDelay);
    DDX_Control(pDX, IDC_STATIC_REPEAT, m_staticRepeat);
    DDX_Control(pDX, IDC_REVERB_ENABLE, m_chkReverb);
}

// --- Engine thread ----------------------------------------------------------------------------

void CEQdlg::ProcessEQ(float* buf, int count, int channels) { m_eq.Process(buf, count, channels); }

void CEQdlg::ProcessReverb(float* buf, int count, int channels) { m_reverb.Process(buf, count, channels); }

// --- Equaliser ----------------------------------------------------------------------------------

void CEQdlg::UpdateFilters() {
    std::string text = m_editQ.GetWindowText();
    if (text.size() > kMaxQTextChars) text.resize(kMaxQTextChars);
    m_fQ = static_cast<float>(LeadingNumber(text));
    // A Q must be a positive normal number: zero, negative, tiny, infinite or not a number
    // would give filters that are silent, unstable or not numbers at all.
    if (!(std::isfinite(m_fQ) && m_fQ >= FLT_MIN)) {
        // The text is mended before the box shows: trackbars that redraw while it is open read
        // "1.0" and ask nothing more.
        m_editQ.SetWindowText("1.0");
        m_fQ = 1.0f;
        AfxMessageBox(kQMessage, MB_OK);
    }
    if (static_cast<double>(m_fQ) != m_dLastQ) {
        for (BOOL& changed : m_bBandChanged) changed = TRUE;
        m_dLastQ = m_fQ;
    }

    for (int k = 0; k < kEqBands; ++k) {
        if (!m_bBandChanged[k]) continue;
        m_nGain[k] = -m_sliderBand[k].GetPos();
        m_staticBandValue[k].SetWindowText(FormatInt(m_nGain[k], 3));
        DesignPeaking(static_cast<float>(EqBandFrequency(k)), static_cast<float>(m_nGain[k]), m_fQ, m_design.b[k],
                      m_design.a[k]);
        CalcResponse(m_design.b[k], m_design.a[k], m_fBandResp[k]);
        m_bBandChanged[k] = FALSE;
    }

    for (int j = 0; j < kEqResponsePoints; ++j) {
        float sum = 0.0f;
        for (int k = 0; k < kEqBands; ++k) sum = sum + m_fBandResp[k][j];
        m_fTotalResp[j] = sum;
    }
    m_eq.Publish(m_design);
    InvalidateRect(&kFilterGraphRect, FALSE);
}

void CEQdlg::OnCustomDrawBand(int band, LRESULT* pResult) {
    if (pResult != nullptr) *pResult = 0;
    if (!m_bReady) return;
    m_bBandChanged[band] = TRUE;
    UpdateFilters();
}

void CEQdlg::OnCustomDrawBand0(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(0, pResult); }
void CEQdlg::OnCustomDrawBand1(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(1, pResult); }
void CEQdlg::OnCustomDrawBand2(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(2, pResult); }
void CEQdlg::OnCustomDrawBand3(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(3, pResult); }
void CEQdlg::OnCustomDrawBand4(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(4, pResult); }
void CEQdlg::OnCustomDrawBand5(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(5, pResult); }
void CEQdlg::OnCustomDrawBand6(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(6, pResult); }
void CEQdlg::OnCustomDrawBand7(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(7, pResult); }
void CEQdlg::OnCustomDrawBand8(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(8, pResult); }
void CEQdlg::OnCustomDrawBand9(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(9, pResult); }
void CEQdlg::OnCustomDrawBand10(NMHDR*, LRESULT* pResult) { OnCustomDrawBand(10, pResult); }

void CEQdlg::OnPreset(int n, bool bCtrlDown) {
    if (n < 1 || n > kPresets) return;
    const int p = n - 1;
    if (bCtrlDown) {
        std::copy(std::begin(m_nGain), std::end(m_nGain), std::begin(m_nPresetGain[p]));
        m_fPresetQ[p] = m_fQ;
        return;
    }
    for (int k = 0; k < kEqBands; ++k) {
        // -gain, limited by the trackbar (the gain is limited first so that negating it is safe).
        m_sliderBand[k].SetPos(-std::clamp(m_nPresetGain[p][k], -kBandPosMax, -kBandPosMin));
    }
    m_editQ.SetWindowText(FormatFixed(m_fPresetQ[p], 0, 3));
    for (BOOL& changed : m_bBandChanged) changed = TRUE;
    UpdateFilters();
}

void CEQdlg::OnBnClickedPreset1() { OnPreset(1, GetKeyState(VK_CONTROL) < 0); }
void CEQdlg::OnBnClickedPreset2() { OnPreset(2, GetKeyState(VK_CONTROL) < 0); }
void CEQdlg::OnBnClickedPreset3() { OnPreset(3, GetKeyState(VK_CONTROL) < 0); }
void CEQdlg::OnBnClickedPreset4() { OnPreset(4, GetKeyState(VK_CONTROL) < 0); }

void CEQdlg::OnBnClickedReset() {
    for (CSliderCtrl& slider : m_sliderBand) slider.SetPos(0);
    m_editQ.SetWindowText("1.0");
    // What the trackbars' redraws do: every band is read back and redesigned.
    for (BOOL& changed : m_bBandChanged) changed = TRUE;
    UpdateFilters();
}

void CEQdlg::OnBnClickedEqEnable() { m_bEQ.store(m_chkEQ.GetCheck() != BST_UNCHECKED ? TRUE : FALSE); }

// --- Reverb ---------------------------------------------------------------------------------------

void CEQdlg::ReadAttenuation() {
    m_fAttenuation = static_cast<float>(m_sliderAttenuation.GetPos()) * 0.05f;
    m_staticAttenuation.SetWindowText(FormatFixed(m_fAttenuation, 4, 2));
    CalcEchoGains(m_fAttenuation, m_nRepeat, m_fEchoGain);
    PublishReverb();
}

void CEQdlg::ReadDelay() {
    m_fDelay = static_cast<float>(m_sliderDelay.GetPos()) * 0.01f;
    m_staticDelay.SetWindowText(FormatFixed(m_fDelay, 4, 2));
    PublishReverb();
}

void CEQdlg::ReadRepeat() {
    m_nRepeat = m_sliderRepeat.GetPos();
    m_staticRepeat.SetWindowText(FormatInt(m_nRepeat, 2));
    CalcEchoGains(m_fAttenuation, m_nRepeat, m_fEchoGain);
    PublishReverb();
}

void CEQdlg::PublishReverb() {
    InvalidateRect(&kImpulseGraphRect, FALSE);
    ReverbTaps taps;
    taps.delay = m_fDelay;
    taps.repeat = std::clamp(m_nRepeat, 0, kMaxEchoes);
    std::copy(std::begin(m_fEchoGain), std::end(m_fEchoGain), std::begin(taps.gain));
    m_reverb.Publish(taps);
}

void CEQdlg::OnCustomDrawAttenuation(NMHDR*, LRESULT* pResult) {
    if (pResult != nullptr) *pResult = 0;
    if (m_bReady) ReadAttenuation();
}

void CEQdlg::OnCustomDrawDelay(NMHDR*, LRESULT* pResult) {
    if (pResult != nullptr) *pResult = 0;
    if (m_bReady) ReadDelay();
}

void CEQdlg::OnCustomDrawRepeat(NMHDR*, LRESULT* pResult) {
    if (pResult != nullptr) *pResult = 0;
    if (m_bReady) ReadRepeat();
}

void CEQdlg::OnBnClickedReverbDefault() {
    m_sliderAttenuation.SetPos(kDefaultAttenuationPos);
    m_sliderDelay.SetPos(kDefaultDelayPos);
    m_sliderRepeat.SetPos(kDefaultRepeatPos);
    ReadAttenuation();
    ReadDelay();
    ReadRepeat();
}

void CEQdlg::OnBnClickedReverbEnable() {
    const bool on = m_chkReverb.GetCheck() != BST_UNCHECKED;
    // The clear is asked for before the flag rises, so the first block the engine processes
    // after switching on starts from a silent history.
    if (on) m_reverb.RequestClear();
    m_bReverb.store(on ? TRUE : FALSE);
}

// --- Showing and hiding ---------------------------------------------------------------------------

void CEQdlg::OnShowWindow(BOOL bShow, UINT) {
    if (!m_bReady) return;
    for (int k = 0; k < kEqBands; ++k) {
        m_sliderBand[k].SetPos(-std::clamp(m_nGain[k], -kBandPosMax, -kBandPosMin));
        m_staticBandValue[k].SetWindowText(FormatInt(m_nGain[k], 3));
    }
    m_sliderAttenuation.SetPos(PositionFor(m_fAttenuation, 20.0f, m_sliderAttenuation));
    m_sliderDelay.SetPos(PositionFor(m_fDelay, 100.0f, m_sliderDelay));
    m_sliderRepeat.SetPos(std::clamp(m_nRepeat, m_sliderRepeat.GetRangeMin(), m_sliderRepeat.GetRangeMax()));
    if (!bShow) return;
    // Shown trackbars redraw: every band and the three reverb values are read back from them, so
    // copied-in values end up on the trackbars' grid.
    for (BOOL& changed : m_bBandChanged) changed = TRUE;
    UpdateFilters();
    ReadAttenuation();
    ReadDelay();
    ReadRepeat();
}

void CEQdlg::HideThroughMainDialog() {
    ShowWindow(SW_HIDE);
    if (m_pMainDlg != nullptr) m_pMainDlg->OnBnClickedEffect();
}

void CEQdlg::OnClose() { HideThroughMainDialog(); }
void CEQdlg::OnBnClickedClose() { HideThroughMainDialog(); }
void CEQdlg::OnOK() { HideThroughMainDialog(); }
void CEQdlg::OnCancel() { HideThroughMainDialog(); }

// --- Painting ---------------------------------------------------------------------------------------

void CEQdlg::OnPaint() {
    CPaintDC dc(this);
    PaintGraph(dc, kFilterGraphRect, [this](CDC& graph) { DrawFilterGraph(graph, m_fBandResp, m_fTotalResp); });
    // The echo gains follow the reverb values whenever those are read, so they are the ones drawn.
    PaintGraph(dc, kImpulseGraphRect,
               [this](CDC& graph) { DrawImpulseGraph(graph, m_fEchoGain, m_nRepeat, m_fDelay); });
}

void CEQdlg::CopySettingsToMainDialog() {
    if (m_pMainDlg != nullptr) m_pMainDlg->FetchEffectSettings(this);
}

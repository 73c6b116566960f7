// Template 103: the sound-effect dialog, 298 × 369 dialog units in "MS Shell Dlg" 8 points.
//
// Laid out for 6 × 13 pixel base units (447 × 600 client pixels), so that the scale texts line
// up with the two graphs the dialog paints at fixed pixel places: the filter response, 400 ×
// 150 pixels at (24, 210), and the echo impulse response, 375 × 100 pixels at (50, 480).
// Top: the eleven band trackbars (+12 dB at the top, -24 dB at the bottom) with their values,
// the equaliser switch, Q, presets, Reset and Close. Under the separator: the reverb.
#include "platform/ui/restypes.h"
#include "resources/resource_ids.h"

namespace resources {
namespace {

using platform::ui::DialogItemTemplate;
using K = platform::ui::ItemKind;

constexpr DWORD kTab = WS_TABSTOP;
constexpr DWORD kBand = TBS_VERT | TBS_BOTH | kTab;

#define SORVEL_BAND(k, label)                                                            \
    {K::Static, -1, label, SS_LEFT, 30 + 24 * (k), 6, (k) == 10 ? 15 : 10, 8},            \
    {K::Trackbar, IDC_EQ_BAND0 + (k), nullptr, kBand, 24 + 24 * (k), 18, 12, 66},        \
    {K::Static, IDC_EQ_BAND_VALUE0 + (k), "0", SS_LEFT, 30 + 24 * (k), 84, 15, 8},

constexpr DialogItemTemplate kItems[] = {
    // Band trackbars with their labels and values, and their scale.
    SORVEL_BAND(0, "C0") SORVEL_BAND(1, "C1") SORVEL_BAND(2, "C2") SORVEL_BAND(3, "C3")
    SORVEL_BAND(4, "C4") SORVEL_BAND(5, "C5") SORVEL_BAND(6, "C6") SORVEL_BAND(7, "C7")
    SORVEL_BAND(8, "C8") SORVEL_BAND(9, "C9") SORVEL_BAND(10, "C10")
    {K::Static, -1, "12", SS_RIGHT, 4, 18, 16, 8},
    {K::Static, -1, "0", SS_RIGHT, 4, 38, 16, 8},
    {K::Static, -1, "-12", SS_RIGHT, 4, 56, 16, 8},
    {K::Static, -1, "-24", SS_RIGHT, 4, 76, 16, 8},
    {K::Static, -1, "dB", SS_RIGHT, 4, 84, 16, 8},

    // Equaliser switch, Q, presets, Reset, Close.
    {K::CheckBox, IDC_EQ_ENABLE, "EQを有効にする", kTab, 12, 102, 68, 10},
    {K::Static, -1, "Q値", SS_LEFT, 87, 104, 14, 8},
    {K::Edit, IDC_EQ_Q, nullptr, ES_AUTOHSCROLL | kTab, 105, 102, 30, 12},
    {K::PushButton, IDC_EQ_PRESET1, "1", kTab, 151, 102, 12, 12},
    {K::PushButton, IDC_EQ_PRESET2, "2", kTab, 169, 102, 12, 12},
    {K::PushButton, IDC_EQ_PRESET3, "3", kTab, 187, 102, 12, 12},
    {K::PushButton, IDC_EQ_PRESET4, "4", kTab, 205, 102, 12, 12},
    {K::Static, IDC_EQ_CTRL_CLICK, "Ctrl+Clickで保存", SS_LEFT, 159, 95, 62, 8},
    {K::PushButton, IDC_EQ_RESET, "Reset", kTab, 223, 102, 24, 12},
    {K::PushButton, IDC_EQ_CLOSE, "閉じる", kTab, 257, 101, 30, 14},

    // Scale of the filter graph (painted by the program below the title).
    {K::Static, -1, "フィルタ特性", SS_LEFT, 132, 118, 39, 8},
    {K::Static, -1, "dB", SS_LEFT, 3, 118, 12, 8},
    {K::Static, -1, "12", SS_LEFT, 3, 126, 12, 8},
    {K::Static, -1, "0", SS_LEFT, 3, 156, 12, 8},
    {K::Static, -1, "-12", SS_LEFT, 0, 186, 15, 8},
    {K::Static, -1, "-24", SS_LEFT, 0, 216, 15, 8},
    {K::Static, -1, "C0", SS_LEFT, 13, 223, 10, 8},
    {K::Static, -1, "C5", SS_LEFT, 145, 223, 10, 8},
    {K::Static, -1, "C10", SS_LEFT, 274, 223, 15, 8},
    {K::EtchedLine, -1, nullptr, 0, 1, 238, 296, 1},

    // Reverb.
    {K::CheckBox, IDC_REVERB_ENABLE, "Reverbを有効にする", kTab, 13, 254, 82, 10},
    {K::Static, -1, "Attenuation", SS_RIGHT, 105, 249, 52, 8},
    {K::Static, -1, "Delay", SS_RIGHT, 105, 262, 52, 8},
    {K::Static, -1, "Repeat", SS_RIGHT, 105, 273, 52, 8},
    {K::Trackbar, IDC_REVERB_ATTENUATION, nullptr, TBS_NOTICKS | kTab, 161, 250, 98, 9},
    {K::Trackbar, IDC_REVERB_DELAY, nullptr, TBS_NOTICKS | kTab, 161, 262, 98, 9},
    {K::Trackbar, IDC_REVERB_REPEAT, nullptr, TBS_NOTICKS | kTab, 161, 273, 98, 9},
    {K::Static, IDC_REVERB_ATTENUATION_VALUE, "", SS_LEFT, 262, 249, 32, 8},
    {K::Static, IDC_REVERB_DELAY_VALUE, "", SS_LEFT, 262, 262, 32, 8},
    {K::Static, IDC_REVERB_REPEAT_VALUE, "", SS_LEFT, 262, 273, 30, 8},
    {K::PushButton, IDC_REVERB_DEFAULT, "Default", kTab, 67, 270, 33, 12},

    // Scale of the impulse-response graph.
    {K::Static, -1, "インパルス応答", SS_LEFT, 125, 285, 48, 8},
    {K::Static, -1, "1.0", SS_LEFT, 18, 291, 14, 8},
    {K::Static, -1, "0.5", SS_LEFT, 18, 322, 14, 8},
    {K::Static, -1, "0", SS_LEFT, 25, 358, 8, 8},
    {K::Static, -1, "0.5", SS_LEFT, 111, 358, 14, 8},
    {K::Static, -1, "1.0", SS_LEFT, 196, 358, 14, 8},
    {K::Static, -1, "1.5 sec", SS_LEFT, 267, 358, 30, 8},
};

#undef SORVEL_BAND

constexpr platform::ui::DialogTemplate kTemplate = {
    IDD_EFFECT_DIALOG, "Sound Effect (Graphic Equalizer & Reverb)", "MS Shell Dlg", 8,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 298, 369, kItems, std::size(kItems), 6, 13};

}  // namespace

const platform::ui::DialogTemplate& EffectDialogTemplate() { return kTemplate; }

}  // namespace resources

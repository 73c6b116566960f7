// Template 145: the settings dialog, 202 × 294 dialog units in "MS Shell Dlg" 8 points.
//
// One column from the top: the two sound devices, the voice delay, the tuning of A4, the output
// folder and the converter (each a "..." picker over the path it shows), the MIDI instrument
// with its examples, the TD-PSOLA batch setting, the volume graph, then OK and Cancel.
#include "platform/ui/restypes.h"
#include "resources/resource_ids.h"

namespace resources {
namespace {

using platform::ui::DialogItemTemplate;
using K = platform::ui::ItemKind;

constexpr DWORD kTab = WS_TABSTOP;
constexpr DWORD kPath = SS_LEFT | SS_NOPREFIX | SS_SUNKEN | SS_CENTERIMAGE;

constexpr DialogItemTemplate kItems[] = {
    {K::Static, -1, "録音デバイス", SS_LEFT, 7, 7, 120, 8},
    {K::ComboBox, IDC_SET_WAVE_IN, nullptr, kTab, 7, 17, 188, 100},
    {K::Static, -1, "再生デバイス", SS_LEFT, 7, 35, 120, 8},
    {K::ComboBox, IDC_SET_WAVE_OUT, nullptr, kTab, 7, 45, 188, 100},

    {K::Static, -1, "音声遅延", SS_LEFT, 7, 67, 40, 8},
    {K::RadioButton, IDC_SET_LATENCY_STANDARD, "標準", WS_GROUP | kTab, 50, 66, 36, 10},
    {K::RadioButton, IDC_SET_LATENCY_SMALL, "小（動作しない場合あり）", 0, 88, 66, 107, 10},

    {K::Static, -1, "A4の周波数", SS_LEFT, 7, 86, 50, 8},
    {K::Edit, IDC_SET_A4, nullptr, ES_AUTOHSCROLL | kTab, 60, 84, 30, 12},
    {K::Static, -1, "Hz", SS_LEFT, 93, 86, 12, 8},

    {K::Static, -1, "出力WAV、Dumpの保存先", SS_LEFT, 7, 106, 150, 8},
    {K::PushButton, IDC_SET_FOLDER, "...", kTab, 175, 104, 20, 12},
    {K::Static, IDC_SET_FOLDER_PATH, "", kPath, 7, 118, 188, 11},

    {K::Static, -1, "EcoDecoTooLの場所", SS_LEFT, 7, 138, 150, 8},
    {K::PushButton, IDC_SET_CONVERTER, "...", kTab, 175, 136, 20, 12},
    {K::Static, IDC_SET_CONVERTER_PATH, "", kPath, 7, 150, 188, 11},

    {K::Static, -1, "MIDI出力のInstrument No.", SS_LEFT, 7, 172, 100, 8},
    {K::Edit, IDC_SET_MIDI, nullptr, ES_AUTOHSCROLL | kTab, 110, 170, 30, 12},
    {K::Static, -1, "Examples         1:Piano  25:Guitar 49:Strings  74:Flute   0:None", SS_LEFT, 7, 186, 188, 18},

    {K::Static, -1, "*** TD-PSOLAの設定 ***", SS_LEFT, 7, 210, 150, 8},
    {K::Static, -1, "バッチ処理時のオーバーサンプリング", SS_LEFT, 7, 224, 130, 8},
    // Items in ascending order, as a sorted list keeps them.
    {K::ComboBox, IDC_SET_OVERSAMPLING, nullptr, kTab, 140, 222, 40, 60},
    {K::CheckBox, IDC_SET_VOLUME_GRAPH, "音量のグラフ表示を行う", kTab, 7, 242, 140, 10},

    {K::PushButton, IDC_SET_OK, "OK", BS_DEFPUSHBUTTON | kTab, 84, 270, 52, 14},
    {K::PushButton, IDC_SET_CANCEL, "キャンセル", kTab, 143, 270, 52, 14},
};

constexpr platform::ui::DialogTemplate kTemplate = {
    IDD_SETTING_DIALOG, "ソルベルの設定", "MS Shell Dlg", 8, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    202, 294, kItems, std::size(kItems)};

}  // namespace

const platform::ui::DialogTemplate& SettingDialogTemplate() { return kTemplate; }

}  // namespace resources

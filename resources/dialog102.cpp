// Template 102: the main dialog, 503 × 239 dialog units in "MS UI Gothic" 9 points (7 × 13
// pixel base units, so 880 × 388 client pixels).
//
// Left half: run buttons and time, the input level meter, the method, the voice group and the
// output options. Right half: the analyser frame 1032 at client pixels (397, 31), large enough
// for the 452 × 260 analyser window, with the pitch view's note labels drawn by the program at
// x 380..396 and its volume labels at x 852..872 (kept free of controls), and the spectrum
// level labels 1038..1056 beside the frame at the spectrum's 0, -40, -80 and -120 dB rows.
// Under the frame: the TD-PSOLA controls, and in the same place (hidden at first) the spectrum
// analyser's axis and vocal-cut radios. The level meter bars are drawn by the program at client
// pixels 318..337 × 28..88, inside the "Input Level" group; no control covers them.
#include "platform/ui/restypes.h"
#include "resources/resource_ids.h"

namespace resources {
namespace {

using platform::ui::DialogItemTemplate;
using K = platform::ui::ItemKind;

constexpr DWORD kTab = WS_TABSTOP;

constexpr DialogItemTemplate kItems[] = {
    // Group boxes first, so that the controls lie above them.
    {K::GroupBox, -1, "変換方式", 0, 4, 49, 158, 31},
    {K::GroupBox, -1, "Input Level", 0, 166, 4, 48, 58},
    {K::GroupBox, -1, "声の高さと性質の調整", 0, 4, 82, 210, 92},
    {K::GroupBox, -1, "出力", 0, 4, 178, 210, 58},

    // Run buttons (images set by the program) and the time.
    {K::PushButton, IDC_LIVE, "LIVE", BS_BITMAP | kTab, 5, 5, 29, 24},
    {K::PushButton, IDC_OPEN, "OPEN", BS_BITMAP | kTab, 37, 5, 29, 24},
    {K::PushButton, IDC_PLAY, "PLAY", BS_BITMAP | kTab, 69, 5, 29, 24},
    {K::PushButton, IDC_STOP, "STOP", BS_BITMAP | kTab, 101, 5, 29, 24},
    {K::PushButton, IDC_EXIT, "EXIT", BS_BITMAP | kTab, 133, 5, 29, 24},
    {K::Static, -1, "Time", SS_LEFT, 6, 37, 20, 8},
    {K::Static, IDC_TIME, "  0:00", SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN, 26, 35, 64, 11},
    {K::CheckBox, IDC_REPEAT, "Repeat", kTab, 96, 36, 44, 10},
    {K::PushButton, IDC_HELP, "Button1", BS_BITMAP | kTab, 146, 33, 16, 15},

    // Input level: the program draws the bars; the scale labels use its small font.
    {K::Static, IDC_METER_TOP, "0 dB", SS_LEFT, 195, 15, 17, 6},
    {K::Static, IDC_METER_MID, "-18", SS_LEFT, 195, 50, 17, 6},

    // Method.
    {K::RadioButton, IDC_TD_PSOLA, "TD-PSOLA （単音向け）", WS_GROUP | kTab, 10, 59, 148, 9},
    {K::RadioButton, IDC_PHASE_VOCODER, "Phase Vocoder （複数音向け）", 0, 10, 69, 148, 9},

    // Voice: pitch and formant, fixed settings, presets, key range of the voice.
    {K::Static, IDC_PITCH_LABEL, "Pitch", SS_LEFT, 10, 97, 28, 8},
    {K::Trackbar, IDC_SLIDER_PITCH, nullptr, TBS_AUTOTICKS | WS_GROUP | kTab, 38, 92, 126, 17},
    {K::Static, IDC_PITCH_VALUE, "", SS_LEFT, 166, 97, 46, 8},
    {K::Static, IDC_FORMANT_LABEL, "Formant", SS_LEFT, 10, 116, 28, 8},
    {K::Trackbar, IDC_SLIDER_FORMANT, nullptr, TBS_AUTOTICKS | kTab, 38, 111, 126, 17},
    {K::Static, IDC_FORMANT_VALUE, "", SS_LEFT, 166, 116, 46, 8},
    {K::PushButton, IDC_MAN_TO_WOMAN, "M→W", kTab, 10, 133, 30, 14},
    {K::PushButton, IDC_WOMAN_TO_MAN, "W→M", kTab, 42, 133, 30, 14},
    {K::PushButton, IDC_RESET, "Reset", kTab, 74, 133, 30, 14},
    {K::Static, -1, "Preset", SS_RIGHT, 108, 136, 26, 8},
    {K::PushButton, IDC_PRESET1, "1", kTab, 138, 133, 16, 14},
    {K::PushButton, IDC_PRESET2, "2", kTab, 156, 133, 16, 14},
    {K::PushButton, IDC_PRESET3, "3", kTab, 174, 133, 16, 14},
    {K::PushButton, IDC_PRESET4, "4", kTab, 192, 133, 16, 14},
    {K::Static, IDC_MIN_LABEL, "Min", SS_LEFT, 10, 155, 16, 8},
    {K::ComboBox, IDC_MIN_KEY, nullptr, kTab, 28, 153, 50, 120},
    {K::Static, IDC_MAX_LABEL, "Max", SS_LEFT, 86, 155, 16, 8},
    {K::ComboBox, IDC_MAX_KEY, nullptr, kTab, 104, 153, 50, 120},

    // Output options, the effect dialog and the settings.
    {K::CheckBox, IDC_SAVE, "出力音声をファイルに保存する", kTab, 10, 190, 136, 10},
    {K::CheckBox, IDC_THRU, "Thru", kTab, 10, 206, 40, 10},
    {K::CheckBox, IDC_ORIGINAL, "Original", kTab, 54, 206, 50, 10},
    {K::PushButton, IDC_EFFECT, "Effect", kTab, 152, 188, 56, 14},
    {K::PushButton, IDC_SETTING, "設定", kTab, 152, 206, 56, 14},
    {K::Static, IDC_PROC_TIME, "", SS_LEFT, 10, 223, 136, 8},

    // Analyser: title, key range of the pitch view, the frame the analyser window sits on, the
    // spectrum level labels.
    {K::Static, IDC_ANALYZER_TITLE, "Pitch Analyzer", SS_LEFT, 227, 8, 110, 9},
    {K::ComboBox, IDC_KEY_RANGE, nullptr, kTab, 440, 3, 44, 100},
    {K::Frame, IDC_ANALYZER_FRAME, nullptr, 0, 227, 19, 259, 161},
    {K::Static, IDC_DB_LABEL0, "0 dB", SS_LEFT, 487, 15, 16, 8, true},
    {K::Static, IDC_DB_LABEL1, "-40", SS_LEFT, 487, 65, 16, 8, true},
    {K::Static, IDC_DB_LABEL2, "-80", SS_LEFT, 487, 114, 16, 8, true},
    {K::Static, IDC_DB_LABEL3, "-120", SS_LEFT, 487, 163, 16, 8, true},

    // Pitch analyser (TD-PSOLA) controls under the frame.
    {K::EtchedLine, IDC_MARKER, nullptr, 0, 227, 181, 259, 1},
    {K::ScrollBar, IDC_HISTORY_SCROLL, nullptr, 0, 227, 184, 259, 10},
    {K::Static, IDC_NOTE_LABEL, "Note", SS_LEFT, 227, 202, 20, 8},
    {K::Static, IDC_NOTE, "", SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN, 248, 200, 30, 11},
    {K::CheckBox, IDC_DUMP, "Dump", kTab, 284, 201, 37, 10},
    {K::PushButton, IDC_CHORUS_FILE, "Chorus file", kTab, 324, 199, 50, 14},
    {K::PushButton, IDC_BATCH, "Batch", kTab, 378, 199, 38, 14},
    {K::Static, IDC_BUFFER_FULL, "Buffer Full", SS_LEFT, 420, 202, 60, 8, true},
    {K::Static, IDC_CORR_TH_LABEL, "CorrTh", SS_LEFT, 227, 220, 26, 8},
    {K::Edit, IDC_CORR_TH, nullptr, ES_AUTOHSCROLL | kTab, 254, 218, 30, 12},
    {K::ComboBox, IDC_VOICE_MODE, nullptr, kTab, 292, 217, 78, 100},

    // Spectrum analyser (phase vocoder) controls, in the same place; hidden until chosen.
    {K::Static, IDC_AXIS_CAPTION, "周波数軸", SS_LEFT, 227, 188, 52, 8, true},
    {K::RadioButton, IDC_AXIS_LOG, "Log", WS_GROUP | kTab, 282, 187, 28, 10, true},
    {K::RadioButton, IDC_AXIS_LINEAR1, "Linear1", 0, 312, 187, 40, 10, true},
    {K::RadioButton, IDC_AXIS_KEYBOARD, "Keyboard", 0, 354, 187, 46, 10, true},
    {K::RadioButton, IDC_AXIS_LINEAR2, "Linear2", 0, 402, 187, 40, 10, true},
    {K::Static, IDC_VOCAL_CAPTION, "ボーカルカット", SS_LEFT, 227, 204, 52, 8, true},
    {K::RadioButton, IDC_VOCAL_OFF, "OFF", WS_GROUP | kTab, 282, 203, 28, 10, true},
    {K::RadioButton, IDC_VOCAL_CUT, "カット", 0, 312, 203, 36, 10, true},
    {K::RadioButton, IDC_VOCAL_EXTRACT, "抽出", 0, 354, 203, 30, 10, true},
};

constexpr platform::ui::DialogTemplate kTemplate = {
    IDD_SORVEL_DIALOG, "ソルベル", "MS UI Gothic", 9,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | WS_VISIBLE,
    503, 239, kItems, std::size(kItems)};

}  // namespace

const platform::ui::DialogTemplate& MainDialogTemplate() { return kTemplate; }

}  // namespace resources

#include "app/SettingDlg.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "app/SettingsFile.h"
#include "audio/ConverterBridge.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/msgbox.h"
#include "resources/resource_ids.h"

namespace {

constexpr std::size_t kMaxNumberChars = 99;
constexpr const char* kNoConverterText = "設定なし";
constexpr const char* kFolderLineBreakMessage =
    "改行を含むフォルダ名は設定ファイルに保存できません。別のフォルダを選んで下さい。";
constexpr const char* kFolderTooLongMessage = "フォルダのパスが長すぎます。別のフォルダを選んで下さい。";
// The converter's own name first; any other program the user can run may be chosen too.
constexpr const char* kConverterFilter = "EcoDecoTooL.exe|EcoDecoTooL.exe|すべてのファイル(*)|*||";
constexpr const char* kNotAProgramMessage =
    "選んだファイルは実行できるプログラムではありません。変換に使うプログラムを選んで下さい。";

template <typename Caps>
void FillDeviceCombo(CComboBox& combo, const Caps* table, int count, int selected) {
    combo.ResetContent();
    for (int i = 0; i <= count && i < CSettingDlg::kDeviceTableSize; ++i) {
        // A name may fill its whole array: never read past it.
        combo.AddString(std::string(table[i].szPname, strnlen(table[i].szPname, sizeof table[i].szPname)));
    }
    combo.SetCurSel(selected);
}

}  // namespace

bool ReadLeadingInt(const std::string& text, int* value) {
    const std::string head = text.substr(0, kMaxNumberChars);
    std::size_t i = 0;
    while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) ++i;
    bool negative = false;
    if (i < head.size() && (head[i] == '+' || head[i] == '-')) negative = head[i++] == '-';
    long long v = 0;
    for (; i < head.size() && std::isdigit(static_cast<unsigned char>(head[i])); ++i) {
        v = v * 10 + (head[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    *value = static_cast<int>(v);
    return true;
}

BEGIN_MESSAGE_MAP(CSettingDlg, CDialog)
    ON_BN_CLICKED(IDC_SET_OK, &CSettingDlg::OnBnClickedOk)
    ON_BN_CLICKED(IDC_SET_CANCEL, &CSettingDlg::OnBnClickedCancel)
    ON_BN_CLICKED(IDC_SET_CONVERTER, &CSettingDlg::OnBnClickedConverter)
    ON_BN_CLICKED(IDC_SET_FOLDER, &CSettingDlg::OnBnClickedFolder)
END_MESSAGE_MAP()

CSettingDlg::CSettingDlg(CWnd* pParent) : CDialog(IDD, pParent), m_patchConverter(PatchConverterIni) {}

void CSettingDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SET_CONVERTER_PATH, m_staticConverter);
    DDX_Control(pDX, IDC_SET_OVERSAMPLING, m_comboOverSampling);
    DDX_Control(pDX, IDC_SET_A4, m_editA4);
    DDX_Control(pDX, IDC_SET_FOLDER_PATH, m_staticFolder);
    DDX_Control(pDX, IDC_SET_VOLUME_GRAPH, m_chkVolumeGraph);
    DDX_Control(pDX, IDC_SET_WAVE_IN, m_comboWaveIn);
    DDX_Control(pDX, IDC_SET_WAVE_OUT, m_comboWaveOut);
    DDX_Control(pDX, IDC_SET_MIDI, m_editMidi);
}

BOOL CSettingDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_editA4.SetWindowText(std::to_string(m_nA4));
    m_staticConverter.SetWindowText(m_strConverterPath == settings_default::kConverterPath ? kNoConverterText : m_strConverterPath);
    m_comboOverSampling.ResetContent();
    for (const char* factor : {"1", "2", "4"}) m_comboOverSampling.AddString(factor);
    switch (m_nBatchOverSampling) {
    case 1: m_comboOverSampling.SetCurSel(0); break;
    case 2: m_comboOverSampling.SetCurSel(1); break;
    case 3:
    case 4: m_comboOverSampling.SetCurSel(2); break;
    default: break;
    }
    m_staticFolder.SetWindowText(m_strOutputFolder);
    m_chkVolumeGraph.SetCheck(m_bShowVolumeGraph ? BST_CHECKED : BST_UNCHECKED);
    FillDeviceCombo(m_comboWaveIn, m_waveInCaps, m_nWaveInCount, m_nWaveInIndex);
    FillDeviceCombo(m_comboWaveOut, m_waveOutCaps, m_nWaveOutCount, m_nWaveOutIndex);
    if (m_nRunState != 0) {
        m_comboWaveIn.EnableWindow(FALSE);
        m_comboWaveOut.EnableWindow(FALSE);
    }
    // Counted from 1 as the examples beside the field count them; 0 is no MIDI.
    m_editMidi.SetWindowText(std::to_string(m_nMidiProgram + 1));
    CheckRadioButton(IDC_SET_LATENCY_STANDARD, IDC_SET_LATENCY_SMALL,
                     m_nLatencyMode != 0 ? IDC_SET_LATENCY_SMALL : IDC_SET_LATENCY_STANDARD);
    return TRUE;
}

void CSettingDlg::OnBnClickedOk() {
    int a4 = 0;
    if (!ReadLeadingInt(m_editA4.GetWindowText(), &a4) || a4 < 220 || a4 > 880) a4 = 440;
    m_nA4 = a4;

    // A list without a selection keeps the value it had.
    const int factor = m_comboOverSampling.GetCurSel();
    if (factor >= 0 && factor <= 2) m_nBatchOverSampling = 1 << factor;
    m_bShowVolumeGraph = m_chkVolumeGraph.GetCheck() == BST_CHECKED ? TRUE : FALSE;
    if (m_comboWaveIn.GetCurSel() >= 0) m_nWaveInIndex = m_comboWaveIn.GetCurSel();
    if (m_comboWaveOut.GetCurSel() >= 0) m_nWaveOutIndex = m_comboWaveOut.GetCurSel();

    int midi = 0;
    if (!ReadLeadingInt(m_editMidi.GetWindowText(), &midi)) midi = 1;  // overflow: instrument 0
    midi = midi > INT_MIN ? midi - 1 : 0;
    m_nMidiProgram = (midi < -1 || midi > 127) ? 0 : midi;

    m_nLatencyMode = IsDlgButtonChecked(IDC_SET_LATENCY_SMALL) == BST_CHECKED ? 1 : 0;
    EndDialog(IDOK);
}

void CSettingDlg::OnBnClickedCancel() { EndDialog(IDCANCEL); }

void CSettingDlg::OnBnClickedFolder() {
    std::string folder;
    if (!platform::ui::BrowseForFolder(GetTopLevelParent(), "フォルダの選択", &folder)) return;
    // The folder is one line of the settings file: a line break would split it, a path longer
    // than a line would be lost at the next start.
    if (folder.find_first_of("\r\n") != std::string::npos) {
        AfxMessageBox(kFolderLineBreakMessage, MB_OK | MB_ICONWARNING);
        return;
    }
    if (folder.size() > CSettingsFile::kMaxLineLength - 1) {
        AfxMessageBox(kFolderTooLongMessage, MB_OK | MB_ICONWARNING);
        return;
    }
    m_strOutputFolder = folder;
    m_staticFolder.SetWindowText(m_strOutputFolder);
}

void CSettingDlg::OnBnClickedConverter() {
    CFileDialog dlg(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, kConverterFilter, this);
    if (dlg.DoModal() != IDOK) return;
    const std::string path = dlg.GetPathName();
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) return;
    // Only what the settings file keeps at the next start is accepted here, so a choice is
    // never dropped silently later.
    if (!CSettingsFile::KeepsConverterPath(path)) {
        AfxMessageBox(kNotAProgramMessage, MB_OK | MB_ICONWARNING);
        return;
    }
    if (!m_patchConverter || !m_patchConverter(path, m_strAppFolder)) return;
    m_strConverterPath = path;
    m_staticConverter.SetWindowText(m_strConverterPath);
}

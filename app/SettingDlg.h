// CSettingDlg: the modal settings dialog (template 145). It works on copies of the main
// dialog's values, which the settings command copies in before and takes back only after OK.
// The folder and converter pickers write into the copies at once. User-interface thread only.
#pragma once

#include <functional>
#include <string>

#include "app/SettingsFile.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "platform/wave/waveapi.h"

class CSettingDlg : public CDialog {
public:
    static constexpr UINT IDD = 145;
    static constexpr int kDeviceTableSize = 100;

    explicit CSettingDlg(CWnd* pParent = nullptr);

    void DoDataExchange(CDataExchange* pDX) override;
    // Shows the copies: A4, converter ("設定なし" when none), oversampling, folder, volume graph,
    // both device lists (locked during a run), MIDI instrument counted from 1, voice delay.
    BOOL OnInitDialog() override;

    // OK 1111: reads every field into the copies and ends with IDOK. Numbers out of range (or
    // beyond what an int holds) become their defaults; a list without a selection keeps the copy.
    void OnBnClickedOk();
    // Cancel 1112: ends with IDCANCEL; nothing is taken back.
    void OnBnClickedCancel();
    // "..." 1108: the converter program; kept only when its own settings could be prepared.
    void OnBnClickedConverter();
    // "..." 1110: the output folder.
    void OnBnClickedFolder();

    // --- Controls ---------------------------------------------------------------------------
    CStatic m_staticConverter;     // 1113
    CComboBox m_comboOverSampling; // 1057: "1", "2", "4"
    CEdit m_editA4;                // 1109
    CStatic m_staticFolder;        // 1114
    CButton m_chkVolumeGraph;      // 1119
    CComboBox m_comboWaveIn;       // 1116
    CComboBox m_comboWaveOut;      // 1124
    CEdit m_editMidi;              // 1125

    // --- The copies ---------------------------------------------------------------------------
    std::string m_strConverterPath = settings_default::kConverterPath;  // "none" when not set
    std::string m_strAppFolder;               // the program folder, for the converter's settings
    std::string m_strOutputFolder;            // ends with '/'
    int m_nA4 = settings_default::kA4;
    int m_nBatchOverSampling = settings_default::kBatchOverSampling;  // 1, 2 or 4
    BOOL m_bShowVolumeGraph = settings_default::kShowVolumeGraph;
    int m_nWaveInCount = 0;
    int m_nWaveOutCount = 0;
    WAVEINCAPSA m_waveInCaps[kDeviceTableSize] = {};
    WAVEOUTCAPSA m_waveOutCaps[kDeviceTableSize] = {};
    int m_nWaveInIndex = 0;
    int m_nWaveOutIndex = 0;
    int m_nRunState = 0;     // non-zero: a run goes on, the devices cannot be changed
    int m_nMidiProgram = settings_default::kMidiProgram;  // -1 none, 0..127
    int m_nLatencyMode = settings_default::kLatencyMode;  // 0 standard, 1 small

    // Prepares a chosen converter (converter path, program folder); TRUE when it can be used.
    // The converter bridge's PatchConverterIni (which asks the user and tells its failures).
    std::function<BOOL(const std::string&, const std::string&)> m_patchConverter;

    DECLARE_MESSAGE_MAP()
};

// The integer at the start of text (after blanks, with a sign) as the C library reads it,
// looking at no more than its first 99 characters; 0 when it starts with no number. False when
// the number does not fit in an int.
bool ReadLeadingInt(const std::string& text, int* value);

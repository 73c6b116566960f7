// Start-up of the main dialog: defaults, device tables, settings file, system report, controls,
// tooltips, images, key table, trackbars and the shared buffers, in that order.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/SystemReport.h"
#include "app/WaveInOutDlg.h"
#include "platform/base/fileopen.h"
#include "platform/base/clock.h"
#include "platform/ui/msgbox.h"
#include "resources/resource_ids.h"

namespace {

constexpr const char* kMapperName = "WAVE MAPPER";
constexpr const char* kAllocFailedText = "0-00a メモリの確保に失敗しました。";

struct ToolTipRow {
    int id;
    const char* text;
};

// The controls with tooltips, in the order they are added.
constexpr ToolTipRow kToolTips[] = {
    {IDC_LIVE, "マイク入力"},
    {IDC_OPEN, "ファイル入力"},
    {IDC_STOP, "STOP"},
    {IDC_EXIT, "終了"},
    {IDC_SAVE, "出力音声を保存する"},
    {IDC_CHORUS_FILE, "コーラスファイルを読み込む"},
    {IDC_THRU, "スルーテスト"},
    {IDC_ORIGINAL, "オリジナル音声出力"},
    {IDC_DUMP, "ピッチをファイルに出力する"},
    {IDC_PLAY, "PLAY/PAUSE"},
    {IDC_EFFECT, "サウンド・エフェクト"},
    {IDC_HELP, "ヘルプ"},
    {IDC_MAN_TO_WOMAN, "男声から女声へ"},
    {IDC_WOMAN_TO_MAN, "女声から男声へ"},
    {IDC_PRESET1, "クリックでロード、Ctrl+クリックで保存"},
    {IDC_PRESET2, "クリックでロード、Ctrl+クリックで保存"},
    {IDC_PRESET3, "クリックでロード、Ctrl+クリックで保存"},
    {IDC_PRESET4, "クリックでロード、Ctrl+クリックで保存"},
    {IDC_RESET, "初期値に戻す"},
    {IDC_SLIDER_PITCH, "声の高さを変化"},
    {IDC_SLIDER_FORMANT, "声の性質を変化"},
    {IDC_MIN_KEY, "声の最低音"},
    {IDC_MAX_KEY, "声の最高音"},
    {IDC_KEY_RANGE, "鍵盤表示の最低音"},
    {IDC_BATCH, "バッチ処理"},
    {IDC_CORR_TH, "相関係数の閾値"},
    {IDC_SETTING, "ソルベルの設定"},
    {IDC_VOICE_MODE, "方式選択・特殊効果"},
};

template <typename Caps>
std::vector<std::string> TableNames(const Caps* table, int count) {
    std::vector<std::string> names;
    for (int i = 0; i <= count; ++i) {
        // The name field may fill its whole array: never read past it.
        names.emplace_back(table[i].szPname, strnlen(table[i].szPname, sizeof table[i].szPname));
    }
    return names;
}

}  // namespace

BOOL CWaveInOutDlg::OnInitDialog() {
    // 1. The base dialog: controls bound and made from the template.
    CDialog::OnInitDialog();

    // 2. The window menu's about item has no place on Linux desktops; the about box is reached
    //    through the popup menu.

    // 3. Window icons.
    if (m_hIcon == nullptr) m_hIcon = LoadIconResource(IDR_MAINFRAME);
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    // 4. The small font of the meter scale and the processing time.
    m_fontSmall.CreateFont(9, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "ＭＳ ゴシック");
    m_staticMeterTop.SetFont(&m_fontSmall);
    m_staticMeterMid.SetFont(&m_fontSmall);
    m_staticProcTime.SetFont(&m_fontSmall);

    // 5. Defaults, before the settings file.
    namespace def = settings_default;
    m_nMethod = def::kMethod;
    m_nAxisMode = def::kAxisMode;
    m_bEffectShown = FALSE;
    m_pEQDlg.store(nullptr, std::memory_order_release);
    for (auto& preset : m_nPresetGain) std::fill(std::begin(preset), std::end(preset), 0);
    std::fill(std::begin(m_fPresetQ), std::end(m_fPresetQ), def::kPresetQ);
    for (auto& preset : m_voicePreset) preset = VoicePreset{};
    m_nBatchOverSampling = def::kBatchOverSampling;
    m_nSaveCounter = 0;
    m_nDumpCounter = 0;
    m_nOverSampling = 1;
    m_strConverterPath = def::kConverterPath;
    m_nA4.store(def::kA4);
    m_strOutputFolder = m_strAppFolder;
    m_bShowVolumeGraph = def::kShowVolumeGraph;
    m_fSemitonesPerLn = 17.31234f;
    m_fReverbAttenuation = def::kReverbAttenuation;
    m_fReverbDelay = def::kReverbDelay;
    m_nReverbRepeat = def::kReverbRepeat;
    m_nMidiProgram = def::kMidiProgram;

    // 6. Device tables: entry 0 the mapper, then the devices.
    BuildDeviceTables();

    // 7. The settings file.
    LoadSettings();

    // 8. The system report heads the trace file.
    WriteSystemReport();
    // What a conversion left aside when the program was killed goes back to its place; what
    // cannot is told.
    RecoverConverterSetAsideAtStart();

    // 9. Level labels of the keyboard axis (2 or 4 pixels per dB).
    if (m_nAxisMode == 2) {
        m_staticDbLabel1.SetWindowText("-20");
        m_staticDbLabel2.SetWindowText("-40");
        m_staticDbLabel3.SetWindowText("-60");
    }

    // 10. Method radio and the controls only TD-PSOLA uses.
    CheckRadioButton(IDC_TD_PSOLA, IDC_PHASE_VOCODER, m_nMethod == 0 ? IDC_TD_PSOLA : IDC_PHASE_VOCODER);
    const int tdPsolaOnly = m_nMethod == 0 ? SW_SHOW : SW_HIDE;
    m_sliderFormant.ShowWindow(tdPsolaOnly);
    m_staticFormantLabel.ShowWindow(tdPsolaOnly);
    m_staticFormantValue.ShowWindow(tdPsolaOnly);
    m_comboMaxKey.ShowWindow(tdPsolaOnly);
    m_staticMaxLabel.ShowWindow(tdPsolaOnly);
    // The vocal mode is off at start, so the phase vocoder hides the lowest key as well.
    m_comboMinKey.ShowWindow(tdPsolaOnly);
    m_staticMinLabel.ShowWindow(tdPsolaOnly);

    // 11. Tooltips.
    m_toolTip.Create(this);
    for (const ToolTipRow& row : kToolTips) m_toolTip.AddTool(GetDlgItem(row.id), row.text);

    // 12. Idle.
    m_nRunState.store(0);

    // 13. Button images: LIVE, OPEN and STOP by run state, PLAY greyed until the first run.
    const UINT liveIds[3] = {IDB_LIVE, IDB_LIVE_ACTIVE, IDB_LIVE_GREY};
    const UINT stopIds[3] = {IDB_STOP_IDLE, IDB_STOP, IDB_STOP};
    const UINT openIds[3] = {IDB_OPEN, IDB_OPEN_GREY, IDB_OPEN_ACTIVE};
    for (int i = 0; i < 3; ++i) {
        m_bmpLive[i].LoadBitmap(liveIds[i]);
        m_bmpStop[i].LoadBitmap(stopIds[i]);
        m_bmpOpen[i].LoadBitmap(openIds[i]);
    }
    m_bmpExit.LoadBitmap(IDB_EXIT);
    const UINT playIds[4] = {IDB_PLAY, IDB_PLAY_GREY, IDB_PLAY_PAUSE, IDB_PLAY_GREY_LIVE};
    for (int i = 0; i < 4; ++i) m_bmpPlay[i].LoadBitmap(playIds[i]);
    m_bmpHelp.LoadBitmap(IDB_HELP);
    m_btnLive.SetBitmap(m_bmpLive[0]);
    m_btnOpen.SetBitmap(m_bmpOpen[0]);
    m_btnStop.SetBitmap(m_bmpStop[0]);
    m_btnExit.SetBitmap(m_bmpExit);
    m_btnPlay.SetBitmap(m_bmpPlay[1]);
    m_btnHelp.SetBitmap(m_bmpHelp);

    // 14. The phase vocoder: two channels at 44100 Hz.
    m_pitchScale.Init(0, 0);

    // 15. Pitch detector start values.
    m_nAmpThreshold = 655;
    m_fPeakRatio = 0.9f;
    m_strChorusFile.clear();
    m_nMarkCount.store(0);
    // No batch dialog exists yet.

    // 16. Key table from the A4 of the settings file, key names in both key combos.
    BuildKeyTable();

    // 17. Lowest note of the keyboard display.
    m_comboKeyRange.ResetContent();
    for (const char* name : {"C2", "G2", "C3", "G3", "C4"}) m_comboKeyRange.AddString(name);

    // 18. Voice modes, the speaking voice chosen.
    FillVoiceModeCombo();

    // 19. 1 ms timer resolution for the engine's sleeps (restored at close).
    timeBeginPeriod(1);

    // 20. Trackbars.
    m_sliderPitch.SetRange(-48, 48, TRUE);
    m_sliderPitch.SetPageSize(1);
    for (int tic : {-48, -24, 0, 24, 48}) m_sliderPitch.SetTic(tic);
    m_sliderFormant.SetRange(-24, 24, TRUE);
    m_sliderFormant.SetPageSize(1);
    for (int tic : {-24, -12, 0, 12, 24}) m_sliderFormant.SetTic(tic);

    // 21. Block size from the voice delay, then every shared buffer, zero-filled.
    if (!AllocStreamBuffers()) {
        WriteTrace(kAllocFailedText);
        AfxMessageBox(kAllocFailedText);
        // The close operation frees what was made and ends the dialog; the dialog is ended here
        // in any case, since nothing can run without the buffers.
        SendMessage(WM_CLOSE);
        if (!IsEnded()) EndDialog(IDCANCEL);
        return TRUE;
    }

    // 22.
    WriteTrace("0-01");

    // 23. Device ids for opening: entry 0 gives the mapper (all bits set).
    m_nWaveInId = static_cast<UINT>(m_nWaveInIndex - 1);
    m_nWaveOutId = static_cast<UINT>(m_nWaveOutIndex - 1);

    // 24. Dropped files start a file run.
    m_strDropFile.clear();
    DragAcceptFiles(TRUE);

    // 25. The analyser of the chosen method.
    m_nVocalMode = 0;
    m_nKeyRange = 3;
    SwitchAnalyzerView();

    // 26.
    m_pDumpFile = nullptr;

    // 27. Voice controls always start neutral, whatever the settings file said.
    m_sliderPitch.SetPos(0);
    m_sliderFormant.SetPos(0);
    m_comboMinKey.SetCurSel(settings_default::kMinKey);  // G_2
    m_comboMaxKey.SetCurSel(settings_default::kMaxKey);  // E_5
    m_editCorrTh.SetWindowText("0.5");
    m_comboKeyRange.SetCurSel(3);  // G3
    OnCbnSelchangeKeyRange();

    // 28.
    m_nPlayState = 0;
    m_bReplay = FALSE;

    // 29.
    WriteTrace("0-02");

    // 30. MIDI output with the stored instrument (none for -1).
    m_fftScreen.SetMidiProgram(m_nMidiProgram);

    // 31. WAV files report their failures through this dialog.
    m_waveInFmt.SetOwner(this);
    m_waveOutFmt.SetOwner(this);
    m_saveFile.SetOwner(this);
    m_inputFile.SetOwner(this);

    // 32.
    WriteTrace("0-END");
    return TRUE;
}

void CWaveInOutDlg::LoadSettings() {
    CSettingsFile settings(m_strAppFolder);
    settings.m_strOutputFolder = m_strOutputFolder;
    // This instance owns the folder's settings file: a temporary file left by a write that was
    // cut off is stale.
    CSettingsFile::RemoveStaleTemporaries(m_strAppFolder);
    settings.Read(m_strAppFolder + CSettingsFile::kFileName);

    m_nMethod = settings.m_nMethod;
    m_nAxisMode = settings.m_nAxisMode;
    m_nBatchOverSampling = settings.m_nBatchOverSampling;
    std::memcpy(m_nPresetGain, settings.m_nPresetGain, sizeof m_nPresetGain);
    std::copy(std::begin(settings.m_fPresetQ), std::end(settings.m_fPresetQ), std::begin(m_fPresetQ));
    std::copy(std::begin(settings.m_voicePreset), std::end(settings.m_voicePreset), std::begin(m_voicePreset));
    m_nSaveCounter = settings.m_nSaveCounter;
    m_nDumpCounter = settings.m_nDumpCounter;
    m_nA4.store(settings.m_nA4);
    m_strOutputFolder = settings.m_strOutputFolder;
    m_strConverterPath = settings.m_strConverterPath;
    m_bShowVolumeGraph = settings.m_bShowVolumeGraph;
    m_fReverbAttenuation = settings.m_fReverbAttenuation;
    m_fReverbDelay = settings.m_fReverbDelay;
    m_nReverbRepeat = settings.m_nReverbRepeat;
    m_nMidiProgram = settings.m_nMidiProgram;
    m_nLatencyMode = settings.m_nLatencyMode;

    // Devices by name, recording first; one that is gone is told and the mapper used.
    const DeviceChoice in = FindSavedDevice(settings.m_strWaveInName, TableNames(m_waveInCaps, m_nWaveInCount));
    if (in.notFound) AfxMessageBox(kMissingInDeviceMessage);
    m_nWaveInIndex = in.index;
    const DeviceChoice out = FindSavedDevice(settings.m_strWaveOutName, TableNames(m_waveOutCaps, m_nWaveOutCount));
    if (out.notFound) AfxMessageBox(kMissingOutDeviceMessage);
    m_nWaveOutIndex = out.index;
}

void CWaveInOutDlg::WriteSystemReport() {
    if (m_strTracePath.empty()) return;
    SystemReportInput in = CollectSystemReportInput(CSettingsFile::kVersion);
    in.inDevices = TableNames(m_waveInCaps, m_nWaveInCount);
    in.selectedInDevice = m_nWaveInIndex;
    in.outDevices = TableNames(m_waveOutCaps, m_nWaveOutCount);
    in.selectedOutDevice = m_nWaveOutIndex;
    const std::string report = FormatSystemReport(in);

    std::lock_guard<CCriticalSection> lock(m_csTrace);
    // A trace file that cannot be opened now is skipped: nothing may fail because of it. A link
    // in its place is replaced by a file of the program's own, never written through.
    if (std::FILE* fp = platform::OpenOwnRegularFile(m_strTracePath, "w")) {
        std::fwrite(report.data(), 1, report.size(), fp);
        std::fclose(fp);
    }
}

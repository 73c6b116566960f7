#include "app/WaveInOutDlg.h"

#include "platform/base/fileopen.h"
#include "platform/ui/userinput.h"
#include "platform/wave/libmessages.h"

#include <cstdio>

#include <sys/stat.h>

#include "batch/BatchDlg.h"
#include "effects/EQdlg.h"
#include "platform/base/paths.h"
#include "resources/resource_ids.h"

std::atomic<DWORD> g_dwProcStart{0};

namespace {
constexpr UINT kMainDialogTemplate = 102;
}

CWaveInOutDlg::CWaveInOutDlg() : CWaveInOutDlg(platform::ProgramFolder()) {}

CWaveInOutDlg::CWaveInOutDlg(const std::string& appFolder, CWnd* pParent) : CDialog(kMainDialogTemplate, pParent) {
    // The application icon, for the window's big and small icon and its minimised picture.
    m_hIcon = LoadIconResource(IDR_MAINFRAME);
    const std::string folder = platform::WithTrailingSlash(appFolder);
    m_strHelpPath = folder + "help/sorvel1.html";
    m_strAppFolder = folder;
    // Tracing is on only when the trace file exists now; a file made later counts from the next
    // start. Only a regular file of that name with no other name counts: a link there (perhaps
    // planted by someone else in a shared folder), a second name of another file or a pipe
    // leaves the trace off, and the start goes on.
    m_strTracePath = folder + "debug.txt";
    struct stat st {};
    if (::lstat(m_strTracePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1) m_strTracePath.clear();
    // What the sound libraries have to say goes into the trace, not onto standard error.
    if (IsTracing()) platform::wave::SetSoundLibraryMessageSink([this](const std::string& text) { WriteTrace("sound: " + text); });
    if (IsTracing()) platform::ui::SetWindowSystemNoticeSink([this](const std::string& text) { WriteTrace("window: " + text); });
}

CWaveInOutDlg::~CWaveInOutDlg() {
    if (IsTracing()) platform::wave::SetSoundLibraryMessageSink(nullptr);
    if (IsTracing()) platform::ui::SetWindowSystemNoticeSink(nullptr);
    // Every worker is joined before anything it uses goes, also when the dialog ends without
    // the close operation.
    m_bPsolaRun.store(FALSE, std::memory_order_release);
    m_bThreadRun.store(FALSE, std::memory_order_release);
    m_bPlayThreadRun.store(FALSE, std::memory_order_release);
    m_analyzeThread.Join();
    m_synthThread.Join();
    JoinPhaseVocoderThread();
    m_playThread.Join();
    StopBatch();
    WriteTrace("99-01");
    // Devices still open (a dialog that never closed) are returned without messages.
    if (m_hWaveIn != nullptr) {
        waveInReset(m_hWaveIn);
        waveInClose(m_hWaveIn);
        m_hWaveIn = nullptr;
    }
    if (m_hWaveOut != nullptr) {
        waveOutReset(m_hWaveOut);
        waveOutClose(m_hWaveOut);
        m_hWaveOut = nullptr;
    }
    m_saveFile.Close();
    CloseDumpFile();
    if (m_inputFile.IsOpen()) m_inputFile.Close();
    // The converter's temporary file goes only when this process made it: a file of that name
    // that was there before belongs to someone else.
    if (m_bMadeTempWav && !m_strAppFolder.empty()) std::remove((m_strAppFolder + "temp.wav").c_str());
    WriteTrace("99-END");
    if (CEQdlg* effects = m_pEQDlg.exchange(nullptr, std::memory_order_acq_rel)) {
        effects->DestroyWindow();
        delete effects;
    }
    delete m_pBatchDlg;
    m_pBatchDlg = nullptr;
    FreeStreamBuffers();
}

void CWaveInOutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, 1003, m_sliderPitch);
    DDX_Control(pDX, 1004, m_sliderFormant);
    DDX_Control(pDX, 1005, m_staticPitchValue);
    DDX_Control(pDX, 1006, m_staticFormantValue);
    DDX_Control(pDX, 1012, m_editCorrTh);
    DDX_Control(pDX, 1015, m_staticNote);
    DDX_Control(pDX, 1000, m_btnLive);
    DDX_Control(pDX, 1001, m_btnStop);
    DDX_Control(pDX, 1016, m_btnOpen);
    DDX_Control(pDX, 1013, m_btnExit);
    DDX_Control(pDX, 1017, m_chkSave);
    DDX_Control(pDX, 1018, m_staticTime);
    DDX_Control(pDX, 1019, m_comboMinKey);
    DDX_Control(pDX, 1021, m_comboMaxKey);
    DDX_Control(pDX, 1020, m_chkThru);
    DDX_Control(pDX, 1022, m_chkOriginal);
    DDX_Control(pDX, 1027, m_staticPitchLabel);
    DDX_Control(pDX, 1028, m_staticFormantLabel);
    DDX_Control(pDX, 1036, m_comboKeyRange);
    DDX_Control(pDX, 1037, m_scrollHistory);
    DDX_Control(pDX, 1041, m_staticBufferFull);
    DDX_Control(pDX, 1042, m_staticNoteLabel);
    DDX_Control(pDX, 1043, m_staticAnalyzerTitle);
    DDX_Control(pDX, 1046, m_chkDump);
    DDX_Control(pDX, 1010, m_btnChorusFile);
    DDX_Control(pDX, 1007, m_btnManToWoman);
    DDX_Control(pDX, 1008, m_btnWomanToMan);
    DDX_Control(pDX, 1009, m_btnReset);
    DDX_Control(pDX, 1039, m_staticDbLabel1);
    DDX_Control(pDX, 1040, m_staticDbLabel2);
    DDX_Control(pDX, 1002, m_btnPlay);
    DDX_Control(pDX, 1094, m_staticMeterTop);
    DDX_Control(pDX, 1093, m_staticMeterMid);
    DDX_Control(pDX, 1056, m_staticDbLabel3);
    DDX_Control(pDX, 1095, m_btnHelp);
    DDX_Control(pDX, 1098, m_staticProcTime);
    DDX_Control(pDX, 1011, m_btnPreset1);
    DDX_Control(pDX, 1023, m_btnPreset2);
    DDX_Control(pDX, 1099, m_btnBatch);
    DDX_Control(pDX, 1117, m_staticMaxLabel);
    DDX_Control(pDX, 1118, m_staticMinLabel);
    DDX_Control(pDX, 1116, m_comboVoiceMode);
    DDX_Control(pDX, 1126, m_staticMarker);
    DDX_Control(pDX, 1119, m_chkRepeat);
}

BEGIN_MESSAGE_MAP(CWaveInOutDlg, CDialog)
    // --- start-up, timer and window procedure
    ON_WM_TIMER()
    // (start-up entries end)


    // --- runs, file player and close
    ON_BN_CLICKED(1000, &CWaveInOutDlg::OnBnClickedLive)
    ON_BN_CLICKED(1001, &CWaveInOutDlg::OnBnClickedStop)
    ON_BN_CLICKED(1002, &CWaveInOutDlg::OnBnClickedPlay)
    ON_BN_CLICKED(1013, &CWaveInOutDlg::OnBnClickedExit)
    ON_BN_CLICKED(1016, &CWaveInOutDlg::OnBnClickedOpen)
    ON_BN_CLICKED(1010, &CWaveInOutDlg::OnBnClickedChorusFile)
    ON_WM_CLOSE()
    ON_WM_SYSCOMMAND()
    ON_WM_DROPFILES()
    ON_MESSAGE(CWaveInOutDlg::WM_APP_FILE_ENDED, &CWaveInOutDlg::OnFileEnded)
    ON_MESSAGE(CWaveInOutDlg::WM_APP_BUFFER_FULL, &CWaveInOutDlg::OnBufferFull)
    ON_MESSAGE(CWaveInOutDlg::WM_APP_SAVE_NOTICE, &CWaveInOutDlg::OnSaveNotice)
    ON_MESSAGE(CWaveInOutDlg::WM_APP_DEVICE_LOST, &CWaveInOutDlg::OnDeviceLost)
    // (runs entries end)


    // --- control states, method switch, voice controls and presets
    ON_NOTIFY(NM_CUSTOMDRAW, 1003, &CWaveInOutDlg::OnCustomDrawPitch)
    ON_NOTIFY(NM_CUSTOMDRAW, 1004, &CWaveInOutDlg::OnCustomDrawFormant)
    ON_BN_CLICKED(1007, &CWaveInOutDlg::OnBnClickedManToWoman)
    ON_BN_CLICKED(1008, &CWaveInOutDlg::OnBnClickedWomanToMan)
    ON_BN_CLICKED(1009, &CWaveInOutDlg::OnBnClickedReset)
    ON_BN_CLICKED(1011, &CWaveInOutDlg::OnBnClickedVoicePreset1)
    ON_BN_CLICKED(1023, &CWaveInOutDlg::OnBnClickedVoicePreset2)
    ON_BN_CLICKED(1029, &CWaveInOutDlg::OnBnClickedVoicePreset3)
    ON_BN_CLICKED(1030, &CWaveInOutDlg::OnBnClickedVoicePreset4)
    ON_CBN_SELCHANGE(1019, &CWaveInOutDlg::OnCbnSelchangeMinKey)
    ON_CBN_SELCHANGE(1021, &CWaveInOutDlg::OnCbnSelchangeMaxKey)
    ON_BN_CLICKED(1025, &CWaveInOutDlg::OnBnClickedTdPsola)
    ON_BN_CLICKED(1026, &CWaveInOutDlg::OnBnClickedPhaseVocoder)
    ON_BN_CLICKED(1051, &CWaveInOutDlg::OnBnClickedVocalOff)
    ON_BN_CLICKED(1052, &CWaveInOutDlg::OnBnClickedVocalCut)
    ON_BN_CLICKED(1053, &CWaveInOutDlg::OnBnClickedVocalExtract)
    ON_CBN_SELCHANGE(1036, &CWaveInOutDlg::OnCbnSelchangeKeyRange)
    // (controls entries end)


    // --- analyser
    ON_BN_CLICKED(1033, &CWaveInOutDlg::OnBnClickedAxisLog)
    ON_BN_CLICKED(1034, &CWaveInOutDlg::OnBnClickedAxisLinear1)
    ON_BN_CLICKED(1035, &CWaveInOutDlg::OnBnClickedAxisLinear2)
    ON_BN_CLICKED(1050, &CWaveInOutDlg::OnBnClickedAxisKeyboard)
    ON_WM_HSCROLL()
    // (analyser entries end)


    // --- phase vocoder
    // (phase-vocoder entries end)


    // --- batch conversion
    ON_BN_CLICKED(1099, &CWaveInOutDlg::OnBnClickedBatch)
    ON_MESSAGE(CWaveInOutDlg::WM_APP_BATCH_ENDED, &CWaveInOutDlg::OnBatchEnded)
    // (batch entries end)


    // --- effect dialog, settings dialog, help, about box, popup menu, painting
    ON_BN_CLICKED(1092, &CWaveInOutDlg::OnBnClickedEffect)
    ON_BN_CLICKED(1114, &CWaveInOutDlg::OnBnClickedSetting)
    ON_COMMAND(ID_SETTING, &CWaveInOutDlg::OnSetting)
    ON_BN_CLICKED(1095, &CWaveInOutDlg::OnBnClickedHelp)
    ON_COMMAND(ID_HELP_SHOW, &CWaveInOutDlg::OnHelp)
    ON_COMMAND(ID_VERSION, &CWaveInOutDlg::OnVersion)
    ON_WM_RBUTTONDOWN()
    ON_WM_PAINT()
    ON_WM_CTLCOLOR()
    ON_WM_MOUSEMOVE()
    // (window chores entries end)
END_MESSAGE_MAP()

void CWaveInOutDlg::WriteTrace(const char* text) {
    if (m_strTracePath.empty()) return;
    std::lock_guard<CCriticalSection> lock(m_csTrace);
    // A trace file that cannot be opened at this moment is skipped: nothing may fail because of
    // it. A link put in its place meanwhile is never written through: it is replaced by a file
    // of the program's own.
    if (std::FILE* fp = platform::OpenOwnRegularFile(m_strTracePath, "a")) {
        std::fprintf(fp, "%s\n", text ? text : "");
        std::fclose(fp);
    }
}

// CWaveInOutDlg: the main dialog and the program's central record. The engine threads, the
// device wrappers, the file player and the effects work on its members directly.
//
// Sharing rules. The dialog's own locks, each held only for a short copy or write and never
// while taking another:
// - m_csTrace: every write to the trace file (trace lines and the system report), any thread.
// - m_csDump: the open pitch dump stream; the analysis thread's or batch thread's row writer
//   against the code that closes it.
// - the output stage's lock (m_outStage.ReadLock()): the engine's publish of a cycle's output
//   into the playback buffers against the playback device reading a buffer and the display
//   timer reading the played samples.
// - the phase-vocoder manager's locks (inside m_pitchScale): its processing against a ratio
//   change from the user-interface thread, and its display snapshot against the analyser.
// Everything else is handed over without a lock:
// - Sizes, masks and the key table are written before any run starts and only read afterwards.
// - Input ring and m_nInputCount: written by the capture wrapper (UI thread) or the file player;
//   the samples are stored before the count moves on (release), readers load the count (acquire)
//   and never read input at or beyond it.
// - Mark ring, amplitudes, m_nMarkCount, g_dwProcStart: written by the analysis thread only.
// - Overlap-add rings and output ring: written by the synthesis thread (the analysis thread in
//   Thru); the playback device reads the output ring as it plays.
// - m_bMarksReady hands a block from the analysis thread (raises it, release) to the synthesis
//   thread (sees it, acquire; clears it when the block's output is written). A reader that finds
//   nothing new sleeps 2 ms and looks again.
// - Run flags are cleared by STOP, which then joins the threads before closing anything.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <cstdio>

#include "analyser/FFTScreen.h"
#include "analyser/PitchTrackCarry.h"
#include "app/SettingsFile.h"
#include "audio/WaveFile.h"
#include "engine/BlockSeq.h"
#include "engine/OutputStage.h"
#include "engine/PitchScaleManager.h"
#include "engine/PsolaState.h"
#include "platform/base/critsec.h"
#include "platform/base/thread.h"
#include "platform/base/types.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "platform/ui/gdi.h"
#include "platform/wave/waveapi.h"

class CEQdlg;
namespace pitch_dump {
struct ChorusDump;
}

// Time at which the current analysis cycle began, for the ProcTime display.
extern std::atomic<DWORD> g_dwProcStart;

class CWaveInOutDlg : public CDialog {
public:
    // appFolder: the program folder (settings, trace, temp.wav); tests pass a temporary one.
    explicit CWaveInOutDlg(const std::string& appFolder, CWnd* pParent = nullptr);
    CWaveInOutDlg();
    ~CWaveInOutDlg() override;

    void DoDataExchange(CDataExchange* pDX) override;

    // --- Trace file ------------------------------------------------------------------------
    void WriteTrace(const char* text);
    void WriteTrace(const std::string& text) { WriteTrace(text.c_str()); }
    bool IsTracing() const { return !m_strTracePath.empty(); }

    // --- Stream buffers and key table -------------------------------------------------------
    // Computes B, N and the masks from m_nLatencyMode, then allocates and zero-fills every
    // shared buffer in its order. FALSE when memory ran out (what was made is freed).
    BOOL AllocStreamBuffers();
    void FreeStreamBuffers();
    // Hands the cycle's output in the stage over to the playback buffers.
    void PublishOutput() { m_outStage.Publish(reinterpret_cast<char*>(m_pOutBlock)); }
    // The end of an engine cycle that has finished with the input up to `inputDone` (input
    // count): its output is published, the cycle counted, and the devices told how far the run
    // has come.
    void FinishEngineCycle(std::int64_t inputDone);
    // Whether a block of the input ring may be stored at input position `count` now: no engine
    // thread still reads the entries it overwrites (TD-PSOLA), or the phase vocoder has taken
    // the block before (which it reads in place).
    bool InputRingHasRoom(std::int64_t count) const;
    // Run start, before any engine thread or device: nothing of the input has been read yet.
    void ResetEngineReach();
    // Builds the key boundaries from m_nA4 and lists the key names in both key combos.
    void BuildKeyTable();
    const char* FreqToNoteName(int hz) const;
    const char* ShowNoteName(int hz, CWnd* pCtrl) const;
    static std::string KeyName(int key);
    // Lists the seven voice modes in the voice-mode combo and selects the speaking voice.
    void FillVoiceModeCombo();
    int GetBlockBytes() const { return m_nBlockBytes; }

    // --- Capture: one returned buffer into the input ring -----------------------------------
    BOOL StoreInputBlock(WAVEHDR* pHdr);

    // --- TD-PSOLA engine --------------------------------------------------------------------
    void DetectPitch(float* pHz, int* pPeriod, int start, int len, float corrTh, int fLo, int fHi);
    // Starts the analysis and synthesis threads; FALSE (run flag cleared again) when the system
    // could not make them.
    BOOL StartThreads();
    // Waits for both TD-PSOLA threads to end (their run flag must be cleared first).
    void JoinEngineThreads();
    static unsigned AnalyzeThreadProc(void* pDlg);
    static unsigned SynthesizeThreadProc(void* pDlg);
    void AnalyzeProc();
    void SynthesizeProc();
    // The thread bodies are these steps around a 2 ms sleep; tests call them one by one.
    void AnalyzeBegin(CAnalyzeState& st);
    // One pass: a Thru copy or an analysis cycle when there is new input. True when it worked.
    bool AnalyzeStep(CAnalyzeState& st);
    void SynthesizeBegin(CSynthState& st);
    // One cycle when marks are ready. True when it worked.
    bool SynthesizeStep(CSynthState& st);
    // The synthesis thread's body while a pitch dump drives the run, and its steps: Begin makes
    // the thread's own rings (false when memory ran out), Step one round when marks are ready.
    void ChorusSynthesizeProc();
    bool ChorusSynthesizeBegin(struct CChorusState& st);
    bool ChorusSynthesizeStep(struct CChorusState& st);
    void ShowProcTime(DWORD start, int* pMin, int* pMax);

    // --- Sizes ------------------------------------------------------------------------------
    static constexpr int kKeyCount = 62;       // keys C_2 .. C#7
    static constexpr int kCorrSlots = 2048;    // correlation lags: the full lag range of every key range
    static constexpr int kFrameSlots = 4096;   // analysis window samples

    int m_nLatencyMode = settings_default::kLatencyMode;
    int m_nBlockBytes = 0;  // B
    int m_nRingLen = 0;     // N = 2B samples
    int m_nRingMask = 0;    // N - 1
    int m_nOlaMask = 0;     // 2N - 1

    // --- Rings and buffers (allocated once, zero-filled) ------------------------------------
    float* m_pfInputBuf = nullptr;   // 2N
    float* m_pfOla = nullptr;        // 2N
    float* m_pfOla2 = nullptr;       // 2N
    std::int64_t* m_pnMark = nullptr;   // N: sample numbers, free-running 64-bit
    std::int64_t* m_pnMark2 = nullptr;  // N
    short* m_psMarkAmp = nullptr;    // N
    short* m_psMarkAmp2 = nullptr;   // N
    float* m_pfHistTime = nullptr;   // 2N
    float* m_pfHistLevel = nullptr;  // 2N
    float* m_pfHistPitch = nullptr;  // 2N
    float* m_pfChorus = nullptr;     // 2N
    float* m_pfVocInL = nullptr;     // B/2 each
    float* m_pfVocInR = nullptr;
    float* m_pfVocOutL = nullptr;
    float* m_pfVocOutR = nullptr;
    float* m_pfCorr = nullptr;       // kCorrSlots
    float* m_pfFrame = nullptr;      // kFrameSlots
    BYTE* m_pInBlock = nullptr;      // 4B
    char* m_pInData[4] = {};
    WAVEHDR* m_pInHdr[4] = {};
    BYTE* m_pOutBlock = nullptr;     // 4B: the output ring of N 16-bit samples, as played
    char* m_pOutData[4] = {};
    // The engine's own copy of the output ring: the engine writes there and publishes each
    // cycle into m_pOutBlock under the lock the playback device reads with.
    COutputStage m_outStage;
    WAVEHDR* m_pOutHdr[4] = {};

    // --- Counters and flags -----------------------------------------------------------------
    std::atomic<std::int64_t> m_nInputCount{0};  // free-running 64-bit: no wrap in any run
    std::atomic<int> m_nMarkCount{0};
    std::atomic<int> m_nMarkRead{0};
    // Index of the mark that begins the newest chain of marks: the first mark after a Thru
    // stretch (0 for the run's start). Written by the analysis thread before it raises
    // m_bMarksReady; the synthesis thread starts its voices again there.
    std::atomic<int> m_nMarkRestart{0};
    std::atomic<int> m_nPeak[2][4] = {};
    std::atomic<BOOL> m_bPsolaRun{FALSE};
    std::atomic<BOOL> m_bMarksReady{FALSE};
    std::atomic<BOOL> m_bThreadRun{FALSE};
    std::atomic<BOOL> m_bPlayThreadRun{FALSE};
    std::atomic<BOOL> m_bNextBlock{FALSE};
    // Phase vocoder: the newest block at the start of the input buffer is stored (capture or
    // file player) and copied (phase-vocoder thread) under this sequence number.
    CBlockSeq m_vocoderInputSeq;
    // Input position where the file of a file run ends (set by the file player at the end of its
    // file, release); output past it is not saved. Unlimited in live runs and batch runs.
    std::atomic<long long> m_nInputEnd{kNoInputEnd};
    static constexpr long long kNoInputEnd = 0x7FFFFFFFFFFFFFFFLL;
    // Counts the engine threads' finished cycles (release).
    std::atomic<unsigned> m_nEngineProgress{0};
    // The lowest input position that the analysis thread and the synthesis thread (TD-PSOLA or
    // chorus) may still read in this and every later cycle; each is published (release) by its
    // thread at the end of every cycle and only grows during a run. A writer of the input ring
    // stores a block only where both have passed the entries it overwrites (InputRingHasRoom).
    std::atomic<std::int64_t> m_nInputFloor[2] = {};
    // The input count that the newest marks were made from (analysis thread, before it raises
    // m_bMarksReady): the synthesis that takes them has finished with the input up to there.
    std::atomic<std::int64_t> m_nMarksInputCount{0};
    // The engine's progress through the run's stream, in bytes of input (twice the input count
    // of its newest finished cycle): the devices pace themselves by it (SetStreamProgress).
    std::atomic<std::int64_t> m_nEngineDoneBytes{0};
    unsigned m_dwAnalyzeThreadId = 0;
    unsigned m_dwSynthThreadId = 0;

    // --- Values the engine reads each cycle -------------------------------------------------
    std::atomic<float> m_fPitchRatio{1.0f};
    std::atomic<float> m_fFormantRatio{1.0f};
    float m_fPeakRatio = 0.9f;
    int m_nAmpThreshold = 655;
    std::atomic<int> m_nA4{settings_default::kA4};
    double m_dOscPhase = 0.0;
    std::string m_strChorusFile;
    int m_nOverSampling = 1;
    BOOL m_bPitchShiftEnable = TRUE;
    float m_fMixOriginal = 1.0f;
    float m_fMixChorus = 1.0f;
    int m_nMethod = 0;

    // Key boundaries in Hz: entry i is the lower edge of key i; entry 62 is the upper edge of
    // key 61, made by the same formula.
    int m_nKeyBoundaryHz[kKeyCount + 1] = {};

    // The effect dialog once it has been made (user-interface thread writes, release; the engine
    // threads read, acquire, and apply its equaliser and reverb while their boxes are ticked).
    std::atomic<CEQdlg*> m_pEQDlg{nullptr};

    // --- Controls (bound by DoDataExchange; they hold their state with or without a window) --
    CButton m_btnLive;         // 1000
    CButton m_btnStop;         // 1001
    CButton m_btnOpen;         // 1016
    CButton m_btnPlay;         // 1002
    CButton m_btnExit;         // 1013
    CButton m_btnHelp;         // 1095
    CButton m_btnManToWoman;   // 1007
    CButton m_btnWomanToMan;   // 1008
    CButton m_btnReset;        // 1009
    CButton m_btnPreset1;      // 1011
    CButton m_btnPreset2;      // 1023
    CButton m_btnChorusFile;   // 1010
    CButton m_btnBatch;        // 1099
    CButton m_chkSave;         // 1017
    CButton m_chkThru;         // 1020
    CButton m_chkOriginal;     // 1022
    CButton m_chkDump;         // 1046
    CButton m_chkRepeat;       // 1119
    CSliderCtrl m_sliderPitch;    // 1003, -48..48
    CSliderCtrl m_sliderFormant;  // 1004, -24..24
    CComboBox m_comboMinKey;   // 1019
    CComboBox m_comboMaxKey;   // 1021
    CComboBox m_comboKeyRange;   // 1036
    CComboBox m_comboVoiceMode;  // 1116
    CEdit m_editCorrTh;        // 1012
    CScrollBar m_scrollHistory;  // 1037
    CStatic m_staticPitchValue;     // 1005
    CStatic m_staticFormantValue;   // 1006
    CStatic m_staticNote;           // 1015
    CStatic m_staticTime;           // 1018
    CStatic m_staticPitchLabel;     // 1027
    CStatic m_staticFormantLabel;   // 1028
    CStatic m_staticBufferFull;     // 1041
    CStatic m_staticNoteLabel;      // 1042
    CStatic m_staticAnalyzerTitle;  // 1043
    CStatic m_staticDbLabel1;       // 1039
    CStatic m_staticDbLabel2;       // 1040
    CStatic m_staticDbLabel3;       // 1056
    CStatic m_staticMeterTop;       // 1094
    CStatic m_staticMeterMid;       // 1093
    CStatic m_staticProcTime;       // 1098
    CStatic m_staticMaxLabel;       // 1117
    CStatic m_staticMinLabel;       // 1118
    CStatic m_staticMarker;         // 1126

    // --- Start-up values and settings (UI thread; workers only read them during a run) -------
    HICON m_hIcon = nullptr;
    int m_nAxisMode = settings_default::kAxisMode;
    BOOL m_bEffectShown = FALSE;
    VoicePreset m_voicePreset[4];
    int m_nBatchOverSampling = settings_default::kBatchOverSampling;
    int m_nSaveCounter = 0;
    int m_nDumpCounter = 0;
    std::string m_strConverterPath = settings_default::kConverterPath;
    std::string m_strOutputFolder;
    BOOL m_bShowVolumeGraph = settings_default::kShowVolumeGraph;
    float m_fSemitonesPerLn = 17.31234f;
    int m_nMidiProgram = settings_default::kMidiProgram;
    std::atomic<int> m_nVocalMode{0};  // 0 off, 1 cut, 2 extract; the phase-vocoder thread reads it each round
    int m_nKeyRange = 3;

    // --- Device tables: entry 0 "WAVE MAPPER", entries 1..count the devices ------------------
    static constexpr int kDeviceTableSize = 100;
    int m_nWaveInCount = 0;
    int m_nWaveOutCount = 0;
    WAVEINCAPSA m_waveInCaps[kDeviceTableSize] = {};
    WAVEOUTCAPSA m_waveOutCaps[kDeviceTableSize] = {};
    int m_nWaveInIndex = 0;
    int m_nWaveOutIndex = 0;
    UINT m_nWaveInId = WAVE_MAPPER;
    UINT m_nWaveOutId = WAVE_MAPPER;

    // --- Run state (UI thread) ----------------------------------------------------------------
    std::atomic<int> m_nRunState{0};  // 0 idle, 1 live, 2 file or batch
    int m_nPlayState = 0;             // kind of the last run
    BOOL m_bReplay = FALSE;
    std::string m_strDropFile;
    std::string m_strLastFile;
    std::string m_strInputFile;
    std::FILE* m_pDumpFile = nullptr;

    // --- Images and tooltips --------------------------------------------------------------------
    CBitmap m_bmpLive[3];
    CBitmap m_bmpStop[3];
    CBitmap m_bmpOpen[3];
    CBitmap m_bmpExit;
    CBitmap m_bmpHelp;
    CBitmap m_bmpPlay[4];
    CToolTipCtrl m_toolTip;
    CFont m_fontSmall;

    // --- Phase vocoder ------------------------------------------------------------------------
    CPitchScaleManager m_pitchScale;

    // --- Files ------------------------------------------------------------------------------
    CWaveFile m_waveInFmt;
    CWaveFile m_waveOutFmt;
    CWaveFile m_saveFile;
    CWaveFile m_inputFile;

    // --- Effect presets and reverb values kept for the effect dialog
    int m_nPresetGain[4][11] = {};
    float m_fPresetQ[4] = {settings_default::kPresetQ, settings_default::kPresetQ, settings_default::kPresetQ,
                          settings_default::kPresetQ};
    float m_fReverbAttenuation = settings_default::kReverbAttenuation;
    float m_fReverbDelay = settings_default::kReverbDelay;
    int m_nReverbRepeat = settings_default::kReverbRepeat;

    // --- Program folder and trace -----------------------------------------------------------
    std::string m_strAppFolder;
    std::string m_strHelpPath;
    std::string m_strTracePath;
    CCriticalSection m_csTrace;

    // ===== Start-up, timer, level meter and window procedure ================================
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Rewrites the trace file with the system report (only while tracing).
    void WriteSystemReport();
    // Reads the settings file of the program folder into the members and picks both devices
    // by their saved names; a saved device that is gone is told and the mapper chosen.
    void LoadSettings();
    // Timer 1: play time, note name, level meter (UI thread).
    void OnTimer(UINT_PTR nIDEvent);
    // Both input level bars, drawn into the client area at 318..337 x 28..88.
    void DrawLevelMeter();
    // The samples played so far (-1 when the device answers in an unknown unit).
    long long PlayedSamples();
    // Steps m_nMarkRead to the mark that playback position p has reached and returns the pitch
    // heard there in Hz (0 for silence or no period).
    float HeardPitchHz(std::int64_t p);

    // (start-up section end)


    // ===== Sound devices, runs, file player, output files, close ============================
    // Device wrappers (user-interface thread). Each failure is written to the trace and shown
    // in a message box with its "wavinNN:" / "wavoutNN:" text; BOOL results are TRUE on success.
    BOOL WaveInQuery(UINT deviceId);
    BOOL WaveInOpen(UINT deviceId, CWnd* pWnd);
    BOOL WaveInAddBuffers();
    void WaveInStart();
    // Capture wrapper: one buffer that came back from the recording device.
    BOOL OnWimData(WAVEHDR* pHdr);
    void WaveInStop();
    BOOL WaveInClose();
    BOOL WaveInAllocBuffers();
    void WaveInFreeBuffers();
    void WaveInClearState();
    BOOL WaveOutQuery(UINT deviceId);
    BOOL WaveOutOpen(UINT deviceId, CWnd* pWnd);
    // Queues the four playback buffers silent; TRUE only when all four were queued.
    BOOL WaveOutWriteBuffers();
    // Playback wrapper: one buffer that the playback device finished.
    BOOL OnWomDone(HWAVEOUT hDevice, WAVEHDR* pHdr);
    // A live run: the playback keeps its delay behind the recording whatever stalls come
    // (on devices of the sound system; the virtual devices wait for the engine instead).
    void KeepLiveDelay();
    void TraceLiveDelay(HWAVEOUT hDevice);
    void WaveOutStop();
    BOOL WaveOutClose();
    BOOL WaveOutAllocBuffers();
    void WaveOutFreeBuffers();
    void WaveOutClearState();
    // Lists the sound devices: entry 0 "WAVE MAPPER", then at most 99 devices of each kind.
    void BuildDeviceTables();

    // Output WAV and pitch dump of a run (user-interface or batch thread, before the engine).
    void OpenOutputFiles(int nChannels, BOOL bForceSave, int nOverSampling);
    // One dump row per pitch period (analysis or batch thread).
    void WriteDumpLine(int nPrevMark, int nMark, int nAmplitude, int nOverSampling);
    // Closes the dump if it is open (any thread; serialised with the row writer).
    void CloseDumpFile();
    // Appends converted samples to the output WAV file while one is open (engine threads). The
    // file grows up to the largest size a WAV file can state; reaching it is told once, and so
    // is the first failed write (a full disk), after which the file takes no more samples.
    void AppendToSaveFile(const void* samples, LONG bytes);
    // How many of `count` output samples that belong to the input from position `first` on lie
    // before the end of the input file (all of them while no end is known).
    int SamplesBeforeInputEnd(long long first, int count) const;
    // Posted by the writers of the output files when a file stopped growing: wParam one of the
    // kinds below. The user-interface thread writes the trace line and shows the message.
    static constexpr UINT WM_APP_SAVE_NOTICE = WM_APP + 0x42;
    static constexpr WPARAM kSaveNoticeWavFull = 1;
    static constexpr WPARAM kSaveNoticeDumpCut = 2;
    static constexpr WPARAM kSaveNoticeWavWriteFailed = 3;
    LRESULT OnSaveNotice(WPARAM wParam, LPARAM lParam);
    // The dump could not be written and was closed: told at once, or during a batch kept for
    // the end of the file, which then gives one message (any thread).
    void TellDumpCut();
    std::atomic<bool> m_bBatchDumpCut{false};

    // Run control (user-interface thread).
    void OnBnClickedLive();
    void OnBnClickedOpen();
    void StartFile();
    void OnBnClickedPlay();
    void OnBnClickedStop();
    void OnBnClickedExit();
    // Start of a LIVE or file run: device state zeroed, output files opened for `channels`.
    void PrepareDevicesAndFiles(int channels);
    // Starts the chosen method's engine threads and writes its trace point; false when they
    // could not start.
    bool StartEngine(int channels, const char* psolaTrace, const char* vocoderTrace);

    // File player.
    void OnDropFiles(HDROP hDropInfo);
    BOOL OpenInputFile();
    // The chosen file through the outside converter into temp.wav, which *name and
    // m_strLastFile then name; FALSE when the conversion failed (the user has been told).
    BOOL ConvertInputFile(std::string* name);
    void StartWavePlayThread();
    static unsigned WavePlayThreadProc(void* pDlg);
    void WavePlayProc();
    // Posted by the file player when its file has ended: wParam the run's serial number,
    // lParam 1 when Repeat was ticked. STOP (and PLAY for Repeat) run on the UI thread.
    static constexpr UINT WM_APP_FILE_ENDED = WM_APP + 0x41;
    LRESULT OnFileEnded(WPARAM wParam, LPARAM lParam);
    // Posted by the analysis thread when a pitch dump's marks have run out (wParam the run's
    // serial number): STOP runs on the user-interface thread.
    static constexpr UINT WM_APP_BUFFER_FULL = WM_APP + 0x43;
    LRESULT OnBufferFull(WPARAM wParam, LPARAM lParam);

    // Chorus file button 1010: picks a pitch dump, loads it whole and starts a chorus run on
    // the WAV it names; a dump that fails a check is told and changes nothing.
    void OnBnClickedChorusFile();
    // Puts a checked dump into the mark, amplitude and chorus arrays, the levels, the
    // oversampling and the controls, and makes its WAV the chorus file.
    void ApplyChorusDump(const pitch_dump::ChorusDump& dump);

    // Starts in progress. LIVE, OPEN (with a dropped file), PLAY, the batch and the chorus file
    // each hold a CStartInProgress while they run, pickers, boxes and the converter's wait
    // included; a start that comes while one is held (a message or timer handled inside such a
    // wait) is refused, so no run ever starts inside another start. A file dropped meanwhile is
    // kept in m_strDropFile for the next OPEN. User-interface thread only.
    class CStartInProgress {
    public:
        CStartInProgress(CWaveInOutDlg* dlg, const char* what);
        ~CStartInProgress();
        CStartInProgress(const CStartInProgress&) = delete;
        CStartInProgress& operator=(const CStartInProgress&) = delete;
        // False: another start is in progress; the caller does nothing.
        explicit operator bool() const { return m_bHeld; }

    private:
        CWaveInOutDlg* m_pDlg;
        bool m_bHeld;
    };
    int m_nStartsInProgress = 0;
    // After a wait of its own (a picker, a box, the converter): whether the start may go on,
    // that is no run, no batch and no close began meanwhile.
    bool StartMayGoOn() const;
    // OPEN once its start is held (PLAY's replay and a dropped file come here too).
    void OpenHeld();

    // Close and shutdown. A close request (WM_CLOSE) runs the close operation and ends the
    // dialog; one that comes while a box, picker or dialog of this window is open closes those
    // first and runs when their handler has returned.
    void OnClose();
    // The window menu's Close (also the title bar's close button): the user closes the window.
    void OnSysCommand(UINT nID, LPARAM lParam);
    // Enter and Escape: ignored in the main window.
    void OnOK() override;
    void OnCancel() override;
    // The close operation once: batch stopped, STOP, workers joined, buffers freed, settings
    // written whole. bUserClose: the user closed the window (EXIT, the close button), so a
    // settings file that cannot be written is told in a message box; a close request from
    // outside (a termination signal, the desktop's logout) writes it to the trace only.
    void CloseOperation(BOOL bUserClose = TRUE);
    // Copies the kept values into a settings record and writes all 27 lines at once.
    BOOL WriteSettingsFile();

    HWAVEIN m_hWaveIn = nullptr;
    HWAVEOUT m_hWaveOut = nullptr;
    int m_nInQueued = 0;
    int m_nOutQueued = 0;
    int m_nInIndex = 0;
    int m_nOutIndex = 0;
    std::uint64_t m_nOutBytes = 0;
    std::int64_t m_nPlayedPos = 0;  // device position extended past its 32-bit wrap (timer)
    DWORD m_dwPlayedRaw = 0;        // the device's last 32-bit position
    platform::wave::LiveDelayCounts m_delayCounts;  // what the playback did to keep the delay, as last traced
    unsigned m_dwPlayThreadId = 0;
    CWorkerThread m_playThread;
    CCriticalSection m_csDump;     // the dump stream: row writer against close
    unsigned m_nRunSerial = 0;     // counts run starts; a file-end notice of an older run is ignored
    BOOL m_bCloseDone = FALSE;     // the close operation has run
    BOOL m_bUserClosing = FALSE;   // the user asked to close the window (not a request from outside)
    BOOL m_bMadeTempWav = FALSE;   // this process wrote temp.wav (the converter); only then is it removed at the end
    // A device of the run went away (its calls answer MMSYSERR_NODRIVER): its buffers are no
    // longer requeued and the run is ended by a posted STOP.
    BOOL m_bInDeviceLost = FALSE;
    BOOL m_bOutDeviceLost = FALSE;
    // A device of the run failed: its message once, then a STOP posted for this run.
    void DeviceLost(BOOL* pLostFlag, const char* text);
    static constexpr UINT WM_APP_DEVICE_LOST = WM_APP + 0x44;  // wParam the run's serial number
    LRESULT OnDeviceLost(WPARAM wParam, LPARAM lParam);
    static_assert(WM_APP_DEVICE_LOST != WM_APP_BUFFER_FULL && WM_APP_DEVICE_LOST != WM_APP_FILE_ENDED &&
                      WM_APP_DEVICE_LOST != WM_APP_SAVE_NOTICE && WM_APP_BUFFER_FULL != WM_APP_FILE_ENDED &&
                      WM_APP_BUFFER_FULL != WM_APP_SAVE_NOTICE && WM_APP_FILE_ENDED != WM_APP_SAVE_NOTICE,
                  "each posted notice of the dialog has its own message id");

    // (runs section end)


    // ===== Control states, method switch, voice controls and presets ========================
    // Images, enabled and shown controls for the run state and the method.
    void UpdateControls();
    // Shows the controls of the chosen method's analyser and hides the other's.
    void SwitchAnalyzerView();
    // Shows a control's tip while the mouse is over the left half of one of the 28 tools.
    BOOL PreTranslateMessage(MSG* pMsg) override;
    // Method radios 1025 and 1026.
    void OnBnClickedTdPsola();
    void OnBnClickedPhaseVocoder();
    // Vocal cut radios 1051 (off), 1052 (cut), 1053 (extract).
    void OnBnClickedVocalOff();
    void OnBnClickedVocalCut();
    void OnBnClickedVocalExtract();
    // Key range combo 1036: the lowest note of the pitch analyser (TD-PSOLA only).
    void OnCbnSelchangeKeyRange();
    // Pitch and formant trackbars: the ratios and their value texts follow every redraw.
    void OnCustomDrawPitch(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDrawFormant(NMHDR* pNMHDR, LRESULT* pResult);
    // Fixed voice settings.
    void OnBnClickedReset();
    void OnBnClickedWomanToMan();
    void OnBnClickedManToWoman();
    // Voice presets "1".."4": a click loads, Ctrl+click stores.
    void OnBnClickedVoicePreset1();
    void OnBnClickedVoicePreset2();
    void OnBnClickedVoicePreset3();
    void OnBnClickedVoicePreset4();
    void OnPreset(int n);
    // The engines read the key selections themselves in their next round.
    void OnCbnSelchangeMinKey();
    void OnCbnSelchangeMaxKey();

    // (controls section end)


    // ===== Phase-vocoder thread ================================================================
    // Starts the phase-vocoder thread of a run (after the run start has set the manager's channel
    // count): run flag set, peaks, input count and next-block flag cleared, Formant trackbar to 0.
    // FALSE (run flag cleared) when the channel count is not 1 or 2, memory ran out or the system
    // could not make the thread.
    BOOL StartPhaseVocoderThread();
    // Waits for the phase-vocoder thread to end (its run flag must be cleared first).
    void JoinPhaseVocoderThread();
    // The thread: PhaseVocoderProc on the dialog with the run's state (engine/PhaseVocoderRound.h).
    static unsigned PhaseVocoderThreadProc(void* pDlg, struct CPhaseVocoderState* pState);
    // Steps until m_bThreadRun is cleared, with a 2 ms sleep after each.
    void PhaseVocoderProc(struct CPhaseVocoderState& st);
    // The thread body is these steps around a 2 ms sleep; tests and the benchmark call them.
    // Begin: a fresh state for a run of the manager's channel count; false when that count is
    // not 1 or 2 or memory ran out. Step: one Thru or processing round when a new block is
    // there; true when a round ran.
    bool PhaseVocoderBegin(struct CPhaseVocoderState& st);
    bool PhaseVocoderStep(struct CPhaseVocoderState& st);
    CWorkerThread m_vocoderThread;
    unsigned m_dwVocoderThreadId = 0;

    // (phase-vocoder section end)


    // ===== Analyser: pitch track, spectrum, their controls ====================================
    // The analyser window over frame 1032 (made by the first SwitchAnalyzerView).
    CFFTScreen m_fftScreen;
    // Points of the pitch history (m_pfHistPitch, m_pfHistLevel, m_pfHistTime) of the last run.
    int m_nHistoryPos = 0;
    CPitchTrackCarry m_pitchCarry;
    // Timer tick of a TD-PSOLA run: the new marks up to markCount drawn and kept as history.
    void UpdatePitchAnalyzer(int markCount, const std::int64_t* marks, const short* amps, int minHz, int maxHz);
    // Note names beside the pitch view and its volume scale, on the dialog; bErase clears both
    // label columns first.
    void DrawAnalyzerLabels(BOOL bErase);
    // After STOP: the scroll bar offers the pages of the run's history, the last one chosen.
    void InitHistoryScrollBar();
    // Scroll bar 1037 pages through the history while no run goes on.
    void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
    void RedrawHistoryPage(int page);
    // Axis radios 1033, 1034, 1050, 1035.
    void OnBnClickedAxisLog();
    void OnBnClickedAxisLinear1();
    void OnBnClickedAxisKeyboard();
    void OnBnClickedAxisLinear2();
    void ChooseAxis(int mode);
    // Level labels 1039, 1040, 1056 of an axis mode.
    void SetLevelLabels(int axisMode);
    // Timer tick of a phase-vocoder run: the spectrum of the display snapshot.
    void RedrawSpectrum(const float* magL, const float* magR, const float* freqL, const float* freqR);

    // (analyser section end)


    // ===== Batch conversion and the outside converter =========================================
    // Batch button 1099: picks up to 1024 files, shows the progress dialog, starts the batch
    // thread (user-interface thread).
    void OnBnClickedBatch();
    // The batch thread: every file of the batch list in turn, then the end-of-batch report.
    static unsigned BatchThreadProc(void* pDlg);
    void BatchProc();
    // One file of the batch list: 0 converted, -1 aborted, 1 failed (the user has been told).
    int BatchFile(int index);
    // One whole file, loaded and oversampled in the batch buffers, into the open output WAV
    // (and pitch dump); m_nBatchStatus 0 when written, -1 when the user aborted.
    void BatchPsola();
    // The batch's period detector on m_pfInputBuf[start .. start+len-1] at rate fs.
    void DetectPeriod(float* pF0, int* pPeriod, int start, int len, float fs, float corrTh, int fLo, int fHi);
    // Converts source with the outside converter into target; TRUE when target now holds it.
    // The converter must end with status 0 and write its WAV; 中止 in the batch dialog ends
    // one that is still running, and so does a close request during a file run's conversion.
    // What was under the output's name is moved aside while the converter runs and put back as
    // it was; a link there is never written through, and the file it leads to is never touched.
    // A WAV without samples is no output. Under target's own name only the program's earlier
    // conversion may be replaced: anything else there refuses the conversion (told).
    BOOL RunConverter(const std::string& source, const std::string& target);
    // The same; *pTold is TRUE when a failure has been told to the user already (its own
    // message, or the user said No to the settings change, or a close request ended the
    // converter), FALSE when it failed silently.
    BOOL RunConverter(const std::string& source, const std::string& target, BOOL* pTold);
    // Puts back what a conversion that never ended (the program was killed) set aside in
    // folder, and tells each entry in the trace; at start-up and before each conversion.
    void PutBackConverterSetAside(const std::string& folder);
    // The same for the program folder at start-up, where an entry that cannot be put back is
    // also told to the user in a message box, with the folder it waits in.
    void RecoverConverterSetAsideAtStart();
    // Whether the program is asked to close (a close request waits for the user-interface
    // thread, or one was deferred behind a box); any thread.
    bool CloseAsked();
    // Queues a window change for the user-interface thread (batch thread); applied at once when
    // there is no progress dialog (headless conversions).
    void BatchPostText(CWnd* target, const std::string& text);
    void BatchPostShow(CWnd* target, int nCmdShow);
    // Sets the abort flag of a running batch and waits for its thread (user-interface thread).
    void StopBatch();
    bool IsBatchRunning() const { return m_bBatchRunning.load(std::memory_order_acquire); }
    // Posted by the batch thread as its last act: the controls follow the state it left (no
    // file to replay).
    static constexpr UINT WM_APP_BATCH_ENDED = WM_APP + 0x62;
    LRESULT OnBatchEnded(WPARAM wParam, LPARAM lParam);

    class CBatchDlg* m_pBatchDlg = nullptr;  // made at the first batch, deleted at close
    int m_nBatchStatus = 0;
    // Capacities of the per-file buffers that replace the input, overlap-add, mark and
    // amplitude buffers while a batch file is converted.
    long long m_nBatchOlaLen = 0;
    long long m_nBatchMarkLen = 0;
    std::atomic<bool> m_bBatchRunning{false};
    CWorkerThread m_batchThread;

    // (batch section end)


    // ===== Effect dialog, settings dialog, help, about box, popup menu, painting ===============
    // Effect button 1092: makes the effect dialog on its first press (the kept presets and
    // reverb values copied in) and shows or hides it by turns.
    void OnBnClickedEffect();
    // Copies the effect dialog's presets and reverb values back into the kept values (from the
    // dialog given, else from the current one).
    void FetchEffectSettings(const CEQdlg* effects = nullptr);
    // The settings command (button 1114, menu 32774): the settings dialog on copies of the
    // values, taken back after OK; the system report is written anew either way.
    void OnSetting();
    void OnBnClickedSetting();
    // Help button 1095 and menu 32771: the help page in the desktop's browser, or "Help file
    // not found." when it is missing.
    void OnBnClickedHelp();
    void OnHelp();
    // Menu 32772: the about box.
    void OnVersion();
    // A right click on the dialog: popup menu 142 at the click.
    void OnRButtonDown(UINT nFlags, CPoint point);
    // The analyser's labels; the level meter blanked black while idle.
    void OnPaint();
    // A move over the dialog clears the analyser's highlighted row or key.
    void OnMouseMove(UINT nFlags, CPoint point);
    // "Buffer Full" (1041) in red.
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);

    // (window chores section end)


    DECLARE_MESSAGE_MAP()

private:
    void AnalyzeCycle(CAnalyzeState& st);
    void ThruCycle(CAnalyzeState& st);
    void SynthesizeCycle(CSynthState& st);
    // The lowest input position the synthesis may read in later cycles, after a cycle at count.
    std::int64_t SynthesisInputFloor(const CSynthState& st, std::int64_t count) const;
    void ChorusRound(struct CChorusState& st);
    // Marks of a loaded pitch dump up to the input that has arrived; "Buffer Full" at 2N.
    void TakeChorusMarks(CAnalyzeState& st, std::int64_t read, int w2);
    // Appends the output samples first..first+count-1 to the output WAV when saving, through
    // `buffer` (at least B/2 samples).
    void SaveOutput(std::vector<short>& buffer, long long first, int count);
    // Equalises the input samples from..to-1 in place, in order, when the equaliser is on.
    void ApplyInputEqualiser(std::int64_t from, std::int64_t to);
    // Adds the reverb to the output samples first..first+count-1, when the reverb is on.
    void ApplyOutputReverb(CSynthState& st, std::int64_t first, int count);
    int CurrentVoiceMode() const;
    // ceil of a grain's half-length; 0 (an error the caller replaces) when it is not a usable
    // length, such as one longer than half the ring from marks of an overrun ring.
    int GrainHalfLength(float exact) const;
    // Samples from mark k to mark k + 1; 0 (an error the caller replaces) when they are out of order
    // or impossibly far apart.
    int PeriodAtMark(int k) const;
    // Oscillator voice of modes 4 to 6: returns the samples written.
    int OscillatorStep(CSynthState& st, int mode, float p, int last, bool bypass);
    // Added voice of modes 2 and 3, mixed into the nOut samples the main voice just stored.
    void AddedVoiceStep(CSynthState& st, int mode, const CPsolaVoice& mainAtStart, float q, float step, int last,
                        int newest, std::int64_t count, int nOut, bool bypass);

    CWorkerThread m_analyzeThread;
    CWorkerThread m_synthThread;
};

#include "app/WaveInOutDlg.h"

#include <cstdio>

#include "platform/base/paths.h"

std::atomic<DWORD> g_dwProcStart{0};

namespace {
constexpr UINT kMainDialogTemplate = 102;
}

CWaveInOutDlg::CWaveInOutDlg() : CWaveInOutDlg(platform::ProgramFolder()) {}

CWaveInOutDlg::CWaveInOutDlg(const std::string& appFolder, CWnd* pParent) : CDialog(kMainDialogTemplate, pParent) {
    const std::string folder = platform::WithTrailingSlash(appFolder);
    m_strHelpPath = folder + "help/sorvel1.html";
    m_strAppFolder = folder;
    // Tracing is on only when the trace file exists now; a file made later counts from the next start.
    m_strTracePath = folder + "debug.txt";
    if (std::FILE* fp = std::fopen(m_strTracePath.c_str(), "r")) {
        std::fclose(fp);
    } else {
        m_strTracePath.clear();
    }
}

CWaveInOutDlg::~CWaveInOutDlg() {
    // Workers end by noticing their cleared run flag; they are joined before anything they use goes.
    m_bPsolaRun.store(FALSE, std::memory_order_release);
    m_analyzeThread.Join();
    m_synthThread.Join();
    m_saveFile.Close();
    m_inputFile.Close();
    FreeStreamBuffers();
}

void CWaveInOutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, 1012, m_editCorrTh);
    DDX_Control(pDX, 1017, m_chkSave);
    DDX_Control(pDX, 1019, m_comboMinKey);
    DDX_Control(pDX, 1021, m_comboMaxKey);
    DDX_Control(pDX, 1020, m_chkThru);
    DDX_Control(pDX, 1022, m_chkOriginal);
    DDX_Control(pDX, 1041, m_staticBufferFull);
    DDX_Control(pDX, 1046, m_chkDump);
    DDX_Control(pDX, 1098, m_staticProcTime);
    DDX_Control(pDX, 1116, m_comboVoiceMode);
}

void CWaveInOutDlg::WriteTrace(const char* text) {
    if (m_strTracePath.empty()) return;
    std::lock_guard<CCriticalSection> lock(m_csTrace);
    // A trace file that cannot be opened at this moment is skipped: nothing may fail because of it.
    if (std::FILE* fp = std::fopen(m_strTracePath.c_str(), "a")) {
        std::fprintf(fp, "%s\n", text ? text : "");
        std::fclose(fp);
    }
}

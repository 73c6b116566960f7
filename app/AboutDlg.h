// CAboutDlg: the about box (template 100), shown modally by the Version command. It states the
// program's version and whether it is a 32- or 64-bit build. User-interface thread only.
#pragma once

#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"

class CAboutDlg : public CDialog {
public:
    static constexpr UINT IDD = 100;

    explicit CAboutDlg(CWnd* pParent = nullptr);
    void DoDataExchange(CDataExchange* pDX) override;
    // Puts the build's word size into static 1127 ("64bit program" on a 64-bit build).
    BOOL OnInitDialog() override;

    CStatic m_staticExtra;  // 1107, empty
    CStatic m_staticBuild;  // 1127
    // No messages of its own: OK and the close box end it through the base dialog's map.
};

// "64bit program" or "32bit program": the build's word size, as the system report states it.
std::string BuildWordSizeText();

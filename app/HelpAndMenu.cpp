// The help page, the about box and the popup menu of the main dialog (user-interface thread).
#include <cstdio>

#include "app/AboutDlg.h"
#include "app/WaveInOutDlg.h"
#include "platform/base/fileopen.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/menu.h"
#include "platform/ui/msgbox.h"
#include "resources/resource_ids.h"

void CWaveInOutDlg::OnBnClickedHelp() { OnHelp(); }

void CWaveInOutDlg::OnHelp() {
    // Opened without blocking: a named pipe, a device or a folder in the page's place is no
    // page (a pipe with no writer would hold the window for good).
    std::FILE* fp = platform::OpenRegularFile(m_strHelpPath, "r");
    if (fp == nullptr) {
        AfxMessageBox("Help file not found.", MB_OK);
        return;
    }
    std::fclose(fp);
    // What the browser then does is its own affair; a failure to start it is not reported.
    platform::ui::ShellOpen(m_strHelpPath);
}

void CWaveInOutDlg::OnVersion() {
    CAboutDlg about(this);
    about.DoModal();
}

void CWaveInOutDlg::OnRButtonDown(UINT nFlags, CPoint point) {
    CMenu menu;
    if (menu.LoadMenu(IDR_POPUP_MENU)) {
        if (CMenu* popup = menu.GetSubMenu(0)) {
            ClientToScreen(&point);
            // The chosen item arrives as WM_COMMAND through the message map.
            popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_LEFTBUTTON, point.x, point.y, this);
        }
    }
    CDialog::OnRButtonDown(nFlags, point);
    menu.DestroyMenu();
}

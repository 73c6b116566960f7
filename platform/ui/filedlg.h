// File and folder pickers, and opening a document with the desktop's program for it.
// With a window system they show its dialogs; without one, answers queued by tests are used
// (none queued: the user cancelled) and the requests are kept for inspection.
#pragma once

#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/ui/windowsystem.h"

class CWnd;

inline constexpr DWORD OFN_READONLY = 0x00000001;
inline constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
inline constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
inline constexpr DWORD OFN_ALLOWMULTISELECT = 0x00000200;
inline constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

using POSITION = std::size_t*;

class CFileDialog {
public:
    // lpszFilter: pairs "description|patterns|" ending with an extra '|', e.g.
    // "音声ファイル(*.wav)|*.wav||".
    CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt = nullptr, const char* lpszFileName = nullptr,
                DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* lpszFilter = nullptr,
                CWnd* pParentWnd = nullptr, DWORD dwSize = 0, BOOL bVistaStyle = TRUE);
    // IDOK when the user chose, IDCANCEL when not.
    INT_PTR DoModal();
    void SetTitle(const std::string& title) { m_request.title = title; }
    void SetInitialFolder(const std::string& folder) { m_request.initialFolder = folder; }

    std::string GetPathName() const;  // the first chosen path
    std::string GetFileName() const;  // its name with extension
    std::string GetFileExt() const;   // its extension without the dot
    std::string GetFileTitle() const; // its name without extension
    const std::vector<std::string>& GetPathNames() const { return m_request.chosen; }
    // Iteration over the chosen paths in the class library's manner.
    POSITION GetStartPosition();
    std::string GetNextPathName(POSITION& pos) const;

    const platform::ui::FileDialogRequest& Request() const { return m_request; }

    // Splits "a|b|c|d||" into (a, b), (c, d).
    static std::vector<std::pair<std::string, std::string>> ParseFilter(const char* filter);

private:
    platform::ui::FileDialogRequest m_request;
    CWnd* m_pParent = nullptr;
    std::size_t m_nextIndex = 0;
};

namespace platform::ui {

// Shows the folder picker; true with *folder set (ending with '/') when one was chosen.
bool BrowseForFolder(CWnd* owner, const std::string& title, std::string* folder);
// Opens a document (a help page) with the desktop's program for it; false when that failed.
bool ShellOpen(const std::string& path);

// Headless answers, used in order, one per dialog (an empty list is a cancel).
void QueueHeadlessFileAnswer(const std::vector<std::string>& paths);
void QueueHeadlessFolderAnswer(const std::string& folder);
// Requests made headless so far (and forgets them).
std::vector<FileDialogRequest> TakeHeadlessFileRequests();
std::vector<std::string> TakeHeadlessShellOpens();

}  // namespace platform::ui

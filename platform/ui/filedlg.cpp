#include "platform/ui/filedlg.h"

#include <deque>
#include <mutex>

#include "platform/ui/dialog.h"

namespace platform::ui {
namespace {
std::mutex g_mutex;
std::deque<std::vector<std::string>> g_fileAnswers;
std::deque<std::string> g_folderAnswers;
std::vector<FileDialogRequest> g_fileRequests;
std::vector<std::string> g_shellOpens;
}  // namespace

void QueueHeadlessFileAnswer(const std::vector<std::string>& paths) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_fileAnswers.push_back(paths);
}

void QueueHeadlessFolderAnswer(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_folderAnswers.push_back(folder);
}

std::vector<FileDialogRequest> TakeHeadlessFileRequests() {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<FileDialogRequest> out;
    out.swap(g_fileRequests);
    return out;
}

std::vector<std::string> TakeHeadlessShellOpens() {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<std::string> out;
    out.swap(g_shellOpens);
    return out;
}

bool BrowseForFolder(CWnd* owner, const std::string& title, std::string* folder) {
    if (folder == nullptr) return false;
    std::string chosen;
    if (CloseRequested()) return false;
    if (auto* ws = GetWindowSystem()) {
        if (!ws->BrowseFolder(owner, title, &chosen)) return false;
    } else {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_folderAnswers.empty()) return false;
        chosen = g_folderAnswers.front();
        g_folderAnswers.pop_front();
    }
    if (chosen.empty()) return false;
    if (chosen.back() != '/') chosen += '/';
    *folder = chosen;
    return true;
}

bool ShellOpen(const std::string& path) {
    if (auto* ws = GetWindowSystem()) return ws->ShellOpen(path);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_shellOpens.push_back(path);
    return true;
}

}  // namespace platform::ui

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt, const char* lpszFileName, DWORD dwFlags,
                         const char* lpszFilter, CWnd* pParentWnd, DWORD, BOOL)
    : m_pParent(pParentWnd) {
    m_request.open = bOpenFileDialog != FALSE;
    m_request.multiSelect = (dwFlags & OFN_ALLOWMULTISELECT) != 0;
    m_request.defaultExt = lpszDefExt ? lpszDefExt : "";
    m_request.initialName = lpszFileName ? lpszFileName : "";
    m_request.filters = ParseFilter(lpszFilter);
}

std::vector<std::pair<std::string, std::string>> CFileDialog::ParseFilter(const char* filter) {
    std::vector<std::pair<std::string, std::string>> out;
    if (filter == nullptr) return out;
    std::vector<std::string> parts;
    std::string current;
    for (const char* p = filter; *p != '\0'; ++p) {
        if (*p == '|') {
            parts.push_back(current);
            current.clear();
        } else {
            current += *p;
        }
    }
    if (!current.empty()) parts.push_back(current);
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() && parts[i + 1].empty()) break;
        out.emplace_back(parts[i], parts[i + 1]);
    }
    return out;
}

INT_PTR CFileDialog::DoModal() {
    m_request.chosen.clear();
    m_nextIndex = 0;
    // The program is closing: nothing is chosen, so nothing is opened or started.
    if (platform::ui::CloseRequested()) return IDCANCEL;
    if (auto* ws = platform::ui::GetWindowSystem()) {
        if (!ws->FileDialog(m_pParent, m_request) || m_request.chosen.empty()) return IDCANCEL;
        return IDOK;
    }
    std::lock_guard<std::mutex> lock(platform::ui::g_mutex);
    platform::ui::g_fileRequests.push_back(m_request);
    if (platform::ui::g_fileAnswers.empty()) return IDCANCEL;
    m_request.chosen = platform::ui::g_fileAnswers.front();
    platform::ui::g_fileAnswers.pop_front();
    if (!m_request.multiSelect && m_request.chosen.size() > 1) m_request.chosen.resize(1);
    return m_request.chosen.empty() ? IDCANCEL : IDOK;
}

std::string CFileDialog::GetPathName() const { return m_request.chosen.empty() ? std::string() : m_request.chosen.front(); }

std::string CFileDialog::GetFileName() const {
    const std::string path = GetPathName();
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CFileDialog::GetFileExt() const {
    const std::string name = GetFileName();
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string CFileDialog::GetFileTitle() const {
    const std::string name = GetFileName();
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

POSITION CFileDialog::GetStartPosition() {
    m_nextIndex = 0;
    return m_request.chosen.empty() ? nullptr : &m_nextIndex;
}

std::string CFileDialog::GetNextPathName(POSITION& pos) const {
    if (pos == nullptr || *pos >= m_request.chosen.size()) {
        pos = nullptr;
        return {};
    }
    std::string path = m_request.chosen[*pos];
    ++*pos;
    if (*pos >= m_request.chosen.size()) pos = nullptr;
    return path;
}

// Message boxes. A window system installs its handler; without one (headless runs and tests)
// every box is kept in a sink that tests read, and answered with a preset answer.
#pragma once

#include <string>
#include <vector>

#include "platform/base/types.h"

inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONHAND = MB_ICONERROR;  // the stop sign
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Shows text in a message box and returns the button pressed. Safe from any thread.
int AfxMessageBox(const std::string& text, UINT type = MB_OK, const std::string& caption = std::string());

namespace platform::ui {

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    UINT type;
};

using MessageBoxHandler = int (*)(const std::string& text, const std::string& caption, UINT type);
void SetMessageBoxHandler(MessageBoxHandler handler);

// Headless sink: the boxes shown so far (and forgets them).
std::vector<MessageBoxRecord> TakeHeadlessMessageBoxes();
// The answer a headless yes/no or OK/cancel box gives (IDYES by default; OK-only boxes give IDOK).
void SetHeadlessAnswer(int answer);

// While on, a question asked from a worker thread is declined (IDNO, or IDCANCEL) at once, and
// a worker already waiting for an answer gets that answer now: the UI thread is about to join
// such workers and could never show or answer their box. Each `true` needs its `false`.
void DeclineWorkerQuestions(bool on);
bool WorkerQuestionsDeclined();

}  // namespace platform::ui

#include "platform/ui/windowsystem.h"

#include <atomic>
#include <mutex>
#include <set>

#include "platform/ui/wnd.h"

namespace platform::ui {
namespace {
WindowSystem* g_windowSystem = nullptr;
std::mutex g_keysMutex;
std::set<int> g_headlessKeys;
}  // namespace

void SetWindowSystem(WindowSystem* ws) { g_windowSystem = ws; }
WindowSystem* GetWindowSystem() { return g_windowSystem; }

void SetHeadlessKeyDown(int virtKey, bool down) {
    std::lock_guard<std::mutex> lock(g_keysMutex);
    if (down) g_headlessKeys.insert(virtKey);
    else g_headlessKeys.erase(virtKey);
}

}  // namespace platform::ui

short GetKeyState(int nVirtKey) {
    bool down = false;
    if (auto* ws = platform::ui::GetWindowSystem()) {
        down = ws->IsKeyDown(nVirtKey);
    } else {
        std::lock_guard<std::mutex> lock(platform::ui::g_keysMutex);
        down = platform::ui::g_headlessKeys.count(nVirtKey) != 0;
    }
    return down ? static_cast<short>(-128) : static_cast<short>(0);
}

// Menus: popup menus loaded from the program's resources or built in code, and the window menu
// of a top-level window. TrackPopupMenu shows a popup through the window system and posts the
// chosen command to the owner as WM_COMMAND.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/ui/messages.h"

class CWnd;

inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_ENABLED = 0x0000;
inline constexpr UINT MF_BYCOMMAND = 0x0000;
inline constexpr UINT MF_GRAYED = 0x0001;
inline constexpr UINT MF_DISABLED = 0x0002;
inline constexpr UINT MF_POPUP = 0x0010;
inline constexpr UINT MF_SEPARATOR = 0x0800;
inline constexpr UINT TPM_LEFTALIGN = 0x0000;
inline constexpr UINT TPM_LEFTBUTTON = 0x0000;
inline constexpr UINT TPM_RIGHTBUTTON = 0x0002;
inline constexpr UINT TPM_RETURNCMD = 0x0100;

class CMenu {
public:
    struct Item {
        UINT id = 0;
        UINT flags = MF_STRING;
        std::string text;
        std::shared_ptr<CMenu> popup;  // MF_POPUP items
    };

    BOOL CreatePopupMenu();
    // Loads menu resource nID: a menu bar whose popups GetSubMenu returns.
    BOOL LoadMenu(UINT nIDResource);
    BOOL DestroyMenu();
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, const char* lpszNewItem = nullptr);
    // Returns the previous state (MF_GRAYED/MF_DISABLED bits) or 0xFFFFFFFF for an unknown id.
    UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable);
    UINT GetMenuState(UINT nID, UINT nFlags = MF_BYCOMMAND) const;
    CMenu* GetSubMenu(int nPos) const;
    int GetMenuItemCount() const { return static_cast<int>(m_items.size()); }
    const std::vector<Item>& Items() const { return m_items; }
    // Shows the menu at screen point (x, y); the chosen command is posted to pWnd as WM_COMMAND
    // (or returned with TPM_RETURNCMD). Returns FALSE (0) when nothing was chosen.
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, const void* lpRect = nullptr);

private:
    std::vector<Item> m_items;
    bool m_bCreated = false;
};

#include "platform/ui/menu.h"

#include "platform/ui/restypes.h"
#include "platform/ui/windowsystem.h"
#include "platform/ui/wnd.h"

BOOL CMenu::CreatePopupMenu() {
    m_items.clear();
    m_bCreated = true;
    return TRUE;
}

BOOL CMenu::LoadMenu(UINT nIDResource) {
    const platform::ui::MenuTemplate* t = resources::FindMenu(nIDResource);
    if (t == nullptr) return FALSE;
    m_items.clear();
    auto popup = std::make_shared<CMenu>();
    popup->CreatePopupMenu();
    for (std::size_t i = 0; i < t->itemCount; ++i) {
        const auto& it = t->items[i];
        if (it.text == nullptr) popup->AppendMenu(MF_SEPARATOR);
        else popup->AppendMenu(MF_STRING, it.id, it.text);
    }
    m_items.push_back(Item{0, MF_POPUP, t->popupText ? t->popupText : "", popup});
    m_bCreated = true;
    return TRUE;
}

BOOL CMenu::DestroyMenu() {
    if (!m_bCreated) return FALSE;
    m_items.clear();
    m_bCreated = false;
    return TRUE;
}

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, const char* lpszNewItem) {
    if (!m_bCreated) return FALSE;
    Item item;
    item.flags = nFlags;
    if ((nFlags & MF_SEPARATOR) == 0) {
        item.id = static_cast<UINT>(nIDNewItem);
        item.text = lpszNewItem ? lpszNewItem : "";
    }
    m_items.push_back(std::move(item));
    return TRUE;
}

UINT CMenu::EnableMenuItem(UINT nIDEnableItem, UINT nEnable) {
    for (auto& item : m_items) {
        if ((item.flags & (MF_SEPARATOR | MF_POPUP)) != 0 || item.id != nIDEnableItem) continue;
        const UINT previous = item.flags & (MF_GRAYED | MF_DISABLED);
        item.flags = (item.flags & ~(MF_GRAYED | MF_DISABLED)) | (nEnable & (MF_GRAYED | MF_DISABLED));
        return previous;
    }
    return 0xFFFFFFFFu;
}

UINT CMenu::GetMenuState(UINT nID, UINT) const {
    for (const auto& item : m_items) {
        if ((item.flags & (MF_SEPARATOR | MF_POPUP)) == 0 && item.id == nID) return item.flags;
    }
    return 0xFFFFFFFFu;
}

CMenu* CMenu::GetSubMenu(int nPos) const {
    if (nPos < 0 || nPos >= static_cast<int>(m_items.size())) return nullptr;
    return m_items[static_cast<std::size_t>(nPos)].popup.get();
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, const void*) {
    auto* ws = platform::ui::GetWindowSystem();
    if (ws == nullptr || pWnd == nullptr) return FALSE;
    const UINT chosen = ws->TrackPopupMenu(*this, pWnd, x, y);
    if (chosen == 0) return FALSE;
    if ((nFlags & TPM_RETURNCMD) != 0) return static_cast<BOOL>(chosen);
    pWnd->PostMessage(WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    return TRUE;
}

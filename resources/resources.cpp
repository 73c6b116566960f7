// The index of the program's resources: dialog templates, menus and strings.
#include "platform/ui/restypes.h"
#include "resources/resource_ids.h"

namespace resources {

// Defined next to their data.
const platform::ui::DialogTemplate& MainDialogTemplate();
const platform::ui::DialogTemplate& AboutDialogTemplate();
const platform::ui::DialogTemplate& BatchDialogTemplate();
const platform::ui::DialogTemplate& EffectDialogTemplate();
const platform::ui::DialogTemplate& SettingDialogTemplate();

const platform::ui::DialogTemplate* FindDialog(UINT id) {
    switch (id) {
    case IDD_SORVEL_DIALOG: return &MainDialogTemplate();
    case IDD_ABOUTBOX: return &AboutDialogTemplate();
    case IDD_BATCH: return &BatchDialogTemplate();
    case IDD_EFFECT_DIALOG: return &EffectDialogTemplate();
    case IDD_SETTING_DIALOG: return &SettingDialogTemplate();
    default: return nullptr;
    }
}

namespace {
constexpr platform::ui::MenuItemTemplate kPopupItems[] = {
    {ID_SETTING, "ソルベルの設定"},
    {ID_HELP_SHOW, "ヘルプの表示"},
    {ID_VERSION, "バージョン情報"},
};
constexpr platform::ui::MenuTemplate kPopupMenu = {IDR_POPUP_MENU, "Menu", kPopupItems, std::size(kPopupItems)};
}  // namespace

const platform::ui::MenuTemplate* FindMenu(UINT id) { return id == IDR_POPUP_MENU ? &kPopupMenu : nullptr; }

const char* FindString(UINT id) {
    switch (id) {
    case IDS_ABOUTBOX: return "&About sorvel...";
    default: return nullptr;
    }
}

}  // namespace resources

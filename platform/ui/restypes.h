// Window and control styles, and the formats of the program's resources: dialog templates,
// menus and strings. The data live in resources/; platform/ui reads them through the lookup
// functions declared at the end.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/base/types.h"
#include "platform/ui/gdi.h"

// Window styles.
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_GROUP = 0x00020000;    // on a control: starts a group
inline constexpr DWORD WS_TABSTOP = 0x00010000;  // on a control
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD DS_MODALFRAME = 0x00000080;

// Push buttons, check boxes, radio buttons, group boxes.
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
inline constexpr DWORD BS_BITMAP = 0x0080;
inline constexpr DWORD BS_MULTILINE = 0x2000;

// Statics.
inline constexpr DWORD SS_LEFT = 0x0000;
inline constexpr DWORD SS_CENTER = 0x0001;
inline constexpr DWORD SS_RIGHT = 0x0002;
inline constexpr DWORD SS_TYPEMASK = 0x001F;
inline constexpr DWORD SS_NOPREFIX = 0x0080;
inline constexpr DWORD SS_CENTERIMAGE = 0x0200;
inline constexpr DWORD SS_SUNKEN = 0x1000;

// Trackbars.
inline constexpr DWORD TBS_AUTOTICKS = 0x0001;
inline constexpr DWORD TBS_VERT = 0x0002;  // vertical, its lowest position at the top
inline constexpr DWORD TBS_BOTH = 0x0008;
inline constexpr DWORD TBS_NOTICKS = 0x0010;

// Edits.
inline constexpr DWORD ES_CENTER = 0x0001;
inline constexpr DWORD ES_RIGHT = 0x0002;
inline constexpr DWORD ES_AUTOHSCROLL = 0x0080;
inline constexpr DWORD ES_READONLY = 0x0800;

namespace platform::ui {

// What a dialog item is; the window system makes the matching widget.
enum class ItemKind {
    None,         // a window that paints itself (made by CWnd::Create)
    PushButton,   // text, or an image with BS_BITMAP
    CheckBox,     // toggles its check when clicked
    RadioButton,  // checks itself and clears the others of its group when clicked
    GroupBox,
    Static,       // text; the colour comes from the owner's WM_CTLCOLOR
    Frame,        // a rectangle outline (no text)
    EtchedLine,   // a horizontal etched line
    Icon,         // shows an icon resource
    Edit,
    ComboBox,     // drop-down list (no typing)
    Trackbar,     // horizontal, or vertical with TBS_VERT
    ScrollBar,    // horizontal
};

// One item of a dialog template; rectangle in dialog units.
struct DialogItemTemplate {
    ItemKind kind;
    int id;  // -1 for items the program never reaches
    const char* text;
    DWORD style;  // WS_VISIBLE is added for every item unless hidden is set
    int x, y, cx, cy;
    bool hidden = false;
    UINT imageId = 0;  // icon resource of an Icon item
};

struct DialogTemplate {
    UINT id;
    const char* caption;
    const char* fontFace;
    int pointSize;
    DWORD style;
    int cx, cy;  // client size in dialog units
    const DialogItemTemplate* items;
    std::size_t itemCount;
    // Dialog base units the layout was made for, when it also holds pictures of a fixed pixel
    // size that its texts must line up with; 0 measures them from the font.
    int baseUnitX = 0;
    int baseUnitY = 0;
};

struct MenuItemTemplate {
    UINT id;           // 0 with a null text: separator
    const char* text;  // null for a separator
};

struct MenuTemplate {
    UINT id;
    // The menu bar holds one popup per entry; the program uses popup 0.
    const char* popupText;
    const MenuItemTemplate* items;
    std::size_t itemCount;
};

}  // namespace platform::ui

// Lookups into the program's resources (defined in resources/). Null or false when unknown.
namespace resources {
const platform::ui::DialogTemplate* FindDialog(UINT id);
const platform::ui::MenuTemplate* FindMenu(UINT id);
const char* FindString(UINT id);
// Draws bitmap resource id into a new image.
std::shared_ptr<platform::ui::Surface> MakeBitmap(UINT id);
// Draws icon resource id at size × size pixels (32 and 16 are the sizes in use).
std::shared_ptr<platform::ui::Surface> MakeIcon(UINT id, int size);
}  // namespace resources

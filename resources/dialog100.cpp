// Template 100: the about box, 235 × 69 dialog units in "MS UI Gothic" 9 points.
#include "platform/ui/restypes.h"
#include "resources/resource_ids.h"

namespace resources {
namespace {

using platform::ui::DialogItemTemplate;
using K = platform::ui::ItemKind;

constexpr DialogItemTemplate kItems[] = {
    {K::Icon, -1, nullptr, 0, 11, 17, 20, 20, false, IDR_MAINFRAME},
    {K::Static, IDC_ABOUT_VERSION, "Sorvel Version 2.87", SS_LEFT | SS_NOPREFIX, 40, 10, 134, 8},
    {K::Static, -1, "リアルタイム ボイスチェンジャー", SS_LEFT, 40, 25, 119, 8},
    {K::PushButton, 1, "OK", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 185, 15, 39, 16},
    {K::Static, IDC_ABOUT_BUILD, "64bit program", SS_LEFT | SS_NOPREFIX, 40, 41, 144, 8},
    {K::Static, IDC_ABOUT_EXTRA, "", SS_LEFT, 48, 55, 183, 8},
};

constexpr platform::ui::DialogTemplate kTemplate = {
    IDD_ABOUTBOX, "About sorvel", "MS UI Gothic", 9, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    235, 69, kItems, std::size(kItems)};

}  // namespace

const platform::ui::DialogTemplate& AboutDialogTemplate() { return kTemplate; }

}  // namespace resources

// Template 144: the batch progress dialog, 190 × 110 dialog units in "MS Shell Dlg" 8 points,
// hidden when made (the batch shows it).
#include "platform/ui/restypes.h"
#include "resources/resource_ids.h"

namespace resources {
namespace {

using platform::ui::DialogItemTemplate;
using K = platform::ui::ItemKind;

constexpr DialogItemTemplate kItems[] = {
    {K::Static, IDC_BATCH_TITLE, "TD-PSOLA バッチ処理中", SS_LEFT, 45, 12, 111, 8},
    {K::Static, IDC_BATCH_PROGRESS, "0 %", SS_LEFT, 80, 41, 27, 8},
    {K::Static, IDC_BATCH_NOTE, "結果は「設定」で指定されたフォルダ内のファイル名_xx.wavに出力されます", SS_LEFT, 36, 59,
     126, 19},
    {K::PushButton, IDC_BATCH_ABORT, "中止", WS_TABSTOP, 69, 88, 50, 14},
    {K::Static, IDC_BATCH_FILE, "", SS_LEFT, 29, 27, 150, 8},
};

constexpr platform::ui::DialogTemplate kTemplate = {
    IDD_BATCH, "ソルベル", "MS Shell Dlg", 8, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    190, 110, kItems, std::size(kItems)};

}  // namespace

const platform::ui::DialogTemplate& BatchDialogTemplate() { return kTemplate; }

}  // namespace resources

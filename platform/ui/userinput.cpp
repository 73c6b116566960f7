#include "platform/ui/userinput.h"

#include "platform/ui/menu.h"

namespace platform::ui {
namespace {

std::function<void(const std::string&)>& NoticeSink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

void Notify(CWnd* control, UINT code) {
    CWnd* owner = control->GetParent();
    if (owner == nullptr) return;
    owner->SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<UINT>(control->GetDlgCtrlID()), code),
                       reinterpret_cast<LPARAM>(control));
}

}  // namespace

void UserClickedButton(CButton* button) {
    if (button == nullptr || !button->IsWindowEnabled()) return;
    if (button->GetItemKind() == ItemKind::CheckBox) {
        button->SetCheck(button->GetCheck() == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    } else if (button->GetItemKind() == ItemKind::RadioButton) {
        if (auto* dlg = dynamic_cast<CDialog*>(button->GetParent())) {
            for (CWnd* other : dlg->GetRadioGroup(button)) {
                if (other != button) static_cast<CButton*>(other)->SetCheck(BST_UNCHECKED);
            }
        }
        button->SetCheck(BST_CHECKED);
    }
    Notify(button, BN_CLICKED);
}

void UserChoseComboItem(CComboBox* combo, int index) {
    if (combo == nullptr || index < 0 || index >= combo->GetCount()) return;
    combo->SetCurSel(index);
    Notify(combo, CBN_SELCHANGE);
}

void UserMovedTrackbar(CSliderCtrl* slider, int pos, UINT code) {
    if (slider == nullptr) return;
    slider->SetPos(pos);
    if (CWnd* owner = slider->GetParent()) {
        owner->SendMessage(WM_HSCROLL, MAKEWPARAM(code, static_cast<UINT>(slider->GetPos())), reinterpret_cast<LPARAM>(slider));
    }
}

void TrackbarPainted(CSliderCtrl* slider) {
    if (slider == nullptr) return;
    CWnd* owner = slider->GetParent();
    if (owner == nullptr) return;
    NMHDR hdr;
    hdr.hwndFrom = slider;
    hdr.idFrom = static_cast<UINT>(slider->GetDlgCtrlID());
    hdr.code = NM_CUSTOMDRAW;
    owner->SendMessage(WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
}

void UserScrolled(CScrollBar* bar, UINT code, int pos) {
    if (bar == nullptr) return;
    if (CWnd* owner = bar->GetParent()) {
        owner->SendMessage(WM_HSCROLL, MAKEWPARAM(code, static_cast<UINT>(pos)), reinterpret_cast<LPARAM>(bar));
    }
}

void UserEditedText(CEdit* edit, const std::string& text) {
    if (edit == nullptr) return;
    edit->SetWindowText(text);
    Notify(edit, EN_CHANGE);
}

bool UserMouse(CWnd* target, UINT message, UINT flags, int x, int y) {
    if (target == nullptr) return false;
    MSG msg;
    msg.hwnd = target;
    msg.message = message;
    msg.wParam = flags;
    msg.lParam = MAKELPARAM(x, y);
    POINT screen{x, y};
    target->ClientToScreen(&screen);
    msg.pt = screen;
    for (CWnd* w = target; w != nullptr; w = ((w->GetStyle() & WS_CHILD) != 0) ? w->GetParent() : nullptr) {
        if (w->PreTranslateMessage(&msg)) return true;
    }
    target->SendMessage(message, msg.wParam, msg.lParam);
    return false;
}

bool UserDroppedFiles(CWnd* target, const std::vector<std::string>& files, POINT point) {
    if (target == nullptr || !target->AcceptsFiles() || files.empty()) return false;
    DropFiles drop;
    drop.files = files;
    drop.point = point;
    target->SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(&drop), 0);
    return true;
}

void UserClosed(CWnd* topLevel) {
    if (topLevel == nullptr) return;
    if (CMenu* menu = topLevel->GetSystemMenu(FALSE)) {
        const UINT state = menu->GetMenuState(SC_CLOSE);
        if (state != 0xFFFFFFFFu && (state & (MF_GRAYED | MF_DISABLED)) != 0) return;
    }
    topLevel->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
}

void UserChoseSystemCommand(CWnd* topLevel, UINT id) {
    if (topLevel != nullptr) topLevel->SendMessage(WM_SYSCOMMAND, id, 0);
}

void UserPressedEscape(CDialog* dlg) {
    if (dlg != nullptr) dlg->SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void UserPressedEnter(CDialog* dlg, CWnd* focus) {
    if (dlg == nullptr) return;
    if (focus != nullptr) {
        MSG msg;
        msg.hwnd = focus;
        msg.message = WM_KEYDOWN;
        msg.wParam = VK_RETURN;
        for (CWnd* w = focus; w != nullptr; w = ((w->GetStyle() & WS_CHILD) != 0) ? w->GetParent() : nullptr) {
            if (w->PreTranslateMessage(&msg)) return;
        }
    }
    const int id = dlg->GetDefID();
    CWnd* button = dlg->GetDlgItem(id);
    if (button != nullptr && (!button->IsWindowEnabled() || !button->IsWindowVisible())) return;
    dlg->SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<UINT>(id), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void SetWindowSystemNoticeSink(std::function<void(const std::string&)> sink) { NoticeSink() = std::move(sink); }

void WindowSystemNotice(const std::string& text) {
    if (NoticeSink()) NoticeSink()(text);
}

ControlColors QueryControlColors(CWnd* control, UINT nCtlColor) {
    ControlColors colors{GetSysColor(COLOR_BTNTEXT), CLR_INVALID};
    if (control == nullptr) return colors;
    CWnd* owner = control->GetParent();
    if (owner == nullptr) return colors;
    CDC dc;
    dc.SetTextColor(colors.text);
    CTLCOLORINFO info;
    info.pDC = &dc;
    info.pWnd = control;
    info.nCtlColor = nCtlColor;
    const LRESULT brush = owner->SendMessage(WM_CTLCOLOR, 0, reinterpret_cast<LPARAM>(&info));
    colors.text = dc.GetTextColor();
    if (const auto* b = reinterpret_cast<const CBrush*>(brush); b != nullptr && !b->m_bNull) colors.background = b->m_color;
    return colors;
}

}  // namespace platform::ui

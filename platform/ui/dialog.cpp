#include "platform/ui/dialog.h"

#include <cmath>
#include <cstdlib>

#include "platform/ui/controls.h"
#include "platform/ui/msgqueue.h"

using platform::ui::DialogItemTemplate;
using platform::ui::GetWindowSystem;
using platform::ui::ItemKind;

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (pDX == nullptr || pDX->m_pDlgWnd == nullptr) return;
    pDX->m_pDlgWnd->RegisterItem(nIDC, &rControl);
}

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long p = static_cast<long long>(a) * b;
    const long long q = (std::llabs(p) * 2 + std::llabs(c)) / (2 * std::llabs(static_cast<long long>(c)));
    return static_cast<int>(((p < 0) != (c < 0)) ? -q : q);
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParent) : m_nIDTemplate(nIDTemplate) { SetParent(pParent); }

// Bound members are already gone here (they belong to the derived object); the window system
// forgets the item widgets with the dialog's window.
CDialog::~CDialog() { CWnd::DestroyWindow(); }

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

BOOL CDialog::OnInitDialog() {
    BuildItems();
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        // A close request is the dialog's cancel command.
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    m_bEnded = true;
    auto* ws = GetWindowSystem();
    if (m_bModal) {
        if (ws != nullptr && HasWindow()) ws->EndModal(this);
    } else {
        ShowWindow(SW_HIDE);
    }
}

void CDialog::BindControls() {
    if (m_bBound) return;
    m_bBound = true;
    CDataExchange dx(this);
    DoDataExchange(&dx);
}

namespace {

std::unique_ptr<CWnd> MakeItemObject(ItemKind kind) {
    switch (kind) {
    case ItemKind::PushButton:
    case ItemKind::CheckBox:
    case ItemKind::RadioButton:
    case ItemKind::GroupBox: return std::make_unique<CButton>();
    case ItemKind::Edit: return std::make_unique<CEdit>();
    case ItemKind::ComboBox: return std::make_unique<CComboBox>();
    case ItemKind::Trackbar: return std::make_unique<CSliderCtrl>();
    case ItemKind::ScrollBar: return std::make_unique<CScrollBar>();
    default: return std::make_unique<CStatic>();
    }
}

platform::ui::FontSpec TemplateFont(const platform::ui::DialogTemplate& t) {
    platform::ui::FontSpec font;
    font.face = t.fontFace ? t.fontFace : "";
    font.height = -MulDiv(t.pointSize, 96, 72);
    return font;
}

}  // namespace

bool CDialog::BuildItems() {
    BindControls();
    if (m_bBuilt) return m_pTemplate != nullptr;
    m_bBuilt = true;
    m_pTemplate = resources::FindDialog(m_nIDTemplate);
    if (m_pTemplate == nullptr) return false;
    const auto& t = *m_pTemplate;

    const platform::ui::FontSpec font = TemplateFont(t);
    CFont dialogFont;
    dialogFont.CreateFont(font.height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, font.face.c_str());
    SetFont(&dialogFont);
    if (auto* ws = GetWindowSystem()) {
        m_baseUnits = ws->BaseUnits(font);
    } else {
        // Without a window system: the metrics of the proportional Japanese Gothic face that the
        // window system maps dialog fonts to (7 × 13 pixels at 12 pixels).
        const int em = font.EmPixels(1.0);
        m_baseUnits = platform::ui::DialogBaseUnits{(7 * em + 6) / 12, em + 1};
    }
    if (t.baseUnitX > 0 && t.baseUnitY > 0) m_baseUnits = platform::ui::DialogBaseUnits{t.baseUnitX, t.baseUnitY};

    SetStyle(t.style);
    SetWindowText(t.caption ? t.caption : "");
    CRect client(0, 0, t.cx, t.cy);
    MapDialogRect(client);
    SetRect(client);

    for (std::size_t i = 0; i < t.itemCount; ++i) {
        const DialogItemTemplate& it = t.items[i];
        CWnd* item = it.id != -1 ? GetDlgItem(it.id) : nullptr;
        if (item == nullptr) {
            m_owned.push_back(MakeItemObject(it.kind));
            item = m_owned.back().get();
            item->SetDlgCtrlID(it.id);
            item->SetParent(this);
            if (it.id != -1) m_items[it.id] = item;
        }
        item->SetItemKind(it.kind);
        item->SetStyle(it.style | WS_CHILD | (it.hidden ? 0 : WS_VISIBLE));
        CRect r(it.x, it.y, it.x + it.cx, it.y + it.cy);
        MapDialogRect(r);
        item->SetRect(r);
        if (it.kind != ItemKind::ComboBox && it.text != nullptr) item->SetWindowText(it.text);
        item->ShowWindow(it.hidden ? SW_HIDE : SW_SHOW);
        item->EnableWindow((it.style & WS_DISABLED) == 0);
        m_order.push_back(item);
    }
    return true;
}

void CDialog::RegisterItem(int id, CWnd* item) {
    if (item == nullptr) return;
    item->SetDlgCtrlID(id);
    item->SetParent(this);
    m_items[id] = item;
}

CWnd* CDialog::GetDlgItem(int id) const {
    const auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

void CDialog::MapDialogRect(LPRECT lpRect) const {
    if (lpRect == nullptr) return;
    lpRect->left = MulDiv(lpRect->left, m_baseUnits.x, 4);
    lpRect->right = MulDiv(lpRect->right, m_baseUnits.x, 4);
    lpRect->top = MulDiv(lpRect->top, m_baseUnits.y, 8);
    lpRect->bottom = MulDiv(lpRect->bottom, m_baseUnits.y, 8);
}

void CDialog::CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
    for (int id = nIDFirstButton; id <= nIDLastButton; ++id) {
        if (auto* b = dynamic_cast<CButton*>(GetDlgItem(id))) b->SetCheck(id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED);
    }
}

UINT CDialog::IsDlgButtonChecked(int nIDButton) const {
    const auto* b = dynamic_cast<const CButton*>(GetDlgItem(nIDButton));
    return b ? static_cast<UINT>(b->GetCheck()) : 0u;
}

void CDialog::CheckDlgButton(int nIDButton, UINT nCheck) {
    if (auto* b = dynamic_cast<CButton*>(GetDlgItem(nIDButton))) b->SetCheck(static_cast<int>(nCheck));
}

void CDialog::SetDlgItemText(int nID, const std::string& text) {
    if (CWnd* w = GetDlgItem(nID)) w->SetWindowText(text);
}

std::string CDialog::GetDlgItemText(int nID) const {
    const CWnd* w = GetDlgItem(nID);
    return w ? w->GetWindowText() : std::string();
}

std::vector<CWnd*> CDialog::GetRadioGroup(const CWnd* item) const {
    std::vector<CWnd*> group;
    std::size_t pos = m_order.size();
    for (std::size_t i = 0; i < m_order.size(); ++i) {
        if (m_order[i] == item) pos = i;
    }
    if (pos == m_order.size() || item->GetItemKind() != ItemKind::RadioButton) return group;
    std::size_t first = pos;
    while (first > 0 && (m_order[first]->GetStyle() & WS_GROUP) == 0 &&
           m_order[first - 1]->GetItemKind() == ItemKind::RadioButton) {
        --first;
    }
    for (std::size_t i = first; i < m_order.size(); ++i) {
        if (m_order[i]->GetItemKind() != ItemKind::RadioButton) break;
        if (i > first && (m_order[i]->GetStyle() & WS_GROUP) != 0) break;
        group.push_back(m_order[i]);
    }
    return group;
}

int CDialog::GetDefID() const {
    for (const CWnd* w : m_order) {
        if (w->GetItemKind() == ItemKind::PushButton && (w->GetStyle() & BS_DEFPUSHBUTTON) != 0) return w->GetDlgCtrlID();
    }
    return IDOK;
}

bool CDialog::MakeWindow(bool modal) {
    m_bModal = modal;
    m_bEnded = false;
    if (!BuildItems()) return false;
    MakeClientSurface(GetSysColor(COLOR_BTNFACE));
    {
        // Hidden until initialised: a modal dialog is shown then, a modeless one when its
        // template says so.
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_bVisible = false;
    }
    auto* ws = GetWindowSystem();
    if (ws != nullptr) SetHasWindow(ws->CreateWindowFor(this));
    return true;
}

INT_PTR CDialog::DoModal() {
    // Nothing opens once the program is closing: the dialog ends as cancelled.
    if (platform::ui::CloseRequested()) return IDCANCEL;
    platform::ui::ModalFrame frame(this);
    if (!MakeWindow(true)) return -1;
    auto* ws = GetWindowSystem();
    OnInitDialog();
    if (ws != nullptr && HasWindow()) {
        if (!m_bEnded) {
            ShowWindow(SW_SHOW);
            ws->RunModalLoop(this);
        }
    } else {
        while (!m_bEnded && platform::ui::DeliverPostedMessages(1) == 1) {
        }
        if (!m_bEnded) EndDialog(IDCANCEL);
    }
    DestroyWindow();
    m_bModal = false;
    return m_nModalResult;
}

namespace platform::ui {
namespace {

// The modal frames, innermost last (user-interface thread only).
std::vector<CDialog*>& Frames() {
    static std::vector<CDialog*> frames;
    return frames;
}
// The window whose close waits for the frames above it, and how many frames it sits on.
CDialog* g_closeWnd = nullptr;
std::size_t g_closeDepth = 0;
std::atomic<bool> g_closeRequested{false};

}  // namespace

ModalFrame::ModalFrame(CDialog* dlg) { Frames().push_back(dlg); }

ModalFrame::~ModalFrame() {
    Frames().pop_back();
    if (g_closeWnd != nullptr && Frames().size() <= g_closeDepth) {
        // The last loop above the closing window has returned: the close runs from the window's
        // own loop, after the handler that opened the inner loop has finished.
        PostToQueue(g_closeWnd, WM_CLOSE, 0, 0);
        g_closeWnd = nullptr;
    }
}

bool DeferCloseBehindModals(CDialog* wnd) {
    auto& frames = Frames();
    std::size_t depth = 0;  // frames at or below the window's own
    for (std::size_t i = frames.size(); i > 0; --i) {
        if (frames[i - 1] == wnd) {
            depth = i;
            break;
        }
    }
    if (frames.size() <= depth) return false;
    g_closeRequested.store(true, std::memory_order_release);
    g_closeWnd = wnd;
    g_closeDepth = depth;
    // Innermost first: dialogs end as cancelled, the window system closes its boxes, pickers
    // and menus; each loop returns when control comes back to it.
    for (std::size_t i = frames.size(); i > depth; --i) {
        if (CDialog* dlg = frames[i - 1]) dlg->EndDialog(IDCANCEL);
    }
    if (auto* ws = GetWindowSystem()) ws->DismissModals();
    return true;
}

bool CloseRequested() { return g_closeRequested.load(std::memory_order_acquire); }

void ClearCloseRequest() {
    g_closeRequested.store(false, std::memory_order_release);
    g_closeWnd = nullptr;
    g_closeDepth = 0;
}

}  // namespace platform::ui

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    if (HasWindow()) return FALSE;
    m_nIDTemplate = nIDTemplate;
    if (pParentWnd != nullptr) SetParent(pParentWnd);
    if (!MakeWindow(false)) return FALSE;
    OnInitDialog();
    if ((m_pTemplate->style & WS_VISIBLE) != 0 && !m_bEnded) ShowWindow(SW_SHOW);
    return TRUE;
}

BOOL CDialog::DestroyWindow() {
    for (CWnd* item : m_order) item->DestroyWindow();
    return CWnd::DestroyWindow();
}

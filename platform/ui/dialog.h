// CDialog: a dialog object made from a template id. Without a window it still binds its control
// members by id (DoDataExchange) and takes the other items of its template (ids, kinds, texts,
// styles, rectangles converted from dialog units to pixels), so the program's logic runs
// headless. With a window system, Create (modeless) and DoModal make the window: one widget per
// item, mirroring each item's state.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <vector>

#include "platform/ui/restypes.h"
#include "platform/ui/windowsystem.h"
#include "platform/ui/wnd.h"

class CDialog;

class CDataExchange {
public:
    explicit CDataExchange(CDialog* dlg) : m_pDlgWnd(dlg) {}
    CDialog* m_pDlgWnd;
};

// Binds a control member to the dialog item with that id.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Rounded a × b / c, halves away from zero (the platform's MulDiv).
int MulDiv(int a, int b, int c);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParent = nullptr);
    ~CDialog() override;

    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    // Ends the dialog with nResult: a modal loop returns it; a modeless dialog is hidden.
    // Safe from any thread.
    void EndDialog(int nResult);

    // Runs the dialog modally: makes its window, OnInitDialog, then a nested loop until
    // EndDialog; the window is gone when it returns the result. Without a window system the
    // dialog initialises, handles the messages already posted, and ends with IDCANCEL unless
    // something ended it before. -1 when the template is unknown.
    virtual INT_PTR DoModal();
    // Makes the window modelessly (shown when the template says visible); OnInitDialog runs.
    BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    BOOL DestroyWindow() override;

    // Runs DoDataExchange once, so that every control member is bound to its id.
    void BindControls();
    // Binds the members and takes every item of the template (once). False without a template.
    bool BuildItems();
    void RegisterItem(int id, CWnd* item);
    CWnd* GetDlgItem(int id) const;
    // The template's items in their order (bound members and the dialog's own objects).
    const std::vector<CWnd*>& GetItems() const { return m_order; }

    void CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton);
    UINT IsDlgButtonChecked(int nIDButton) const;
    void CheckDlgButton(int nIDButton, UINT nCheck);
    void SetDlgItemText(int nID, const std::string& text);
    std::string GetDlgItemText(int nID) const;
    // The radio buttons of the group that item belongs to (groups start at WS_GROUP items and end
    // at the next WS_GROUP item or at the next item that is not a radio button).
    std::vector<CWnd*> GetRadioGroup(const CWnd* item) const;
    // Id of the default push button (BS_DEFPUSHBUTTON), or IDOK when there is none.
    int GetDefID() const;

    // Dialog units to pixels with the dialog font's base units.
    void MapDialogRect(LPRECT lpRect) const;
    platform::ui::DialogBaseUnits GetBaseUnits() const { return m_baseUnits; }
    const platform::ui::DialogTemplate* GetTemplate() const { return m_pTemplate; }

    UINT GetTemplateId() const { return m_nIDTemplate; }
    bool IsEnded() const { return m_bEnded; }
    int GetModalResult() const { return m_nModalResult; }
    bool IsModal() const { return m_bModal; }

    DECLARE_MESSAGE_MAP()

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool MakeWindow(bool modal);

    UINT m_nIDTemplate;
    const platform::ui::DialogTemplate* m_pTemplate = nullptr;
    platform::ui::DialogBaseUnits m_baseUnits;
    std::map<int, CWnd*> m_items;
    std::vector<CWnd*> m_order;
    std::vector<std::unique_ptr<CWnd>> m_owned;
    bool m_bBound = false;
    bool m_bBuilt = false;
    std::atomic<bool> m_bEnded{false};
    std::atomic<int> m_nModalResult{0};
    bool m_bModal = false;
};

namespace platform::ui {

// Modal loops on the user-interface thread nest: a dialog run modally, and inside it a message
// box, a file or folder picker, a popup menu or another dialog, each in a frame of its own. A
// close request that arrives inside an inner loop must not run there: the handler that opened
// the inner loop would go on, after it returns, with what the close freed.
class ModalFrame {
public:
    // dlg: the dialog whose modal run this frame is (null for a box, picker or menu).
    explicit ModalFrame(CDialog* dlg = nullptr);
    ~ModalFrame();
    ModalFrame(const ModalFrame&) = delete;
    ModalFrame& operator=(const ModalFrame&) = delete;
};

// Called by a window's close handler. When modal loops run above the window's own (a box,
// picker, menu or dialog opened from it), every one of them is dismissed as if cancelled, the
// close request is recorded, and WM_CLOSE is posted to the window again once the last of them
// has returned; the caller then does nothing now (true). False: nothing runs above the window,
// and the caller closes now.
bool DeferCloseBehindModals(CDialog* wnd);
// True from a deferred close request on: no box, picker, menu or dialog is shown any more (each
// returns at once as cancelled, a question as "no"), and nothing new may start. The program is
// ending; it stays set.
bool CloseRequested();
// For a program (or a test) that goes on after its window has closed.
void ClearCloseRequest();

}  // namespace platform::ui

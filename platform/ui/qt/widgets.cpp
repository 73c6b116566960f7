// The widgets that show window objects: one class per kind of dialog item, the painted windows
// (a dialog's client area and child windows made by CWnd::Create) and the dialog window itself.
// Each takes its object's state in Sync and reports the user's actions through userinput.h.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QUrl>

#include "platform/ui/qt/backend.h"
#include "platform/ui/qt/windowsystem_qt.h"
#include "platform/ui/userinput.h"

namespace platform::ui::qt {
namespace {

QColor ToColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

UINT MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
    UINT flags = 0;
    if (buttons & Qt::LeftButton) flags |= MK_LBUTTON;
    if (buttons & Qt::RightButton) flags |= MK_RBUTTON;
    if (mods & Qt::ShiftModifier) flags |= MK_SHIFT;
    if (mods & Qt::ControlModifier) flags |= MK_CONTROL;
    return flags;
}

// State every widget takes the same way: shown, enabled, font, place.
void SyncCommon(QWidget* w, CWnd* wnd, unsigned what, bool applyFont = true) {
    if (what & (kEnabled | kOther)) w->setEnabled(wnd->IsWindowEnabled() != FALSE);
    if (applyFont && (what & kOther)) w->setFont(MakeQFont(wnd->GetFontSpec()));
    if (what & kOther) {
        const CRect r = wnd->GetRect();
        w->setGeometry(r.left, r.top, r.Width(), r.Height());
    }
    if (what & (kVisible | kOther)) w->setVisible(wnd->IsWindowVisible() != FALSE);
}

// Mouse messages over a control reach the program's PreTranslateMessage chain first.
class ControlMouseFilter : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* ev) override {
        UINT message = 0;
        switch (ev->type()) {
        case QEvent::MouseMove: message = WM_MOUSEMOVE; break;
        case QEvent::MouseButtonPress: message = WM_LBUTTONDOWN; break;
        case QEvent::MouseButtonRelease: message = WM_LBUTTONUP; break;
        default: return false;
        }
        auto* widget = qobject_cast<QWidget*>(obj);
        auto* bound = dynamic_cast<Bound*>(obj);
        if (widget == nullptr || bound == nullptr || bound->Wnd() == nullptr || !widget->isEnabled()) return false;
        auto* me = static_cast<QMouseEvent*>(ev);
        if (message == WM_LBUTTONDOWN && me->button() == Qt::RightButton) message = WM_RBUTTONDOWN;
        if (message != WM_MOUSEMOVE && me->button() != Qt::LeftButton && me->button() != Qt::RightButton) return false;
        if (message == WM_LBUTTONUP && me->button() != Qt::LeftButton) return false;
        const QPoint p = me->position().toPoint();
        return UserMouse(bound->Wnd(), message, MouseFlags(me->buttons(), me->modifiers()), p.x(), p.y());
    }
};

ControlMouseFilter* MouseFilter() {
    static ControlMouseFilter* filter = new ControlMouseFilter();
    return filter;
}

void WatchMouse(QWidget* w) {
    w->setMouseTracking(true);
    w->installEventFilter(MouseFilter());
}

// --- Painted windows: the client surface, WM_PAINT and mouse messages ---------------------------

class PaintedWidget : public QWidget, public Bound {
public:
    PaintedWidget(CWnd* wnd, QWidget* parent) : QWidget(parent), Bound(wnd) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void Sync(unsigned what) override {
        if (Wnd() == nullptr) return;
        SyncCommon(this, Wnd(), what, false);
        if (what & kOther) setAcceptDrops(Wnd()->AcceptsFiles());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        CWnd* wnd = Wnd();
        if (wnd == nullptr) return;
        wnd->PaintIfNeeded();
        if (Wnd() == nullptr) return;
        QPainter p(this);
        if (const Surface* s = wnd->GetClientSurface()) {
            p.drawImage(0, 0, ViewOf(*s));
        } else {
            p.fillRect(rect(), ToColor(GetSysColor(COLOR_BTNFACE)));
        }
    }
    void mouseMoveEvent(QMouseEvent* ev) override { Mouse(WM_MOUSEMOVE, ev); }
    void mousePressEvent(QMouseEvent* ev) override {
        if (ev->button() == Qt::LeftButton) Mouse(WM_LBUTTONDOWN, ev);
        else if (ev->button() == Qt::RightButton) Mouse(WM_RBUTTONDOWN, ev);
    }
    void mouseReleaseEvent(QMouseEvent* ev) override {
        if (ev->button() == Qt::LeftButton) Mouse(WM_LBUTTONUP, ev);
    }
    // The window learns that the mouse has left it (hover highlights end).
    void leaveEvent(QEvent*) override {
        if (Wnd() != nullptr) Wnd()->SendMessage(WM_MOUSELEAVE);
    }
    void dragEnterEvent(QDragEnterEvent* ev) override {
        if (Wnd() != nullptr && Wnd()->AcceptsFiles() && ev->mimeData()->hasUrls()) ev->acceptProposedAction();
    }
    void dropEvent(QDropEvent* ev) override {
        if (Wnd() == nullptr) return;
        std::vector<std::string> files;
        for (const QUrl& url : ev->mimeData()->urls()) {
            if (url.isLocalFile()) files.push_back(FromQt(url.toLocalFile()));
        }
        if (files.empty()) return;
        ev->acceptProposedAction();
        const QPoint at = ev->position().toPoint();
        // Handled after the drop has finished, in its order among the user's input, and only
        // where a click on the window would be (never inside a wait, box or picker).
        if (QtWindowSystem* ws = CurrentWindowSystem()) ws->QueueDroppedFiles(Wnd(), std::move(files), POINT{at.x(), at.y()});
    }

private:
    void Mouse(UINT message, QMouseEvent* ev) {
        if (Wnd() == nullptr) return;
        const QPoint p = ev->position().toPoint();
        UserMouse(Wnd(), message, MouseFlags(ev->buttons(), ev->modifiers()), p.x(), p.y());
    }
};

// --- The dialog window ----------------------------------------------------------------------------

class DialogWidget : public PaintedWidget {
public:
    DialogWidget(CDialog* dlg, QWidget* owner) : PaintedWidget(dlg, owner) {
        Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                Qt::WindowSystemMenuHint;
        if (dlg->GetStyle() & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
        setWindowFlags(flags);
        if (dlg->IsModal()) setWindowModality(Qt::ApplicationModal);
        const CRect r = dlg->GetRect();
        setFixedSize(r.Width(), r.Height());
        setWindowTitle(ToQt(dlg->GetWindowText()));
    }

    void Sync(unsigned what) override {
        CWnd* wnd = Wnd();
        if (wnd == nullptr) return;
        if (what & kText) setWindowTitle(ToQt(wnd->GetWindowText()));
        if (what & (kEnabled | kOther)) setEnabled(wnd->IsWindowEnabled() != FALSE);
        if (what & kOther) setAcceptDrops(wnd->AcceptsFiles());
        if (what & (kVisible | kOther)) {
            const bool visible = wnd->IsWindowVisible() != FALSE;
            if (visible && !isVisible()) {
                if (!m_placed) Place();
                ShowCloseButtonAsTheWindowMenuSays();
                show();
                raise();
                activateWindow();
            } else if (!visible && isVisible()) {
                hide();
            }
        }
    }

protected:
    void closeEvent(QCloseEvent* ev) override {
        // The program decides: the close request becomes WM_SYSCOMMAND / WM_CLOSE.
        ev->ignore();
        if (Wnd() != nullptr) UserClosed(Wnd());
    }
    void keyPressEvent(QKeyEvent* ev) override {
        auto* dlg = dynamic_cast<CDialog*>(Wnd());
        if (dlg == nullptr) return;
        if (ev->key() == Qt::Key_Escape) {
            UserPressedEscape(dlg);
        } else if (ev->key() == Qt::Key_Return || ev->key() == Qt::Key_Enter) {
            // The control with the keyboard focus sees the key first.
            CWnd* focus = nullptr;
            for (QWidget* w = QApplication::focusWidget(); w != nullptr && w != this; w = w->parentWidget()) {
                if (auto* bound = dynamic_cast<Bound*>(w); bound != nullptr && bound->Wnd() != nullptr) {
                    focus = bound->Wnd();
                    break;
                }
            }
            UserPressedEnter(dlg, focus);
        } else if (ev->key() == Qt::Key_Space && (ev->modifiers() & Qt::AltModifier)) {
            ShowSystemMenu();
        } else {
            QWidget::keyPressEvent(ev);
        }
    }

private:
    void Place() {
        m_placed = true;
        QRect area;
        if (QWidget* owner = parentWidget()) area = owner->window()->frameGeometry();
        else if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
        if (area.isValid()) move(area.center() - QPoint(width() / 2, height() / 2));
    }

    // A window whose window menu has its close item greyed shows no close button.
    void ShowCloseButtonAsTheWindowMenuSays() {
        CWnd* wnd = Wnd();
        CMenu* menu = wnd ? wnd->GetSystemMenu(FALSE) : nullptr;
        if (menu == nullptr) return;
        const UINT state = menu->GetMenuState(SC_CLOSE);
        const bool greyed = state != 0xFFFFFFFFu && (state & (MF_GRAYED | MF_DISABLED)) != 0;
        if (greyed == !(windowFlags() & Qt::WindowCloseButtonHint)) return;
        setWindowFlag(Qt::WindowCloseButtonHint, !greyed);
    }

    void ShowSystemMenu() {
        CWnd* wnd = Wnd();
        CMenu* menu = wnd ? wnd->GetSystemMenu(FALSE) : nullptr;
        if (menu == nullptr) return;
        QMenu popup(this);
        FillQMenu(popup, *menu);
        QAction* chosen = popup.exec(mapToGlobal(QPoint(0, 0)));
        if (chosen != nullptr && Wnd() != nullptr) UserChoseSystemCommand(Wnd(), chosen->data().toUInt());
    }

    bool m_placed = false;
};

// --- Statics, group boxes, frames, lines, icons -----------------------------------------------------

class StaticWidget : public QWidget, public Bound {
public:
    StaticWidget(CWnd* wnd, QWidget* parent) : QWidget(parent), Bound(wnd) { setAttribute(Qt::WA_TransparentForMouseEvents); }
    void Sync(unsigned what) override {
        if (Wnd() == nullptr) return;
        SyncCommon(this, Wnd(), what);
        bool changed = false;
        if (what & (kText | kOther)) {
            const std::string text = Wnd()->GetWindowText();
            const QString shown = (Wnd()->GetStyle() & SS_NOPREFIX) ? ToQt(text) : StripPrefix(text);
            changed = shown != m_text;
            m_text = shown;
        }
        // The same text set again draws nothing.
        if (changed || (what & kEnabled)) update();
    }
    QString ShownText() const override { return m_text; }

protected:
    void paintEvent(QPaintEvent*) override {
        CWnd* wnd = Wnd();
        if (wnd == nullptr) return;
        const ControlColors colors = QueryControlColors(wnd, CTLCOLOR_STATIC);
        QPainter p(this);
        if (colors.background != CLR_INVALID) p.fillRect(rect(), ToColor(colors.background));
        const DWORD style = wnd->GetStyle();
        QRect box = rect();
        if (style & SS_SUNKEN) {
            p.setPen(ToColor(GetSysColor(COLOR_BTNSHADOW)));
            p.drawLine(0, 0, width() - 1, 0);
            p.drawLine(0, 0, 0, height() - 1);
            p.setPen(ToColor(GetSysColor(COLOR_BTNHIGHLIGHT)));
            p.drawLine(1, height() - 1, width() - 1, height() - 1);
            p.drawLine(width() - 1, 1, width() - 1, height() - 1);
            box.adjust(2, 1, -2, -1);
        }
        int flags = (style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
        const DWORD type = style & SS_TYPEMASK;
        if (type == SS_CENTER) flags |= Qt::AlignHCenter;
        else if (type == SS_RIGHT) flags |= Qt::AlignRight;
        else flags |= Qt::AlignLeft | Qt::TextWordWrap;
        p.setFont(font());
        p.setPen(isEnabled() ? ToColor(colors.text) : ToColor(GetSysColor(COLOR_GRAYTEXT)));
        p.drawText(box, flags, m_text);
    }

private:
    QString m_text;
};

void DrawEtchedRect(QPainter& p, const QRect& r) {
    p.setPen(ToColor(GetSysColor(COLOR_BTNSHADOW)));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setPen(ToColor(GetSysColor(COLOR_BTNHIGHLIGHT)));
    p.drawRect(r.adjusted(1, 1, 0, 0));
}

class GroupWidget : public QWidget, public Bound {
public:
    GroupWidget(CWnd* wnd, QWidget* parent) : QWidget(parent), Bound(wnd) { setAttribute(Qt::WA_TransparentForMouseEvents); }
    void Sync(unsigned what) override {
        if (Wnd() == nullptr) return;
        SyncCommon(this, Wnd(), what);
        if (what & (kText | kOther)) m_title = StripPrefix(Wnd()->GetWindowText());
        if (what & kText) update();
    }
    QString ShownText() const override { return m_title; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (Wnd() == nullptr) return;
        QPainter p(this);
        const QFontMetrics m(font());
        const int top = m.height() / 2;
        DrawEtchedRect(p, QRect(0, top, width() - 1, height() - top - 1));
        const QString& title = m_title;
        if (title.isEmpty()) return;
        const QRect textRect(8, 0, m.horizontalAdvance(title) + 4, m.height());
        p.fillRect(textRect, ToColor(GetSysColor(COLOR_BTNFACE)));
        p.setPen(isEnabled() ? ToColor(GetSysColor(COLOR_BTNTEXT)) : ToColor(GetSysColor(COLOR_GRAYTEXT)));
        p.drawText(textRect, Qt::AlignCenter, title);
    }

private:
    QString m_title;
};

class FrameWidget : public QWidget, public Bound {
public:
    FrameWidget(CWnd* wnd, QWidget* parent) : QWidget(parent), Bound(wnd) { setAttribute(Qt::WA_TransparentForMouseEvents); }
    void Sync(unsigned what) override {
        if (Wnd() != nullptr) SyncCommon(this, Wnd(), what);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (Wnd() == nullptr) return;
        QPainter p(this);
        if (Wnd()->GetItemKind() == ItemKind::EtchedLine) {
            p.setPen(ToColor(GetSysColor(COLOR_BTNSHADOW)));
            p.drawLine(0, 0, width() - 1, 0);
            p.setPen(ToColor(GetSysColor(COLOR_BTNHIGHLIGHT)));
            p.drawLine(0, 1, width() - 1, 1);
        } else {
            DrawEtchedRect(p, rect());
        }
    }
};

class IconWidget : public QWidget, public Bound {
public:
    IconWidget(CWnd* wnd, QWidget* parent, UINT iconId) : QWidget(parent), Bound(wnd), m_icon(LoadIconResource(iconId)) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    void Sync(unsigned what) override {
        if (Wnd() != nullptr) SyncCommon(this, Wnd(), what);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (m_icon == nullptr || !m_icon->big) return;
        QPainter p(this);
        p.drawImage(0, 0, ToImage(*m_icon->big, true));
    }

private:
    HICON m_icon;
};

// --- Buttons ---------------------------------------------------------------------------------------

class ButtonWidget : public QPushButton, public Bound {
public:
    ButtonWidget(CButton* wnd, QWidget* parent) : QPushButton(parent), Bound(wnd) {
        setAutoDefault(false);
        setDefault((wnd->GetStyle() & BS_DEFPUSHBUTTON) != 0);
        setFocusPolicy(Qt::StrongFocus);
        connect(this, &QPushButton::clicked, this, [this] {
            if (auto* b = dynamic_cast<CButton*>(Wnd())) UserClickedButton(b);
        });
        WatchMouse(this);
    }
    void Sync(unsigned what) override {
        auto* b = dynamic_cast<CButton*>(Wnd());
        if (b == nullptr) return;
        SyncCommon(this, b, what);
        const bool image = (b->GetStyle() & BS_BITMAP) != 0;
        if ((what & kText) && !image) setText(ToQt(b->GetWindowText()));
        if ((what & kText) && image) setAccessibleName(StripPrefix(b->GetWindowText()));
        if (what & (kImage | kOther)) {
            HBITMAP bmp = b->GetBitmap();
            m_image = (bmp != nullptr && bmp->SurfacePtr()) ? ToImage(*bmp->SurfacePtr()) : QImage();
            m_imageId = bmp != nullptr ? bmp->ResourceId() : 0;
            update();
        }
    }
    UINT ImageId() const { return m_imageId; }

protected:
    void paintEvent(QPaintEvent* ev) override {
        auto* b = dynamic_cast<CButton*>(Wnd());
        if (b == nullptr || (b->GetStyle() & BS_BITMAP) == 0) {
            QPushButton::paintEvent(ev);
            return;
        }
        QPainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        opt.text.clear();
        opt.icon = QIcon();
        style()->drawControl(QStyle::CE_PushButton, &opt, &p, this);
        if (m_image.isNull()) return;
        const int shift = isDown() ? 1 : 0;
        const QPoint at((width() - m_image.width()) / 2 + shift, (height() - m_image.height()) / 2 + shift);
        if (!isEnabled()) p.setOpacity(0.4);
        p.drawImage(at, m_image);
    }

private:
    QImage m_image;
    UINT m_imageId = 0;
};

// A check box or a radio button: the object's check state is what it shows, whatever a click did
// to the widget (a checked radio stays checked when clicked again; groups are the template's,
// kept by the objects).
template <typename QtButton>
class CheckableWidget : public QtButton, public Bound {
public:
    CheckableWidget(CButton* wnd, QWidget* parent) : QtButton(parent), Bound(wnd) {
        this->setAutoExclusive(false);
        QObject::connect(this, &QtButton::clicked, this, [this] {
            if (auto* b = dynamic_cast<CButton*>(Wnd())) UserClickedButton(b);
            Sync(kCheck);
        });
        WatchMouse(this);
    }
    void Sync(unsigned what) override {
        auto* b = dynamic_cast<CButton*>(Wnd());
        if (b == nullptr) return;
        UpdateScope scope(*this);
        SyncCommon(this, b, what);
        if (what & kText) this->setText(ToQt(b->GetWindowText()));
        if (what & (kCheck | kOther)) this->setChecked(b->GetCheck() == BST_CHECKED);
    }
};
using CheckWidget = CheckableWidget<QCheckBox>;
using RadioWidget = CheckableWidget<QRadioButton>;

// --- Drop-down list, edit --------------------------------------------------------------------------

class ComboWidget : public QComboBox, public Bound {
public:
    ComboWidget(CComboBox* wnd, QWidget* parent) : QComboBox(parent), Bound(wnd) {
        setEditable(false);
        connect(this, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
            if (Updating()) return;
            if (auto* c = dynamic_cast<CComboBox*>(Wnd())) UserChoseComboItem(c, index);
        });
        WatchMouse(this);
    }
    void Sync(unsigned what) override {
        auto* c = dynamic_cast<CComboBox*>(Wnd());
        if (c == nullptr) return;
        UpdateScope scope(*this);
        SyncCommon(this, c, what);
        if (what & kOther) {
            // The template's height includes the dropped list: the box itself takes its natural
            // height and the list shows as many items as fit in the rest.
            const CRect r = c->GetRect();
            const int boxHeight = sizeHint().height();
            setGeometry(r.left, r.top, r.Width(), boxHeight);
            const int itemHeight = std::max(1, fontMetrics().height() + 4);
            setMaxVisibleItems(std::max(4, (r.Height() - boxHeight) / itemHeight));
        }
        if (what & (kItems | kOther)) {
            const std::vector<std::string> items = c->GetItems();
            bool same = static_cast<int>(items.size()) == count();
            for (int i = 0; same && i < count(); ++i) same = itemText(i) == ToQt(items[static_cast<std::size_t>(i)]);
            if (!same) {
                clear();
                for (const auto& item : items) addItem(ToQt(item));
            }
        }
        if (what & (kItems | kSelection | kOther)) setCurrentIndex(c->GetCurSel());
    }
};

class EditWidget : public QLineEdit, public Bound {
public:
    EditWidget(CEdit* wnd, QWidget* parent) : QLineEdit(parent), Bound(wnd) {
        const DWORD style = wnd->GetStyle();
        if (style & ES_CENTER) setAlignment(Qt::AlignCenter);
        else if (style & ES_RIGHT) setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setReadOnly((style & ES_READONLY) != 0);
        setTextMargins(1, 0, 1, 0);
        connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
            if (Updating()) return;
            if (auto* e = dynamic_cast<CEdit*>(Wnd())) UserEditedText(e, FromQt(text));
        });
        WatchMouse(this);
    }
    void Sync(unsigned what) override {
        auto* e = dynamic_cast<CEdit*>(Wnd());
        if (e == nullptr) return;
        UpdateScope scope(*this);
        SyncCommon(this, e, what);
        if (what & (kText | kOther)) {
            const QString text = ToQt(e->GetWindowText());
            if (text != this->text()) setText(text);
        }
    }
};

// --- Trackbar, scroll bar ----------------------------------------------------------------------------

UINT ScrollCode(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: return SB_LINERIGHT;
    case QAbstractSlider::SliderSingleStepSub: return SB_LINELEFT;
    case QAbstractSlider::SliderPageStepAdd: return SB_PAGERIGHT;
    case QAbstractSlider::SliderPageStepSub: return SB_PAGELEFT;
    case QAbstractSlider::SliderToMinimum: return SB_LEFT;
    case QAbstractSlider::SliderToMaximum: return SB_RIGHT;
    case QAbstractSlider::SliderMove:
    default: return SB_THUMBTRACK;
    }
}

class TrackbarWidget : public QSlider, public Bound {
public:
    TrackbarWidget(CSliderCtrl* wnd, QWidget* parent)
        : QSlider((wnd->GetStyle() & TBS_VERT) != 0 ? Qt::Vertical : Qt::Horizontal, parent), Bound(wnd) {
        setTickPosition(QSlider::NoTicks);
        // A vertical trackbar has its lowest position at the top; Up moves the thumb up.
        if (orientation() == Qt::Vertical) {
            setInvertedAppearance(true);
            setInvertedControls(true);
        }
        setSingleStep(1);
        connect(this, &QSlider::actionTriggered, this, [this](int action) { m_code = ScrollCode(action); });
        connect(this, &QSlider::valueChanged, this, [this](int value) {
            m_ownRedraw = true;
            if (Updating()) return;
            if (auto* s = dynamic_cast<CSliderCtrl*>(Wnd())) UserMovedTrackbar(s, value, m_code);
        });
        connect(this, &QSlider::sliderReleased, this, [this] {
            auto* s = dynamic_cast<CSliderCtrl*>(Wnd());
            if (s == nullptr) return;
            UserMovedTrackbar(s, value(), SB_THUMBPOSITION);
            UserMovedTrackbar(s, value(), SB_ENDSCROLL);
        });
        WatchMouse(this);
    }
    void Sync(unsigned what) override {
        auto* s = dynamic_cast<CSliderCtrl*>(Wnd());
        if (s == nullptr) return;
        UpdateScope scope(*this);
        SyncCommon(this, s, what);
        if (what & (kRange | kPosition | kTicks | kOther)) {
            setRange(s->GetRangeMin(), s->GetRangeMax());
            setPageStep(std::max(1, s->GetPageSize()));
            setValue(s->GetPos());
            m_tics = s->GetTics();
            m_ownRedraw = true;
            update();
        }
        if (what & (kEnabled | kVisible)) m_ownRedraw = true;
    }

protected:
    // The events after which the trackbar draws itself anew: shown, resized, restyled, enabled
    // or disabled, and what the mouse, the keyboard and the focus do to it.
    bool event(QEvent* ev) override {
        switch (ev->type()) {
        case QEvent::Show:
        case QEvent::Resize:
        case QEvent::EnabledChange:
        case QEvent::StyleChange:
        case QEvent::PaletteChange:
        case QEvent::FontChange:
        case QEvent::HoverEnter:
        case QEvent::HoverLeave:
        case QEvent::HoverMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
        case QEvent::KeyPress:
        case QEvent::Wheel:
        case QEvent::FocusIn:
        case QEvent::FocusOut: m_ownRedraw = true; break;
        default: break;
        }
        return QSlider::event(ev);
    }

    void paintEvent(QPaintEvent* ev) override {
        QSlider::paintEvent(ev);
        auto* s = dynamic_cast<CSliderCtrl*>(Wnd());
        if (s == nullptr) return;
        if ((s->GetStyle() & TBS_NOTICKS) == 0) {
            QStyleOptionSlider opt;
            initStyleOption(&opt);
            const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
            const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
            QPainter p(this);
            p.setPen(ToColor(GetSysColor(COLOR_BTNTEXT)));
            std::vector<int> tics = m_tics;
            tics.push_back(minimum());
            tics.push_back(maximum());
            const bool vertical = orientation() == Qt::Vertical;
            const int span = vertical ? groove.height() - handle.height() : groove.width() - handle.width();
            for (int v : tics) {
                const int offset = QStyle::sliderPositionFromValue(minimum(), maximum(), v, span, invertedAppearance() != vertical);
                if (vertical) {
                    const int y = groove.y() + handle.height() / 2 + offset;
                    p.drawLine(width() - 4, y, width() - 1, y);
                    if (s->GetStyle() & TBS_BOTH) p.drawLine(0, y, 3, y);
                } else {
                    const int x = groove.x() + handle.width() / 2 + offset;
                    p.drawLine(x, height() - 4, x, height() - 1);
                    if (s->GetStyle() & TBS_BOTH) p.drawLine(x, 0, x, 3);
                }
            }
        }
        // The program reads trackbar positions when they redraw. Only a redraw of the trackbar's
        // own is one: the window system also paints it again when the dialog beneath it is
        // painted (a graph drawn nearby), which changes nothing of it and tells nothing.
        // The notification follows the paint instead of running inside it, so that a handler
        // may open a message box (a modal loop inside a paint would never return); redraws
        // before it is handled share it.
        if (!m_ownRedraw) return;
        m_ownRedraw = false;
        if (m_notifyPending) return;
        m_notifyPending = true;
        QTimer::singleShot(0, this, [this] {
            m_notifyPending = false;
            if (auto* slider = dynamic_cast<CSliderCtrl*>(Wnd())) TrackbarPainted(slider);
        });
    }

private:
    bool m_notifyPending = false;
    bool m_ownRedraw = true;  // something of the trackbar itself changed since its last redraw
    UINT m_code = SB_THUMBTRACK;
    std::vector<int> m_tics;
};

class ScrollWidget : public QScrollBar, public Bound {
public:
    ScrollWidget(CScrollBar* wnd, QWidget* parent) : QScrollBar(Qt::Horizontal, parent), Bound(wnd) {
        setSingleStep(1);
        setPageStep(1);
        connect(this, &QScrollBar::actionTriggered, this, [this](int action) {
            auto* bar = dynamic_cast<CScrollBar*>(Wnd());
            if (bar == nullptr || Updating()) return;
            const UINT code = ScrollCode(action);
            UserScrolled(bar, code, sliderPosition());
            // A scroll bar only moves when its owner sets the position; while the thumb is
            // dragged it follows the mouse until it is let go.
            if (code != SB_THUMBTRACK && Wnd() != nullptr) {
                UpdateScope scope(*this);
                setSliderPosition(bar->GetScrollPos());
            }
        });
        connect(this, &QScrollBar::sliderReleased, this, [this] {
            auto* bar = dynamic_cast<CScrollBar*>(Wnd());
            if (bar == nullptr) return;
            UserScrolled(bar, SB_THUMBPOSITION, sliderPosition());
            if (Wnd() == nullptr) return;
            UserScrolled(bar, SB_ENDSCROLL, 0);
            if (Wnd() == nullptr) return;
            UpdateScope scope(*this);
            setValue(bar->GetScrollPos());
        });
        WatchMouse(this);
    }
    void Sync(unsigned what) override {
        auto* bar = dynamic_cast<CScrollBar*>(Wnd());
        if (bar == nullptr) return;
        UpdateScope scope(*this);
        SyncCommon(this, bar, what);
        if (what & (kRange | kPosition | kOther)) {
            int lo = 0, hi = 0;
            bar->GetScrollRange(&lo, &hi);
            setRange(lo, hi);
            if (!isSliderDown()) setValue(bar->GetScrollPos());
        }
    }
};

constexpr unsigned kEverything = 0xFFFFFFFFu;

}  // namespace

QWidget* MakeItemWidget(CWnd* wnd, QWidget* parent) {
    QWidget* w = nullptr;
    switch (wnd->GetItemKind()) {
    case ItemKind::PushButton: w = new ButtonWidget(static_cast<CButton*>(wnd), parent); break;
    case ItemKind::CheckBox: w = new CheckWidget(static_cast<CButton*>(wnd), parent); break;
    case ItemKind::RadioButton: w = new RadioWidget(static_cast<CButton*>(wnd), parent); break;
    case ItemKind::GroupBox: w = new GroupWidget(wnd, parent); break;
    case ItemKind::Static: w = new StaticWidget(wnd, parent); break;
    case ItemKind::Frame:
    case ItemKind::EtchedLine: w = new FrameWidget(wnd, parent); break;
    case ItemKind::Icon: {
        UINT iconId = 0;
        if (auto* dlg = dynamic_cast<CDialog*>(wnd->GetParent()); dlg != nullptr && dlg->GetTemplate() != nullptr) {
            const auto& t = *dlg->GetTemplate();
            const auto& items = dlg->GetItems();
            for (std::size_t i = 0; i < items.size() && i < t.itemCount; ++i) {
                if (items[i] == wnd) iconId = t.items[i].imageId;
            }
        }
        w = new IconWidget(wnd, parent, iconId);
        break;
    }
    case ItemKind::Edit: w = new EditWidget(static_cast<CEdit*>(wnd), parent); break;
    case ItemKind::ComboBox: w = new ComboWidget(static_cast<CComboBox*>(wnd), parent); break;
    case ItemKind::Trackbar: w = new TrackbarWidget(static_cast<CSliderCtrl*>(wnd), parent); break;
    case ItemKind::ScrollBar: w = new ScrollWidget(static_cast<CScrollBar*>(wnd), parent); break;
    case ItemKind::None:
    default: w = new PaintedWidget(wnd, parent); break;
    }
    Register(wnd, w);
    dynamic_cast<Bound*>(w)->Sync(kEverything);
    return w;
}

QWidget* MakeDialogWidget(CDialog* dlg) {
    QWidget* owner = nullptr;
    if (CWnd* parent = dlg->GetParent()) {
        if (QWidget* pw = WidgetOf(parent->GetTopLevelParent())) owner = pw->window();
    }
    auto* top = new DialogWidget(dlg, owner);
    top->setFont(MakeQFont(dlg->GetFontSpec()));
    Register(dlg, top);
    std::vector<QWidget*> behind;
    for (CWnd* item : dlg->GetItems()) {
        QWidget* w = MakeItemWidget(item, top);
        const ItemKind kind = item->GetItemKind();
        if (kind == ItemKind::GroupBox || kind == ItemKind::Frame) behind.push_back(w);
    }
    // Group boxes and frames lie under the controls they surround.
    for (auto it = behind.rbegin(); it != behind.rend(); ++it) (*it)->lower();
    top->setWindowIcon(QIcon());
    top->Sync(kText | kEnabled | kOther);
    return top;
}

void SyncWidget(CWnd* wnd, unsigned what) {
    if (Bound* b = BoundOf(wnd)) b->Sync(what);
}

UINT ButtonImageId(const CWnd* wnd) {
    auto* b = dynamic_cast<ButtonWidget*>(WidgetOf(wnd));
    return b ? b->ImageId() : 0;
}

}  // namespace platform::ui::qt

// Message boxes and the file and folder pickers on Qt.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "platform/ui/dialog.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/qt/backend.h"

namespace platform::ui::qt {
namespace {

// The boxes, pickers and menus in their modal loops now, innermost last (UI thread only).
std::vector<QPointer<QWidget>>& OpenModals() {
    static std::vector<QPointer<QWidget>> open;
    return open;
}

// One modal loop of a box, picker or menu: a frame among the program's modal loops, and a
// widget that a close request can dismiss.
class ModalRun {
public:
    explicit ModalRun(QWidget* widget) { OpenModals().emplace_back(widget); }
    ~ModalRun() { OpenModals().pop_back(); }
    ModalRun(const ModalRun&) = delete;
    ModalRun& operator=(const ModalRun&) = delete;

private:
    ModalFrame m_frame;
};

QWidget* ActiveWindowFor(CWnd* owner) {
    if (owner != nullptr) {
        if (QWidget* w = WidgetOf(owner->GetTopLevelParent())) return w->window();
    }
    return QApplication::activeWindow();
}

constexpr int kPickerWidth = 860;
constexpr int kPickerHeight = 520;

// The picker's places list and its detail columns at widths where their texts are whole.
void ReadableColumns(QFileDialog& dialog) {
    if (auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter")))
        splitter->setSizes({170, kPickerWidth - 170});
    if (auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = tree->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        header->resizeSection(1, 90);
        header->resizeSection(2, 110);
        header->resizeSection(3, 170);
    }
}

// A filter as the picker shows and applies it: "description (patterns)", the patterns separated
// by blanks. A description that already ends with its patterns in brackets, as the program's
// filter texts do ("音声ファイル(*.wav)"), shows them once.
QString NameFilter(const QString& description, QString patterns) {
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    if (open >= 0 && description.endsWith(QLatin1Char(')'))) {
        QString shown = description.mid(open + 1, description.size() - open - 2);
        shown.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (shown.simplified() == patterns.simplified()) return description.left(open + 1) + patterns + QStringLiteral(")");
    }
    return description + QStringLiteral(" (") + patterns + QStringLiteral(")");
}

}  // namespace

void DismissOpenModals() {
    const std::vector<QPointer<QWidget>> open = OpenModals();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        QWidget* w = it->data();
        if (w == nullptr) continue;
        if (auto* dialog = qobject_cast<QDialog*>(w)) {
            dialog->reject();
        } else {
            w->close();
        }
    }
}

QAction* RunPopupMenu(QMenu& popup, const QPoint& at) {
    if (CloseRequested()) return nullptr;
    QAction* chosen = nullptr;
    {
        ModalRun run(&popup);
        chosen = popup.exec(at);
    }
    return CloseRequested() ? nullptr : chosen;
}

std::string ProgramName() {
    const QString path = QCoreApplication::applicationFilePath();
    const QString name = QFileInfo(path).completeBaseName();
    return name.isEmpty() ? std::string("sorvel") : FromQt(name);
}

namespace {
// What a box answers when the program is closing: "no" to a question, cancel where there is one.
int DeclinedAnswer(UINT type) {
    switch (type & 0xFu) {
    case MB_YESNO: return IDNO;
    case MB_OKCANCEL: return IDCANCEL;
    default: return IDOK;
    }
}
}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, UINT type) {
    if (CloseRequested()) return DeclinedAnswer(type);
    QMessageBox box(ActiveWindowFor(nullptr));
    box.setWindowTitle(ToQt(caption.empty() ? ProgramName() : caption));
    box.setText(ToQt(text));
    switch (type & 0xF0u) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    QAbstractButton* yes = nullptr;
    QAbstractButton* no = nullptr;
    QAbstractButton* ok = nullptr;
    QAbstractButton* cancel = nullptr;
    switch (type & 0xFu) {
    case MB_YESNO:
        yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(static_cast<QPushButton*>(yes));
        box.setEscapeButton(no);
        break;
    case MB_OKCANCEL:
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        box.setDefaultButton(static_cast<QPushButton*>(ok));
        box.setEscapeButton(cancel);
        break;
    default:
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(static_cast<QPushButton*>(ok));
        box.setEscapeButton(ok);
        break;
    }
    {
        ModalRun run(&box);
        box.exec();
    }
    if (CloseRequested()) return DeclinedAnswer(type);
    QAbstractButton* clicked = box.clickedButton();
    if (clicked != nullptr && clicked == yes) return IDYES;
    if (clicked != nullptr && clicked == no) return IDNO;
    if (clicked != nullptr && clicked == cancel) return IDCANCEL;
    if (clicked == nullptr && cancel != nullptr) return IDCANCEL;
    if (clicked == nullptr && no != nullptr) return IDNO;
    return IDOK;
}

bool RunFileDialog(CWnd* owner, FileDialogRequest& request) {
    if (CloseRequested()) return false;
    QFileDialog dialog(ActiveWindowFor(owner));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(!request.open ? QFileDialog::AnyFile
                                     : request.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setWindowTitle(request.title.empty() ? QString(request.open ? "開く" : "名前を付けて保存") : ToQt(request.title));
    if (!request.defaultExt.empty()) dialog.setDefaultSuffix(ToQt(request.defaultExt));
    QStringList filters;
    for (const auto& [description, patterns] : request.filters) filters << NameFilter(ToQt(description), ToQt(patterns));
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.initialFolder.empty()) dialog.setDirectory(ToQt(request.initialFolder));
    if (!request.initialName.empty()) dialog.selectFile(ToQt(request.initialName));
    // Wide enough for the name, size, type and date columns to be read whole.
    dialog.resize(kPickerWidth, kPickerHeight);
    ReadableColumns(dialog);
    int result = QDialog::Rejected;
    {
        ModalRun run(&dialog);
        result = dialog.exec();
    }
    // A file chosen while a close request came in is not opened: the program is ending.
    if (result != QDialog::Accepted || CloseRequested()) return false;
    request.chosen.clear();
    for (const QString& file : dialog.selectedFiles()) request.chosen.push_back(FromQt(QDir::cleanPath(file)));
    return !request.chosen.empty();
}

bool RunFolderDialog(CWnd* owner, const std::string& title, std::string* folder) {
    if (CloseRequested()) return false;
    QFileDialog dialog(ActiveWindowFor(owner), ToQt(title), QDir::homePath());
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.resize(kPickerWidth, kPickerHeight);
    ReadableColumns(dialog);
    int result = QDialog::Rejected;
    {
        ModalRun run(&dialog);
        result = dialog.exec();
    }
    if (result != QDialog::Accepted || CloseRequested() || dialog.selectedFiles().isEmpty()) return false;
    const QString chosen = dialog.selectedFiles().front();
    if (chosen.isEmpty()) return false;
    *folder = FromQt(QDir::cleanPath(chosen));
    return true;
}

}  // namespace platform::ui::qt

#include "gui/extraction/FilenameEdit.h"

#include "core/text/TextRules.h"
#include "gui/shell/Controls.h"
#include "gui/shell/MessageBox.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardPaths>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

#include <string>
#include <string_view>
#include <utility>

namespace larkspan {

namespace {

// Width of the browse button inside the field's right end.
constexpr int BrowseButtonWidth = 20;

FileDialogHook fileDialogHook;

// A name the dialog can be seeded with: not empty and free of the characters that file
// dialogs treat as wildcards or that no portable file name holds.
bool IsValidFileName(std::string_view name) {
    return !name.empty() && name.find_first_of("<>\"|*?") == std::string_view::npos;
}

// The folder a dialog opens in: the folder part without its trailing separator, except for a
// root ("/", "C:\\").
QString DialogFolder(const std::string& folderPart) {
    std::string folder = folderPart;
    const bool driveRoot = folder.size() == 3 && folder[1] == ':';
    if (folder.size() > 1 && !driveRoot && (folder.back() == '/' || folder.back() == '\\')) {
        folder.pop_back();
    }
    return QString::fromStdString(folder);
}

// Where a dialog opens when nothing has seeded it: the user's Documents folder, else the home
// folder. Left to the dialog, it would open in the current folder, which for an installed
// program is its own folder, where the user cannot write.
QString DefaultDialogFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString folder =
        !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
    return QDir::toNativeSeparators(folder);
}

// The first dropped local file, or nothing when the drop holds none. Qt writes every path with
// "/"; the field shows it as the system writes it (on Windows with "\\").
std::optional<QString> FirstDroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return std::nullopt;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            return QDir::toNativeSeparators(url.toLocalFile());
        }
    }
    return std::nullopt;
}

// A file a save dialog must not return: the extraction could not replace it.
bool IsReadOnlyFile(const QString& path) {
    const QFileInfo file(path);
    return file.isFile() && (!file.isWritable() || !file.permission(QFileDevice::WriteOwner));
}

// Tells the user that `path` is read-only and the dialog comes back for another name.
void ShowReadOnlyRefusal(const QString& path) {
    ShowCenteredMessage(QDir::toNativeSeparators(path).toStdString() +
                            "\r\nThis file is set to read-only.\r\n"
                            "Try again with a different file name.",
                        MessageKind::Warning, mbOK);
}

// The fields' dialog. Qt's own save dialog refuses a read-only file and stays open, as a
// Windows save dialog does, so the extraction is never pointed at a file it cannot replace.
// A system dialog has closed before Qt hears of the choice: refusing to accept then would leave
// this dialog modal and unseen, locking the program's windows for good, so its choice is
// checked once it has returned (RunDialog).
// Qt builds the controls of its own dialog when it first shows it, and none for a system one
// (nor where the platform has no system dialog, as offscreen). Asked once the dialog was shown.
bool IsSystemDialog(const QFileDialog& dialog) {
    return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) == nullptr;
}

class TFileDialog final : public QFileDialog {
public:
    explicit TFileDialog(QWidget* parent) : QFileDialog(parent) {}

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (acceptMode() == AcceptSave && !IsSystemDialog(*this) && !chosen.isEmpty() &&
            IsReadOnlyFile(chosen.first())) {
            ShowReadOnlyRefusal(chosen.first());
            return;
        }
        QFileDialog::accept();
    }
};

// The browse button inside a field, with a focus mark that shows.
class TBrowseButton final : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* event) override {
        QToolButton::paintEvent(event);
        if (hasFocus()) {
            QPainter painter(this);
            DrawFocusMark(painter, *this, rect());
        }
    }
};

} // namespace

FileDialogHook SetFileDialogHook(FileDialogHook hook) {
    return std::exchange(fileDialogHook, std::move(hook));
}

TsFilenameEdit::TsFilenameEdit(QWidget* parent)
    : QLineEdit(parent), browseButton_(new TBrowseButton(this)) {
    // Read-only refuses typing, paste and cut while selecting and copying still work. Tab still
    // stops on the field, so that the keyboard reaches the chosen path and a screen reader reads
    // it, and on its browse button, whose Space opens the dialog (as Alt+Down in the field does).
    setReadOnly(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);

    PaintWhiteWithBlackText(this);

    browseButton_->setObjectName(QStringLiteral("BrowseButton"));
    browseButton_->setAutoRaise(true);
    // A click on it does not take the focus: the dialog it opens does.
    browseButton_->setFocusPolicy(Qt::TabFocus);
    browseButton_->setCursor(Qt::PointingHandCursor);
    browseButton_->setIconSize(QSize(16, 16));
    setTextMargins(0, 0, BrowseButtonWidth, 0);
    connect(browseButton_, &QToolButton::clicked, this, &TsFilenameEdit::browseButtonPressed);
    connect(this, &QLineEdit::textChanged, this, &TsFilenameEdit::changed);
    connect(browseButton_, &QToolButton::clicked, this, [this] {
        if (hasDialog_) {
            PickFile();
        }
    });
    // Files are dropped onto the field; text drags are refused, as typing is.
    setAcceptDrops(true);
    PlaceBrowseButton();
}

TsFilenameEdit::~TsFilenameEdit() = default;

void TsFilenameEdit::SetGlyphs(const QPixmap& normal, const QPixmap& hot) {
    // An auto-raised tool button draws its Active picture while hovered and while held down.
    QIcon glyph;
    glyph.addPixmap(normal, QIcon::Normal);
    glyph.addPixmap(hot, QIcon::Active);
    browseButton_->setIcon(glyph);
}

void TsFilenameEdit::SetHint(const QString& hint) {
    larkspan::SetHint(this, hint, true);
}

QString TsFilenameEdit::Hint() const {
    return HintOf(this);
}

void TsFilenameEdit::SetFileDialog(FileDialogKind kind, const QString& filter,
                                   const QString& defaultSuffix) {
    hasDialog_ = true;
    dialogKind_ = kind;
    dialogFilter_ = filter;
    dialogDefaultSuffix_ = defaultSuffix;
}

void TsFilenameEdit::PickFile() {
    QString candidate = text();
    const std::string candidateText = candidate.toStdString();
    if (IsValidFileName(candidateText)) {
        const std::string folder = FolderPart(candidateText);
        if (!folder.empty() && QFileInfo(QString::fromStdString(folder)).isDir()) {
            dialogInitialFolder_ = DialogFolder(folder);
        }
        const std::string name = NamePart(candidateText);
        if (name.empty() || !IsValidFileName(name)) {
            candidate.clear();
        }
        dialogFileName_ = candidate;
    }
    // An empty field (as after a click into it) leaves the dialog as its last use left it.

    const std::optional<QString> chosen = RunDialog();
    if (chosen) {
        // Taken whole, however long: a cut path would name another file, or none.
        candidate = *chosen;
        dialogFileName_ = *chosen;
    }
    if (isEnabled() && isVisible() && focusPolicy() != Qt::NoFocus) {
        setFocus(Qt::OtherFocusReason);
    }
    emit afterDialog();
    if (chosen) {
        // The folder is remembered before the text is set, so that it carries over even when
        // the change handler fails.
        dialogInitialFolder_ = DialogFolder(FolderPart(candidate.toStdString()));
        setText(candidate);
    }
}

std::optional<QString> TsFilenameEdit::RunDialog() {
    FileDialogRequest request;
    request.field = this;
    request.kind = dialogKind_;
    request.initialFolder =
        dialogInitialFolder_.isEmpty() ? DefaultDialogFolder() : dialogInitialFolder_;
    request.fileName = dialogFileName_;
    request.filter = dialogFilter_;
    request.defaultSuffix = dialogDefaultSuffix_;
    if (FileDialogHook hook = fileDialogHook) {
        return hook(request);
    }

    if (dialog_ == nullptr) {
        dialog_ = new TFileDialog(this);
        dialog_->setObjectName(QStringLiteral("FileDialog"));
#ifndef Q_OS_WIN
        // Qt's own dialog, so the filter, suffix and seeding behave alike on every Linux
        // desktop. Windows' own dialog does all the fields need (the filter, the suffix, a
        // folder and a name to start with, refusing read-only files to save to), and is the one
        // Windows users know.
        dialog_->setOption(QFileDialog::DontUseNativeDialog, true);
#endif
        // Neither dialog demands that the file exists, and choosing an existing file to write
        // is asked about when the extraction starts, not here.
        dialog_->setFileMode(QFileDialog::AnyFile);
        dialog_->setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    dialog_->setAcceptMode(request.kind == FileDialogKind::Open ? QFileDialog::AcceptOpen
                                                                : QFileDialog::AcceptSave);
    dialog_->setNameFilter(request.filter);
    dialog_->setDefaultSuffix(request.defaultSuffix);
    // Qt's dialog splits folder and name at "/" only.
    if (!request.initialFolder.isEmpty()) {
        dialog_->setDirectory(QDir::fromNativeSeparators(request.initialFolder));
    }
    dialog_->selectFile(QDir::fromNativeSeparators(request.fileName));
    for (;;) {
        const std::optional<QString> chosen = ExecDialog();
        if (!chosen || request.kind == FileDialogKind::Open || !IsSystemDialog(*dialog_) ||
            !IsReadOnlyFile(*chosen)) {
            return chosen;
        }
        ShowReadOnlyRefusal(*chosen);
        dialog_->selectFile(QDir::fromNativeSeparators(*chosen));
    }
}

std::optional<QString> TsFilenameEdit::ExecDialog() {
    const int result = dialog_->exec();
    // A path typed into the name box leaves its completion list open when Return accepts the
    // dialog. The list is a window of its own: hidden behind the main window once that comes
    // to the front, it would still take every key and the next click, and the program would
    // seem dead.
    for (QCompleter* completer : dialog_->findChildren<QCompleter*>()) {
        if (completer->popup() != nullptr) {
            completer->popup()->hide();
        }
    }
    const QStringList files = dialog_->selectedFiles();
    if (result != QDialog::Accepted || files.isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(files.first());
}

void TsFilenameEdit::ClickBrowseButton() {
    browseButton_->click();
}

void TsFilenameEdit::PlaceBrowseButton() {
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    browseButton_->setGeometry(width() - frame - BrowseButtonWidth, frame, BrowseButtonWidth,
                               height() - 2 * frame);
}

void TsFilenameEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    PlaceBrowseButton();
}

void TsFilenameEdit::mousePressEvent(QMouseEvent* event) {
    pressedInEditArea_ = event->button() == Qt::LeftButton;
    QLineEdit::mousePressEvent(event);
}

void TsFilenameEdit::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && pressedInEditArea_) {
        pressedInEditArea_ = false;
        if (rect().contains(event->position().toPoint())) {
            emit clicked();
        }
    }
}

void TsFilenameEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier) {
        ClickBrowseButton();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TsFilenameEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (isEnabled() && FirstDroppedFile(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TsFilenameEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (isEnabled() && FirstDroppedFile(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TsFilenameEdit::dropEvent(QDropEvent* event) {
    const std::optional<QString> path = FirstDroppedFile(event->mimeData());
    if (!isEnabled() || !path) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Only the first file counts; its whole path is taken, however long.
    setText(*path);
}

} // namespace larkspan

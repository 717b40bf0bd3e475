#pragma once

// A file-name field: a one-line edit box that the user cannot type into, with a browse button
// inside its right end and a file dialog of its own. The field is filled by that dialog or by
// dropping a file onto it; every change of its text is reported by `changed`. Tab stops on the
// field and then on its browse button.

#include <QIcon>
#include <QLineEdit>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QFileDialog;
class QToolButton;

namespace larkspan {

class TsFilenameEdit;

enum class FileDialogKind {
    Open, // pick a file to read
    Save, // name a file to write
};

// What a field's dialog is asked to show.
struct FileDialogRequest {
    const TsFilenameEdit* field = nullptr;
    FileDialogKind kind = FileDialogKind::Open;
    QString initialFolder; // the remembered folder, else the user's Documents folder
    QString fileName;      // preselected in the name box (a full path), or empty
    QString filter;        // one entry, such as "Portable Document Format (*.pdf)"
    QString defaultSuffix; // added to a name typed without one, such as "pdf"
};

// Test seam for the file dialogs: when set, every dialog is offered to the hook instead of
// being shown. The hook returns the chosen full path, or std::nullopt for Cancel. Returns the
// hook that was set before, so that a scoped stand-in can put it back. Main thread only.
using FileDialogHook = std::function<std::optional<QString>(const FileDialogRequest&)>;
FileDialogHook SetFileDialogHook(FileDialogHook hook);

class TsFilenameEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TsFilenameEdit(QWidget* parent = nullptr);
    ~TsFilenameEdit() override;

    // The browse button's glyph: `normal` at rest, `hot` while the mouse is over it or it is
    // pressed.
    void SetGlyphs(const QPixmap& normal, const QPixmap& hot);
    QToolButton* BrowseButton() const { return browseButton_; }

    // The text shown when the mouse rests on the field (also kept in the "Hint" property).
    void SetHint(const QString& hint);
    QString Hint() const;

    // The most a user could type. It does not limit texts set by the program (a dialog's or a
    // drop's path is taken whole), so it is not QLineEdit's maxLength.
    static constexpr int MaxLength = 255;

    // Gives the field its dialog: the kind, the one filter ("Description (*.ext)") and the
    // suffix added to a name typed without one ("ext"). From then on the browse button runs
    // PickFile. A field without a dialog only reports browseButtonPressed.
    void SetFileDialog(FileDialogKind kind, const QString& filter, const QString& defaultSuffix);

    // The browse button's action: seeds the dialog with the field's text, runs it, moves the
    // focus to the field, reports afterDialog and, when the user confirmed, sets the text to
    // the chosen path.
    void PickFile();

    // Presses the browse button, as a menu item or a program handler does.
    void ClickBrowseButton();

signals:
    // The text changed (setting the same text again reports nothing).
    void changed();
    // A left click into the edit area (not on the browse button).
    void clicked();
    // The browse button was pressed: by the mouse, by Alt+Down in the field, or by the program.
    void browseButtonPressed();
    // The field's dialog has closed, with OK or Cancel; reported before the text changes.
    void afterDialog();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void PlaceBrowseButton();
    std::optional<QString> RunDialog();
    std::optional<QString> ExecDialog();

    QToolButton* browseButton_;
    bool pressedInEditArea_ = false;

    bool hasDialog_ = false;
    FileDialogKind dialogKind_ = FileDialogKind::Open;
    QString dialogFilter_;
    QString dialogDefaultSuffix_;
    // What the dialog remembers from one use to the next: the name last put into it and the
    // folder it opens in (empty before the first use).
    QString dialogFileName_;
    QString dialogInitialFolder_;
    // Made on first use and kept for the field's lifetime.
    QPointer<QFileDialog> dialog_;
};

} // namespace larkspan

#pragma once

// A file-name field: a one-line edit box that the user cannot type into, with a browse button
// inside its right end. The field itself only shows the chosen path and reports what the user
// does with it; choosing a file (the dialog behind the browse button) is attached to the
// browseButtonPressed signal.

#include <QIcon>
#include <QLineEdit>
#include <QString>

class QToolButton;

namespace larkspan {

class TsFilenameEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TsFilenameEdit(QWidget* parent = nullptr);

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

    // Presses the browse button, as a menu item or a program handler does.
    void ClickBrowseButton();

signals:
    // The text changed (setting the same text again reports nothing).
    void changed();
    // A left click into the edit area (not on the browse button).
    void clicked();
    // The browse button was pressed: by the mouse, by Alt+Down in the field, or by the program.
    void browseButtonPressed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void PlaceBrowseButton();

    QToolButton* browseButton_;
    bool pressedInEditArea_ = false;
};

} // namespace larkspan

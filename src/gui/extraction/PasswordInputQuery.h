#pragma once

// The password prompt: the program's plain one-line query dialog, with every typed character
// shown as "*". The dialog itself knows nothing about passwords; for the time of one question
// TMyInputQuery follows the changes of the active window and masks the plain edit boxes of
// whichever window is in front, which includes the dialog's edit box before the user types.

#include <QObject>
#include <QPointer>
#include <QString>

#include <vector>

class QLineEdit;
class QWidget;

namespace larkspan {

class TMyInputQuery : public QObject {
    Q_OBJECT
public:
    TMyInputQuery() = default;

    // Shows the dialog modally, centred on the screen, with `value` in its edit box (all of it
    // selected). OK or Enter stores the typed text, untrimmed, in `value` and gives true; Cancel,
    // Esc or the close box give false and leave `value` alone. Main thread only.
    bool Execute(const QString& caption, const QString& prompt, QString& value);

    // Masks the plain edit boxes of the front-most window; runs on every change of the active
    // window while a question is open.
    void ActiveFormChanged();

private:
    // Every box this question masked, so that each one is unmasked again even when its window
    // is no longer in front when the question ends.
    std::vector<QPointer<QLineEdit>> masked_;
};

// The plain edit boxes of `window`: every QLineEdit it holds except the file-name fields, which
// show paths and are never masked.
std::vector<QLineEdit*> PlainEditBoxes(const QWidget* window);

// Shows every character of `edit` as "*" (on) or shows its text again (off).
void SetPasswordMask(QLineEdit* edit, bool on);

// Takes the mask off the plain edit boxes of the front-most window.
void ClearPasswordChars();

} // namespace larkspan

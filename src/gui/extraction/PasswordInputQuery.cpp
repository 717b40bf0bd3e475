#include "gui/extraction/PasswordInputQuery.h"

#include "core/extraction/PasswordPromptLayout.h"
#include "gui/extraction/FilenameEdit.h"
#include "gui/shell/Centring.h"
#include "gui/shell/Controls.h"
#include "gui/shell/LarkspanApplication.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QShowEvent>
#include <QStyleFactory>
#include <QWindow>

namespace larkspan {

namespace {

// The most characters the user can type into the prompt.
constexpr int PromptMaxLength = 255;

// The application's style, except that a masked edit box shows "*" for every character
// rather than the style's own dot.
class AsteriskMaskStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) {
            return '*';
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QStyle* MaskStyle() {
    static QPointer<QStyle> style;
    if (style == nullptr) {
        style = new AsteriskMaskStyle(QStyleFactory::create(QLatin1String(kProgramStyle)));
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

// The one-line query dialog: a fixed-size window with a close box only, centred on the screen
// when it is shown.
class TQueryDialog : public QDialog {
public:
    explicit TQueryDialog(QWidget* owner) : QDialog(owner) {
        setObjectName(QStringLiteral("QueryDialog"));
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    }

protected:
    void showEvent(QShowEvent* event) override {
        if (!event->spontaneous()) {
            // Centred on the screen, not over the window that asked.
            CentreWindow(*this, nullptr);
        }
        QDialog::showEvent(event);
    }
};

QRect ToRect(const LayoutRect& rect) {
    return {rect.left, rect.top, rect.width, rect.height};
}

// Builds the dialog, shows it modally and frees it again; the result and, for OK, the typed
// text.
bool ShowQueryDialog(const QString& caption, const QString& prompt, QString& value) {
    const QPointer<QWidget> previous = QApplication::activeWindow();
    TQueryDialog dialog(previous);
    dialog.setWindowTitle(caption);
    dialog.setFont(ProgramFont());

    const QFontMetrics metrics(dialog.font());
    const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const DialogUnits du =
        DialogUnitsFromSample(metrics.horizontalAdvance(sample), metrics.height());

    auto* label = new QLabel(&dialog);
    label->setObjectName(QStringLiteral("Prompt"));
    // CR LF is the line break of the program's texts; the label knows only LF.
    label->setText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);

    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName(QStringLiteral("Edit"));
    edit->setMaxLength(PromptMaxLength);
    edit->setText(value);
    edit->selectAll();
    // Announced by the prompt, on one line.
    label->setBuddy(edit);
    edit->setAccessibleName(label->text().simplified());

    const int labelWidth = LayOutPasswordPrompt(du, 0, 0).label.width;
    const PasswordPromptLayout layout =
        LayOutPasswordPrompt(du, label->heightForWidth(labelWidth), edit->sizeHint().height());
    label->setGeometry(ToRect(layout.label));
    edit->setGeometry(ToRect(layout.edit));

    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(ToRect(layout.okButton));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);

    // Esc and the close box reject the dialog as this button does.
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setGeometry(ToRect(layout.cancelButton));
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    dialog.setFixedSize(layout.clientWidth, layout.clientHeight);
    edit->setFocus();

    const int result = dialog.exec();
    // The window that asked takes the focus back, as it would on closing a modal dialog on
    // Windows; Qt leaves that to the window manager, and not every platform has one.
    const QWidget* active = QApplication::activeWindow();
    if (previous != nullptr && previous->isVisible() && (active == nullptr || active == &dialog)) {
        previous->activateWindow();
    }
    if (result != QDialog::Accepted) {
        return false;
    }
    value = edit->text();
    return true;
}

} // namespace

bool TMyInputQuery::Execute(const QString& caption, const QString& prompt, QString& value) {
    const QMetaObject::Connection hook = connect(qApp, &QGuiApplication::focusWindowChanged, this,
                                                 &TMyInputQuery::ActiveFormChanged);
    // Also when the dialog fails: no handler stays installed and no box stays masked.
    const auto restore = qScopeGuard([this, hook] {
        disconnect(hook);
        ClearPasswordChars();
        for (const QPointer<QLineEdit>& edit : masked_) {
            if (edit != nullptr) {
                SetPasswordMask(edit, false);
            }
        }
        masked_.clear();
    });
    return ShowQueryDialog(caption, prompt, value);
}

void TMyInputQuery::ActiveFormChanged() {
    const QWidget* front = QApplication::activeWindow();
    if (front == nullptr) {
        return;
    }
    for (QLineEdit* edit : PlainEditBoxes(front)) {
        SetPasswordMask(edit, true);
        masked_.emplace_back(edit);
    }
}

std::vector<QLineEdit*> PlainEditBoxes(const QWidget* window) {
    std::vector<QLineEdit*> boxes;
    for (QLineEdit* edit : window->findChildren<QLineEdit*>()) {
        // Boxes of other windows owned by this one (a file dialog, the prompt) are theirs.
        if (edit->window() == window && qobject_cast<TsFilenameEdit*>(edit) == nullptr) {
            boxes.push_back(edit);
        }
    }
    return boxes;
}

void SetPasswordMask(QLineEdit* edit, bool on) {
    if (on) {
        // The password character is taken from the style when the style changes, so the style
        // comes first.
        if (!edit->testAttribute(Qt::WA_SetStyle)) {
            edit->setStyle(MaskStyle());
        }
        edit->setEchoMode(QLineEdit::Password);
    } else {
        edit->setEchoMode(QLineEdit::Normal);
        if (edit->style() == MaskStyle()) {
            edit->setStyle(nullptr);
        }
    }
}

void ClearPasswordChars() {
    if (const QWidget* front = QApplication::activeWindow()) {
        for (QLineEdit* edit : PlainEditBoxes(front)) {
            SetPasswordMask(edit, false);
        }
    }
}

} // namespace larkspan

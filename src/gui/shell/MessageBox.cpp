#include "gui/shell/MessageBox.h"

#include "core/text/GeneralError.h"
#include "gui/shell/Centring.h"
#include "gui/shell/Controls.h"
#include "gui/shell/LarkspanApplication.h"
#include "gui/shell/MainThread.h"
#include "platform/Platform.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <array>
#include <utility>

namespace larkspan {

namespace {

MessageHook messageHook;

// Each button kind's width is measured the first time a box needs it and kept for the life of
// the process.
std::array<std::optional<int>, MessageButtonCount> rememberedButtonWidths;

constexpr int MessageTextFlags =
    Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs;

// Qt breaks lines at LF only; the program's texts use CR LF.
QString DisplayText(const std::string& text) {
    QString display = QString::fromStdString(text);
    display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    display.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return display;
}

QStyle::StandardPixmap KindIcon(MessageKind kind) {
    switch (kind) {
    case MessageKind::Warning:
        return QStyle::SP_MessageBoxWarning;
    case MessageKind::Error:
        return QStyle::SP_MessageBoxCritical;
    case MessageKind::Information:
        return QStyle::SP_MessageBoxInformation;
    case MessageKind::Confirmation:
        return QStyle::SP_MessageBoxQuestion;
    }
    return QStyle::SP_MessageBoxInformation;
}

// The system's message font where it names one, as its own message boxes use; else the box
// keeps the program's font. A face the system names but does not have (wine names Tahoma
// without shipping it) falls back to the program's faces, not to the toolkit's serif default.
void UseSystemMessageFont(QWidget& box) {
    const std::optional<platform::SystemFont> system = platform::MessageFont();
    if (!system) {
        return;
    }
    QFont font = ProgramFont();
    font.setFamilies(QStringList{QString::fromStdString(system->family)} + font.families());
    if (system->pixelSize > 0) {
        font.setPixelSize(system->pixelSize);
    }
    font.setWeight(static_cast<QFont::Weight>(std::clamp(system->weight, 1, 1000)));
    font.setItalic(system->italic);
    box.setFont(font);
}

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

QAccessibleInterface* MessageFormInterface(const QString& className, QObject* object);

// The message text, drawn with exactly the flags and wrap width it was measured with, so that
// the lines break where the box's size expects them to.
class TMessageText : public QLabel {
public:
    TMessageText(const QString& text, int wrapWidth, QWidget* parent)
        : QLabel(parent), wrapWidth_(wrapWidth) {
        setTextFormat(Qt::PlainText);
        setWordWrap(true);
        setText(text);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setFont(font());
        painter.setPen(palette().color(foregroundRole()));
        QRect area = rect();
        if (area.width() < wrapWidth_) {
            if (isRightToLeft()) {
                area.setLeft(area.right() + 1 - wrapWidth_);
            } else {
                area.setWidth(wrapWidth_);
            }
        }
        painter.drawText(area, MessageTextFlags, text());
    }

private:
    int wrapWidth_;
};

} // namespace

// The box of one ShowCenteredMessage call. It sees every key before its buttons do, for the
// keyboard rules below.
class TMessageForm : public QDialog {
    Q_OBJECT
public:
    TMessageForm(const std::string& text, MessageKind kind, MessageButtons buttons, QWidget* owner);

    void SetTabStopOff(const std::vector<std::string>& names);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The button the layout gave `role` (isDefault or isCancel), if the box has one.
    QPushButton* ButtonWithRole(bool LaidOutButton::*role) const;
    void CopyToClipboard();

    std::string text_;
    std::string caption_;
    MessageButtons buttons_;
    std::vector<std::pair<QPushButton*, LaidOutButton>> buttonControls_;
};

TMessageForm::TMessageForm(const std::string& text, MessageKind kind, MessageButtons buttons,
                           QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      text_(text), caption_(MessageCaption(kind)), buttons_(buttons) {
    static const bool announced = [] {
        QAccessible::installFactory(&MessageFormInterface);
        return true;
    }();
    Q_UNUSED(announced);
    setWindowTitle(QString::fromUtf8(caption_.c_str()));
    setModal(true);
    installEventFilter(this);
    UseSystemMessageFont(*this);

    const QFontMetrics metrics(font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

    MessageLayoutInput input;
    input.duX = metrics.horizontalAdvance(letters) / 52;
    input.duY = metrics.height();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen != nullptr ? screen->geometry() : QRect(0, 0, 1024, 768);
    input.screenWidth = screenRect.width();
    input.screenHeight = screenRect.height();
    const QString display = DisplayText(text);
    // A screen reader reads an alert's description as soon as the box appears; its name is the
    // caption.
    setAccessibleDescription(display);
    const int wrapWidth = TextWrapWidth(input.screenWidth);
    const QRect textRect =
        metrics.boundingRect(QRect(0, 0, wrapWidth, 0), MessageTextFlags, display);
    input.textWidth = textRect.width();
    input.textHeight = textRect.height();
    input.buttons = buttons;
    for (int i = 0; i < MessageButtonCount; ++i) {
        const MessageButtonRow& row = MessageButtonTable[i];
        if (!(buttons & row.button)) {
            continue;
        }
        if (!rememberedButtonWidths[i]) {
            // Measured like a button caption: on one line, the "&" marker taking no room.
            const QRect captionRect = metrics.boundingRect(
                QRect(), Qt::TextSingleLine | Qt::TextShowMnemonic, QString::fromUtf8(row.caption));
            rememberedButtonWidths[i] = RememberedButtonWidth(captionRect.width());
        }
        input.buttonWidths[i] = *rememberedButtonWidths[i];
    }
    input.rightToLeft = isRightToLeft();

    const MessageLayout layout = LayOutMessage(input);
    setFixedSize(layout.clientWidth, layout.clientHeight);
    move(screenRect.left() + layout.left, screenRect.top() + layout.top);

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image"));
    image->setGeometry(ToQRect(layout.image));
    image->setPixmap(MessageIcon(kind, devicePixelRatioF(), *style()));
    image->setAccessibleName(windowTitle());
    image->installEventFilter(this);

    auto* message = new TMessageText(display, wrapWidth, this);
    message->setObjectName(QStringLiteral("Message"));
    message->setGeometry(ToQRect(layout.label));
    message->installEventFilter(this);

    for (const LaidOutButton& laidOut : layout.buttons) {
        auto* button = new QPushButton(QString::fromStdString(laidOut.caption), this);
        button->setObjectName(QString::fromStdString(laidOut.name));
        button->setGeometry(ToQRect(laidOut.rect));
        button->setDefault(laidOut.isDefault);
        button->installEventFilter(this);
        const int result = laidOut.result;
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        buttonControls_.emplace_back(button, laidOut);
    }
}

void TMessageForm::SetTabStopOff(const std::vector<std::string>& names) {
    for (auto& [button, laidOut] : buttonControls_) {
        if (std::find(names.begin(), names.end(), laidOut.name) != names.end()) {
            button->setFocusPolicy(Qt::NoFocus);
        }
    }
}

void TMessageForm::showEvent(QShowEvent* event) {
    // QDialog hands the focus to its default button whenever the first control in tab order is
    // another push button, even to a button that takes no focus; the focus belongs to the first
    // button that takes it, and to none when no button does.
    QPushButton* first = nullptr;
    for (const auto& [control, laidOut] : buttonControls_) {
        if (control->focusPolicy() != Qt::NoFocus) {
            first = control;
            break;
        }
    }
    if (first != nullptr) {
        first->setFocus();
    } else if (QWidget* focused = focusWidget()) {
        focused->clearFocus();
    }
    QDialog::showEvent(event);
    // Tells assistive technology that an alert appeared, as Qt's own message box does.
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

QPushButton* TMessageForm::ButtonWithRole(bool LaidOutButton::*role) const {
    for (const auto& [control, laidOut] : buttonControls_) {
        if (laidOut.*role) {
            return control;
        }
    }
    return nullptr;
}

bool TMessageForm::eventFilter(QObject* /*watched*/, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers =
        key->modifiers() &
        (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);

    if (modifiers == Qt::ControlModifier && key->key() == Qt::Key_C) {
        // Shown here, at the edge of the handler: an error must not unwind through Qt's frames,
        // which are built without exception support and would skip their clean-up.
        try {
            CopyToClipboard();
        } catch (const GeneralError& error) {
            ShowUnhandledError(error.what());
        }
        return true;
    }
    if (modifiers == Qt::NoModifier &&
        (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        QPushButton* target = nullptr;
        for (const auto& [control, laidOut] : buttonControls_) {
            if (control->hasFocus()) {
                target = control;
            }
        }
        if (target == nullptr) {
            target = ButtonWithRole(&LaidOutButton::isDefault);
        }
        if (target != nullptr) {
            target->click();
        }
        return true;
    }
    if (modifiers == Qt::NoModifier && key->key() == Qt::Key_Escape) {
        if (QPushButton* target = ButtonWithRole(&LaidOutButton::isCancel)) {
            target->click();
        } else {
            reject();
        }
        return true;
    }
    // The box holds no text field, so an access letter works with or without Alt.
    if ((modifiers == Qt::NoModifier || modifiers == Qt::AltModifier) && key->key() >= Qt::Key_A &&
        key->key() <= Qt::Key_Z) {
        const char letter = static_cast<char>('A' + (key->key() - Qt::Key_A));
        for (const auto& [control, laidOut] : buttonControls_) {
            if (AccessKey(laidOut.caption) == letter) {
                control->click();
                return true;
            }
        }
    }
    return false;
}

void TMessageForm::CopyToClipboard() {
    QApplication::beep();
    const QString content = QString::fromStdString(MessageClipboardText(caption_, text_, buttons_));
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(content);
    // Qt cannot say whether the clipboard took the text; reading it back can.
    if (clipboard->text() != content) {
        throw GeneralError("Cannot open clipboard");
    }
}

namespace {

// The box is an alert to assistive technology, not a plain dialog.
QAccessibleInterface* MessageFormInterface(const QString& className, QObject* object) {
    if (className == QLatin1String(TMessageForm::staticMetaObject.className())) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::AlertMessage);
    }
    return nullptr;
}

} // namespace

QPixmap MessageIcon(MessageKind kind, qreal devicePixelRatio, const QStyle& style) {
    const QIcon icon = style.standardIcon(KindIcon(kind));
    const QSize pixels = QSize(MessageIconSize, MessageIconSize) * devicePixelRatio;
    QPixmap pixmap = icon.pixmap(pixels, 1.0);
    if (!pixmap.isNull() && pixmap.size() != pixels) {
        pixmap = pixmap.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

int ShowCenteredMessage(const std::string& text, MessageKind kind, MessageButtons buttons,
                        const std::vector<std::string>& buttonsWithoutTabStop) {
    const QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() != app->thread()) {
        // A box built on a worker thread would bring the program down; hand it over instead.
        int result = mrCancel;
        RunOnMainThread(
            [&] { result = ShowCenteredMessage(text, kind, buttons, buttonsWithoutTabStop); });
        return result;
    }
    if (MessageHook hook = messageHook) {
        if (const std::optional<int> answer =
                hook(MessageRequest{text, kind, buttons, buttonsWithoutTabStop})) {
            return *answer;
        }
    }
    // Owned by the window the user is working in, as every dialog of the program is: an owned
    // window stays above its owner and gets no taskbar button of its own. While a system dialog
    // is open, or just closed, no window of the toolkit's is active: the main window owns it
    // then. Where it goes is still the main window's business.
    QWidget* owner = QApplication::activeWindow();
    if (owner == nullptr) {
        owner = LarkspanApplication::MainWindow();
    }
    const QPointer<TMessageForm> form = new TMessageForm(text, kind, buttons, owner);
    // Freed on every way out; the owner may have taken it along already.
    const auto freeBox = qScopeGuard([&form] { delete form.data(); });
    form->SetTabStopOff(buttonsWithoutTabStop);
    CentreWindow(*form, LarkspanApplication::MainWindow());
    const int result = form->exec();
    // Closed without a button (close box, Alt+F4, the program ending): Qt's "rejected" is 0.
    return result == QDialog::Rejected ? mrCancel : result;
}

MessageHook SetMessageHook(MessageHook hook) {
    return std::exchange(messageHook, std::move(hook));
}

} // namespace larkspan

#include "MessageBox.moc"

#include "gui/help/UnitAboutDialog.h"

#include "core/help/HelpTexts.h"
#include "gui/shell/Controls.h"
#include "gui/shell/Pictures.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QPushButton>

namespace larkspan {

namespace {

// One About window exists at a time, so its texts and its answer live with the unit. The
// texts outlive the window and are replaced by the next SetAboutInfo; the answer is cleared
// whenever a window is created.
struct AboutState {
    std::string productName;
    std::string version;
    std::string description;
    std::string linkText;
    std::string result;
};
AboutState state;

// "\r\n" breaks the label into lines; a bare "\r" would show as a stray character.
QString Lines(const std::string& text) {
    QString lines = QString::fromStdString(text);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return lines;
}

TClickLabel* AboutLabel(QWidget* parent, const char* name, QPoint topLeft, const QFont& font,
                        const char* placeholder) {
    auto* label = new TClickLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(topLeft);
    label->setFont(font);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(colours);
    label->setCursor(Qt::PointingHandCursor);
    label->SetAutoSize(true);
    label->SetText(QString::fromLatin1(placeholder));
    return label;
}

} // namespace

TAboutDialog::TAboutDialog(QWidget* over) : QDialog(over) {
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(ProgramFont());
    setFixedSize(ClientWidth, ClientHeight);
    setWindowTitle(QStringLiteral("About"));

    sPanel1 = new QFrame(this);
    sPanel1->setObjectName(QStringLiteral("sPanel1"));
    sPanel1->setGeometry(0, 0, ClientWidth, ClientHeight);

    sBevel1 = new QFrame(sPanel1);
    sBevel1->setObjectName(QStringLiteral("sBevel1"));
    sBevel1->setGeometry(12, 12, 390, 155);
    sBevel1->setFrameStyle(QFrame::Box | QFrame::Raised);

    ImageAppLogo = new TClickLabel(sPanel1);
    ImageAppLogo->setObjectName(QStringLiteral("ImageAppLogo"));
    ImageAppLogo->setGeometry(22, 24, 128, 128);
    ImageAppLogo->setPixmap(AppLogo());
    ImageAppLogo->setCursor(Qt::PointingHandCursor);

    sLabelSoftwareName =
        AboutLabel(sPanel1, "sLabelSoftwareName", {166, 28}, ProgramFont(12, true), "SoftwareName");
    sLabel1 = AboutLabel(sPanel1, "sLabel1", {170, 52}, ProgramFont(), "Label1");
    sLabel2 = AboutLabel(sPanel1, "sLabel2", {170, 70}, ProgramFont(), "Label2");
    sLabelDescription =
        AboutLabel(sPanel1, "sLabelDescription", {170, 96}, ProgramFont(), "Description");

    sBitBtnOK = new QPushButton(QStringLiteral("OK"), sPanel1);
    sBitBtnOK->setObjectName(QStringLiteral("sBitBtnOK"));
    sBitBtnOK->setGeometry(167, 180, 80, 28);
    // No default button: Fusion draws one like a focused button, so the focus could not be told
    // from it. Enter still presses OK (keyPressEvent); on the link it clicks the link.
    sBitBtnOK->setAutoDefault(false);

    // Every text and the logo open the web site when clicked; the keyboard reaches that through
    // the link, which comes before OK as the window is read.
    sLabel2->SetKeyboardClickable(QAccessible::Link);
    QWidget::setTabOrder(sLabel2, sBitBtnOK);

    connect(ImageAppLogo, &TClickLabel::clicked, this, &TAboutDialog::ImageAppLogoClick);
    connect(sLabelSoftwareName, &TClickLabel::clicked, this,
            &TAboutDialog::sLabelSoftwareNameClick);
    connect(sLabel1, &TClickLabel::clicked, this, &TAboutDialog::sLabel1Click);
    connect(sLabel2, &TClickLabel::clicked, this, &TAboutDialog::sLabel2Click);
    connect(sLabelDescription, &TClickLabel::clicked, this, &TAboutDialog::sLabelDescriptionClick);
    connect(sBitBtnOK, &QPushButton::clicked, this, &TAboutDialog::sBitBtnOKClick);

    FormCreate();
}

TAboutDialog::~TAboutDialog() = default;

void TAboutDialog::FormCreate() {
    state = AboutState{};
}

void TAboutDialog::SetAboutInfo(const std::string& productName, const std::string& version,
                                const std::string& description, const std::string& linkText) {
    state.productName = productName;
    state.version = version;
    state.description = description;
    state.linkText = linkText;
}

std::string TAboutDialog::ShowAbout() {
    // QDialog centres a window with a parent over that parent's window when it is shown.
    exec();
    return state.result;
}

void TAboutDialog::FormActivate() {
    setWindowTitle(QString::fromStdString(help::AboutCaption(state.productName)));
    ImageAppLogo->setAccessibleName(QString::fromStdString(state.productName + " logo"));
    sLabelSoftwareName->SetText(
        QString::fromStdString(help::AboutSoftwareName(state.productName, state.version)));
    sLabel1->SetText(QString::fromStdString(help::AboutCopyright()));
    sLabel2->SetText(QString::fromStdString(state.linkText));
    sLabelDescription->SetText(Lines(state.description));
    sBitBtnOK->setFocus();
}

bool TAboutDialog::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate) {
        FormActivate();
    }
    return handled;
}

void TAboutDialog::keyPressEvent(QKeyEvent* event) {
    // Esc presses OK, the window's cancel button, and so does Enter; either leaves the answer as
    // it is.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if ((event->key() == Qt::Key_Escape || enter) && modifiers == Qt::NoModifier) {
        sBitBtnOK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutDialog::GoToWeb() {
    state.result = std::string(help::AboutGoToWeb);
    close();
}

void TAboutDialog::ImageAppLogoClick() {
    GoToWeb();
}
void TAboutDialog::sLabelSoftwareNameClick() {
    GoToWeb();
}
void TAboutDialog::sLabel1Click() {
    GoToWeb();
}
void TAboutDialog::sLabel2Click() {
    GoToWeb();
}
void TAboutDialog::sLabelDescriptionClick() {
    GoToWeb();
}

void TAboutDialog::sBitBtnOKClick() {
    close();
}

} // namespace larkspan

#include "gui/shell/MainWindow.h"

#include "gui/shell/Centring.h"
#include "gui/shell/LarkspanApplication.h"
#include "gui/shell/MessageBox.h"
#include "gui/extraction/ConversionProcess.h"
#include "gui/extraction/FilenameEdit.h"
#include "core/help/HelpTexts.h"
#include "gui/shell/Controls.h"
#include "core/text/GeneralError.h"
#include "gui/shell/Pictures.h"
#include "platform/RegistryAccess.h"

#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRadioButton>
#include <QShowEvent>
#include <QToolButton>

namespace larkspan {

std::string ChooseWebsiteHost(const std::string& builtIn, const std::string& fromEnvironment,
                              bool overridable) {
    return overridable && !fromEnvironment.empty() ? fromEnvironment : builtIn;
}

namespace {

const QString Caption =
    QString::fromUtf8(help::ProductName.data(), static_cast<qsizetype>(help::ProductName.size()));

// Distance of the web-site label's right edge from the window's outer right edge, and the least
// room between the gauge and the label.
constexpr int WebsiteLabelRightGap = 20;
constexpr int WebsiteLabelGaugeGap = 2;

// A child control of `parent` named `name` at a fixed place.
template <class Control> Control* Place(QWidget* parent, const char* name, QRect geometry) {
    auto* control = new Control(parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
    return control;
}

QAction* AddItem(QMenu* menu, const char* name, const QString& caption, const QPixmap& picture,
                 const QKeySequence& shortcut = {}) {
    QAction* item =
        picture.isNull() ? menu->addAction(caption) : menu->addAction(QIcon(picture), caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setShortcut(shortcut);
    return item;
}

QAction* AddSeparator(QMenu* menu, const char* name) {
    QAction* separator = menu->addSeparator();
    separator->setObjectName(QString::fromLatin1(name));
    return separator;
}

} // namespace

TMainForm::TMainForm(const Services& services, QWidget* parent)
    : QMainWindow(parent), services_(services) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(ProgramFont());

    CreateMenu();
    CreateControls();
    NameControls();
    SetTabOrder();
    ConnectHandlers();
    // The client area has a fixed size; the window is as large as it and the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();
    sBitBtnStart->setFocus();

    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    FileMenu = MainMenu1->addMenu(QStringLiteral("&File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    InputPDF = AddItem(FileMenu, "InputPDF", QStringLiteral("Input PDF file"),
                       Picture16(Glyph16::Pdf), QKeySequence(Qt::CTRL | Qt::Key_I));
    OutputText = AddItem(FileMenu, "OutputText", QStringLiteral("Output text file"),
                         Picture16(Glyph16::Text), QKeySequence(Qt::CTRL | Qt::Key_O));
    N1 = AddSeparator(FileMenu, "N1");
    StartConversion1 = AddItem(FileMenu, "StartConversion1", QStringLiteral("Start extraction"),
                               Picture16(Glyph16::Play), QKeySequence(Qt::CTRL | Qt::Key_S));
    N3 = AddSeparator(FileMenu, "N3");
    Exit = AddItem(FileMenu, "Exit", QStringLiteral("Exit"), Picture16(Glyph16::Power),
                   QKeySequence(Qt::CTRL | Qt::Key_W));

    EditMenu = MainMenu1->addMenu(QStringLiteral("&Edit"));
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    AutoSetOutput =
        AddItem(EditMenu, "AutoSetOutput", QStringLiteral("Auto set output text file"), QPixmap());
    // A checkable item flips its check mark on every choice; the probe reads it.
    AutoSetOutput->setCheckable(true);
    AutoSetOutput->setChecked(true);

    HelpMenu = MainMenu1->addMenu(QStringLiteral("&Help"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    Website = AddItem(HelpMenu, "Website", QStringLiteral("Website"), Picture16(Glyph16::Website));
    Videotutorial1 = AddItem(HelpMenu, "Videotutorial1", QStringLiteral("Video tutorial"),
                             Picture16(Glyph16::Video));
    Videotutorial1->setVisible(false);
    Feedback1 =
        AddItem(HelpMenu, "Feedback1", QStringLiteral("Feedback"), Picture16(Glyph16::Mail));
    N4 = AddSeparator(HelpMenu, "N4");
    GetProVersion1 = AddItem(HelpMenu, "GetProVersion1", QStringLiteral("Start Pro version"),
                             Picture16(Glyph16::Gear));
    HowToExtractImages =
        AddItem(HelpMenu, "HowToExtractImages", QStringLiteral("How to extract images?"),
                Picture16(Glyph16::Camera));
    N2 = AddSeparator(HelpMenu, "N2");
    Donate1 = AddItem(HelpMenu, "Donate1", QStringLiteral("Donate"), Picture16(Glyph16::PayPal));
    About1 = AddItem(HelpMenu, "About1", QStringLiteral("About"), Picture16(Glyph16::Info),
                     QKeySequence(Qt::CTRL | Qt::Key_B));
}

void TMainForm::CreateControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(client);

    const QFont regular = ProgramFont();
    const QFont bold = ProgramFont(11, true);

    // Status bar: donation badge, job gauge, web-site label.
    sStatusBar1 = Place<TPanelStatusBar>(client, "sStatusBar1", {0, 242, 496, 24});
    sStatusBar1->SetPanelWidths({52, 354, 50});

    ImageDonate = Place<TClickLabel>(sStatusBar1, "ImageDonate", {4, 5, 42, 16});
    ImageDonate->setPixmap(DonateBadge());
    ImageDonate->setAttribute(Qt::WA_TranslucentBackground);
    ImageDonate->setCursor(Qt::PointingHandCursor);
    SetHint(ImageDonate, QStringLiteral("Donation"));

    sGaugeProcess = Place<QProgressBar>(sStatusBar1, "sGaugeProcess", {54, 4, 345, 19});
    sGaugeProcess->setRange(0, 100);
    sGaugeProcess->setValue(0);
    sGaugeProcess->setFormat(QStringLiteral("%p%"));
    sGaugeProcess->setTextVisible(false);
    SetGaugeTextBlack(sGaugeProcess);

    sLabelFXWebpage = Place<TClickLabel>(sStatusBar1, "sLabelFXWebpage", {408, 5, 78, 17});
    sLabelFXWebpage->setFont(bold);
    sLabelFXWebpage->setCursor(Qt::PointingHandCursor);
    {
        QPalette colours = sLabelFXWebpage->palette();
        colours.setColor(QPalette::WindowText, Qt::black);
        sLabelFXWebpage->setPalette(colours);
    }
    sLabelFXWebpage->SetAutoSize(true);
    sLabelFXWebpage->SetText(QStringLiteral("websiteLabel"));

    // The white strip on the left with the side picture.
    Panel1 = Place<QFrame>(client, "Panel1", {0, 0, 85, 242});
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setAutoFillBackground(true);
    PaintWhiteWithBlackText(Panel1);

    Image1 = Place<TClickLabel>(Panel1, "Image1", {6, 7, 73, 230});
    Image1->setPixmap(SideIllustration());
    Image1->setCursor(Qt::PointingHandCursor);
    SetHint(Image1, QStringLiteral("I like it!"));

    // The working panel.
    sPanel1 = Place<QFrame>(client, "sPanel1", {85, 0, 411, 242});
    sPanel1->setMinimumWidth(411);

    sBitBtnStart = Place<TGlyphButton>(sPanel1, "sBitBtnStart", {212, 186, 180, 50});
    sBitBtnStart->setText(QStringLiteral("Start extraction"));
    sBitBtnStart->setFont(ProgramFont(16));
    sBitBtnStart->setIcon(QIcon(Picture24(Glyph24::Start)));
    sBitBtnStart->setIconSize(kGlyph24Size);
    sBitBtnStart->SetGlyphSpacing(8);
    sBitBtnStart->SetShowFocusRect(false);

    sBitBtnGetProVersion = Place<TGlyphButton>(sPanel1, "sBitBtnGetProVersion", {18, 186, 180, 50});
    sBitBtnGetProVersion->setText(QStringLiteral("Start Pro version"));
    sBitBtnGetProVersion->setFont(ProgramFont(16));
    sBitBtnGetProVersion->setIcon(QIcon(Picture24(Glyph24::Pro)));
    sBitBtnGetProVersion->setIconSize(kGlyph24Size);
    sBitBtnGetProVersion->SetShowFocusRect(false);

    // Output group. The caption is bold, its controls are not.
    sGroupBox4 = Place<QGroupBox>(sPanel1, "sGroupBox4", {6, 108, 400, 66});
    sGroupBox4->setTitle(QStringLiteral("Output Text File"));
    sGroupBox4->setFont(bold);

    sFilenameEditOutput =
        Place<TsFilenameEdit>(sGroupBox4, "sFilenameEditOutput", {6, 18, 362, 21});
    sFilenameEditOutput->setFont(regular);
    sFilenameEditOutput->SetHint(QStringLiteral("Specify output text file"));
    sFilenameEditOutput->SetGlyphs(Picture16(Glyph16::Text), Picture16(Glyph16::TextArrow));

    sButtonOpenText = Place<TGlyphButton>(sGroupBox4, "sButtonOpenText", {370, 18, 24, 21});
    sButtonOpenText->setFont(regular);
    sButtonOpenText->setIcon(QIcon(Picture16(Glyph16::View)));
    sButtonOpenText->setIconSize(kGlyph16Size);
    sButtonOpenText->setContentsMargins(4, 4, 4, 4);
    SetHint(sButtonOpenText, QStringLiteral("View extracted text file"));

    sRadioButtonFormattedLayout =
        Place<QRadioButton>(sGroupBox4, "sRadioButtonFormattedLayout", {6, 42, 59, 19});
    sRadioButtonFormattedLayout->setFont(regular);
    sRadioButtonFormattedLayout->setText(QStringLiteral("Layout"));
    sRadioButtonFormattedLayout->setChecked(true);
    SetHint(
        sRadioButtonFormattedLayout,
        QStringLiteral("Maintain (as best as possible) the original physical layout of the text"));

    sRadioButtonFormattedRaw =
        Place<QRadioButton>(sGroupBox4, "sRadioButtonFormattedRaw", {64, 42, 49, 19});
    sRadioButtonFormattedRaw->setFont(regular);
    sRadioButtonFormattedRaw->setFocusPolicy(Qt::ClickFocus);
    sRadioButtonFormattedRaw->setText(QStringLiteral("Raw"));
    SetHint(sRadioButtonFormattedRaw, QStringLiteral("Keep the text in content stream order"));

    sCheckBoxInsertPageBreak =
        Place<QCheckBox>(sGroupBox4, "sCheckBoxInsertPageBreak", {120, 42, 117, 19});
    sCheckBoxInsertPageBreak->setFont(regular);
    sCheckBoxInsertPageBreak->setText(QStringLiteral("Insert Page Breaks"));
    sCheckBoxInsertPageBreak->setChecked(true);
    SetHint(sCheckBoxInsertPageBreak,
            QStringLiteral("Insert page breaks (form feed characters)  between pages"));

    sCheckBoxOpenAfter = Place<QCheckBox>(sGroupBox4, "sCheckBoxOpenAfter", {268, 42, 128, 19});
    sCheckBoxOpenAfter->setFont(regular);
    sCheckBoxOpenAfter->setText(QStringLiteral("Open After Extraction"));
    sCheckBoxOpenAfter->setChecked(true);

    // Input group.
    sGroupBox1 = Place<QGroupBox>(sPanel1, "sGroupBox1", {6, 8, 400, 88});
    sGroupBox1->setTitle(QStringLiteral("Input PDF File"));
    sGroupBox1->setFont(bold);

    sFilenameEditInput = Place<TsFilenameEdit>(sGroupBox1, "sFilenameEditInput", {6, 18, 362, 21});
    sFilenameEditInput->setFont(regular);
    sFilenameEditInput->SetHint(QStringLiteral("Select input PDF file"));
    sFilenameEditInput->SetGlyphs(Picture16(Glyph16::Pdf), Picture16(Glyph16::PdfArrow));

    sButtonOpenPDF = Place<TGlyphButton>(sGroupBox1, "sButtonOpenPDF", {370, 18, 24, 21});
    sButtonOpenPDF->setFont(regular);
    sButtonOpenPDF->setIcon(QIcon(Picture16(Glyph16::View)));
    sButtonOpenPDF->setIconSize(kGlyph16Size);
    sButtonOpenPDF->setContentsMargins(4, 4, 4, 4);
    SetHint(sButtonOpenPDF, QStringLiteral("View selected PDF file"));

    auto label = [&](const char* name, QRect geometry, const char* text) {
        auto* control = Place<QLabel>(sGroupBox1, name, geometry);
        control->setFont(regular);
        QPalette colours = control->palette();
        colours.setColor(QPalette::WindowText, Qt::black);
        control->setPalette(colours);
        control->setText(QString::fromUtf8(text));
        // Labels size themselves to their text from their top-left corner.
        control->adjustSize();
        return control;
    };
    sLabel1 = label("sLabel1", {8, 47, 59, 13}, "Page Count:");

    sEditPageCount = Place<QLineEdit>(sGroupBox1, "sEditPageCount", {70, 44, 40, 21});
    sEditPageCount->setFont(regular);
    sEditPageCount->setReadOnly(true);
    sEditPageCount->setCursor(Qt::ArrowCursor);
    PaintWhiteWithBlackText(sEditPageCount);

    sLabel2 = label("sLabel2", {130, 47, 63, 13}, "Page Range:");

    sEditPageRange = Place<QLineEdit>(sGroupBox1, "sEditPageRange", {196, 44, 198, 21});
    sEditPageRange->setFont(regular);
    PaintWhiteWithBlackText(sEditPageRange);

    sLabel3 = label("sLabel3", {200, 68, 161, 13}, "Example: 1-5 (leave it blank for all)");

    sBitBtnPlayVideo = Place<TGlyphButton>(sGroupBox1, "sBitBtnPlayVideo", {6, 70, 140, 25});
    sBitBtnPlayVideo->setText(QStringLiteral("Play Video Tutorial"));
    sBitBtnPlayVideo->setFont(bold);
    sBitBtnPlayVideo->setIcon(QIcon(Picture16(Glyph16::Video)));
    sBitBtnPlayVideo->setIconSize(kGlyph16Size);
    sBitBtnPlayVideo->SetShowFocusRect(false);
    sBitBtnPlayVideo->setVisible(false);
}

void TMainForm::NameControls() {
    // What assistive technology announces for each control; nothing on screen changes. Buttons
    // with a caption, the options and the group boxes are announced by their captions, and each
    // file field by the caption of its group.
    sFilenameEditInput->setAccessibleName(sGroupBox1->title());
    sFilenameEditInput->BrowseButton()->setAccessibleName(QStringLiteral("Choose input PDF file"));
    sButtonOpenPDF->setAccessibleName(HintOf(sButtonOpenPDF));
    sLabel1->setBuddy(sEditPageCount);
    sEditPageCount->setAccessibleName(QStringLiteral("Page Count"));
    sLabel2->setBuddy(sEditPageRange);
    sEditPageRange->setAccessibleName(QStringLiteral("Page Range"));
    sEditPageRange->setAccessibleDescription(sLabel3->text());

    sFilenameEditOutput->setAccessibleName(sGroupBox4->title());
    sFilenameEditOutput->BrowseButton()->setAccessibleName(
        QStringLiteral("Choose output text file"));
    sButtonOpenText->setAccessibleName(HintOf(sButtonOpenText));

    sGaugeProcess->setAccessibleName(QStringLiteral("Extraction progress"));

    // The pictures and the web-site label act when clicked, so the keyboard reaches them too;
    // the side picture's link is found nowhere else.
    Image1->SetKeyboardClickable(QAccessible::Link);
    Image1->setAccessibleName(HintOf(Image1));
    Image1->setAccessibleDescription(QStringLiteral("Opens the web site's social page"));
    ImageDonate->SetKeyboardClickable(QAccessible::Button);
    ImageDonate->setAccessibleName(Donate1->text());
    sLabelFXWebpage->SetKeyboardClickable(QAccessible::Link); // announced by its text, the host
}

void TMainForm::SetTabOrder() {
    // The keyboard walks the window as it is read: the side picture, the input group, the output
    // group, the two large buttons, then the status bar. The page count is a stop too, so that
    // it can be read.
    QWidget* const order[] = {Image1,
                              sFilenameEditInput,
                              sFilenameEditInput->BrowseButton(),
                              sButtonOpenPDF,
                              sEditPageCount,
                              sEditPageRange,
                              sBitBtnPlayVideo,
                              sFilenameEditOutput,
                              sFilenameEditOutput->BrowseButton(),
                              sButtonOpenText,
                              sRadioButtonFormattedLayout,
                              sRadioButtonFormattedRaw,
                              sCheckBoxInsertPageBreak,
                              sCheckBoxOpenAfter,
                              sBitBtnGetProVersion,
                              sBitBtnStart,
                              ImageDonate,
                              sLabelFXWebpage};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

void TMainForm::ConnectHandlers() {
    // Only the checked button of the radio pair is a tab stop, so Tab enters the pair at the
    // checked button and the arrow keys move within it.
    for (QRadioButton* radio : {sRadioButtonFormattedLayout, sRadioButtonFormattedRaw}) {
        connect(radio, &QRadioButton::toggled, radio, [radio](bool checked) {
            radio->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus);
        });
    }
    connect(sLabelFXWebpage, &TClickLabel::clicked, this, &TMainForm::ClickWebpageFX);
    connect(ImageDonate, &TClickLabel::clicked, this, &TMainForm::ImageDonateClick);
    connect(Exit, &QAction::triggered, this, &TMainForm::ExitClick);
    connect(StartConversion1, &QAction::triggered, this, &TMainForm::StartConversion1Click);
    connect(Website, &QAction::triggered, this, &TMainForm::WebsiteClick);

    connect(Feedback1, &QAction::triggered, this, &TMainForm::Feedback1Click);
    connect(HowToExtractImages, &QAction::triggered, this, &TMainForm::HowToExtractImagesClick);
    connect(Donate1, &QAction::triggered, this, &TMainForm::Donate1Click);
    connect(Videotutorial1, &QAction::triggered, this, &TMainForm::Videotutorial1Click);
    connect(sBitBtnPlayVideo, &QPushButton::clicked, this, &TMainForm::sBitBtnPlayVideoClick);
    connect(Image1, &TClickLabel::clicked, this, &TMainForm::Image1Click);
    connect(About1, &QAction::triggered, this, &TMainForm::About1Click);
    ConnectExtractionHandlers();
    ConnectOnlineHandlers();
    ConnectStartStopHandlers();
}

void TMainForm::FormCreate() {
    installation_.appFolder = services_.programFolder;

    try {
        const std::string versionMessage = "Could not determinated the application's\r\n"
                                           "version number!"
                                           "\r\n\r\n"
                                           "Please re-install this software!";
        installation_.installedVersion = services_.records.InstalledVersion();
        if (installation_.installedVersion.empty()) {
            throw GeneralError(versionMessage);
        }
        const std::string websiteMessage = "Could not determinated the application's\r\n"
                                           "website!"
                                           "\r\n\r\n"
                                           "Please re-install this software!";
        installation_.websiteUrl = services_.records.InstalledWebsite();
        if (installation_.websiteUrl.empty()) {
            throw GeneralError(websiteMessage);
        }
    } catch (const GeneralError& error) {
        services_.messages.Show(std::string(error.what()) + "\r\n", MessageKind::Error, mbOK);
        RequestTermination();
    }

    setWindowTitle(Caption);
    installation_.websiteHost = ChooseWebsiteHost(
        LARKSPAN_WEBSITE_HOST, qEnvironmentVariable("LARKSPAN_WEBSITE_HOST").toStdString(),
        LARKSPAN_HOST_OVERRIDE);
    sLabelFXWebpage->SetText(QString::fromStdString(installation_.websiteHost));
    installation_.feedbackMailto = help::FeedbackMailtoFor(installation_.websiteHost);
    ResizeMainForm();
    // Last, and also after a missing record: what it reads is all set by now.
    StartBackgroundCheck();
}

void TMainForm::RequestTermination() {
    terminationRequested_ = true;
    // quit() does nothing before the event loop runs, so it is queued: the loop then ends as
    // soon as it starts.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

void TMainForm::ResizeMainForm() {
    // Measured against the window's outer width, frame included, although the label sits in
    // the status bar. A host too long for the gap beside the gauge would cover the gauge's end:
    // the label then starts right after the gauge and is cut at the window's edge instead.
    const int rightAligned =
        frameGeometry().width() - sLabelFXWebpage->width() - WebsiteLabelRightGap;
    const int afterGauge = sGaugeProcess->geometry().right() + 1 + WebsiteLabelGaugeGap;
    sLabelFXWebpage->move(std::max(rightAligned, afterGauge), sLabelFXWebpage->y());
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ResizeMainForm();
}

void TMainForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // The window manager's frame becomes known only after the window is mapped, usually with
    // a move; the outer width may have changed with it.
    ResizeMainForm();
}

void TMainForm::showEvent(QShowEvent* event) {
    if (!centredOnce_ && !event->spontaneous()) {
        centredOnce_ = true;
        CentreWindow(*this, nullptr);
    }
    QMainWindow::showEvent(event);
    ResizeMainForm();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        ForgetJobProgress(*this);
        emit Closing();
    }
}

void TMainForm::ClickWebpageFX() {
    services_.desktop.Open(installation_.websiteUrl);
}

void TMainForm::WebsiteClick() {
    services_.desktop.Open(installation_.websiteUrl);
}

void TMainForm::ShowHandlerError(const std::exception& error) {
    ShowUnhandledError(error.what());
}

void TMainForm::ExitClick() {
    close();
}

void TMainForm::StartConversion1Click() {
    sBitBtnStart->click();
}

void TMainForm::ImageDonateClick() {
    Donate1->trigger();
}

} // namespace larkspan

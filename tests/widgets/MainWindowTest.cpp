#include "widgets/MainWindowFixture.h"

#include "gui/extraction/ConversionProcess.h"
#include "gui/extraction/FilenameEdit.h"
#include "gui/shell/Controls.h"
#include "support/GuiSeams.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>

using namespace larkspan;
using namespace larkspan::test;

namespace {

const std::string VersionMissing = "Could not determinated the application's\r\n"
                                   "version number!\r\n\r\n"
                                   "Please re-install this software!\r\n";
const std::string WebsiteMissing = "Could not determinated the application's\r\n"
                                   "website!\r\n\r\n"
                                   "Please re-install this software!\r\n";

QString S(const char* text) {
    return QString::fromUtf8(text);
}

// The text a control shows, whatever its kind.
QString CaptionOf(const QWidget* control) {
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    if (auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text();
    }
    if (auto* group = qobject_cast<const QGroupBox*>(control)) {
        return group->title();
    }
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) {
        return edit->text();
    }
    return {};
}

// Runs the event loop the way the program does after creating its window and reports how it
// ended: 0 from a queued quit, 99 from the failsafe.
int RunLoopWithFailsafe() {
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    return QApplication::exec();
}

} // namespace

// ---- Layout -------------------------------------------------------------------------------

TEST(MainWindowLayout, WindowHasFixedClientSizeBelowItsMenuAndNoMaximiseButton) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    EXPECT_EQ(form.windowTitle(), S("Larkspan"));
    EXPECT_EQ(form.centralWidget()->size(), QSize(496, 266));
    EXPECT_EQ(form.centralWidget()->y(), form.menuBar()->height());
    EXPECT_EQ(form.size(), QSize(496, 266 + form.menuBar()->height()));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the user must not resize it";
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
}

TEST(MainWindowLayout, WindowOpensCentredOnTheDesktopWithTheStartButtonFocused) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    const QRect desktop = form.screen()->availableGeometry();
    EXPECT_LE(std::abs(form.frameGeometry().center().x() - desktop.center().x()), 1);
    EXPECT_LE(std::abs(form.frameGeometry().center().y() - desktop.center().y()), 1);
    EXPECT_EQ(QApplication::focusWidget(), form.sBitBtnStart);
}

struct ControlRow {
    const char* name;
    const char* parent;
    QRect geometry; // labels size themselves: only their top-left corner is compared
    const char* caption;
    int pixelSize;
    bool bold;
};

TEST(MainWindowLayout, EveryControlHasItsNameParentPlaceCaptionAndFont) {
    StagedMainWindow staged;
    const TMainForm& form = *staged.form;
    const ControlRow rows[] = {
        {"sStatusBar1", "ClientArea", {0, 242, 496, 24}, "", 11, false},
        {"ImageDonate", "sStatusBar1", {4, 5, 42, 16}, "", 11, false},
        {"sGaugeProcess", "sStatusBar1", {54, 4, 345, 19}, "", 11, false},
        {"Panel1", "ClientArea", {0, 0, 85, 242}, "", 11, false},
        {"Image1", "Panel1", {6, 7, 73, 230}, "", 11, false},
        {"sPanel1", "ClientArea", {85, 0, 411, 242}, "", 11, false},
        {"sBitBtnStart", "sPanel1", {212, 186, 180, 50}, "Start extraction", 16, false},
        {"sBitBtnGetProVersion", "sPanel1", {18, 186, 180, 50}, "Start Pro version", 16, false},
        {"sGroupBox4", "sPanel1", {6, 108, 400, 66}, "Output Text File", 11, true},
        {"sFilenameEditOutput", "sGroupBox4", {6, 18, 362, 21}, "", 11, false},
        {"sButtonOpenText", "sGroupBox4", {370, 18, 24, 21}, "", 11, false},
        {"sRadioButtonFormattedLayout", "sGroupBox4", {6, 42, 59, 19}, "Layout", 11, false},
        {"sRadioButtonFormattedRaw", "sGroupBox4", {64, 42, 49, 19}, "Raw", 11, false},
        {"sCheckBoxInsertPageBreak",
         "sGroupBox4",
         {120, 42, 117, 19},
         "Insert Page Breaks",
         11,
         false},
        {"sCheckBoxOpenAfter",
         "sGroupBox4",
         {268, 42, 128, 19},
         "Open After Extraction",
         11,
         false},
        {"sGroupBox1", "sPanel1", {6, 8, 400, 88}, "Input PDF File", 11, true},
        {"sFilenameEditInput", "sGroupBox1", {6, 18, 362, 21}, "", 11, false},
        {"sButtonOpenPDF", "sGroupBox1", {370, 18, 24, 21}, "", 11, false},
        {"sLabel1", "sGroupBox1", {8, 47, 0, 0}, "Page Count:", 11, false},
        {"sEditPageCount", "sGroupBox1", {70, 44, 40, 21}, "", 11, false},
        {"sLabel2", "sGroupBox1", {130, 47, 0, 0}, "Page Range:", 11, false},
        {"sEditPageRange", "sGroupBox1", {196, 44, 198, 21}, "", 11, false},
        {"sLabel3",
         "sGroupBox1",
         {200, 68, 0, 0},
         "Example: 1-5 (leave it blank for all)",
         11,
         false},
        {"sBitBtnPlayVideo", "sGroupBox1", {6, 70, 140, 25}, "Play Video Tutorial", 11, true},
    };
    for (const ControlRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto* control = Named<QWidget>(&form, row.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), S(row.parent));
        if (qobject_cast<QLabel*>(control) && !CaptionOf(control).isEmpty()) {
            EXPECT_EQ(control->pos(), row.geometry.topLeft());
            EXPECT_EQ(control->size(), control->sizeHint()) << "a label sizes itself to its text";
        } else {
            EXPECT_EQ(control->geometry(), row.geometry);
        }
        EXPECT_EQ(CaptionOf(control), S(row.caption));
        EXPECT_EQ(control->font().pixelSize(), row.pixelSize);
        EXPECT_EQ(control->font().bold(), row.bold);
    }
    // The web-site label: bold, sized to its text, at the top given by the layout.
    EXPECT_TRUE(form.sLabelFXWebpage->font().bold());
    EXPECT_EQ(form.sLabelFXWebpage->y(), 5);
    EXPECT_EQ(form.sLabelFXWebpage->size(), form.sLabelFXWebpage->sizeHint());
}

TEST(MainWindowLayout, EveryCaptionFitsItsControl) {
    StagedMainWindow staged;
    const TMainForm& form = *staged.form;
    // Check boxes and radio buttons: the text within the style's room beside the indicator.
    for (const QAbstractButton* box : std::initializer_list<const QAbstractButton*>{
             form.sRadioButtonFormattedLayout, form.sRadioButtonFormattedRaw,
             form.sCheckBoxInsertPageBreak, form.sCheckBoxOpenAfter}) {
        SCOPED_TRACE(box->objectName().toStdString());
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect contents = box->style()->subElementRect(qobject_cast<const QRadioButton*>(box)
                                                                ? QStyle::SE_RadioButtonContents
                                                                : QStyle::SE_CheckBoxContents,
                                                            &option, box);
        EXPECT_LE(box->fontMetrics().horizontalAdvance(box->text()), contents.width());
        EXPECT_LE(box->fontMetrics().height(), contents.height());
    }
    // Glyph buttons: glyph, spacing and caption within the style's content rectangle.
    for (const TGlyphButton* button :
         {form.sBitBtnStart, form.sBitBtnGetProVersion, form.sBitBtnPlayVideo}) {
        SCOPED_TRACE(button->objectName().toStdString());
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect contents =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const int needed = button->iconSize().width() + button->GlyphSpacing() +
                           button->fontMetrics().horizontalAdvance(button->text());
        EXPECT_LE(needed, contents.width());
        EXPECT_LE(button->fontMetrics().height(), contents.height());
    }
    // Group captions fit their boxes, and the status-bar label stays inside the window.
    for (const QGroupBox* group : {form.sGroupBox1, form.sGroupBox4}) {
        EXPECT_LT(group->fontMetrics().horizontalAdvance(group->title()), group->width() - 20);
    }
    EXPECT_LE(form.sLabelFXWebpage->geometry().right(), form.sStatusBar1->width());
}

TEST(MainWindowLayout, HintsAreShownAsToolTipsForTenSeconds) {
    StagedMainWindow staged;
    const TMainForm& form = *staged.form;
    const std::pair<const QWidget*, const char*> hints[] = {
        {form.ImageDonate, "Donation"},
        {form.Image1, "I like it!"},
        {form.sFilenameEditOutput, "Specify output text file"},
        {form.sButtonOpenText, "View extracted text file"},
        {form.sRadioButtonFormattedLayout,
         "Maintain (as best as possible) the original physical layout of the text"},
        {form.sRadioButtonFormattedRaw, "Keep the text in content stream order"},
        {form.sCheckBoxInsertPageBreak, "Insert page breaks (form feed characters)  between pages"},
        {form.sFilenameEditInput, "Select input PDF file"},
        {form.sButtonOpenPDF, "View selected PDF file"},
    };
    for (const auto& [control, hint] : hints) {
        SCOPED_TRACE(control->objectName().toStdString());
        EXPECT_EQ(control->toolTip(), S(hint));
        EXPECT_EQ(HintOf(control), S(hint));
        EXPECT_EQ(control->toolTipDuration(), 10000);
    }
    EXPECT_TRUE(form.sCheckBoxOpenAfter->toolTip().isEmpty());
}

TEST(MainWindowLayout, ControlsStartInTheirInitialState) {
    StagedMainWindow staged;
    const TMainForm& form = *staged.form;
    EXPECT_TRUE(form.sRadioButtonFormattedLayout->isChecked());
    EXPECT_FALSE(form.sRadioButtonFormattedRaw->isChecked());
    EXPECT_TRUE(form.sCheckBoxInsertPageBreak->isChecked());
    EXPECT_TRUE(form.sCheckBoxOpenAfter->isChecked());
    EXPECT_FALSE(form.sBitBtnPlayVideo->isVisibleTo(form.sGroupBox1));
    EXPECT_TRUE(form.sEditPageCount->isReadOnly());
    EXPECT_FALSE(form.sEditPageRange->isReadOnly());
    EXPECT_TRUE(form.sFilenameEditInput->isReadOnly());
    EXPECT_TRUE(form.sFilenameEditOutput->isReadOnly());
    EXPECT_EQ(form.sFilenameEditInput->text(), QString());
    EXPECT_EQ(form.sFilenameEditOutput->text(), QString());

    EXPECT_EQ(form.sGaugeProcess->minimum(), 0);
    EXPECT_EQ(form.sGaugeProcess->maximum(), 100);
    EXPECT_EQ(form.sGaugeProcess->value(), 0);
    EXPECT_FALSE(form.sGaugeProcess->isTextVisible());
    EXPECT_EQ(form.sStatusBar1->PanelWidths(), (std::vector<int>{52, 354, 50}));

    for (const QWidget* hand :
         std::initializer_list<const QWidget*>{form.ImageDonate, form.sLabelFXWebpage, form.Image1,
                                               form.sFilenameEditInput, form.sFilenameEditOutput}) {
        EXPECT_EQ(hand->cursor().shape(), Qt::PointingHandCursor)
            << hand->objectName().toStdString();
    }
    EXPECT_EQ(form.sEditPageCount->cursor().shape(), Qt::ArrowCursor);

    EXPECT_EQ(form.Panel1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(form.Panel1->frameShadow(), QFrame::Sunken);
    EXPECT_FALSE(form.Image1->pixmap().isNull());
    EXPECT_EQ(form.Image1->pixmap().deviceIndependentSize().toSize(), QSize(73, 230));
    EXPECT_FALSE(form.ImageDonate->pixmap().isNull());

    EXPECT_EQ(form.sBitBtnStart->iconSize(), QSize(24, 24));
    EXPECT_FALSE(form.sBitBtnStart->icon().isNull());
    EXPECT_EQ(form.sBitBtnStart->GlyphSpacing(), 8);
    EXPECT_FALSE(form.sBitBtnStart->ShowFocusRect());
    EXPECT_FALSE(form.sBitBtnGetProVersion->ShowFocusRect());
    EXPECT_FALSE(form.sBitBtnPlayVideo->ShowFocusRect());
    EXPECT_FALSE(form.sBitBtnPlayVideo->icon().isNull());
    EXPECT_FALSE(form.sButtonOpenPDF->icon().isNull());
    EXPECT_FALSE(form.sButtonOpenText->icon().isNull());
    EXPECT_FALSE(form.sFilenameEditInput->BrowseButton()->icon().isNull());
    EXPECT_FALSE(form.sFilenameEditOutput->BrowseButton()->icon().isNull());
}

// ---- Keyboard -----------------------------------------------------------------------------

namespace {

std::vector<std::string> WalkTab(TMainForm& form, int steps) {
    std::vector<std::string> walked;
    for (int i = 0; i < steps; ++i) {
        PressKey(&form, Qt::Key_Tab);
        const QWidget* focus = QApplication::focusWidget();
        std::string name = focus != nullptr ? focus->objectName().toStdString() : "(none)";
        if (name == "BrowseButton") { // one in each file field
            name = focus->parentWidget()->objectName().toStdString() + "." + name;
        }
        walked.push_back(name);
    }
    return walked;
}

} // namespace

TEST(MainWindowKeyboard, TabWalksTheWindowAsItIsReadFromTheStartButtonOn) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    ASSERT_EQ(QApplication::focusWidget(), form.sBitBtnStart);
    EXPECT_EQ(WalkTab(form, 16),
              (std::vector<std::string>{
                  "ImageDonate", "sLabelFXWebpage", "Image1", "sFilenameEditInput",
                  "sFilenameEditInput.BrowseButton", "sButtonOpenPDF", "sEditPageCount",
                  "sEditPageRange", "sFilenameEditOutput", "sFilenameEditOutput.BrowseButton",
                  "sButtonOpenText", "sRadioButtonFormattedLayout", "sCheckBoxInsertPageBreak",
                  "sCheckBoxOpenAfter", "sBitBtnGetProVersion", "sBitBtnStart"}));
}

TEST(MainWindowKeyboard, TabEntersTheRadioPairAtTheCheckedButtonAndReachesAVisibleVideoButton) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    form.sRadioButtonFormattedRaw->setChecked(true);
    form.sBitBtnPlayVideo->setVisible(true);
    ShowActive(&form);
    form.sEditPageRange->setFocus();
    EXPECT_EQ(WalkTab(form, 6),
              (std::vector<std::string>{"sBitBtnPlayVideo", "sFilenameEditOutput",
                                        "sFilenameEditOutput.BrowseButton", "sButtonOpenText",
                                        "sRadioButtonFormattedRaw", "sCheckBoxInsertPageBreak"}));
    // Inside the pair the arrow keys move the check mark and the tab stop with the focus.
    form.sRadioButtonFormattedRaw->setFocus();
    PressKey(&form, Qt::Key_Left);
    EXPECT_EQ(QApplication::focusWidget(), form.sRadioButtonFormattedLayout);
    EXPECT_TRUE(form.sRadioButtonFormattedLayout->isChecked());
    form.sButtonOpenText->setFocus();
    EXPECT_EQ(WalkTab(form, 1)[0], "sRadioButtonFormattedLayout");
}

TEST(MainWindowKeyboard, CtrlSClicksTheStartButton) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    int clicks = 0;
    QObject::connect(form.sBitBtnStart, &QPushButton::clicked, [&] { ++clicks; });
    // With both fields empty each click asks for the input file.
    ScriptedMessages boxes({mrOk, mrOk});
    PressKey(&form, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(clicks, 1);
    form.StartConversion1->trigger();
    EXPECT_EQ(clicks, 2);
}

TEST(MainWindowKeyboard, CtrlWClosesTheWindowWithoutAQuestion) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    PressKey(&form, Qt::Key_W, Qt::ControlModifier); // any box would fail the test
    EXPECT_FALSE(form.isVisible());
}

// ---- Menu ---------------------------------------------------------------------------------

struct ItemRow {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
    bool picture;
};

TEST(MainWindowMenu, MenusHoldTheirItemsInOrderWithShortcutsAndPictures) {
    StagedMainWindow staged;
    const TMainForm& form = *staged.form;
    auto check = [](const QMenu* menu, std::initializer_list<ItemRow> rows) {
        SCOPED_TRACE(menu->objectName().toStdString());
        const QList<QAction*> items = menu->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(rows.size()));
        int i = 0;
        for (const ItemRow& row : rows) {
            const QAction* item = items[i++];
            SCOPED_TRACE(row.name);
            EXPECT_EQ(item->objectName(), S(row.name));
            if (row.caption == nullptr) {
                EXPECT_TRUE(item->isSeparator());
                continue;
            }
            EXPECT_EQ(item->text(), S(row.caption));
            EXPECT_EQ(item->shortcut(), row.shortcut);
            EXPECT_EQ(!item->icon().isNull(), row.picture);
            if (row.picture) {
                EXPECT_EQ(item->icon().availableSizes().value(0), QSize(16, 16));
            }
        }
    };
    const QList<QAction*> menus = form.MainMenu1->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->menu(), form.FileMenu);
    EXPECT_EQ(menus[1]->menu(), form.EditMenu);
    EXPECT_EQ(menus[2]->menu(), form.HelpMenu);
    check(form.FileMenu, {{"InputPDF", "Input PDF file", QKeySequence(S("Ctrl+I")), true},
                          {"OutputText", "Output text file", QKeySequence(S("Ctrl+O")), true},
                          {"N1", nullptr, {}, false},
                          {"StartConversion1", "Start extraction", QKeySequence(S("Ctrl+S")), true},
                          {"N3", nullptr, {}, false},
                          {"Exit", "Exit", QKeySequence(S("Ctrl+W")), true}});
    check(form.EditMenu, {{"AutoSetOutput", "Auto set output text file", {}, false}});
    check(form.HelpMenu, {{"Website", "Website", {}, true},
                          {"Videotutorial1", "Video tutorial", {}, true},
                          {"Feedback1", "Feedback", {}, true},
                          {"N4", nullptr, {}, false},
                          {"GetProVersion1", "Start Pro version", {}, true},
                          {"HowToExtractImages", "How to extract images?", {}, true},
                          {"N2", nullptr, {}, false},
                          {"Donate1", "Donate", {}, true},
                          {"About1", "About", QKeySequence(S("Ctrl+B")), true}});
    EXPECT_FALSE(form.Videotutorial1->isVisible());
}

TEST(MainWindowMenu, AutoSetOutputStartsCheckedAndTogglesOnEveryChoice) {
    StagedMainWindow staged;
    const TMainForm& form = *staged.form;
    EXPECT_TRUE(form.AutoSetOutput->isChecked());
    form.AutoSetOutput->trigger();
    EXPECT_FALSE(form.AutoSetOutput->isChecked());
    form.AutoSetOutput->trigger();
    EXPECT_TRUE(form.AutoSetOutput->isChecked());
}

// ---- Creation -----------------------------------------------------------------------------

TEST(MainWindowCreation, CompleteRecordFillsTheSharedState) {
    ScriptedMessages none; // no box may appear
    StagedMainWindow staged;
    EXPECT_FALSE(staged.form->TerminationRequested());
    const Installation& setup = staged.form->Setup();
    EXPECT_EQ(setup.installedVersion, TestVersion);
    EXPECT_EQ(setup.websiteUrl, TestWebsite);
    EXPECT_EQ(setup.websiteHost, TestHost);
    EXPECT_EQ(setup.feedbackMailto, std::string("mailto:feedback@") + TestHost);
    EXPECT_EQ(staged.form->sLabelFXWebpage->text(), S(TestHost));
    // In the system's own form, as the tools' working folder (on Windows with backslashes).
    EXPECT_EQ(setup.appFolder,
              QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QLatin1Char('/'))
                  .toStdString());
}

TEST(MainWindowCreation, AMissingOrEmptyValueShowsOneErrorBoxAndEndsTheProgram) {
    ScopedEnvironment host("LARKSPAN_WEBSITE_HOST", std::string(TestHost));
    const struct {
        std::optional<std::string> version, website;
        int answer;
        std::string text;
    } cases[] = {
        // Neither value: only the version is read and reported.
        {std::nullopt, std::nullopt, mrOk, VersionMissing},
        {std::string("2.0"), std::nullopt, mrOk, WebsiteMissing},
        // Closing the box any way ends the program too.
        {std::string(""), std::string("http://site.example/"), mrCancel, VersionMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + c.version.value_or("(none)"));
        StagedRecord record(c.version, c.website);
        ScriptedMessages boxes({c.answer});
        TMainForm form(TestServices());
        ASSERT_EQ(boxes.Requests().size(), 1u);
        EXPECT_EQ(boxes.Requests()[0].text, c.text);
        EXPECT_EQ(boxes.Requests()[0].kind, MessageKind::Error);
        EXPECT_EQ(boxes.Requests()[0].buttons, MessageButtons{mbOK});
        EXPECT_TRUE(form.TerminationRequested());
        EXPECT_EQ(form.Setup().installedVersion, c.version.value_or(""));
        // Creation still finishes: caption, host and mail link are set.
        EXPECT_EQ(form.windowTitle(), S("Larkspan"));
        EXPECT_EQ(form.Setup().feedbackMailto, std::string("mailto:feedback@") + TestHost);
        EXPECT_EQ(RunLoopWithFailsafe(), 0) << "the queued quit must end the loop at once";
    }
}

TEST(MainWindowCreation, WebsiteHostComesFromTheEnvironmentOnlyWhenSetAndNotEmpty) {
    EXPECT_EQ(ChooseWebsiteHost("built.example", "env.example"), "env.example");
    EXPECT_EQ(ChooseWebsiteHost("built.example", ""), "built.example");
    // A shipped build takes the built-in host whatever the environment says.
    EXPECT_EQ(ChooseWebsiteHost("built.example", "env.example", false), "built.example");
    StagedRecord record{std::string(TestVersion), std::string(TestWebsite)};
    {
        ScopedEnvironment host("LARKSPAN_WEBSITE_HOST", std::string("127.0.0.2:9"));
        TMainForm form(TestServices());
        EXPECT_EQ(form.Setup().websiteHost, "127.0.0.2:9");
        EXPECT_EQ(form.sLabelFXWebpage->text(), S("127.0.0.2:9"));
    }
    // No window is built on the built-in host: its background check would look the name up
    // in DNS, and tests stay on loopback.
}

// ---- Label alignment and forwarding handlers ----------------------------------------------

TEST(MainWindowHandlers, WebsiteLabelKeepsTwentyPixelsFromTheOuterRightEdgeClearOfTheGauge) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    auto expectedLeft = [&] {
        return form.frameGeometry().width() - form.sLabelFXWebpage->width() - 20;
    };
    EXPECT_EQ(form.sLabelFXWebpage->x(), expectedLeft());

    // A new caption resizes the label; the next resize of the window places it anew. Neither
    // the host built into the program nor a longer one covers the gauge.
    const auto replace = [&](const char* host) {
        form.sLabelFXWebpage->SetText(S(host));
        QResizeEvent resize(form.size(), form.size());
        QApplication::sendEvent(&form, &resize);
    };
    const int before = form.sLabelFXWebpage->x();
    replace(BUILT_IN_WEBSITE_HOST);
    EXPECT_EQ(form.sLabelFXWebpage->x(), expectedLeft());
    EXPECT_FALSE(form.sLabelFXWebpage->geometry().intersects(form.sGaugeProcess->geometry()));
    EXPECT_LT(form.sLabelFXWebpage->x(), before);
    replace("a-much-longer-vendor-host.example");
    EXPECT_EQ(form.sLabelFXWebpage->x(), form.sGaugeProcess->geometry().right() + 3);
}

TEST(MainWindowLayout, GaugeTextIsBlackOverTheFilledBarToo) {
    StagedMainWindow staged;
    QProgressBar* gauge = staged.form->sGaugeProcess;
    gauge->setValue(100);
    const QImage bar = gauge->grab().toImage();
    gauge->setTextVisible(true);
    const QImage withText = gauge->grab().toImage();
    int textPixels = 0;
    for (int y = 0; y < bar.height(); ++y) {
        for (int x = 0; x < bar.width(); ++x) {
            // White text would lighten the bar where it is drawn; black text only darkens it
            // (or, at an edge smoothed per colour channel, changes its hue alone).
            if (bar.pixel(x, y) != withText.pixel(x, y)) {
                ++textPixels;
                EXPECT_LE(qGray(withText.pixel(x, y)), qGray(bar.pixel(x, y)))
                    << "a light text pixel at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(textPixels, 20) << "no text was drawn";
}

// The darkest pixel inside the field's frame, left half (its text), and the colour of its empty
// right part.
struct FieldLook {
    int darkest = 255;
    QColor ground;
};

FieldLook LookOf(QLineEdit* field) {
    const QImage picture = field->grab().toImage();
    FieldLook look;
    for (int y = 3; y < picture.height() - 3; ++y) {
        for (int x = 3; x < picture.width() / 2; ++x) {
            look.darkest = std::min(look.darkest, qGray(picture.pixel(x, y)));
        }
    }
    // Right of the text and left of a browse button.
    look.ground = picture.pixelColor(picture.width() * 3 / 4 - 10, picture.height() / 2);
    return look;
}

TEST(MainWindowLayout, FieldsLockedDuringAJobAreDrawnAsDisabledFields) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    // A disabled field is drawn on the window's own ground with grey text, as the system
    // draws one; enabled, the fields are white with black text.
    const QPalette program = QApplication::palette();
    const QColor disabledGround = program.color(QPalette::Disabled, QPalette::Window);
    ASSERT_NE(disabledGround, QColor(Qt::white));
    for (QLineEdit* field :
         std::initializer_list<QLineEdit*>{form.sFilenameEditInput, form.sFilenameEditOutput,
                                           form.sEditPageCount, form.sEditPageRange}) {
        SCOPED_TRACE(field->objectName().toStdString());
        {
            // The text alone: not the probe or the output rule that a change runs.
            const QSignalBlocker quiet(field);
            field->setText(QStringLiteral("8"));
        }
        EnableControls(form);
        const FieldLook enabled = LookOf(field);
        DisableControls(form);
        ASSERT_FALSE(field->isEnabled());
        const FieldLook disabled = LookOf(field);
        EnableControls(form);

        EXPECT_EQ(enabled.ground, QColor(Qt::white));
        EXPECT_LT(enabled.darkest, 60) << "black text";
        EXPECT_EQ(disabled.ground, disabledGround);
        EXPECT_EQ(field->palette().color(QPalette::Disabled, QPalette::Text),
                  program.color(QPalette::Disabled, QPalette::Text));
        EXPECT_GT(disabled.darkest, enabled.darkest + 60) << "grey text";
    }
}

TEST(MainWindowHandlers, WebsiteLabelAndMenuItemOpenTheInstalledAddress) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    RecordedShellOpens opens;
    ClickMiddle(form.sLabelFXWebpage);
    form.Website->trigger();
    EXPECT_EQ(opens.Targets(), (std::vector<std::string>{TestWebsite, TestWebsite}));
}

TEST(MainWindowHandlers, DonationBadgeBehavesLikeTheDonateItem) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    ScriptedMessages boxes({mrOk, mrOk});
    RecordedShellOpens opens;
    int donateTriggers = 0;
    QObject::connect(form.Donate1, &QAction::triggered, [&] { ++donateTriggers; });
    ClickMiddle(form.ImageDonate);
    form.Donate1->trigger();
    EXPECT_EQ(donateTriggers, 2);
    ASSERT_EQ(boxes.Requests().size(), 2u);
    EXPECT_EQ(boxes.Requests()[0].text, boxes.Requests()[1].text);
    EXPECT_EQ(opens.Targets().size(), 2u);
    EXPECT_EQ(opens.Targets()[0], opens.Targets()[1]);
}

TEST(MainWindowHandlers, ExitClosesTheWindow) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    form.Exit->trigger();
    EXPECT_FALSE(form.isVisible());
}

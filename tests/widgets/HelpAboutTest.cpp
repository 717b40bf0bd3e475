#include "widgets/MainWindowFixture.h"

#include "core/help/HelpTexts.h"
#include "gui/help/UnitAboutDialog.h"
#include "gui/shell/Controls.h"
#include "support/GuiSeams.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace larkspan;
using namespace larkspan::test;

namespace {

const std::string Host = TestHost;
const std::string Website = TestWebsite;

struct OfferRow {
    const char* item;
    std::string text;
    std::string target;
};

std::vector<OfferRow> Offers() {
    return {
        {"Feedback1", help::FeedbackMessage(), "mailto:feedback@" + Host},
        {"HowToExtractImages", help::ImageExtractionMessage(),
         "http://" + Host + "/cobblemoor.html"},
        {"Donate1", help::DonationMessage(), "http://" + Host + "/donate-free-software.html"},
    };
}

TAboutDialog* AboutOf(QWidget* window) {
    auto* about = qobject_cast<TAboutDialog*>(window);
    EXPECT_NE(about, nullptr) << "the modal window is not the About window";
    return about;
}

} // namespace

// ---- Messages with a link behind them ---------------------------------------------------

TEST(HelpActions, EachOfferShowsItsInformationTextAndOpensItsLinkOnlyOnOk) {
    StagedMainWindow staged;
    for (const OfferRow& row : Offers()) {
        SCOPED_TRACE(row.item);
        QAction* item = Named<QAction>(staged.form.get(), row.item);
        ASSERT_NE(item, nullptr);
        ScriptedMessages boxes({mrOk, mrCancel});
        RecordedShellOpens opens;
        item->trigger();
        item->trigger();
        ASSERT_EQ(boxes.Requests().size(), 2u);
        for (const MessageRequest& request : boxes.Requests()) {
            EXPECT_EQ(request.text, row.text);
            EXPECT_EQ(request.kind, MessageKind::Information);
            EXPECT_EQ(request.buttons, MessageButtons{mbOK | mbCancel});
        }
        EXPECT_EQ(opens.Targets(), std::vector<std::string>{row.target});
    }
}

TEST(HelpActions, DonationTextNamesTheProductWithTheEuroSign) {
    StagedMainWindow staged;
    ScriptedMessages boxes({mrCancel});
    staged.form->Donate1->trigger();
    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_NE(boxes.Requests()[0].text.find("  If you like Larkspan you may like to\r\n"),
              std::string::npos);
    EXPECT_NE(boxes.Requests()[0].text.find("or \xE2\x82\xAC"
                                            "15.00 on PayPal"),
              std::string::npos);
}

// ---- Plain links ----------------------------------------------------------------------------

TEST(HelpActions, VideoItemAndButtonOpenTheTutorialEvenWhileHidden) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    RecordedShellOpens opens;
    ASSERT_FALSE(form.Videotutorial1->isVisible());
    form.Videotutorial1->trigger();
    form.sBitBtnPlayVideo->click();
    EXPECT_EQ(opens.Targets(),
              (std::vector<std::string>{Website + "?playvideo", Website + "?playvideo"}));
}

TEST(HelpActions, SidePictureOpensTheSocialLink) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    RecordedShellOpens opens;
    ClickMiddle(form.Image1);
    EXPECT_EQ(opens.Targets(), std::vector<std::string>{Website + "?social=fb"});
}

// ---- About window ---------------------------------------------------------------------------

TEST(AboutWindow, ShowsNameVersionNoticeLinkAndDescriptionCentredOverTheMainWindow) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    RecordedShellOpens opens;
    bool checked = false;
    ModalActions drive([&](QWidget* window) {
        TAboutDialog* about = AboutOf(window);
        ASSERT_NE(about, nullptr);
        checked = true;
        EXPECT_EQ(about->windowTitle(), QStringLiteral("About Larkspan"));
        EXPECT_EQ(about->size(), QSize(414, 220));
        EXPECT_EQ(about->minimumSize(), about->maximumSize());
        EXPECT_FALSE(about->windowFlags() & Qt::WindowMaximizeButtonHint);
        EXPECT_FALSE(about->windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_TRUE(about->isModal());
        EXPECT_LE(
            (about->frameGeometry().center() - form.frameGeometry().center()).manhattanLength(), 2);

        EXPECT_EQ(about->sLabelSoftwareName->text(), QStringLiteral("Larkspan 1.3"));
        EXPECT_EQ(about->sLabel1->text(), QString::fromStdString(help::AboutCopyright()));
        EXPECT_EQ(about->sLabel2->text(), QString::fromStdString("http://" + Host + "/"));
        EXPECT_EQ(about->sLabelDescription->text(),
                  QStringLiteral("This software is absolutely free for any use, in\n"
                                 "any environment eg. personal or business.\n\n"
                                 "Use it, share it, like it!"));
        // Labels keep their corner and grow to their text: four lines for the description.
        EXPECT_EQ(about->sLabelSoftwareName->pos(), QPoint(166, 28));
        EXPECT_EQ(about->sLabel1->pos(), QPoint(170, 52));
        EXPECT_EQ(about->sLabel2->pos(), QPoint(170, 70));
        EXPECT_EQ(about->sLabelDescription->pos(), QPoint(170, 96));
        EXPECT_EQ(about->sLabelDescription->size(), about->sLabelDescription->sizeHint());
        EXPECT_GE(about->sLabelDescription->height(),
                  4 * about->sLabelDescription->fontMetrics().height());
        EXPECT_EQ(about->sLabelSoftwareName->font().pixelSize(), 12);
        EXPECT_TRUE(about->sLabelSoftwareName->font().bold());
        EXPECT_EQ(about->sLabel1->font().pixelSize(), 11);
        EXPECT_FALSE(about->sLabel1->font().bold());
        // Every text fits the window.
        for (const QWidget* label :
             std::initializer_list<const QWidget*>{about->sLabelSoftwareName, about->sLabel1,
                                                   about->sLabel2, about->sLabelDescription}) {
            EXPECT_LE(label->geometry().right(), about->sBevel1->geometry().right());
        }
        EXPECT_EQ(about->ImageAppLogo->geometry(), QRect(22, 24, 128, 128));
        EXPECT_FALSE(about->ImageAppLogo->pixmap().isNull());
        EXPECT_EQ(about->sBevel1->geometry(), QRect(12, 12, 390, 155));
        EXPECT_EQ(about->sBitBtnOK->geometry(), QRect(167, 180, 80, 28));
        EXPECT_EQ(about->sBitBtnOK->text(), QStringLiteral("OK"));
        EXPECT_EQ(QApplication::focusWidget(), about->sBitBtnOK);
        about->sBitBtnOK->click();
    });
    form.About1->trigger();
    EXPECT_TRUE(checked);
    EXPECT_TRUE(opens.Targets().empty());
}

TEST(AboutWindow, EveryClickableItemOpensTheInstalledWebsite) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    const char* items[] = {"sLabelSoftwareName", "sLabel1", "sLabel2", "sLabelDescription",
                           "ImageAppLogo"};
    for (const char* name : items) {
        SCOPED_TRACE(name);
        RecordedShellOpens opens;
        ModalActions drive([&](QWidget* window) {
            auto* item = Named<QWidget>(window, name);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->cursor().shape(), Qt::PointingHandCursor);
            ClickMiddle(item);
        });
        form.About1->trigger();
        EXPECT_EQ(opens.Targets(), std::vector<std::string>{Website});
    }
}

TEST(AboutWindow, OkEnterEscAndTheCloseBoxOpenNothing) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    const std::vector<ModalActions::Action> ways = {
        [](QWidget* window) { ClickMiddle(Named<QWidget>(window, "sBitBtnOK")); },
        [](QWidget* window) { PressKey(window, Qt::Key_Return); },
        [](QWidget* window) { PressKey(window, Qt::Key_Escape); },
        [](QWidget* window) { CloseThroughCloseBox(window); },
    };
    int way = 0;
    for (const ModalActions::Action& close : ways) {
        SCOPED_TRACE(way++);
        RecordedShellOpens opens;
        ModalActions drive(close);
        form.About1->trigger();
        EXPECT_EQ(drive.Ran(), 1);
        EXPECT_TRUE(opens.Targets().empty());
    }
    // Ctrl+B opens the window as well.
    ShowActive(&form);
    RecordedShellOpens opens;
    ModalActions drive([](QWidget* window) { PressKey(window, Qt::Key_Escape); });
    PressKey(&form, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(drive.Ran(), 1);
}

TEST(AboutWindow, AnswerIsClearedWhenTheNextWindowIsCreated) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    RecordedShellOpens opens;
    ModalActions drive(
        {[](QWidget* window) { ClickMiddle(Named<QWidget>(window, "sLabelSoftwareName")); },
         [](QWidget* window) {
             PressKey(window, Qt::Key_Return);
         }});
    form.About1->trigger();
    form.About1->trigger();
    EXPECT_EQ(opens.Targets(), std::vector<std::string>{Website}) << "only the first opens";
}

TEST(AboutWindow, EveryActivationRefillsTheTextsAndFocusesOk) {
    StagedMainWindow staged;
    TMainForm& form = *staged.form;
    ShowActive(&form);
    bool checked = false;
    ModalActions drive([&](QWidget* window) {
        TAboutDialog* about = AboutOf(window);
        ASSERT_NE(about, nullptr);
        about->sBitBtnOK->clearFocus();
        about->SetAboutInfo("Other", "9.9", "one\r\ntwo", "http://other.example/");
        // Switch to another window and back. The other window belongs to the About window, as
        // the modal window blocks every other window of the program.
        QWidget elsewhere(about, Qt::Window);
        elsewhere.resize(100, 100);
        elsewhere.show();
        elsewhere.activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &elsewhere; }));
        about->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == about; }));
        EXPECT_EQ(QApplication::focusWidget(), about->sBitBtnOK);
        EXPECT_EQ(about->windowTitle(), QStringLiteral("About Other"));
        EXPECT_EQ(about->sLabelSoftwareName->text(), QStringLiteral("Other 9.9"));
        EXPECT_EQ(about->sLabel2->text(), QStringLiteral("http://other.example/"));
        EXPECT_EQ(about->sLabelDescription->text(), QStringLiteral("one\ntwo"));
        checked = true;
        about->sBitBtnOK->click();
    });
    form.About1->trigger();
    EXPECT_TRUE(checked);
}

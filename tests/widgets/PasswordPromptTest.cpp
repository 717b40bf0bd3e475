// The password prompt: masking of the front-most window's plain edit boxes for the time of one
// question, the dialog's keys and results, its limit, geometry and place on the screen.

#include "ProbeFieldsFixture.h"
#include "core/extraction/PasswordPromptLayout.h"
#include "gui/extraction/PasswordInputQuery.h"
#include "support/GuiSeams.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace larkspan {
namespace {

using test::ModalActions;
using test::ShownMainWindow;

const QString Caption = QStringLiteral("Password needed");
const QString Prompt =
    QStringLiteral("This PDF is password protected! Please enter the password:\r\n");

QLineEdit* PromptEdit(QWidget* prompt) {
    auto* edit = prompt->findChild<QLineEdit*>(QStringLiteral("Edit"));
    EXPECT_NE(edit, nullptr);
    return edit;
}

bool Ask(QString& value) {
    TMyInputQuery query;
    return query.Execute(Caption, Prompt, value);
}

// Gives the main window's fields texts without running their change rules.
void FillWithoutRules(TMainForm& form) {
    for (TsFilenameEdit* field : {form.sFilenameEditInput, form.sFilenameEditOutput}) {
        const QSignalBlocker quiet(field);
        field->setText(field == form.sFilenameEditInput ? QStringLiteral("/docs/in.pdf")
                                                        : QStringLiteral("/docs/out.txt"));
    }
    form.sEditPageCount->setText(QStringLiteral("12"));
    form.sEditPageRange->setText(QStringLiteral("1-5"));
}

void ExpectMainWindowUnmasked(const TMainForm& form) {
    for (const QLineEdit* edit : {static_cast<const QLineEdit*>(form.sEditPageCount),
                                  static_cast<const QLineEdit*>(form.sEditPageRange),
                                  static_cast<const QLineEdit*>(form.sFilenameEditInput),
                                  static_cast<const QLineEdit*>(form.sFilenameEditOutput)}) {
        EXPECT_EQ(edit->echoMode(), QLineEdit::Normal) << edit->objectName().toStdString();
        EXPECT_EQ(edit->displayText(), edit->text()) << edit->objectName().toStdString();
    }
}

TEST(PasswordPrompt, MasksTheFrontWindowWhileAskingAndReturnsTheTypedText) {
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    FillWithoutRules(form);

    bool maskedBeforeTyping = false;
    QString shownWhileTyping;
    bool boxesMasked = false;
    bool fieldsMasked = true;
    ModalActions act([&](QWidget* prompt) {
        QLineEdit* edit = PromptEdit(prompt);
        ASSERT_NE(edit, nullptr);
        maskedBeforeTyping = edit->echoMode() == QLineEdit::Password;
        QTest::keyClicks(edit, QStringLiteral("s3cret pw"));
        shownWhileTyping = edit->displayText();

        // The main window comes to the front while the question is open (a click on it, where
        // the window manager allows that).
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &form; }));
        boxesMasked = form.sEditPageCount->echoMode() == QLineEdit::Password &&
                      form.sEditPageRange->echoMode() == QLineEdit::Password &&
                      form.sEditPageCount->displayText() == QStringLiteral("**");
        fieldsMasked = form.sFilenameEditInput->echoMode() != QLineEdit::Normal ||
                       form.sFilenameEditOutput->echoMode() != QLineEdit::Normal;

        prompt->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == prompt; }));
        test::PressKey(prompt, Qt::Key_Return);
    });
    QString value;
    EXPECT_TRUE(Ask(value));

    EXPECT_TRUE(maskedBeforeTyping);
    EXPECT_EQ(shownWhileTyping, QStringLiteral("*********"));
    EXPECT_EQ(value, QStringLiteral("s3cret pw"));
    EXPECT_TRUE(boxesMasked) << "the page boxes of the window in front are masked";
    EXPECT_FALSE(fieldsMasked) << "file-name fields are never masked";
    ExpectMainWindowUnmasked(form);
    EXPECT_EQ(form.sEditPageCount->displayText(), QStringLiteral("12"));
    // The main window takes the focus back, unmasked.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &form; }));
    ExpectMainWindowUnmasked(form);
}

TEST(PasswordPrompt, NoMaskingOutlastsTheQuestion) {
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    FillWithoutRules(form);
    for (int question = 0; question < 2; ++question) {
        ModalActions act([](QWidget* prompt) { test::PressKey(prompt, Qt::Key_Escape); });
        QString value;
        EXPECT_FALSE(Ask(value));
        ExpectMainWindowUnmasked(form);
    }
    // With no question open, another window coming to the front keeps its boxes readable.
    QWidget other;
    auto* edit = new QLineEdit(QStringLiteral("visible"), &other);
    test::ShowActive(&other);
    EXPECT_EQ(edit->echoMode(), QLineEdit::Normal);
    test::ShowActive(&form);
    ExpectMainWindowUnmasked(form);
}

TEST(PasswordPrompt, OkGivesTheTextCancelEscAndCloseBoxLeaveTheValue) {
    ShownMainWindow shown;
    struct Case {
        const char* name;
        ModalActions::Action action;
        bool result;
        QString value;
    };
    const std::vector<Case> cases = {
        {"OK on an empty box",
         [](QWidget* prompt) {
             PromptEdit(prompt)->clear();
             prompt->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
         },
         true, QString()},
        {"Cancel button",
         [](QWidget* prompt) {
             QTest::keyClicks(PromptEdit(prompt), QStringLiteral("typed"));
             prompt->findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
         },
         false, QStringLiteral("before")},
        {"Esc",
         [](QWidget* prompt) {
             QTest::keyClicks(PromptEdit(prompt), QStringLiteral("typed"));
             test::PressKey(prompt, Qt::Key_Escape);
         },
         false, QStringLiteral("before")},
        {"close box",
         [](QWidget* prompt) {
             QTest::keyClicks(PromptEdit(prompt), QStringLiteral("typed"));
             test::CloseThroughCloseBox(prompt);
         },
         false, QStringLiteral("before")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModalActions act(c.action);
        QString value = QStringLiteral("before");
        EXPECT_EQ(Ask(value), c.result);
        EXPECT_EQ(value, c.value);
    }
}

TEST(PasswordPrompt, StartsWithTheValueSelectedAndTakesAtMost255Characters) {
    ShownMainWindow shown;
    QString startText;
    bool allSelected = false;
    ModalActions act([&](QWidget* prompt) {
        QLineEdit* edit = PromptEdit(prompt);
        startText = edit->text();
        allSelected = edit->selectedText() == edit->text();
        QTest::keyClicks(edit, QString(300, QLatin1Char('k')));
        test::PressKey(prompt, Qt::Key_Return);
    });
    QString value = QStringLiteral("old");
    EXPECT_TRUE(Ask(value));
    EXPECT_EQ(startText, QStringLiteral("old"));
    EXPECT_TRUE(allSelected);
    EXPECT_EQ(value, QString(255, QLatin1Char('k'))) << "typing replaced the selection";
}

TEST(PasswordPrompt, IsLaidOutFromItsFontAndCentredOnTheScreen) {
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    form.move(0, 0); // far from the screen's centre
    ModalActions act([&](QWidget* prompt) {
        const QRect screen = prompt->screen()->geometry();
        EXPECT_LE((prompt->frameGeometry().center() - screen.center()).manhattanLength(), 2);
        EXPECT_EQ(prompt->windowTitle(), Caption);
        EXPECT_EQ(prompt->minimumSize(), prompt->maximumSize()) << "fixed size";
        EXPECT_FALSE(prompt->windowFlags() &
                     (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

        auto* label = prompt->findChild<QLabel*>(QStringLiteral("Prompt"));
        QLineEdit* edit = PromptEdit(prompt);
        auto* ok = prompt->findChild<QPushButton*>(QStringLiteral("OKButton"));
        auto* cancel = prompt->findChild<QPushButton*>(QStringLiteral("CancelButton"));
        ASSERT_TRUE(label && edit && ok && cancel);
        EXPECT_EQ(label->text(),
                  QStringLiteral("This PDF is password protected! Please enter the password:\n"));
        EXPECT_TRUE(label->wordWrap());
        EXPECT_GE(label->height(), 2 * label->fontMetrics().height())
            << "the wrapped prompt is shown whole";
        EXPECT_EQ(edit->maxLength(), 255);
        EXPECT_TRUE(ok->isDefault());
        EXPECT_EQ(ok->text(), QStringLiteral("OK"));
        EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));

        const QFontMetrics metrics(prompt->font());
        const DialogUnits du =
            DialogUnitsFromSample(metrics.horizontalAdvance(QStringLiteral(
                                      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                                  metrics.height());
        EXPECT_GE(du.x, 4);
        const PasswordPromptLayout expected =
            LayOutPasswordPrompt(du, label->height(), edit->height());
        EXPECT_EQ(prompt->size(), QSize(expected.clientWidth, expected.clientHeight));
        const auto rect = [](const LayoutRect& r) {
            return QRect(r.left, r.top, r.width, r.height);
        };
        EXPECT_EQ(label->geometry(), rect(expected.label));
        EXPECT_EQ(edit->geometry(), rect(expected.edit));
        EXPECT_EQ(ok->geometry(), rect(expected.okButton));
        EXPECT_EQ(cancel->geometry(), rect(expected.cancelButton));
        test::PressKey(prompt, Qt::Key_Escape);
    });
    QString value;
    EXPECT_FALSE(Ask(value));
}

} // namespace
} // namespace larkspan

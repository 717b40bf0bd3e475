// The probe of the input document, on the real main window with the real pdfi.bin over real
// PDFs, and with a stand-in tool for the reports the real one does not give.

#include "ProbeFieldsFixture.h"
#include "core/extraction/ProbeLogic.h"
#include "core/layout/MessageLayout.h"
#include "support/GuiSeams.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace larkspan {
namespace {

using test::ModalActions;
using test::Q;
using test::ScriptedMessages;
using test::ShownMainWindow;
using test::TempFolder;
using testsupport::NumberedPages;
using testsupport::WritePdf;

const QString InputHintCleared = QStringLiteral("Click here to select input PDF file");
const std::string DamagedText = "Couldn't read PDF header info!\r\nProbably this file is damaged!";

void SetInput(TMainForm& form, const std::string& path) {
    form.sFilenameEditInput->setText(Q(path));
}

// The focus is on the start button once the main window is active again (after a prompt, the
// window takes the focus back asynchronously).
bool StartButtonGetsTheFocus(const TMainForm& form) {
    return QTest::qWaitFor([&form] { return form.sBitBtnStart->hasFocus(); });
}

void ExpectCleared(const TMainForm& form) {
    EXPECT_EQ(form.sFilenameEditInput->text(), QString());
    EXPECT_EQ(form.sFilenameEditInput->Hint(), InputHintCleared);
    EXPECT_EQ(form.sEditPageCount->text(), QString());
    EXPECT_EQ(form.sEditPageRange->text(), QString());
    EXPECT_TRUE(StartButtonGetsTheFocus(form));
}

QLineEdit* PromptEdit(QWidget* prompt) {
    auto* edit = prompt->findChild<QLineEdit*>(QStringLiteral("Edit"));
    EXPECT_NE(edit, nullptr);
    return edit;
}

// Answers the password prompt: types `text` and presses Enter.
ModalActions::Action Type(const QString& text, QString* startText = nullptr) {
    return [text, startText](QWidget* prompt) {
        EXPECT_EQ(prompt->windowTitle(), QStringLiteral("Password needed"));
        QLineEdit* edit = PromptEdit(prompt);
        ASSERT_NE(edit, nullptr);
        if (startText != nullptr) {
            *startText = edit->text();
        }
        QTest::keyClicks(edit, text);
        test::PressKey(prompt, Qt::Key_Return);
    };
}

TEST(Probe, GoodDocumentGivesPageCountHintAndOutputNameAndKeepsTheRange) {
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    const std::string folder = TempFolder("probe");
    testsupport::PdfContent content = NumberedPages(3);
    content.title = "Bob's report"; // a lone apostrophe on the line before "Pages:"
    WritePdf(folder + "Report.pdf", content);
    form.sEditPageRange->setText(QStringLiteral("2-3"));
    form.sFilenameEditOutput->setText(QStringLiteral("/elsewhere/chosen.txt"));
    form.sEditPageRange->setFocus();

    SetInput(form, folder + "Report.pdf");
    EXPECT_EQ(form.sEditPageCount->text(), QStringLiteral("3"));
    EXPECT_EQ(form.sFilenameEditInput->Hint(), Q(folder + "Report.pdf"));
    EXPECT_EQ(form.sFilenameEditOutput->text(), Q(folder + "Report.txt"))
        << "the proposal replaces a name the user had chosen";
    EXPECT_EQ(form.sFilenameEditOutput->Hint(), Q(folder + "Report.txt"));
    EXPECT_EQ(form.sEditPageRange->text(), QStringLiteral("2-3"));
    EXPECT_EQ(form.Document().password, "");
    EXPECT_TRUE(form.sBitBtnStart->hasFocus());

    // Upper-case extension; the output name keeps every dot before it.
    WritePdf(folder + "a.b.PDF", NumberedPages(2));
    SetInput(form, folder + "a.b.PDF");
    EXPECT_EQ(form.sEditPageCount->text(), QStringLiteral("2"));
    EXPECT_EQ(form.sFilenameEditOutput->text(), Q(folder + "a.b.txt"));
}

TEST(Probe, WithoutAutoSetOutputTheOutputFieldIsLeftAlone) {
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    const std::string folder = TempFolder("probe");
    WritePdf(folder + "Report.pdf", NumberedPages(1));
    form.AutoSetOutput->trigger();
    ASSERT_FALSE(form.AutoSetOutput->isChecked());
    form.sFilenameEditOutput->setText(QStringLiteral("/keep/mine.txt"));

    SetInput(form, folder + "Report.pdf");
    EXPECT_EQ(form.sEditPageCount->text(), QStringLiteral("1"));
    EXPECT_EQ(form.sFilenameEditOutput->text(), QStringLiteral("/keep/mine.txt"));
}

TEST(Probe, NamesWithoutThePdfExtensionAreRefusedSilently) {
    // No tool runs for a refused name: the stand-in counts its runs.
    test::StandInProbeTool tool("Pages: 1\n");
    ShownMainWindow shown(tool.Folder());
    TMainForm& form = shown.form;
    const std::string folder = TempFolder("probe");
    WritePdf(folder + "Report.pdf", NumberedPages(1));
    QDir().mkpath(Q(folder + "x.pdf"));
    WritePdf(folder + "x.pdf/doc", NumberedPages(1));

    for (const std::string& name :
         {folder + "Report.pdf ", folder + "Report.pdfx", folder + "x.pdf/doc"}) {
        SCOPED_TRACE(name);
        form.sEditPageCount->setText(QStringLiteral("7"));
        form.sEditPageRange->setText(QStringLiteral("1-2"));
        form.sEditPageRange->setFocus();
        SetInput(form, name);
        ExpectCleared(form);
    }
    EXPECT_EQ(tool.Runs(), 0);
}

TEST(Probe, EncryptedDocumentAsksAgainAfterAWrongAnswerAndTakesTheRightOneWhole) {
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    const std::string folder = TempFolder("probe");
    WritePdf(folder + "plain.pdf", NumberedPages(4));
    // Blanks, quotes and shell characters must reach the tool as one intact argument. (The
    // poppler tools read at most 32 characters of a password.)
    const std::string password = R"(a b"c'd $HOME&|<x>^%;`id`\)";
    testsupport::WriteEncryptedCopy(folder + "plain.pdf", folder + "Locked.pdf", password,
                                    "owner-secret");

    ScriptedMessages messages{mrOk};
    QString secondStart = QStringLiteral("not seen");
    bool firstPromptHadNoBox = false;
    ModalActions act({[&](QWidget* prompt) {
                          firstPromptHadNoBox = messages.Requests().empty();
                          Type(QStringLiteral("wrong"))(prompt);
                      },
                      Type(Q(password), &secondStart)});
    SetInput(form, folder + "Locked.pdf");

    EXPECT_TRUE(firstPromptHadNoBox);
    ASSERT_EQ(messages.Requests().size(), 1u);
    EXPECT_EQ(messages.Requests()[0].text, "Wrong password, please try it again!");
    EXPECT_EQ(messages.Requests()[0].kind, MessageKind::Error);
    EXPECT_EQ(messages.Requests()[0].buttons, mbOK);
    EXPECT_EQ(secondStart, QString()) << "the second prompt starts empty";
    EXPECT_EQ(form.sEditPageCount->text(), QStringLiteral("4"));
    EXPECT_EQ(form.Document().password, password);
    EXPECT_EQ(form.sFilenameEditOutput->text(), Q(folder + "Locked.txt"));
    EXPECT_TRUE(StartButtonGetsTheFocus(form));
}

TEST(Probe, APastedPasswordWithALineBreakIsRefusedAndAskedForAgain) {
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    const std::string folder = TempFolder("probe");
    WritePdf(folder + "plain.pdf", NumberedPages(2));
    testsupport::WriteEncryptedCopy(folder + "plain.pdf", folder + "locked.pdf", "secret", "owner");

    ScriptedMessages messages{mrOk};
    QString pasted;
    ModalActions act({[&](QWidget* prompt) {
                          QLineEdit* edit = PromptEdit(prompt);
                          ASSERT_NE(edit, nullptr);
                          QGuiApplication::clipboard()->setText(QStringLiteral("secret\r\n"));
                          QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
                          pasted = edit->text();
                          test::PressKey(prompt, Qt::Key_Return);
                      },
                      Type(QStringLiteral("secret"))});
    SetInput(form, folder + "locked.pdf");

    EXPECT_EQ(pasted, QStringLiteral("secret\r\n")) << "the edit box kept what was pasted";
    ASSERT_EQ(messages.Requests().size(), 1u);
    EXPECT_EQ(messages.Requests()[0].text,
              "A password cannot contain a line break.\r\n\r\nPlease type it again.");
    EXPECT_EQ(form.sEditPageCount->text(), QStringLiteral("2"));
    EXPECT_EQ(form.Document().password, "secret");
}

TEST(Probe, CancelOrABlankAnswerEndsWithoutAPageCount) {
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    const std::string folder = TempFolder("probe");
    WritePdf(folder + "plain.pdf", NumberedPages(2));
    testsupport::WriteEncryptedCopy(folder + "plain.pdf", folder + "locked.pdf", "secret", "owner");

    {
        SCOPED_TRACE("Cancel");
        form.sEditPageRange->setText(QStringLiteral("1-2"));
        ModalActions act([](QWidget* prompt) { test::PressKey(prompt, Qt::Key_Escape); });
        SetInput(form, folder + "locked.pdf");
        ExpectCleared(form);
        EXPECT_EQ(form.Document().password, "");
    }
    {
        SCOPED_TRACE("OK with blanks");
        form.sEditPageRange->setText(QStringLiteral("1-2"));
        ModalActions act(Type(QStringLiteral("   ")));
        SetInput(form, folder + "locked.pdf");
        ExpectCleared(form);
        EXPECT_EQ(form.Document().password, "   ") << "kept until the next probe of a .pdf name";
    }
}

TEST(Probe, DamagedDocumentWarnsOnceAndClears) {
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    const std::string folder = TempFolder("probe");
    WritePdf(folder + "whole.pdf", NumberedPages(3));
    testsupport::WriteTruncatedCopy(folder + "whole.pdf", folder + "damaged.pdf");
    form.sEditPageRange->setText(QStringLiteral("1-2"));

    ScriptedMessages messages{mrOk};
    SetInput(form, folder + "damaged.pdf");
    ASSERT_EQ(messages.Requests().size(), 1u) << "the nested run for the empty name shows none";
    EXPECT_EQ(messages.Requests()[0].text, DamagedText);
    EXPECT_EQ(messages.Requests()[0].kind, MessageKind::Warning);
    EXPECT_EQ(messages.Requests()[0].buttons, mbOK);
    ExpectCleared(form);
}

TEST(Probe, AToolThatPrintsNoLineOrCannotStartEndsLikeADamagedFile) {
    test::StandInProbeTool tool("\r\n\n\r\n");
    for (const std::string& folder : {tool.Folder(), std::string("/no/such/folder/")}) {
        SCOPED_TRACE(folder);
        ShownMainWindow shown(folder);
        TMainForm& form = shown.form;
        ScriptedMessages messages{mrOk};
        SetInput(form, "/docs/Report.pdf");
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{DamagedText});
        ExpectCleared(form);
    }
    EXPECT_EQ(tool.Runs(), 1) << "the tool is asked once, not again and again";
}

TEST(Probe, APageCountThatIsNoNumberReachesTheErrorBoxAndStopsTheProbe) {
    test::StandInProbeTool tool("Title:  x\r\nPages:   12x \r\n");
    ShownMainWindow shown(tool.Folder());
    TMainForm& form = shown.form;
    form.sEditPageCount->setText(QStringLiteral("5"));
    form.sFilenameEditOutput->setText(QStringLiteral("/keep/out.txt"));
    form.sEditPageRange->setFocus();
    const QString hintBefore = form.sFilenameEditInput->Hint();

    test::RecordedUnhandledErrors errors;
    EXPECT_TRUE(test::DropFiles(form.sFilenameEditInput, {"/docs/Report.pdf"}));
    EXPECT_EQ(errors.Texts(), std::vector<std::string>{"'12x' is not a valid integer value."});
    EXPECT_EQ(form.sFilenameEditInput->text(),
              QDir::toNativeSeparators(QStringLiteral("/docs/Report.pdf")));
    EXPECT_EQ(form.sFilenameEditInput->Hint(), hintBefore);
    EXPECT_EQ(form.sEditPageCount->text(), QStringLiteral("5"));
    EXPECT_EQ(form.sFilenameEditOutput->text(), QStringLiteral("/keep/out.txt"));
    EXPECT_TRUE(form.sEditPageRange->hasFocus()) << "the focus does not move";
}

TEST(Probe, AMissingPdfEngineIsNamedWithItsPackageAndTheFieldCleared) {
    // The real information tool, pointed at a pdfinfo that is not there.
    test::ScopedEnvironment engine("LARKSPAN_PDFINFO", std::string("/no/such/pdfinfo"));
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    const std::string folder = TempFolder("probe");
    WritePdf(folder + "Report.pdf", NumberedPages(2));
    ScriptedMessages messages{mrOk};
    SetInput(form, folder + "Report.pdf");
    ASSERT_EQ(messages.Requests().size(), 1u);
    EXPECT_EQ(messages.Requests()[0].kind, MessageKind::Error);
#ifdef _WIN32
    // The system's own reason; the tools ship with the program there.
    EXPECT_TRUE(messages.Requests()[0].text.starts_with("pdfinfo could not be started: "));
    EXPECT_TRUE(messages.Requests()[0].text.ends_with(". Reinstall Larkspan."))
        << messages.Requests()[0].text;
#else
    EXPECT_EQ(messages.Requests()[0].text,
              "pdfinfo could not be started: No such file or directory. Install poppler-utils.");
#endif
    ExpectCleared(form);
}

TEST(Probe, ANameThatIsNotUtf8IsRefusedAndNoOtherFileIsRead) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows file names are UTF-16 text: no name holds a byte that is not UTF-8";
#endif
    ShownMainWindow shown;
    TMainForm& form = shown.form;
    const std::string folder = TempFolder("probe");
    // Side by side: a name with the byte FF, and the name that byte turns into as text.
    WritePdf(folder + "report-\xff.pdf", NumberedPages(2));
    WritePdf(folder + "report-\xef\xbf\xbd.pdf", NumberedPages(7));
    ScriptedMessages messages{mrOk, mrOk};

    EXPECT_TRUE(test::DropFiles(form.sFilenameEditInput, {folder + "report-\xff.pdf"}));
    EXPECT_EQ(messages.Texts(),
              std::vector<std::string>{
                  "The name of this file (or of a folder above it) is not valid UTF-8 text, so "
                  "Larkspan cannot tell which file it names.\r\n\r\nPlease rename it and choose it "
                  "again."});
    ExpectCleared(form);

    EXPECT_TRUE(test::DropFiles(form.sFilenameEditOutput, {folder + "out-\xff.txt"}));
    EXPECT_EQ(messages.Texts().size(), 2u);
    EXPECT_EQ(form.sFilenameEditOutput->text(), QString());
}

} // namespace
} // namespace larkspan

// The two file fields of the main window: clicks, the browse button and menu items with their
// dialogs, drops, the output name rule and the view buttons. The information tool is a stand-in
// that counts its runs, so a test can tell whether a change probed the document again.

#include "ProbeFieldsFixture.h"
#include "support/GuiSeams.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QStandardPaths>
#include <QToolButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace larkspan {
namespace {

using test::Q;
using test::ScriptedFileDialogs;
using test::ShownMainWindow;
using test::StandInProbeTool;
using test::TempFolder;

const QString InputHintCleared = QStringLiteral("Click here to select input PDF file");
const QString OutputHintCleared = QStringLiteral("Click here to specify output text file");

// A main window whose information tool reports four pages for any name.
struct FieldsWindow {
    StandInProbeTool tool{"Title: x\nPages: 4\n"};
    ShownMainWindow shown{tool.Folder()};
    TMainForm& form = shown.form;
    std::string folder = TempFolder("fields");

    // Sets the input through the probe and the output through the proposal.
    void Fill() {
        form.sFilenameEditInput->setText(Q(folder + "Report.pdf"));
        EXPECT_EQ(form.sEditPageCount->text(), QStringLiteral("4"));
        form.sEditPageRange->setText(QStringLiteral("1-2"));
    }
};

TEST(FileFields, ClickIntoAFieldEmptiesItBeforeItsDialogAndCancelLeavesItEmpty) {
    FieldsWindow window;
    TMainForm& form = window.form;
    window.Fill();
    ScriptedFileDialogs dialogs{std::nullopt, std::nullopt};
    // Unseeded, a dialog opens in the user's Documents folder, else in the home folder; never
    // in the current folder, the program's own when it is installed.
#ifdef Q_OS_WIN
    const QString documents = QDir::toNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    const QString home = documents;
#else
    const std::string homeFolder = testsupport::MakeTempFolder("home");
    const test::ScopedEnvironment homeVariable("HOME", homeFolder);
    const test::ScopedEnvironment userDirs("XDG_CONFIG_HOME", homeFolder + "/.config");
    const QString home = Q(homeFolder);
    const QString documents = Q(homeFolder + "/Documents");
    QDir().mkpath(documents);
#endif
    ASSERT_TRUE(QFileInfo(documents).isDir());

    test::ClickMiddle(form.sFilenameEditInput);
    EXPECT_EQ(form.sFilenameEditInput->text(), QString());
    EXPECT_EQ(form.sFilenameEditInput->Hint(), InputHintCleared);
    EXPECT_EQ(form.sEditPageCount->text(), QString());
    EXPECT_EQ(form.sEditPageRange->text(), QString());
    EXPECT_TRUE(form.sBitBtnStart->hasFocus());

#ifndef Q_OS_WIN
    QDir(documents).removeRecursively();
#endif
    test::ClickMiddle(form.sFilenameEditOutput);
    EXPECT_EQ(form.sFilenameEditOutput->text(), QString());
    EXPECT_EQ(form.sFilenameEditOutput->Hint(), OutputHintCleared);
    EXPECT_TRUE(form.sBitBtnStart->hasFocus());

    ASSERT_EQ(dialogs.Requests().size(), 2u);
    const FileDialogRequest& input = dialogs.Requests()[0];
    EXPECT_EQ(input.field, form.sFilenameEditInput);
    EXPECT_EQ(input.kind, FileDialogKind::Open);
    EXPECT_EQ(input.filter, QStringLiteral("Portable Document Format (*.pdf)"));
    EXPECT_EQ(input.defaultSuffix, QStringLiteral("pdf"));
    EXPECT_EQ(input.fileName, QString()) << "emptied first; the dialog's first use";
    EXPECT_EQ(input.initialFolder, documents);
    const FileDialogRequest& output = dialogs.Requests()[1];
    EXPECT_EQ(output.field, form.sFilenameEditOutput);
    EXPECT_EQ(output.kind, FileDialogKind::Save);
    EXPECT_EQ(output.filter, QStringLiteral("Plain Text File (*.txt)"));
    EXPECT_EQ(output.defaultSuffix, QStringLiteral("txt"));
    EXPECT_EQ(output.initialFolder, home);
    EXPECT_EQ(window.tool.Runs(), 1);
}

TEST(FileFields, BrowseButtonAndMenuKeepTheTextAndSeedTheDialogWithIt) {
    FieldsWindow window;
    TMainForm& form = window.form;
    window.Fill();
    const std::string folderWithoutSlash = window.folder.substr(0, window.folder.size() - 1);
    ScriptedFileDialogs dialogs{std::nullopt, std::nullopt, std::nullopt};

    form.sEditPageRange->setFocus();
    form.InputPDF->trigger();
    EXPECT_TRUE(form.sBitBtnStart->hasFocus()) << "after Cancel";
    form.sEditPageRange->setFocus();
    QTest::mouseClick(form.sFilenameEditInput->BrowseButton(), Qt::LeftButton);
    form.OutputText->trigger();

    EXPECT_EQ(form.sFilenameEditInput->text(), Q(window.folder + "Report.pdf"));
    EXPECT_EQ(form.sEditPageCount->text(), QStringLiteral("4"));
    EXPECT_EQ(form.sEditPageRange->text(), QStringLiteral("1-2"));
    EXPECT_EQ(form.sFilenameEditOutput->text(), Q(window.folder + "Report.txt"));
    EXPECT_TRUE(form.sBitBtnStart->hasFocus());
    ASSERT_EQ(dialogs.Requests().size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(dialogs.Requests()[i].fileName, Q(window.folder + "Report.pdf"));
        EXPECT_EQ(dialogs.Requests()[i].initialFolder, Q(folderWithoutSlash));
    }
    EXPECT_EQ(dialogs.Requests()[2].fileName, Q(window.folder + "Report.txt"));
    EXPECT_EQ(window.tool.Runs(), 1);
}

TEST(FileFields, TheSamePickThroughTheMenuDoesNotProbeAgainButAfterAClickItDoes) {
    FieldsWindow window;
    TMainForm& form = window.form;
    window.Fill();
    const QString path = Q(window.folder + "Report.pdf");
    ScriptedFileDialogs dialogs{path, path};

    form.InputPDF->trigger();
    EXPECT_EQ(window.tool.Runs(), 1);
    EXPECT_EQ(form.sEditPageRange->text(), QStringLiteral("1-2"));

    test::ClickMiddle(form.sFilenameEditInput);
    EXPECT_EQ(window.tool.Runs(), 2);
    EXPECT_EQ(form.sFilenameEditInput->text(), path);
    EXPECT_EQ(form.sEditPageCount->text(), QStringLiteral("4"));
    EXPECT_TRUE(form.sBitBtnStart->hasFocus()) << "after OK";
}

TEST(FileFields, TheDialogRemembersTheLastNameAndFolderWithinARun) {
    FieldsWindow window;
    TMainForm& form = window.form;
    QDir().mkpath(Q(window.folder + "sub"));
    const QString chosen = QDir::toNativeSeparators(Q(window.folder + "sub/Chosen.pdf"));
    ScriptedFileDialogs dialogs{chosen, std::nullopt, std::nullopt};

    test::ClickMiddle(form.sFilenameEditInput);
    EXPECT_EQ(form.sFilenameEditInput->text(), chosen);
    test::ClickMiddle(form.sFilenameEditInput); // emptied, then the dialog as last left
    {
        // A name in a folder that does not exist keeps the remembered folder.
        const QSignalBlocker quiet(form.sFilenameEditInput);
        form.sFilenameEditInput->setText(QStringLiteral("/no/such/folder/x.pdf"));
    }
    form.InputPDF->trigger();

    ASSERT_EQ(dialogs.Requests().size(), 3u);
    EXPECT_EQ(dialogs.Requests()[1].fileName, chosen);
    EXPECT_EQ(dialogs.Requests()[1].initialFolder, Q(window.folder + "sub"));
    EXPECT_EQ(dialogs.Requests()[2].fileName, QStringLiteral("/no/such/folder/x.pdf"));
    EXPECT_EQ(dialogs.Requests()[2].initialFolder, Q(window.folder + "sub"));
}

TEST(FileFields, TheRealDialogIsKeptSeededAddsTheDefaultSuffixAndRefusesReadOnlyFiles) {
    FieldsWindow window;
    TMainForm& form = window.form;
    window.Fill();
    const std::string folderWithoutSlash = window.folder.substr(0, window.folder.size() - 1);
    testsupport::WriteFileBytes(window.folder + "Locked.txt", "kept");
    QFile::setPermissions(Q(window.folder + "Locked.txt"), QFile::ReadOwner | QFile::ReadUser);
    QPointer<QFileDialog> seen;
    QString seededName;
    bool openAfterReadOnly = false;
    test::ScriptedMessages warnings{mrOk};
    {
        test::ModalActions act([&](QWidget* shownDialog) {
            seen = qobject_cast<QFileDialog*>(shownDialog);
            ASSERT_NE(seen, nullptr);
            EXPECT_EQ(seen->acceptMode(), QFileDialog::AcceptSave);
            EXPECT_EQ(seen->fileMode(), QFileDialog::AnyFile);
            EXPECT_TRUE(seen->testOption(QFileDialog::DontConfirmOverwrite));
            EXPECT_EQ(seen->nameFilters(), QStringList{QStringLiteral("Plain Text File (*.txt)")});
            EXPECT_EQ(seen->defaultSuffix(), QStringLiteral("txt"));
            EXPECT_EQ(QDir::toNativeSeparators(seen->directory().absolutePath()),
                      Q(folderWithoutSlash));
            auto* name = seen->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            seededName = name->text();
            // What the dialog's Save button does: a read-only file is refused, the dialog stays.
            name->setText(QStringLiteral("Locked"));
            QMetaObject::invokeMethod(seen, "accept");
            openAfterReadOnly = seen->isVisible();
            name->setText(QStringLiteral("Fresh"));
            QMetaObject::invokeMethod(seen, "accept");
        });
        form.OutputText->trigger();
    }
    EXPECT_EQ(seededName, QStringLiteral("Report.txt"));
    EXPECT_TRUE(openAfterReadOnly);
    EXPECT_EQ(warnings.Texts(),
              std::vector<std::string>{window.folder + "Locked.txt\r\nThis file is set to "
                                                       "read-only.\r\nTry again with a different "
                                                       "file name."});
    EXPECT_EQ(form.sFilenameEditOutput->text().toStdString(), window.folder + "Fresh.txt");
    EXPECT_NE(seen, nullptr) << "the dialog is kept for the field's lifetime";
    EXPECT_EQ(form.sFilenameEditOutput->findChildren<QFileDialog*>().size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.sBitBtnStart->hasFocus(); }));
}

TEST(FileFields, DropsTakeTheFirstFileWholeAndOnlyRealChangesCount) {
    FieldsWindow window;
    TMainForm& form = window.form;
    const std::string& folder = window.folder;

    EXPECT_TRUE(test::DropFiles(form.sFilenameEditInput,
                                {folder + "a.pdf", folder + "b.pdf", folder + "c.pdf"}));
    EXPECT_EQ(form.sFilenameEditInput->text(), Q(folder + "a.pdf"));
    EXPECT_EQ(window.tool.Runs(), 1);
    EXPECT_TRUE(test::DropFiles(form.sFilenameEditInput, {folder + "a.pdf"}));
    EXPECT_EQ(window.tool.Runs(), 1) << "the same file changes nothing";

    // Only local files are taken.
    QMimeData text;
    text.setText(QStringLiteral("/docs/typed.pdf"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.sFilenameEditInput, &enter);
    EXPECT_FALSE(enter.isAccepted());

    // A path of several hundred characters arrives whole.
    const std::string longPath = "/" + std::string(390, 'd') + "/long.pdf";
    EXPECT_TRUE(test::DropFiles(form.sFilenameEditInput, {longPath}));
    EXPECT_EQ(form.sFilenameEditInput->text(), QDir::toNativeSeparators(Q(longPath)));
    EXPECT_EQ(form.sFilenameEditOutput->text().size(), static_cast<qsizetype>(longPath.size()));
}

TEST(FileFields, TheOutputFieldTakesOnlyTextFileNames) {
    FieldsWindow window;
    TsFilenameEdit* output = window.form.sFilenameEditOutput;
    const std::string& folder = window.folder;

    EXPECT_TRUE(test::DropFiles(output, {folder + "notes.txt"}));
    EXPECT_EQ(output->text(), Q(folder + "notes.txt"));
    EXPECT_EQ(output->Hint(), Q(folder + "notes.txt"));

    EXPECT_TRUE(test::DropFiles(output, {folder + "doc.pdf"}));
    EXPECT_EQ(output->text(), QString());
    EXPECT_EQ(output->Hint(), OutputHintCleared);

    EXPECT_TRUE(test::DropFiles(output, {folder + "LOUD.TXT"}));
    EXPECT_EQ(output->text(), Q(folder + "LOUD.TXT")) << "shown in its own letter case";

    EXPECT_TRUE(test::DropFiles(output, {folder + "notes.txt.bak"}));
    EXPECT_EQ(output->text(), QString());
    EXPECT_TRUE(window.form.sBitBtnStart->hasFocus());
}

TEST(FileFields, TypingPastingAndCuttingDoNothing) {
    FieldsWindow window;
    TMainForm& form = window.form;
    window.Fill();
    ScriptedFileDialogs noDialog;
    QApplication::clipboard()->setText(QStringLiteral("/pasted.pdf"));
    for (TsFilenameEdit* field : {form.sFilenameEditInput, form.sFilenameEditOutput}) {
        const QString before = field->text();
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("abc.pdf"));
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Delete);
        EXPECT_EQ(field->text(), before);
    }
    EXPECT_EQ(window.tool.Runs(), 1);
}

TEST(FileFields, ViewButtonsOpenOnlyANamedFile) {
    FieldsWindow window;
    TMainForm& form = window.form;
    test::RecordedShellOpens opens;
    form.sButtonOpenPDF->click();
    form.sButtonOpenText->click();
    EXPECT_TRUE(opens.Targets().empty());

    window.Fill();
    form.sButtonOpenPDF->click();
    form.sButtonOpenText->click();
    EXPECT_EQ(opens.Targets(), (std::vector<std::string>{window.folder + "Report.pdf",
                                                         window.folder + "Report.txt"}));
}

} // namespace
} // namespace larkspan

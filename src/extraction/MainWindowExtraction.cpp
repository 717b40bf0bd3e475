// The main window's handlers for the two file fields, their menu items and view buttons, and
// the probe of the input document.

#include "app/MessageBox.h"
#include "app/ShellOpen.h"
#include "extraction/FilenameEdit.h"
#include "extraction/PasswordInputQuery.h"
#include "extraction/ProbeLogic.h"
#include "platform/Platform.h"
#include "shell/Controls.h"
#include "shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>

#include <cstdint>
#include <string>

namespace larkspan {

namespace {

const QString InputHintCleared = QStringLiteral("Click here to select input PDF file");
const QString OutputHintCleared = QStringLiteral("Click here to specify output text file");

const QString PasswordCaption = QStringLiteral("Password needed");
const QString PasswordPrompt =
    QStringLiteral("This PDF is password protected! Please enter the password:\r\n");

const std::string DamagedFileMessage =
    "Couldn't read PDF header info!\r\nProbably this file is damaged!";
const std::string WrongPasswordMessage = "Wrong password, please try it again!";

// A file dropped from another program's window brings this program forward: its most recently
// active window, when that one is visible and enabled.
void BringProgramToFront(QWidget* mainWindow) {
    QWidget* window = QApplication::activeWindow();
    if (window == nullptr) {
        window = mainWindow;
    }
    if (window->isVisible() && window->isEnabled()) {
        window->raise();
        window->activateWindow();
    }
}

} // namespace

void TMainForm::ConnectExtractionHandlers() {
    // The fields' dialogs live as long as the fields, so that they remember the last name and
    // folder from one use to the next.
    sFilenameEditInput->SetFileDialog(FileDialogKind::Open,
                                      QStringLiteral("Portable Document Format (*.pdf)"),
                                      QStringLiteral("pdf"));
    sFilenameEditOutput->SetFileDialog(
        FileDialogKind::Save, QStringLiteral("Plain Text File (*.txt)"), QStringLiteral("txt"));

    connect(sFilenameEditInput, &TsFilenameEdit::changed, this,
            &TMainForm::sFilenameEditInputChange);
    connect(sFilenameEditInput, &TsFilenameEdit::clicked, this,
            &TMainForm::sFilenameEditInputClick);
    connect(sFilenameEditInput, &TsFilenameEdit::afterDialog, this,
            &TMainForm::sFilenameEditInputAfterDialog);
    connect(sFilenameEditOutput, &TsFilenameEdit::changed, this,
            &TMainForm::sFilenameEditOutputChange);
    connect(sFilenameEditOutput, &TsFilenameEdit::clicked, this,
            &TMainForm::sFilenameEditOutputClick);
    connect(sFilenameEditOutput, &TsFilenameEdit::afterDialog, this,
            &TMainForm::sFilenameEditOutputAfterDialog);
    connect(InputPDF, &QAction::triggered, this, &TMainForm::InputPDFClick);
    connect(OutputText, &QAction::triggered, this, &TMainForm::OutputTextClick);
    connect(sButtonOpenPDF, &QPushButton::clicked, this, &TMainForm::sButtonOpenPDFClick);
    connect(sButtonOpenText, &QPushButton::clicked, this, &TMainForm::sButtonOpenTextClick);
}

// The probe of the input document. Emptying the field below changes its text, which runs this
// handler again, nested, for the empty name; that run only clears what is cleared here anyway.
void TMainForm::sFilenameEditInputChange() {
    BringProgramToFront(this);

    const auto refuse = [this] {
        sFilenameEditInput->setText(QString());
        sFilenameEditInput->SetHint(InputHintCleared);
        sEditPageCount->setText(QString());
        sEditPageRange->setText(QString());
    };

    const std::string path = sFilenameEditInput->text().toStdString();
    if (!IsPdfName(path)) {
        refuse();
        sBitBtnStart->setFocus();
        return;
    }

    bool done = false;
    bool found = false;
    std::int32_t pageCount = 0;
    PdfPassword.clear();
    while (!done) {
        const platform::ConsoleResult run =
            platform::RunConsoleCapture(BuildProbeCommand(PdfPassword, path), AppFolder);
        // A "Pages:" value that is no whole number throws here and leaves the handler: the
        // field keeps its path and nothing below runs.
        const ProbeReport report = ReadProbeReport(run.output);
        switch (report.kind) {
        case ProbeReportKind::IncorrectPassword: {
            if (ShouldShowWrongPasswordBox(PdfPassword)) {
                ShowCenteredMessage(WrongPasswordMessage, MessageKind::Error, mbOK);
            }
            PdfPassword.clear();
            QString answer;
            bool ok = false;
            {
                TMyInputQuery query;
                ok = query.Execute(PasswordCaption, PasswordPrompt, answer);
            }
            if (ok) {
                PdfPassword = answer.toStdString();
            }
            done = AnswerEndsProbe(ok, PdfPassword);
            break;
        }
        case ProbeReportKind::PageCount:
            pageCount = report.pageCount;
            found = true;
            done = true;
            break;
        case ProbeReportKind::NoPageCount:
        // A tool that printed nothing at all (or could not be started) has told us no more
        // than a damaged file does, and asking it again would only loop.
        case ProbeReportKind::NoLines:
            ShowCenteredMessage(DamagedFileMessage, MessageKind::Warning, mbOK);
            done = true;
            break;
        }
    }

    if (found) {
        sEditPageCount->setText(QString::number(pageCount));
        sFilenameEditInput->SetHint(sFilenameEditInput->text());
        if (AutoSetOutput->isChecked()) {
            sFilenameEditOutput->setText(QString::fromStdString(ProposeOutputName(path)));
        }
    } else {
        refuse();
    }
    sBitBtnStart->setFocus();
}

void TMainForm::sFilenameEditInputClick() {
    sFilenameEditInput->setText(QString());
    sFilenameEditInput->SetHint(InputHintCleared);
    sEditPageCount->setText(QString());
    sEditPageRange->setText(QString());
    sBitBtnStart->setFocus();
    sFilenameEditInput->ClickBrowseButton();
}

void TMainForm::sFilenameEditInputAfterDialog() {
    sBitBtnStart->setFocus();
}

// Only a ".txt" name is an output file; anything else empties the field (which runs this rule
// once more, nested, for the empty name).
void TMainForm::sFilenameEditOutputChange() {
    BringProgramToFront(this);
    if (!IsTextName(sFilenameEditOutput->text().toStdString())) {
        sFilenameEditOutput->setText(QString());
        sFilenameEditOutput->SetHint(OutputHintCleared);
    } else {
        sFilenameEditOutput->SetHint(sFilenameEditOutput->text());
    }
    sBitBtnStart->setFocus();
}

void TMainForm::sFilenameEditOutputClick() {
    sFilenameEditOutput->setText(QString());
    sFilenameEditOutput->SetHint(OutputHintCleared);
    sBitBtnStart->setFocus();
    sFilenameEditOutput->ClickBrowseButton();
}

void TMainForm::sFilenameEditOutputAfterDialog() {
    sBitBtnStart->setFocus();
}

void TMainForm::InputPDFClick() {
    sFilenameEditInput->ClickBrowseButton();
}

void TMainForm::OutputTextClick() {
    sFilenameEditOutput->ClickBrowseButton();
}

void TMainForm::sButtonOpenPDFClick() {
    if (!sFilenameEditInput->text().isEmpty()) {
        OpenWithShell(sFilenameEditInput->text().toStdString());
    }
}

void TMainForm::sButtonOpenTextClick() {
    if (!sFilenameEditOutput->text().isEmpty()) {
        OpenWithShell(sFilenameEditOutput->text().toStdString());
    }
}

} // namespace larkspan

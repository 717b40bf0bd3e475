// The main window's handlers for the two file fields, their menu items and view buttons, and
// the probe of the input document.

#include "gui/extraction/FilenameEdit.h"
#include "core/extraction/InputProbe.h"
#include "core/extraction/ProbeLogic.h"
#include "gui/shell/Controls.h"
#include "core/text/GeneralError.h"
#include "gui/shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>

#include <string>

namespace larkspan {

namespace {

const QString InputHintCleared = QStringLiteral("Click here to select input PDF file");
const QString OutputHintCleared = QStringLiteral("Click here to specify output text file");

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

    const std::string path = sFilenameEditInput->text().toStdString();
    ProbeResult result;
    try {
        InputProbe probe(services_.tools, services_.messages, services_.passwords);
        result = probe.Probe(path, installation_.appFolder, document_);
    } catch (const GeneralError& error) {
        // A page count that is no whole number: shown as an error nobody expected, and the
        // probe's later steps do not run (the field keeps its path, the focus stays).
        ShowHandlerError(error);
        return;
    }

    if (result.verdict == ProbeVerdict::Found) {
        sEditPageCount->setText(QString::number(result.pageCount));
        sFilenameEditInput->SetHint(sFilenameEditInput->text());
        if (AutoSetOutput->isChecked()) {
            sFilenameEditOutput->setText(QString::fromStdString(result.proposedOutput));
        }
    } else {
        sFilenameEditInput->setText(QString());
        sFilenameEditInput->SetHint(InputHintCleared);
        sEditPageCount->setText(QString());
        sEditPageRange->setText(QString());
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
    const std::string path = sFilenameEditOutput->text().toStdString();
    const bool undecodable = IsTextName(path) && NameIsUndecodable(path);
    if (undecodable) {
        services_.messages.Show(std::string(kUndecodableNameMessage), MessageKind::Error, mbOK);
    }
    if (!IsTextName(path) || undecodable) {
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
        services_.desktop.Open(sFilenameEditInput->text().toStdString());
    }
}

void TMainForm::sButtonOpenTextClick() {
    if (!sFilenameEditOutput->text().isEmpty()) {
        services_.desktop.Open(sFilenameEditOutput->text().toStdString());
    }
}

} // namespace larkspan

// The start/stop button of the main window. It starts a job when none runs and asks to cancel
// the running one otherwise; File > Start extraction and Ctrl+S click it.
//
// A press while a job's thread exists but the button cannot mean "stop" is ignored:
// - between the start and the job's first step (the window is not locked yet, and a quick second
//   click must not start a second job);
// - after a confirmed stop, while the extractor is still running: the window stays locked and
//   the button still reads "Stop Extraction", so the press is taken as a repeated stop, and the
//   stop has already been asked for;
// - in the moment between the job unlocking the window and its thread ending: a new job started
//   then would be unlocked by the old job's last step.
// Only the second case lasts long enough for a person to notice (as long as the extractor
// needs), and in it the locked window already shows that the old job is still finishing. No
// second job ever runs while another job's thread runs.

#include "app/MessageBox.h"
#include "extraction/ConversionProcess.h"
#include "extraction/FilenameEdit.h"
#include "platform/Platform.h"
#include "shell/Controls.h"
#include "shell/MainWindow.h"
#include "shell/TextRules.h"

namespace larkspan {

void TMainForm::ConnectStartStopHandlers() {
    connect(sBitBtnStart, &QPushButton::clicked, this, &TMainForm::sBitBtnStartClick);
}

void TMainForm::sBitBtnStartClick() {
    const JobPhase phase = TConversionProcess::Phase();
    if (phase == JobPhase::Starting) {
        return;
    }
    if (ExtractionRunning) {
        // The job notices the cleared flag only once its extractor has ended.
        if (ShowCenteredMessage("Are you sure you want to cancel the extraction?",
                                MessageKind::Confirmation, mbYes | mbNo) == mrYes) {
            ExtractionRunning = false;
        }
        return;
    }
    if (phase != JobPhase::None) {
        return;
    }

    const std::string input = sFilenameEditInput->text().toStdString();
    const std::string output = sFilenameEditOutput->text().toStdString();
    if (Trim(input).empty()) {
        ShowCenteredMessage("Please specify the input PDF file!", MessageKind::Warning, mbOK);
        return;
    }
    if (Trim(output).empty()) {
        ShowCenteredMessage("Please specify the output text file!", MessageKind::Warning, mbOK);
        return;
    }
    // The path exactly as the field holds it, as the extractor will be given it. Only a plain
    // No refuses; closing the box counts as consent. The file is left alone here: the extractor
    // overwrites it, or the job deletes it after a failure or a stop.
    if (platform::RegularFileExists(output) &&
        ShowCenteredMessage(output + " already exists.\r\n\r\nDo you want to replace it?",
                            MessageKind::Confirmation, mbYes | mbNo) == mrNo) {
        return;
    }
    TConversionProcess::Start(*this);
}

} // namespace larkspan

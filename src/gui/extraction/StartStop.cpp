// The start/stop button of the main window: StartStopControl decides what a press means; a job
// it asks for is started here. File > Start extraction and Ctrl+S click the button.

#include "gui/extraction/ConversionProcess.h"
#include "core/extraction/ExtractionJob.h"
#include "gui/extraction/FilenameEdit.h"
#include "gui/shell/Controls.h"
#include "gui/shell/MainWindow.h"

namespace larkspan {

void TMainForm::ConnectStartStopHandlers() {
    connect(sBitBtnStart, &QPushButton::clicked, this, &TMainForm::sBitBtnStartClick);
}

void TMainForm::sBitBtnStartClick() {
    StartStopControl control(*jobs_, services_.messages, services_.files);
    if (control.Press(sFilenameEditInput->text().toStdString(),
                      sFilenameEditOutput->text().toStdString())) {
        TConversionProcess::Start(*this);
    }
}

} // namespace larkspan

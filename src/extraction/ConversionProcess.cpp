#include "extraction/ConversionProcess.h"

#include "app/MessageBox.h"
#include "app/ShellOpen.h"
#include "app/Synchronize.h"
#include "app/ThreadAnnotations.h"
#include "extraction/ExtractCommand.h"
#include "extraction/FilenameEdit.h"
#include "extraction/JobOutcome.h"
#include "platform/Platform.h"
#include "shell/Controls.h"
#include "shell/MainWindow.h"
#include "shell/Pictures.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

namespace larkspan {

namespace {

// Thrown inside a job when the program is ending; the job then stops for good.
struct ProgramEnding {};

// Main-thread state of the one job the program allows at a time.
JobPhase phase = JobPhase::None;

std::atomic<int> abandonedJobs{0};

// The workers' way to the main thread. When the event loop is over, the main window and then
// the application object are destroyed while a job may still be waiting for its extractor. A
// hand-over made after that would either run its routine on the worker against a destroyed
// window (Synchronize runs it directly once there is no application object) or post to an
// application object that is going away. So the gate closes when the event loop ends; a worker
// that finds it closed stops, and one already on its way is let through (its routine then does
// nothing) before the teardown goes on. Leaked on purpose: a worker may still look at it while
// the program's static objects are destroyed.
struct HandOverGate {
    std::mutex mutex;
    bool closed = false;
    int inFlight = 0;
};

HandOverGate& Gate() {
    static auto* gate = new HandOverGate;
    return *gate;
}

bool GateClosed() {
    HandOverGate& gate = Gate();
    std::lock_guard lock(gate.mutex);
    return gate.closed;
}

// Main thread, when the event loop has ended.
void CloseGate() {
    HandOverGate& gate = Gate();
    std::unique_lock lock(gate.mutex);
    gate.closed = true;
    while (gate.inFlight > 0) {
        lock.unlock();
        // Synchronize posts its hand-over to the application object; delivering it lets the
        // waiting worker return before the application object is destroyed.
        QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
        QThread::yieldCurrentThread();
        lock.lock();
    }
}

void CloseGateWhenTheEventLoopEnds() {
    static bool watching = false;
    if (!watching) {
        watching = true;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &CloseGate);
    }
}

void SetJobControlsEnabled(TMainForm& form, bool enabled) {
    // A disabled menu also disables its title in the menu bar, and the shortcuts of its items
    // then do nothing: while a job runs only the stop button can act.
    for (QMenu* menu : {form.FileMenu, form.EditMenu, form.HelpMenu}) {
        menu->setEnabled(enabled);
    }
    for (QWidget* control : std::initializer_list<QWidget*>{
             form.sFilenameEditInput, form.sButtonOpenPDF, form.sEditPageCount, form.sEditPageRange,
             form.sBitBtnPlayVideo, form.sFilenameEditOutput, form.sButtonOpenText,
             form.sRadioButtonFormattedLayout, form.sRadioButtonFormattedRaw,
             form.sCheckBoxInsertPageBreak, form.sCheckBoxOpenAfter}) {
        control->setEnabled(enabled);
    }
}

// The job's unlocking step, which also tells the start button that the job is on its way out.
void Unlock(TMainForm& form) {
    EnableControls(form);
    phase = JobPhase::Finishing;
}

} // namespace

JobSettings ReadJobSettings(const TMainForm& form) {
    JobSettings settings;
    settings.layout = form.sRadioButtonFormattedLayout->isChecked();
    settings.pageBreaks = form.sCheckBoxInsertPageBreak->isChecked();
    settings.pageCountText = form.sEditPageCount->text().toStdString();
    settings.pageRangeText = form.sEditPageRange->text().toStdString();
    settings.password = PdfPassword;
    settings.inputPath = form.sFilenameEditInput->text().toStdString();
    settings.outputPath = form.sFilenameEditOutput->text().toStdString();
    settings.openAfterExtraction = form.sCheckBoxOpenAfter->isChecked();
    settings.workingFolder = AppFolder;
    return settings;
}

void DisableControls(TMainForm& form) {
    SetJobControlsEnabled(form, false);
    // There is no real progress to show: the bar is full for the whole job.
    form.sGaugeProcess->setTextVisible(true);
    form.sGaugeProcess->setValue(100);
    form.sBitBtnStart->setIcon(QIcon(Picture24(Glyph24::Stop)));
    form.sBitBtnStart->setText(QStringLiteral("Stop Extraction"));
}

void EnableControls(TMainForm& form) {
    SetJobControlsEnabled(form, true);
    form.sGaugeProcess->setTextVisible(false);
    form.sGaugeProcess->setValue(0);
    form.sBitBtnStart->setIcon(QIcon(Picture24(Glyph24::Start)));
    form.sBitBtnStart->setText(QStringLiteral("Start Extraction"));
}

void ReportError(TMainForm& form, const std::string& errorText, bool clearInputFields) {
    if (clearInputFields) {
        // The password that the probe accepted no longer opens the document (the file was
        // replaced, say): the user has to choose the file again. Emptying the field runs its
        // change handling, as a user's choice would; the rest is made sure of here.
        form.sFilenameEditInput->setText(QString());
        form.sFilenameEditInput->SetHint(QStringLiteral("Click here to select input PDF file"));
        form.sEditPageCount->setText(QString());
        form.sEditPageRange->setText(QString());
    }
    ShowCenteredMessage(errorText, MessageKind::Error, mbOK);
}

TConversionProcess::TConversionProcess(TMainForm& form) : form_(&form) {
    setObjectName(QStringLiteral("TConversionProcess"));
}

void TConversionProcess::Start(TMainForm& form) {
    CloseGateWhenTheEventLoopEnds();
    // Not owned by any window: destroying a running thread aborts the program, and the program
    // may end while a job still waits for its extractor. A job that never ends is left behind.
    auto* job = new TConversionProcess(form);
    connect(job, &QThread::finished, job, [job] {
        // The body has returned; wait for the thread's own clean-up, so the next job can never
        // overlap this thread.
        job->wait();
        HappensAfter(job); // the wait ended on Qt's own condition
        phase = JobPhase::None;
        job->deleteLater();
    });
    phase = JobPhase::Starting;
    job->start();
}

JobPhase TConversionProcess::Phase() {
    return phase;
}

int TConversionProcess::AbandonedJobs() {
    return abandonedJobs.load();
}

void TConversionProcess::OnMainThread(const std::function<void(TMainForm&)>& routine) {
    HandOverGate& gate = Gate();
    {
        std::lock_guard lock(gate.mutex);
        if (gate.closed) {
            throw ProgramEnding{};
        }
        ++gate.inFlight;
    }
    struct Leave {
        HandOverGate& gate;
        ~Leave() {
            std::lock_guard lock(gate.mutex);
            --gate.inFlight;
        }
    } leave{gate};

    // The routine may find the program ending after all: its window gone, or the event loop
    // over while this hand-over waited. A hand-over that was never delivered is dropped with
    // the application object, and Synchronize then returns without having run it.
    bool ran = false;
    Synchronize([this, &routine, &ran] {
        if (GateClosed() || form_.isNull()) {
            return;
        }
        ran = true;
        routine(*form_);
    });
    if (!ran) {
        throw ProgramEnding{};
    }
}

void TConversionProcess::Park() {
    abandonedJobs.fetch_add(1);
    // Returning would run the thread's clean-up against a library that is being torn down, so
    // the thread waits for good instead; the process ends around it. Leaked like the gate.
    static auto* parking = new std::pair<std::mutex, std::condition_variable>();
    std::unique_lock lock(parking->first);
    for (;;) {
        parking->second.wait(lock);
    }
}

void TConversionProcess::run() {
    const auto report = [this](TMainForm& form) {
        ReportError(form, ErrorText, false);
    };
    try {
        ExtractionRunning = true;
        try {
            Extract();
        } catch (const std::exception& error) {
            // The command line could not be built (a page number that is not a number, say):
            // nothing ran, so nothing is deleted, and the window is unlocked before the box.
            ExtractionRunning = false;
            OnMainThread(Unlock);
            ErrorText = error.what();
            OnMainThread(report);
        }
        ExtractionRunning = false;
        OnMainThread(Unlock);
    } catch (const ProgramEnding&) {
        Park();
    } catch (const std::exception&) {
        // Only a failure while reporting a failure gets here (memory, say); no box can show it.
        ExtractionRunning = false;
    }
    HappensBefore(this); // for the main thread, which destroys the job once it has ended
}

void TConversionProcess::Extract() {
    OnMainThread([this](TMainForm& form) {
        DisableControls(form);
        settings_ = ReadJobSettings(form);
        phase = JobPhase::Locked;
    });

    const std::string command = BuildExtractCommand(
        settings_.layout, settings_.pageBreaks, settings_.pageCountText, settings_.pageRangeText,
        settings_.password, settings_.inputPath, settings_.outputPath);
    // The only long wait of the job. A stop request does not shorten it: the extractor always
    // runs to its end, and the stop is honoured afterwards.
    const platform::ConsoleResult result =
        platform::RunConsoleCapture(command, settings_.workingFolder);

    const JobOutcome outcome = JudgeExtraction(result.started, result.output, !ExtractionRunning,
                                               settings_.openAfterExtraction);
    if (!outcome.message.empty()) {
        ErrorText = outcome.message;
        OnMainThread([this, clear = outcome.clearInputFields](TMainForm& form) {
            ReportError(form, ErrorText, clear);
        });
    }
    if (outcome.succeeded) {
        ExtractionRunning = false;
        OnMainThread(Unlock);
        if (outcome.openOutput) {
            OpenWithShell(settings_.outputPath);
        }
    } else if (outcome.deleteOutput) {
        platform::DeleteFileQuietly(settings_.outputPath);
    }
}

} // namespace larkspan

#include "gui/extraction/ConversionProcess.h"

#include "gui/extraction/FilenameEdit.h"
#include "gui/shell/Controls.h"
#include "gui/shell/MainThread.h"
#include "gui/shell/MainWindow.h"
#include "gui/shell/Pictures.h"
#include "gui/shell/ThreadAnnotations.h"
#include "platform/ProgramEnd.h"

#include "core/extraction/JobProgress.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

namespace larkspan {

namespace {

std::atomic<int> abandonedJobs{0};

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

const QString GaugeFormat = QStringLiteral("%p%");
const char* const ProgressDisplayName = "JobProgressDisplay";

// A running job's progress in the window, read by a timer on the main thread. A child of the
// window, so that it goes with it when the program ends during a job.
class ProgressDisplay final : public QObject {
public:
    ProgressDisplay(TMainForm& form, const std::string& path, const JobPages& pages)
        : QObject(&form), form_(form), files_(form.services().files), path_(path),
          follower_(files_, path, pages), title_(form.windowTitle()) {
        setObjectName(QLatin1String(ProgressDisplayName));
        connect(&timer_, &QTimer::timeout, this, &ProgressDisplay::Poll);
        timer_.start(kProgressPollMs);
        // The first page from the start: recognising it may take a while before any count.
        Show();
    }
    ~ProgressDisplay() override {
        // The program ends while the job still waits for its extractor: the job will never
        // remove the file, and the extractor (left to finish) has no use for it.
        if (!finished_) {
            files_.DeleteFile(path_);
        }
    }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // The job's end: the window gets its own title back; the file is the job's to remove.
    void Finish() {
        finished_ = true;
        timer_.stop();
        form_.setWindowTitle(title_);
    }

private:
    void Poll() {
        if (follower_.Poll(JobProgress::Clock::now())) {
            Show();
        }
    }
    void Show() {
        const JobProgress& progress = follower_.Progress();
        if (progress.Line().empty()) {
            return;
        }
        form_.sGaugeProcess->setValue(progress.Percent());
        // " · " and the page line after the share; the line holds no "%" for the format to take.
        form_.sGaugeProcess->setFormat(GaugeFormat + QStringLiteral(" \u00B7 ") +
                                       QString::fromStdString(progress.Line()));
        form_.setWindowTitle(form_.sGaugeProcess->text() + QStringLiteral(" \u00B7 ") + title_);
    }

    TMainForm& form_;
    FileSystemPort& files_;
    const std::string path_;
    ProgressFollower follower_;
    const QString title_;
    QTimer timer_;
    bool finished_ = false;
};

void StopFollowingProgress(TMainForm& form) {
    // Only ProgressDisplay takes that name.
    for (QObject* child : form.findChildren<QObject*>(QLatin1String(ProgressDisplayName),
                                                      Qt::FindDirectChildrenOnly)) {
        auto* display = static_cast<ProgressDisplay*>(child);
        display->Finish();
        delete display;
    }
}

// The window as the job sees it: each call runs on the main thread while the job waits. A
// window that is gone, or a program that is ending, ends the job.
class WindowJobView final : public JobView {
public:
    explicit WindowJobView(const QPointer<TMainForm>& form) : form_(form) {}

    JobSettings Lock() override {
        JobSettings settings;
        OnWindow([&settings](TMainForm& form) {
            DisableControls(form);
            settings = ReadJobSettings(form);
        });
        return settings;
    }
    void FollowProgress(const std::string& path, const JobPages& pages) override {
        OnWindow([&](TMainForm& form) { larkspan::FollowProgress(form, path, pages); });
    }
    void Unlock() override { OnWindow(EnableControls); }
    void ReportError(const std::string& text, bool clearInputFields) override {
        OnWindow([&](TMainForm& form) { larkspan::ReportError(form, text, clearInputFields); });
    }
    void ReportNotice(const std::string& text) override {
        OnWindow([&](TMainForm& form) {
            form.services().messages.Show(text, MessageKind::Information, mbOK);
        });
    }

private:
    void OnWindow(const std::function<void(TMainForm&)>& routine) {
        RunOnMainThread([this, &routine] {
            if (form_.isNull()) {
                throw MainThreadGone();
            }
            routine(*form_);
        });
    }

    const QPointer<TMainForm>& form_;
};

} // namespace

JobSettings ReadJobSettings(const TMainForm& form) {
    JobSettings settings;
    settings.layout = form.sRadioButtonFormattedLayout->isChecked();
    settings.pageBreaks = form.sCheckBoxInsertPageBreak->isChecked();
    settings.pageCountText = form.sEditPageCount->text().toStdString();
    settings.pageRangeText = form.sEditPageRange->text().toStdString();
    settings.password = form.Document().password;
    settings.inputPath = form.sFilenameEditInput->text().toStdString();
    if (form.Document().path == settings.inputPath) {
        settings.inputFingerprint = form.Document().fingerprint;
    }
    settings.outputPath = form.sFilenameEditOutput->text().toStdString();
    settings.openAfterExtraction = form.sCheckBoxOpenAfter->isChecked();
    settings.workingFolder = form.Setup().appFolder;
    return settings;
}

void DisableControls(TMainForm& form) {
    SetJobControlsEnabled(form, false);
    // The extractor's first report moves it (FollowProgress).
    form.sGaugeProcess->setFormat(GaugeFormat);
    form.sGaugeProcess->setTextVisible(true);
    form.sGaugeProcess->setValue(0);
    form.sBitBtnStart->setIcon(QIcon(Picture24(Glyph24::Stop)));
    form.sBitBtnStart->setText(QStringLiteral("Stop Extraction"));
}

void EnableControls(TMainForm& form) {
    StopFollowingProgress(form);
    SetJobControlsEnabled(form, true);
    form.sGaugeProcess->setTextVisible(false);
    form.sGaugeProcess->setValue(0);
    form.sGaugeProcess->setFormat(GaugeFormat);
    form.sBitBtnStart->setIcon(QIcon(Picture24(Glyph24::Start)));
    form.sBitBtnStart->setText(QStringLiteral("Start Extraction"));
}

void FollowProgress(TMainForm& form, const std::string& path, const JobPages& pages) {
    StopFollowingProgress(form);
    new ProgressDisplay(form, path, pages);
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
    form.services().messages.Show(errorText, MessageKind::Error, mbOK);
}

TConversionProcess::TConversionProcess(TMainForm& form)
    : form_(&form), control_(form.Jobs()), stop_(control_->BeginJob()), services_(form.services()) {
    setObjectName(QStringLiteral("TConversionProcess"));
}

void TConversionProcess::Start(TMainForm& form) {
    WatchProgramEnd();
    // Not owned by any window: destroying a running thread aborts the program, and the program
    // may end while a job still waits for its extractor. A job that never ends is left behind.
    auto* job = new TConversionProcess(form);
    UnwaitedThreadBegins();
    connect(job, &QThread::finished, job, [job] {
        // The body has returned; wait for the thread's own clean-up, so the next job can never
        // overlap this thread.
        job->wait();
        UnwaitedThreadWaitedFor();
        HappensAfter(job); // the wait ended on Qt's own condition
        job->control_->SetPhase(JobPhase::None);
        job->deleteLater();
    });
    job->start();
}

int TConversionProcess::AbandonedJobs() {
    return abandonedJobs.load();
}

void TConversionProcess::Park() {
    abandonedJobs.fetch_add(1);
    // Returning would run the thread's clean-up against a library that is being torn down, so
    // the thread waits for good instead; the process ends around it. Leaked on purpose.
    static auto* parking = new std::pair<std::mutex, std::condition_variable>();
    std::unique_lock lock(parking->first);
    for (;;) {
        parking->second.wait(lock);
    }
}

void TConversionProcess::run() {
    WindowJobView view(form_);
    ExtractionJob job(*control_, stop_, view, services_.tools, services_.files, services_.desktop);
    try {
        job.Run();
    } catch (const MainThreadGone&) {
        Park();
    } catch (const std::exception&) {
        // Only a failure while reporting a failure gets here (memory, say); no box can show it.
        control_->SetRunning(false);
    }
    HappensBefore(this); // for the main thread, which destroys the job once it has ended
}

} // namespace larkspan

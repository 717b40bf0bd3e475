#pragma once

// The extraction job's thread: runs an ExtractionJob on a worker thread, with the main window
// as its view. The window is locked, judged and unlocked by the job; this file holds what the
// job asks of the window.

#include "core/extraction/ExtractionJob.h"
#include "core/ports/Services.h"

#include <QPointer>
#include <QThread>

#include <memory>
#include <string>

namespace larkspan {

class TMainForm;

// The user's choices as a job takes them. Main thread only.
JobSettings ReadJobSettings(const TMainForm& form);

// Locks the window for a job: the three menus as a whole and every job control are disabled,
// the gauge shows its text at 0 %, and the start button becomes the stop button. The start
// button, the pro-version button, the pictures and the web-site label stay enabled. Main thread
// only.
void DisableControls(TMainForm& form);

// Undoes DisableControls and stops following the job's progress; the button then reads "Start
// Extraction", the gauge is empty with its text hidden, and the window has its own title again.
// The video button is enabled but keeps its visibility. Main thread only.
void EnableControls(TMainForm& form);

// How often the window reads a running job's progress.
inline constexpr int kProgressPollMs = 200;

// Shows the progress that the extractor writes to the file `path` (core/extraction/
// JobProgress.h), read every kProgressPollMs without ever waiting for the extractor: the share
// of pages done in the gauge, and the page line with the time left after it, in the gauge's
// text and in the window title, where it can be seen while the window is minimised; the first
// of `pages` at once. Until EnableControls; should the program end first, the file is removed
// then, since the job never will. Main thread only.
void FollowProgress(TMainForm& form, const std::string& path, const JobPages& pages);

// Shows `errorText` in an error box. With `clearInputFields` (the extractor asked for a
// password the probe had accepted) it first empties the input field (which runs the field's
// change handling), its hint and both page fields. Main thread only.
void ReportError(TMainForm& form, const std::string& errorText, bool clearInputFields);

class TConversionProcess : public QThread {
    Q_OBJECT
public:
    // Starts a job for `form`: the thread is created without running, set to free itself once
    // its body has returned, and then started. Main thread only; call it only when the form's
    // job phase is None, since no two job threads may ever run at once.
    static void Start(TMainForm& form);

    // Jobs that found the program ending (its event loop over, or their window gone) and
    // stopped for good without touching anything again. For diagnostics and tests.
    static int AbandonedJobs();

protected:
    void run() override;

private:
    explicit TConversionProcess(TMainForm& form);
    [[noreturn]] void Park();

    QPointer<TMainForm> form_; // read on the main thread only
    std::shared_ptr<JobControl> control_;
    std::shared_ptr<StopRequest> stop_;
    const Services services_;
};

} // namespace larkspan

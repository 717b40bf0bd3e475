#pragma once

// One extraction job: a worker thread that locks the main window, runs the extractor once,
// judges what it printed, reports a failure, removes the output of a failed or stopped run,
// opens a good result and unlocks the window again.

#include <QPointer>
#include <QThread>

#include <functional>
#include <string>

namespace larkspan {

class TMainForm;

// What a job takes from the window. Copied on the main thread while the window is locked, so
// the worker never reads a widget; the locked controls cannot change meanwhile anyway.
struct JobSettings {
    bool layout = true;
    bool pageBreaks = true;
    std::string pageCountText;
    std::string pageRangeText;
    std::string password;
    std::string inputPath;
    std::string outputPath;
    bool openAfterExtraction = true;
    std::string workingFolder; // AppFolder
};

// Main thread only.
JobSettings ReadJobSettings(const TMainForm& form);

// Locks the window for a job: the three menus as a whole and every job control are disabled,
// the gauge shows a full bar with its text, and the start button becomes the stop button.
// The start button, the pro-version button, the pictures and the web-site label stay enabled.
// Main thread only.
void DisableControls(TMainForm& form);

// Undoes DisableControls; the button then reads "Start Extraction". The video button is
// enabled but keeps its visibility. Main thread only.
void EnableControls(TMainForm& form);

// Shows `errorText` in an error box. With `clearInputFields` (the extractor asked for a
// password the probe had accepted) it first empties the input field (which runs the field's
// change handling), its hint and both page fields. Main thread only.
void ReportError(TMainForm& form, const std::string& errorText, bool clearInputFields);

// Where the one job of the program stands, as the main thread sees it.
enum class JobPhase {
    None,      // no job thread exists
    Starting,  // the thread was started but has not locked the window yet
    Locked,    // the window is locked for the job
    Finishing, // the job has unlocked the window; its thread has not ended yet
};

class TConversionProcess : public QThread {
    Q_OBJECT
public:
    // Starts a job for `form`: the thread is created without running, set to free itself once
    // its body has returned, and then started. Main thread only; call it only when Phase() is
    // None, since no two job threads may ever run at once.
    static void Start(TMainForm& form);

    // Main thread only. Phase() goes back to None once the job's thread has ended.
    static JobPhase Phase();

    // Jobs that found the program ending (its event loop over, or their window gone) and
    // stopped for good without touching anything again. For diagnostics and tests.
    static int AbandonedJobs();

    // The message ReportError shows.
    std::string ErrorText;

protected:
    void run() override;

private:
    explicit TConversionProcess(TMainForm& form);

    void Extract();
    // Runs `routine` with the window on the main thread while this thread waits (an error
    // raised there comes back here). Throws ProgramEnding when it could not run because the
    // program is ending.
    void OnMainThread(const std::function<void(TMainForm&)>& routine);
    [[noreturn]] void Park();

    QPointer<TMainForm> form_; // read on the main thread only
    JobSettings settings_;
};

} // namespace larkspan

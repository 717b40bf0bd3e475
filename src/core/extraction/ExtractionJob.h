#pragma once

// One extraction job as a plain class: it locks the window, reads the user's choices once,
// builds the command line, runs the extractor with a side channel for its progress, judges what
// it printed, reports a failure, tells what the extractor noted about single pages, opens a good
// result and unlocks the window. The output is the extractor's to put in place, only once it
// has succeeded.
// The job runs on a worker thread; every step that touches the window goes through JobView,
// whose implementation runs it on the main thread while the job waits. The start button's
// decisions (start, refuse, ask to stop) live in StartStopControl.

#include "core/extraction/InputProbe.h"
#include "core/extraction/JobProgress.h"
#include "core/extraction/PageNotes.h"
#include "core/ports/Ports.h"

#include <atomic>
#include <memory>
#include <string>

namespace larkspan {

// What a job takes from the window, read once while the window is locked.
struct JobSettings {
    bool layout = true;
    bool pageBreaks = true;
    std::string pageCountText;
    std::string pageRangeText;
    std::string password;
    std::string inputPath;
    std::string inputFingerprint; // the input as the probe saw it; "" when not known
    std::string outputPath;
    bool openAfterExtraction = true;
    std::string workingFolder; // the program's folder, where the tools are
};

// Where the one job of the program stands.
enum class JobPhase {
    None,      // no job thread exists
    Starting,  // the thread was started but has not locked the window yet
    Locked,    // the window is locked for the job
    Finishing, // the job has unlocked the window; its thread has not ended yet
};

// What the start button and the running job share. `Running` is the job's flag: set by the job,
// cleared by the job and by a confirmed stop. Thread-safe.
class JobControl {
public:
    bool Running() const { return running_; }
    void SetRunning(bool running) { running_ = running; }
    JobPhase Phase() const { return phase_; }
    void SetPhase(JobPhase phase) { phase_ = phase; }

    // A new job starts: phase Starting, with a stop request of its own.
    std::shared_ptr<StopRequest> BeginJob();
    // Asks the running job to stop: its flag is cleared and its extractor ended.
    void RequestStop();

private:
    std::atomic<bool> running_{false};
    std::atomic<JobPhase> phase_{JobPhase::None};
    std::mutex mutex_;
    std::shared_ptr<StopRequest> stop_;
};

// The window as a job sees it. Each call runs on the main thread while the job waits.
class JobView {
public:
    virtual ~JobView() = default;
    // Disables the job controls and turns the start button into the stop button; returns the
    // user's choices as they stand.
    virtual JobSettings Lock() = 0;
    // Shows the progress that the extractor writes to the file `path` (see JobProgress.h) from
    // now until Unlock, the job's `pages` named from the start. Only reading: the job removes
    // the file.
    virtual void FollowProgress(const std::string& path, const JobPages& pages) = 0;
    // Enables the controls again; the button reads "Start Extraction" and the gauge is empty.
    virtual void Unlock() = 0;
    // Shows `text` in an error box, first emptying the input field and both page fields when
    // `clearInputFields` is set.
    virtual void ReportError(const std::string& text, bool clearInputFields) = 0;
    // Shows `text` in an information box: what a job that succeeded has to tell about its pages.
    virtual void ReportNotice(const std::string& text) = 0;
};

class ExtractionJob {
public:
    ExtractionJob(JobControl& control, std::shared_ptr<StopRequest> stop, JobView& view,
                  ToolRunner& tools, FileSystemPort& files, DesktopPort& desktop);

    // The job's body, on its worker thread. Errors of the view (the program ending while the
    // job waits for the main thread) pass through to the caller.
    void Run();

private:
    void Extract();
    // What the extractor noted about single pages in its progress file ("": there is none).
    PageNotes NotesOf(const std::string& progressFile);

    JobControl& control_;
    std::shared_ptr<StopRequest> stop_;
    JobView& view_;
    ToolRunner& tools_;
    FileSystemPort& files_;
    DesktopPort& desktop_;
};

// Texts of the start button's questions and warnings.
inline constexpr const char* kStopQuestion = "Are you sure you want to cancel the extraction?";
inline constexpr const char* kNoInputWarning = "Please specify the input PDF file!";
inline constexpr const char* kNoOutputWarning = "Please specify the output text file!";

// What a press of the start button asks of the window.
enum class PressDecision {
    Nothing,          // a box was shown, a stop asked for, or the press ignored
    Start,            // start a job now
    ChooseInputAgain, // the input file is no longer the one probed: the user was told so, and
                      // the input field must be emptied as after a failed probe
};

// The start button's decisions. A press while a job's thread exists but the button cannot mean
// "stop" is ignored: between the start and the job's first step (a quick second click must not
// start a second job), and between the job unlocking the window and its thread ending (a new
// job started then would be unlocked by the old job's last step). No second job ever runs while
// another job's thread runs.
class StartStopControl {
public:
    StartStopControl(JobControl& control, MessagePort& messages, FileSystemPort& files);

    // A press of the start button with the two fields' texts and the document the probe left.
    // Everything but starting a job and emptying the input field (a warning, a refused
    // replacement, a stop) is done here.
    PressDecision Press(const std::string& inputText, const std::string& outputText,
                        const CurrentDocument& document = {});

private:
    JobControl& control_;
    MessagePort& messages_;
    FileSystemPort& files_;
};

} // namespace larkspan

#include "core/extraction/ExtractionJob.h"

#include "core/extraction/ExtractCommand.h"
#include "core/extraction/JobOutcome.h"
#include "core/extraction/JobProgress.h"
#include "core/extraction/PageNotes.h"
#include "core/text/GeneralError.h"
#include "core/text/TextRules.h"

namespace larkspan {

namespace {

// A file of the job's own, removed on every way out of the job (a failure and a stop included).
class PrivateFile {
public:
    PrivateFile(FileSystemPort& files, const std::string& prefix)
        : files_(files), path_(files.CreatePrivateTemporaryFile(prefix)) {}
    ~PrivateFile() {
        if (!path_.empty()) {
            files_.DeleteFile(path_);
        }
    }
    PrivateFile(const PrivateFile&) = delete;
    PrivateFile& operator=(const PrivateFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    FileSystemPort& files_;
    std::string path_;
};

} // namespace

std::shared_ptr<StopRequest> JobControl::BeginJob() {
    const std::lock_guard lock(mutex_);
    stop_ = std::make_shared<StopRequest>();
    phase_ = JobPhase::Starting;
    return stop_;
}

void JobControl::RequestStop() {
    running_ = false;
    std::shared_ptr<StopRequest> stop;
    {
        const std::lock_guard lock(mutex_);
        stop = stop_;
    }
    if (stop) {
        stop->Request();
    }
}

ExtractionJob::ExtractionJob(JobControl& control, std::shared_ptr<StopRequest> stop, JobView& view,
                             ToolRunner& tools, FileSystemPort& files, DesktopPort& desktop)
    : control_(control), stop_(std::move(stop)), view_(view), tools_(tools), files_(files),
      desktop_(desktop) {}

void ExtractionJob::Run() {
    control_.SetRunning(true);
    try {
        Extract();
    } catch (const GeneralError& error) {
        // The command line could not be built (a page number that is not a number, say):
        // nothing ran, so nothing is deleted, and the window is unlocked before the box.
        control_.SetRunning(false);
        view_.Unlock();
        control_.SetPhase(JobPhase::Finishing);
        view_.ReportError(error.what(), false);
    }
    control_.SetRunning(false);
    view_.Unlock();
    control_.SetPhase(JobPhase::Finishing);
}

PageNotes ExtractionJob::NotesOf(const std::string& progressFile) {
    if (progressFile.empty()) {
        return {};
    }
    const std::string tail = files_.ReadTail(progressFile, kPageNotesTailBytes);
    return ReadPageNotes(tail, tail.size() >= kPageNotesTailBytes);
}

void ExtractionJob::Extract() {
    const JobSettings settings = view_.Lock();
    control_.SetPhase(JobPhase::Locked);

    const std::string command = BuildExtractCommand(
        settings.layout, settings.pageBreaks, settings.pageCountText, settings.pageRangeText,
        settings.password, settings.inputPath, settings.outputPath, tools_.Interpreter());
    // The extractor tells its progress through a file of the job's own, since everything it
    // prints counts as an error; without one it still runs, and the gauge stays empty. The
    // fingerprint lets it refuse a document that is no longer the one the probe saw. Both are
    // always set, empty when there is none, so that nothing the program inherited reaches it.
    const PrivateFile progressFile(files_, kProgressFilePrefix);
    const ToolEnvironment environment = {{kProgressFileVariable, progressFile.Path()},
                                         {kInputFingerprintVariable, settings.inputFingerprint}};
    if (!progressFile.Path().empty()) {
        const PageRange range = JobPageRange(settings.pageCountText, settings.pageRangeText);
        view_.FollowProgress(progressFile.Path(),
                             {range.first, TextToInteger(settings.pageCountText)});
    }

    // The only long wait of the job; a confirmed stop ends the extractor and all it started.
    const ToolRun run = tools_.Run(command, settings.workingFolder, stop_.get(), environment);

    // What a stopped extractor printed while it was being ended says nothing about the file.
    const JobOutcome outcome =
        JudgeExtraction(run.started, run.stopped ? std::string_view() : run.output,
                        !control_.Running(), settings.openAfterExtraction, settings.inputPath);
    if (!outcome.message.empty()) {
        view_.ReportError(outcome.message, outcome.clearInputFields);
    }
    if (outcome.succeeded) {
        const std::string notice = PageNotesMessage(NotesOf(progressFile.Path()));
        control_.SetRunning(false);
        view_.Unlock();
        control_.SetPhase(JobPhase::Finishing);
        if (!notice.empty()) {
            view_.ReportNotice(notice);
        }
        if (outcome.openOutput) {
            desktop_.Open(settings.outputPath);
        }
    }
}

StartStopControl::StartStopControl(JobControl& control, MessagePort& messages,
                                   FileSystemPort& files)
    : control_(control), messages_(messages), files_(files) {}

PressDecision StartStopControl::Press(const std::string& inputText, const std::string& outputText,
                                      const CurrentDocument& document) {
    const JobPhase phase = control_.Phase();
    if (phase == JobPhase::Starting) {
        return PressDecision::Nothing;
    }
    if (control_.Running()) {
        if (messages_.Show(kStopQuestion, MessageKind::Confirmation, mbYes | mbNo) == mrYes) {
            control_.RequestStop();
        }
        return PressDecision::Nothing;
    }
    if (phase != JobPhase::None) {
        return PressDecision::Nothing;
    }
    if (Trim(inputText).empty()) {
        messages_.Show(kNoInputWarning, MessageKind::Warning, mbOK);
        return PressDecision::Nothing;
    }
    if (Trim(outputText).empty()) {
        messages_.Show(kNoOutputWarning, MessageKind::Warning, mbOK);
        return PressDecision::Nothing;
    }
    // The page count and the password belong to the file the probe read. Replaced or written
    // to since, it may be another document altogether: the user has to choose it again.
    if (document.path == inputText && !document.fingerprint.empty() &&
        files_.Fingerprint(inputText) != document.fingerprint) {
        messages_.Show(InputChangedMessage(inputText), MessageKind::Error, mbOK);
        return PressDecision::ChooseInputAgain;
    }
    // The text would take the document's place, or go into something no text file replaces (a
    // FIFO would keep the extractor waiting for a reader for ever).
    if (files_.SameFile(outputText, inputText) || files_.OtherThanFileAt(outputText)) {
        messages_.Show(files_.OtherThanFileAt(outputText) ? OutputNotAFileMessage(outputText)
                                                          : OutputIsInputMessage(outputText),
                       MessageKind::Error, mbOK);
        return PressDecision::Nothing;
    }
    // The path exactly as the field holds it, as the extractor will be given it. Only a plain
    // No refuses; closing the box counts as consent. The file is left alone here: the extractor
    // replaces it once its text is complete, and a failure or a stop leaves it as it was.
    if (files_.FileExists(outputText) &&
        messages_.Show(outputText + " already exists.\r\n\r\nDo you want to replace it?",
                       MessageKind::Confirmation, mbYes | mbNo) == mrNo) {
        return PressDecision::Nothing;
    }
    return PressDecision::Start;
}

} // namespace larkspan

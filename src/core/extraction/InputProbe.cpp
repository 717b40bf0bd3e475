#include "core/extraction/InputProbe.h"

#include "core/extraction/ProbeLogic.h"

namespace larkspan {

InputProbe::InputProbe(ToolRunner& tools, MessagePort& messages, PasswordPort& passwords,
                       FileSystemPort& files)
    : tools_(tools), messages_(messages), passwords_(passwords), files_(files) {}

ProbeResult InputProbe::Probe(const std::string& path, const std::string& toolFolder,
                              CurrentDocument& document) {
    ProbeResult result;
    if (!IsPdfName(path)) {
        document.path.clear();
        document.pageCount.reset();
        document.fingerprint.clear();
        return result;
    }

    result.verdict = ProbeVerdict::Failed;
    if (NameIsUndecodable(path)) {
        messages_.Show(std::string(kUndecodableNameMessage), MessageKind::Error, mbOK);
        document.path.clear();
        document.pageCount.reset();
        document.fingerprint.clear();
        return result;
    }
    document.password.clear();
    std::string fingerprint;
    bool done = false;
    while (!done) {
        fingerprint = files_.Fingerprint(path);
        const ToolRun run = tools_.Run(
            BuildProbeCommand(document.password, path, tools_.Interpreter()), toolFolder);
        // A "Pages:" value that is no whole number throws here and ends the probe.
        const ProbeReport report = ReadProbeReport(run.output);
        switch (report.kind) {
        case ProbeReportKind::IncorrectPassword: {
            if (ShouldShowWrongPasswordBox(document.password)) {
                messages_.Show(kWrongPasswordRetryMessage, MessageKind::Error, mbOK);
            }
            document.password.clear();
            std::optional<std::string> answer =
                passwords_.AskPassword(kPasswordCaption, kPasswordPrompt);
            while (answer && !AnswerEndsProbe(true, *answer) && PasswordHasLineBreak(*answer)) {
                messages_.Show(kPasswordLineBreakMessage, MessageKind::Error, mbOK);
                answer = passwords_.AskPassword(kPasswordCaption, kPasswordPrompt);
            }
            if (answer) {
                document.password = *answer; // exactly as typed, blanks included
            }
            done = AnswerEndsProbe(answer.has_value(), document.password);
            break;
        }
        case ProbeReportKind::PageCount:
            result.verdict = ProbeVerdict::Found;
            result.pageCount = report.pageCount;
            result.proposedOutput = ProposeOutputName(path);
            done = true;
            break;
        case ProbeReportKind::EngineMissing:
            // The file may be fine: the user must install the engine, not look for damage.
            messages_.Show(report.engineMessage, MessageKind::Error, mbOK);
            done = true;
            break;
        case ProbeReportKind::NoPageCount:
        // A tool that printed nothing at all (or could not be started) has told us no more
        // than a damaged file does, and asking it again would only loop.
        case ProbeReportKind::NoLines:
            messages_.Show(kDamagedFileMessage, MessageKind::Warning, mbOK);
            done = true;
            break;
        }
    }

    if (result.verdict == ProbeVerdict::Found) {
        document.path = path;
        document.pageCount = result.pageCount;
        document.fingerprint = fingerprint;
    } else {
        document.path.clear();
        document.pageCount.reset();
        document.fingerprint.clear();
    }
    return result;
}

} // namespace larkspan

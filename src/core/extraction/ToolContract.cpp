#include "core/extraction/ToolContract.h"

#include "core/text/TextRules.h"

namespace larkspan {

namespace {

// The adapters' own messages leave out the word "pdftotext": the extraction job shows any
// output naming it as "Settings error!", which would hide that poppler is missing.
constexpr std::string_view kExtractorName = "The poppler text extractor";
constexpr std::string_view kInfoName = "pdfinfo";

bool HasLine(std::string_view text, std::string_view wanted) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line == wanted) {
            return true;
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return false;
}

std::string NotStartedMessage(std::string_view name, const PopplerRun& run,
                              std::string_view remedy) {
    std::string reason = run.startError.empty() ? "unknown reason" : run.startError;
    // The system's own text may end in a full stop already ("File not found.").
    if (reason.back() != '.') {
        reason += '.';
    }
    return std::string(name) + " could not be started: " + reason + " " + std::string(remedy) +
           "\n";
}

// What the tool said, error stream first: poppler writes its complaints there, and the
// program reads the first line of the information tool's answer.
AdapterAnswer Messages(std::string_view name, const PopplerRun& run) {
    AdapterAnswer answer{run.standardError + run.standardOutput, run.exitCode};
    if (Trim(answer.text).empty()) {
        answer.text = std::string(name) + " failed with exit status " +
                      std::to_string(run.exitCode) + " and printed no message.\n";
    }
    return answer;
}

} // namespace

std::string
RepairOpenFailureReasons(std::string_view toolText,
                         const std::function<std::string(const std::string&)>& reasonFor) {
    constexpr std::string_view kOpening = "Couldn't open file '";
    std::string repaired;
    while (!toolText.empty()) {
        const std::size_t end = toolText.find('\n');
        std::string_view line = toolText.substr(0, end == std::string_view::npos ? end : end + 1);
        toolText.remove_prefix(line.size());
        std::string_view body = line;
        while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) {
            body.remove_suffix(1);
        }
        const std::string_view ending = line.substr(body.size());
        const std::size_t open = body.find(kOpening);
        for (const std::string_view bogus : {"': Success.", "': No error."}) {
            if (open == std::string_view::npos || !body.ends_with(bogus) ||
                body.size() < open + kOpening.size() + bogus.size()) {
                continue;
            }
            const std::size_t pathStart = open + kOpening.size();
            const std::string path(body.substr(pathStart, body.size() - bogus.size() - pathStart));
            std::string reason = reasonFor(path);
            while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) {
                reason.pop_back();
            }
            if (!reason.empty()) {
                line = {};
                repaired += std::string(body.substr(0, pathStart)) + path + "': " + reason + "." +
                            std::string(ending);
            }
            break;
        }
        repaired += line;
    }
    return repaired;
}

ExtractVerdict JudgePdfToText(const PopplerRun& run) {
    if (!run.started) {
        return ExtractVerdict::NotStarted;
    }
    if (run.exitCode == 0) {
        // A document poppler had to repair ("Internal Error: xref num 3 not found but needed,
        // try to reconstruct", "Syntax Error (564): Missing 'endstream' ...") still exits 0
        // with the text written: a success.
        return ExtractVerdict::Succeeded;
    }
    // No -upw, or a wrong one, for a document with a user password: status 1 and this line on
    // standard error (after any recovery warnings of a damaged file).
    if (HasLine(run.standardError, kIncorrectPasswordLine)) {
        return ExtractVerdict::PasswordNeeded;
    }
    if (run.exitCode == kPopplerCommandLineStatus &&
        run.standardError.find("Usage: pdftotext") != std::string::npos) {
        return ExtractVerdict::CommandLineRejected;
    }
    return ExtractVerdict::Failed;
}

AdapterAnswer TextractAnswer(const PopplerRun& run, std::string_view remedy) {
    switch (JudgePdfToText(run)) {
    case ExtractVerdict::NotStarted:
        return {NotStartedMessage(kExtractorName, run, remedy), kToolNotStartedStatus};
    case ExtractVerdict::Succeeded:
        return {"", 0};
    case ExtractVerdict::PasswordNeeded:
        // The program compares the whole output with this text, so no line end.
        return {std::string(kPasswordRequiredOutput), run.exitCode};
    case ExtractVerdict::CommandLineRejected:
        // The usage text as printed: it names pdftotext, which is what the program looks for.
        return {run.standardError, run.exitCode};
    case ExtractVerdict::Failed:
        break;
    }
    return Messages(kExtractorName, run);
}

AdapterAnswer PdfiAnswer(const PopplerRun& run, std::string_view remedy) {
    if (!run.started) {
        return {NotStartedMessage(kInfoName, run, remedy), kToolNotStartedStatus};
    }
    if (run.exitCode == 0) {
        // Recovery warnings of a repaired document go to standard error; the report itself is
        // complete on standard output.
        return {run.standardOutput, 0};
    }
    return Messages(kInfoName, run);
}

std::vector<std::string> ToolCandidates(std::string_view overridePath,
                                        std::string_view configuredPath, std::string_view toolName,
                                        std::string_view adapterFolder) {
    if (!overridePath.empty()) {
        return {std::string(overridePath)};
    }
    std::vector<std::string> candidates;
    if (!configuredPath.empty() && configuredPath != toolName) {
        if (configuredPath.find_first_of("/\\:") == std::string_view::npos) {
            // Without the folder the file would be searched for (the current folder first, on
            // Windows), so a copy planted there could run instead.
            if (!adapterFolder.empty()) {
                candidates.push_back(std::string(adapterFolder) + std::string(configuredPath));
            }
        } else {
            candidates.emplace_back(configuredPath);
        }
    }
    candidates.emplace_back(toolName);
    return candidates;
}

} // namespace larkspan

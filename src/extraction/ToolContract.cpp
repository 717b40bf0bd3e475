#include "extraction/ToolContract.h"

#include "shell/TextRules.h"

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

std::string NotStartedMessage(std::string_view name, const PopplerRun& run) {
    std::string reason = run.startError.empty() ? "unknown reason" : run.startError;
    return std::string(name) + " could not be started: " + reason + ". Install poppler-utils.\n";
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

AdapterAnswer TextractAnswer(const PopplerRun& run) {
    switch (JudgePdfToText(run)) {
    case ExtractVerdict::NotStarted:
        return {NotStartedMessage(kExtractorName, run), kToolNotStartedStatus};
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

AdapterAnswer PdfiAnswer(const PopplerRun& run) {
    if (!run.started) {
        return {NotStartedMessage(kInfoName, run), kToolNotStartedStatus};
    }
    if (run.exitCode == 0) {
        // Recovery warnings of a repaired document go to standard error; the report itself is
        // complete on standard output.
        return {run.standardOutput, 0};
    }
    return Messages(kInfoName, run);
}

std::vector<std::string> ToolCandidates(std::string_view overridePath,
                                        std::string_view configuredPath,
                                        std::string_view toolName) {
    if (!overridePath.empty()) {
        return {std::string(overridePath)};
    }
    std::vector<std::string> candidates;
    if (!configuredPath.empty() && configuredPath != toolName) {
        candidates.emplace_back(configuredPath);
    }
    candidates.emplace_back(toolName);
    return candidates;
}

} // namespace larkspan

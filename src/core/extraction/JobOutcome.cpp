#include "core/extraction/JobOutcome.h"

#include "core/text/TextRules.h"

namespace larkspan {

namespace {

bool ReportsInputChanged(std::string_view output, std::string_view inputPath) {
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
        output.remove_suffix(1);
    }
    return !inputPath.empty() && output == InputChangedMessage(inputPath);
}

} // namespace

JobOutcome JudgeExtraction(bool started, std::string_view output, bool stopRequested,
                           bool openAfterExtraction, std::string_view inputPath) {
    JobOutcome outcome;
    if (!started) {
        outcome.message = kExtractorNotStartedMessage;
        return outcome;
    }
    if (!Trim(output).empty()) {
        // A usage text names the tool it wraps; the user only needs to know the options were
        // refused. The input-changed report names the path, which may hold that word too.
        if (ReportsInputChanged(output, inputPath)) {
            outcome.message = InputChangedMessage(inputPath);
            outcome.clearInputFields = true;
        } else if (output.find("pdftotext") != std::string_view::npos) {
            outcome.message = kSettingsErrorMessage;
        } else if (output == kPasswordRequiredOutput) {
            outcome.message = kWrongPasswordMessage;
            outcome.clearInputFields = true;
        } else {
            outcome.message = output;
        }
    }
    if (output.empty() && !stopRequested) {
        outcome.succeeded = true;
        outcome.openOutput = openAfterExtraction;
    }
    return outcome;
}

std::string InputChangedMessage(std::string_view path) {
    return "The input PDF file has changed since it was chosen:\r\n" + std::string(path) +
           "\r\n\r\nPlease choose it again.";
}

std::string OutputIsInputMessage(std::string_view outputPath) {
    return "The output text file is the input PDF file itself:\r\n" + std::string(outputPath) +
           "\r\n\r\nPlease choose another output text file.";
}

std::string OutputNotAFileMessage(std::string_view outputPath) {
    return "The output text file is not a regular file:\r\n" + std::string(outputPath) +
           "\r\n\r\nPlease choose another output text file.";
}

} // namespace larkspan

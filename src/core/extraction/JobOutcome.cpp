#include "core/extraction/JobOutcome.h"

#include "core/text/TextRules.h"

namespace larkspan {

JobOutcome JudgeExtraction(bool started, std::string_view output, bool stopRequested,
                           bool openAfterExtraction, bool outputProtected) {
    JobOutcome outcome;
    if (!started) {
        outcome.message = kExtractorNotStartedMessage;
        return outcome;
    }
    if (!Trim(output).empty()) {
        // A usage text names the tool it wraps; the user only needs to know the options were
        // refused.
        if (output.find("pdftotext") != std::string_view::npos) {
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
    } else {
        outcome.deleteOutput = !outputProtected;
    }
    return outcome;
}

std::string InputChangedMessage(std::string_view path) {
    return "The input PDF file has changed since it was chosen:\r\n" + std::string(path) +
           "\r\nPlease choose it again.";
}

} // namespace larkspan

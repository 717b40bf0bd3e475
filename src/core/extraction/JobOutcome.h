#pragma once

// The judgement of one extraction run, from what the extractor printed. The job carries out the
// fields in order: show the message (clearing the input fields first when asked), delete the
// output file, open it.

#include <string>
#include <string_view>

namespace larkspan {

// The extractor's whole output when the document needs a password it was not given.
inline constexpr std::string_view kPasswordRequiredOutput =
    "Encrypted PDF: Password required for loading";
inline constexpr std::string_view kWrongPasswordMessage = "Wrong password! Please try it again!";
inline constexpr std::string_view kSettingsErrorMessage = "Settings error!";
inline constexpr std::string_view kExtractorNotStartedMessage =
    "Could not start the text extractor.";

// The document at the input path is no longer the one that was probed: it was replaced or
// written to since it was chosen, or while the tools read it. Its text would not belong to the
// page count and password the probe found, or would mix two documents, so nothing is extracted.
std::string InputChangedMessage(std::string_view path);

struct JobOutcome {
    std::string message;           // error box text; empty: no box
    bool clearInputFields = false; // empty the input field and both page fields before the box
    bool deleteOutput = false;     // delete the output file after the box
    bool openOutput = false;       // hand the output file to the desktop shell
    bool succeeded = false;
};

// `started`: whether the command interpreter could be started at all. A run that could not
// start is a failure with its own message; it deletes nothing, since this job wrote no file and
// the file there may be one the user only agreed to have replaced. Otherwise any printed text
// (even only blanks or line ends) is a failure that deletes the output: text holding
// "pdftotext" is shown as "Settings error!", the exact password-required text as the
// wrong-password message with the input fields cleared, anything else as printed, and blanks
// alone as no message. No output is a success unless a stop was requested, which deletes the
// output instead; a success opens the file when `openAfterExtraction` is set.
// `outputProtected`: the output file existed before the job and the user cannot write it. The
// extractor cannot have written it then, so it is never deleted: it is still the user's file.
JobOutcome JudgeExtraction(bool started, std::string_view output, bool stopRequested,
                           bool openAfterExtraction, bool outputProtected = false);

} // namespace larkspan

#pragma once

// The judgement of one extraction run, from what the extractor printed. The job carries out the
// fields in order: show the message (clearing the input fields first when asked), open the
// output file.

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

// The output file chosen is the input document itself, under a second name or through a link:
// its text would take the document's place.
std::string OutputIsInputMessage(std::string_view outputPath);

// Something other than a regular file is at the output's path (a folder, a FIFO, a device),
// which no text file can replace.
std::string OutputNotAFileMessage(std::string_view outputPath);

struct JobOutcome {
    std::string message;           // error box text; empty: no box
    bool clearInputFields = false; // empty the input field and both page fields before the box
    bool openOutput = false;       // hand the output file to the desktop shell
    bool succeeded = false;
};

// `started`: whether the command interpreter could be started at all; a run that could not
// start is a failure with its own message. Otherwise any printed text (even only blanks or line
// ends) is a failure: text holding "pdftotext" is shown as "Settings error!", the exact
// password-required text as the wrong-password message with the input fields cleared, anything
// else as printed, and blanks alone as no message. No output is a success unless a stop was
// requested; a success opens the file when `openAfterExtraction` is set. A failure or a stop
// never touches the output: the extractor puts its text in place only once it has succeeded, so
// whatever was there before is still the user's file.
// The extractor's report that `inputPath` is no longer the probed document (InputChangedMessage,
// line ends after it allowed) is shown as it is, whatever the path holds, and the input fields
// are cleared, so that the user chooses the file again.
JobOutcome JudgeExtraction(bool started, std::string_view output, bool stopRequested,
                           bool openAfterExtraction, std::string_view inputPath = {});

} // namespace larkspan

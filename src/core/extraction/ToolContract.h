#pragma once

// What the two console adapters print, given what their poppler tool did. The program judges
// them only by their merged output, so each turns the tool's streams and status into this text:
//
//   textract.bin (pdftotext): nothing at all on success; "Encrypted PDF: Password required for
//     loading" (no line end) when the password is missing or wrong; the usage text, which names
//     pdftotext, for a command line the tool refuses; the tool's messages for anything else.
//   pdfi.bin (pdfinfo): the report alone on success; otherwise the tool's messages first, so
//     that "Command Line Error: Incorrect password" is the first line.

#include "core/extraction/JobOutcome.h"
#include "core/extraction/ProbeLogic.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan {

// One run of a poppler tool as the adapter saw it.
struct PopplerRun {
    bool started = false;
    std::string startError; // why it could not be started, e.g. "No such file or directory"
    int exitCode = -1;      // 128 + signal number when it was killed
    std::string standardOutput;
    std::string standardError;
};

// What the adapter prints on its standard output, and its exit status.
struct AdapterAnswer {
    std::string text;
    int exitStatus = 0;
};

// Exit status of an adapter whose poppler tool could not be started, as a shell reports a
// command it cannot find. Every other status is the tool's own.
inline constexpr int kToolNotStartedStatus = 127;

// pdftotext and pdfinfo 22.12 exit with 99 and their usage text on standard error for a command
// line they refuse: no file name, too many (an unknown option counts as one), an option value
// that is no number. A few complaints ("Wrong page range given", an unknown -enc) share the
// status but print only the complaint.
inline constexpr int kPopplerCommandLineStatus = 99;

enum class ExtractVerdict {
    Succeeded,           // exit 0; recovery warnings on standard error do not count
    PasswordNeeded,      // "Command Line Error: Incorrect password": none given, or a wrong one
    CommandLineRejected, // status 99 with the usage text
    Failed,              // any other failure: damaged file, unreadable input, unwritable output
    NotStarted,
};

ExtractVerdict JudgePdfToText(const PopplerRun& run);

// poppler may report an input it cannot open as "I/O Error: Couldn't open file '<path>':
// Success." (or "No error."): it prints errno, which the failed calls need not set (Windows' never
// do). Returns `toolText` with each such reason replaced by reasonFor(<path>) (no full stop of its
// own); an empty one leaves the line as it was.
std::string
RepairOpenFailureReasons(std::string_view toolText,
                         const std::function<std::string(const std::string&)>& reasonFor);

// What to do about a tool that cannot be started where the system supplies poppler.
inline constexpr std::string_view kInstallPopplerUtils = "Install poppler-utils.";

// The answers of textract.bin and pdfi.bin. A tool that failed without a word (killed by a
// signal, say) still gets a message, since the program takes silence for success. A tool that
// could not be started is reported with `remedy` appended.
AdapterAnswer TextractAnswer(const PopplerRun& run, std::string_view remedy = kInstallPopplerUtils);
AdapterAnswer PdfiAnswer(const PopplerRun& run, std::string_view remedy = kInstallPopplerUtils);

// The programs an adapter tries, in order, until one starts: `overridePath` alone when set (a
// wrong one then shows as a missing tool instead of falling back); else the path chosen at build
// time, then `toolName` on PATH. A bare file name (the tools beside the adapters on Windows) names
// a file in `adapterFolder`, the adapter's folder with its trailing separator.
std::vector<std::string> ToolCandidates(std::string_view overridePath,
                                        std::string_view configuredPath, std::string_view toolName,
                                        std::string_view adapterFolder);

} // namespace larkspan

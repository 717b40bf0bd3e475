#pragma once

// The pure parts of probing an input document and of the file fields: which names are PDFs and
// text files, the information tool's command line, reading its report, the password loop's
// decisions and the proposed output name.

#include "core/extraction/ShellQuoting.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace larkspan {

// The first report line of the information tool when the document needs a user password that
// was not given or is wrong.
inline constexpr std::string_view kIncorrectPasswordLine = "Command Line Error: Incorrect password";

// How the information tool's answer begins when it could not start its PDF engine (poppler's
// pdfinfo): the line goes on with the reason and the package to install.
inline constexpr std::string_view kInfoEngineMissingPrefix = "pdfinfo could not be started: ";

// True when the extension (from the last "." of the name after the last "/"), with A-Z lowered,
// is exactly ".pdf". "x.PDF" passes; "x.pdf " and "x.pdfx" and "dir.pdf/x" do not.
bool IsPdfName(std::string_view path);

// The same rule for the output field: the extension, with A-Z lowered, is exactly ".txt".
bool IsTextName(std::string_view path);

// True for a path that holds U+FFFD: bytes of a name that are not valid UTF-8 arrive as that
// character, so the path names another file or none. Such a name is refused with
// kUndecodableNameMessage rather than read or written.
bool NameIsUndecodable(std::string_view path);
inline constexpr std::string_view kUndecodableNameMessage =
    "The name of this file (or of a folder above it) is not valid UTF-8 text, so Larkspan "
    "cannot tell which file it names.\r\n\r\nPlease rename it and choose it again.";

// "pdfi.bin " + quoted path, or "pdfi.bin -upw " + password + " " + quoted path when the
// password is not empty. The password is quoted only where the interpreter needs it.
std::string BuildProbeCommand(std::string_view password, std::string_view inputPath,
                              CommandInterpreter interpreter = CommandInterpreter::PosixShell);

enum class ProbeReportKind {
    NoLines,           // the tool wrote nothing but line ends (or could not be run at all)
    IncorrectPassword, // the document needs a (different) user password
    PageCount,         // a "Pages:" line was found; pageCount holds the last one
    NoPageCount,       // lines, but none with the page count: a damaged file or an error text
    EngineMissing,     // the tool could not start its PDF engine; `engineMessage` says why
};

struct ProbeReport {
    ProbeReportKind kind = ProbeReportKind::NoLines;
    std::int32_t pageCount = 0;
    std::string engineMessage; // the tool's line, for EngineMissing
};

// Reads the information tool's output, cut into non-empty lines at CR and LF (no quote joins
// lines: a title may hold an apostrophe). A first line that is kIncorrectPasswordLine asks for a
// password, one that begins with kInfoEngineMissingPrefix tells the engine is missing; otherwise
// the last line that, trimmed, begins with "Pages:" (case-sensitive) gives the page count. Throws
// GeneralError("'<value>' is not a valid integer value") when that is no 32-bit whole number.
ProbeReport ReadProbeReport(std::string_view output);

// The error box comes only when the tool refused a password the user had typed (not at the
// first prompt for a document): that is, when the password tried, trimmed, is not empty.
bool ShouldShowWrongPasswordBox(std::string_view triedPassword);

// Cancel, or OK with an answer that is blank once trimmed, ends the probe without a page count.
bool AnswerEndsProbe(bool okPressed, std::string_view answer);

// A pasted password may carry a line break, which no command line can hold (cmd.exe ends the
// command there). Such an answer is refused with kPasswordLineBreakMessage and asked again, never
// changed in silence.
bool PasswordHasLineBreak(std::string_view answer);
inline constexpr const char* kPasswordLineBreakMessage =
    "A password cannot contain a line break.\r\n\r\nPlease type it again.";

// The input path with its last 4 name characters (the ".pdf" in any letter case) replaced by
// ".txt", in the same folder: "/docs/Report.PDF" gives "/docs/Report.txt".
std::string ProposeOutputName(std::string_view inputPath);

} // namespace larkspan

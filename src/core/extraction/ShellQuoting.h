#pragma once

// How a file path and a password are written into a command text for the command interpreter
// that runs the tools. Both interpreters' rules compile everywhere, so both can be tested on any
// system; the platform layer decides which one is in use.

#include <string>
#include <string_view>

namespace larkspan {

enum class CommandInterpreter {
    PosixShell, // /bin/sh -c
    WindowsCmd, // cmd.exe /D /V:OFF /C
};

// The path in double quotes. For /bin/sh, "$", "`", "\" and '"' are escaped with a backslash,
// since sh still expands the first three inside double quotes and the fourth would end the
// quote: a file called "$(touch x).pdf" is then a name, never a command. For cmd.exe see
// CmdArgument: a file called "%TEMP% & x.pdf" is neither expanded nor run.
std::string QuotePath(std::string_view path, CommandInterpreter interpreter);

// The password as one argument. For /bin/sh it is written exactly as typed when every byte is
// harmless (a letter, a digit, a byte of a multi-byte character or one of "%+,-./:=@_"), and
// otherwise in single quotes, with an apostrophe written as '\'' , so blanks, quotes and
// metacharacters reach the tool intact. For cmd.exe see CmdArgument; a password of letters,
// digits and harmless signs is written as typed there too.
std::string QuotePassword(std::string_view password, CommandInterpreter interpreter);

// One argument of a command that cmd.exe /C runs. First as the C runtime splits a command line:
// as it is when `alwaysQuoted` is false and it is not empty and holds no blank, tab, double quote
// or percent sign; else in double quotes, with \" for a double quote and the backslashes before
// one doubled, and each percent sign outside the quotes ("a"%"b"), which the runtime joins again.
// Then each of ( ) % ! ^ " < > & | gets a caret. With its quotes escaped cmd.exe sees no quoted
// part, where a caret would stay, and a percent sign can only start a variable name holding a
// double quote, which none has. Carets alone would not do: wine's cmd.exe drops them first.
std::string CmdArgument(std::string_view text, bool alwaysQuoted);

} // namespace larkspan

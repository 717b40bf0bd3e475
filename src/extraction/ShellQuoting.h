#pragma once

// How a file path and a password are written into a command text for the command interpreter
// that runs the tools. Both interpreters' rules compile everywhere, so both can be tested on any
// system; the platform layer decides which one is in use.

#include <string>
#include <string_view>

namespace larkspan {

enum class CommandInterpreter {
    PosixShell, // /bin/sh -c
    WindowsCmd, // cmd.exe /C
};

// The path in double quotes. For /bin/sh, "$", "`", "\" and '"' are escaped with a backslash,
// since sh still expands the first three inside double quotes and the fourth would end the
// quote: a file called "$(touch x).pdf" is then a name, never a command. For cmd.exe the path
// goes in unchanged (a Windows file name cannot hold a double quote).
std::string QuotePath(std::string_view path, CommandInterpreter interpreter);

// The password as one argument. For /bin/sh it is written exactly as typed when every byte is
// harmless (a letter, a digit, a byte of a multi-byte character or one of "%+,-./:=@_"), and
// otherwise in single quotes, with an apostrophe written as '\'' , so blanks, quotes and
// metacharacters reach the tool intact. For cmd.exe it goes in as typed.
std::string QuotePassword(std::string_view password, CommandInterpreter interpreter);

} // namespace larkspan

#include "core/extraction/ShellQuoting.h"

namespace larkspan {

namespace {

bool IsHarmlessForShell(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
        return true; // part of a UTF-8 character; sh gives these bytes no meaning
    }
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("%+,-./:=@_").find(c) != std::string_view::npos;
}

// The C runtime's form of one argument (see CmdArgument).
std::string CrtArgument(std::string_view text, bool alwaysQuoted) {
    if (!alwaysQuoted && !text.empty() && text.find_first_of(" \t\"%") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0; // written right before the current character
    for (const char c : text) {
        if (c == '\\') {
            ++backslashes;
            quoted += c;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes + 1, '\\');
            quoted += c;
        } else if (c == '%') {
            // Outside the quotes, between two of them: see CmdArgument.
            quoted.append(backslashes, '\\');
            quoted += "\"%\"";
        } else {
            quoted += c;
        }
        backslashes = 0;
    }
    quoted.append(backslashes, '\\'); // doubled before the closing quote
    quoted += '"';
    return quoted;
}

} // namespace

std::string CmdArgument(std::string_view text, bool alwaysQuoted) {
    std::string escaped;
    for (const char c : CrtArgument(text, alwaysQuoted)) {
        if (std::string_view("()%!^\"<>&|").find(c) != std::string_view::npos) {
            escaped += '^';
        }
        escaped += c;
    }
    return escaped;
}

std::string QuotePath(std::string_view path, CommandInterpreter interpreter) {
    if (interpreter == CommandInterpreter::WindowsCmd) {
        return CmdArgument(path, true);
    }
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '$' || c == '`' || c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string QuotePassword(std::string_view password, CommandInterpreter interpreter) {
    if (interpreter == CommandInterpreter::WindowsCmd) {
        return CmdArgument(password, false);
    }
    bool harmless = !password.empty();
    for (const char c : password) {
        harmless = harmless && IsHarmlessForShell(c);
    }
    if (harmless) {
        return std::string(password);
    }
    std::string quoted = "'";
    for (const char c : password) {
        if (c == '\'') {
            quoted += "'\\''"; // close the quote, an escaped apostrophe, open again
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

} // namespace larkspan

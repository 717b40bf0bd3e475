#include "extraction/ShellQuoting.h"

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

} // namespace

std::string QuotePath(std::string_view path, CommandInterpreter interpreter) {
    std::string quoted = "\"";
    if (interpreter == CommandInterpreter::WindowsCmd) {
        quoted += path;
    } else {
        for (const char c : path) {
            if (c == '$' || c == '`' || c == '\\' || c == '"') {
                quoted += '\\';
            }
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

std::string QuotePassword(std::string_view password, CommandInterpreter interpreter) {
    if (interpreter == CommandInterpreter::WindowsCmd) {
        return std::string(password);
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

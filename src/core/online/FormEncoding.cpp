#include "core/online/FormEncoding.h"

#include "core/text/TextRules.h"

#include <utility>

namespace larkspan::online {

namespace {

bool IsAsciiAlnum(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

std::string EncodeFormValue(std::string_view value) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsAsciiAlnum(c)) {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

// Each line's own value is encoded exactly once: looking it up again by name would encode the
// first of two lines with the same name twice and leave the second raw.
void EncodeFormLines(std::vector<std::string>& lines) {
    for (auto& line : lines) {
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq + 1 == line.size()) {
            continue;
        }
        line = line.substr(0, eq + 1) + EncodeFormValue(std::string_view(line).substr(eq + 1));
    }
}

std::string JoinFormLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    if (lines.size() >= 2) {
        std::string joined;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                joined += '&';
                ++i;
            } else {
                joined += text[i];
            }
        }
        text = std::move(joined);
    }
    return Trim(text);
}

} // namespace larkspan::online

#include "core/install/InstallRecordFormat.h"

#include "core/text/TextRules.h"

namespace larkspan {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return LowerAscii(a) == LowerAscii(b);
}

} // namespace

std::string FindInstallRecordValue(std::string_view text, std::string_view key) {
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(byteOrderMark)) {
        text.remove_prefix(byteOrderMark.size());
    }
    const std::string_view wantedKey = TrimBlanks(key);
    if (wantedKey.empty()) {
        return {};
    }

    bool inReadSection = true; // the top level, before any section header
    std::string result;
    while (!text.empty()) {
        const std::size_t lineEnd = text.find('\n');
        std::string_view line = TrimBlanks(text.substr(0, lineEnd));
        text.remove_prefix(lineEnd == std::string_view::npos ? text.size() : lineEnd + 1);

        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view section =
                TrimBlanks(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
            inReadSection = EqualsIgnoringAsciiCase(section, "General");
            continue;
        }
        if (!inReadSection) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos ||
            !EqualsIgnoringAsciiCase(TrimBlanks(line.substr(0, equals)), wantedKey)) {
            continue;
        }
        const std::string_view value = line.substr(equals + 1);
        result.assign(TrimBlanks(value.substr(0, value.find('\0'))));
    }
    return result;
}

} // namespace larkspan

#include "core/text/TextRules.h"

#include "core/text/GeneralError.h"

#include <cstdint>

namespace larkspan {

namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

bool IsIn(char c, std::string_view set) {
    return set.find(c) != std::string_view::npos;
}

int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

[[noreturn]] void ThrowNotAnInteger(std::string_view text) {
    throw GeneralError("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace

std::string Trim(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlankOrControl(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlankOrControl(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::int32_t TextToInteger(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    int base = 10;
    if (pos < text.size() && (text[pos] == '$' || text[pos] == 'x' || text[pos] == 'X')) {
        base = 16;
        ++pos;
    } else if (pos + 1 < text.size() && text[pos] == '0' &&
               (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    if (pos == text.size()) {
        ThrowNotAnInteger(text); // no digits at all: "", "-", "$", "0x", blanks only
    }

    // The magnitude is gathered in 64 bits and checked after every digit, so no input, however
    // long, can overflow before it is refused. The negative side reaches one further.
    const std::int64_t limit = negative ? std::int64_t{2147483648} : std::int64_t{2147483647};
    std::int64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = DigitValue(text[pos], base);
        if (digit < 0) {
            ThrowNotAnInteger(text);
        }
        magnitude = magnitude * base + digit;
        if (magnitude > limit) {
            ThrowNotAnInteger(text);
        }
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::vector<std::string> SplitItems(std::string_view separators, std::string_view whitespace,
                                    std::string_view text) {
    std::vector<std::string> items;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (IsLineEnd(text[pos]) || IsIn(text[pos], whitespace))) {
            ++pos;
        }
        const std::size_t start = pos;
        char openQuote = 0;
        while (pos < text.size()) {
            const char c = text[pos];
            if (openQuote != 0) {
                if (c == openQuote) {
                    openQuote = 0;
                }
            } else if (IsLineEnd(c) || IsIn(c, separators)) {
                break;
            } else if (c == '"' || c == '\'') {
                openQuote = c;
            }
            ++pos;
        }
        if (pos > start) {
            items.emplace_back(text.substr(start, pos - start));
        }
        if (pos < text.size()) {
            ++pos; // step over the line end or separator that stopped the scan
        }
    }
    return items;
}

std::string LowerAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

std::string FolderPart(std::string_view path, std::string_view separators) {
    const std::size_t slash = path.find_last_of(separators);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string NamePart(std::string_view path, std::string_view separators) {
    const std::size_t slash = path.find_last_of(separators);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtensionOf(std::string_view path, std::string_view separators) {
    const std::string name = NamePart(path, separators);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

} // namespace larkspan

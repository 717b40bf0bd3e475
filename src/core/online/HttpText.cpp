#include "core/online/HttpText.h"

namespace larkspan::online {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t limit) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        // value * 10 + digit > limit, asked without computing it: near the top of the range
        // it would wrap round to a small number that passes.
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (digit > limit || value > (limit - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

} // namespace larkspan::online

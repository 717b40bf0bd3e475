#pragma once

// Byte-level text rules of the HTTP wire format, shared by the URL, head and cookie parsers.

#include <cstdint>
#include <optional>
#include <string_view>

namespace larkspan::online {

// ASCII letters compared without regard to case, every other byte exactly: how header names,
// header tokens and host names compare.
bool SameTextAscii(std::string_view a, std::string_view b);

// Decimal digits only; nothing when the text is empty, holds anything else or exceeds `limit`.
std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t limit);

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace larkspan::online

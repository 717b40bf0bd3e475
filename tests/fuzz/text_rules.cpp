// The strict integer conversion, item splitting, the page range and the extractor's command
// line. Byte 0 steers the switches; the rest is cut into parts at NUL bytes: the integer text
// (also the page-count text), the range text, the password, the input and the output path.

#include "FuzzCheck.h"
#include "core/extraction/ExtractCommand.h"
#include "core/text/GeneralError.h"
#include "core/text/TextRules.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace larkspan;

namespace {

// The grammar of TextToInteger read another way: the digits go to std::from_chars, so a slip
// in the hand-written accumulation or its overflow check shows up as a difference.
std::optional<std::int32_t> ReferenceInteger(std::string_view text) {
    std::size_t pos = text.find_first_not_of(' ');
    if (pos == std::string_view::npos) {
        return std::nullopt;
    }
    bool negative = false;
    if (text[pos] == '+' || text[pos] == '-') {
        negative = text[pos] == '-';
        ++pos;
    }
    int base = 10;
    const std::string_view rest = text.substr(pos);
    std::string_view digits = rest;
    if (rest.starts_with('$') || rest.starts_with('x') || rest.starts_with('X')) {
        base = 16;
        digits = rest.substr(1);
    } else if (rest.starts_with("0x") || rest.starts_with("0X")) {
        base = 16;
        digits = rest.substr(2);
    }
    if (digits.empty() || digits.front() == '+' || digits.front() == '-') {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (ec != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    if (magnitude > (negative ? 2147483648u : 2147483647u)) {
        return std::nullopt;
    }
    const auto value = static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::optional<std::int32_t> Integer(std::string_view text) {
    try {
        return TextToInteger(text);
    } catch (const GeneralError& error) {
        FUZZ_CHECK(error.what() == "'" + std::string(text) + "' is not a valid integer value");
        return std::nullopt;
    }
}

void CheckSplitItems(std::string_view text, std::uint8_t choice) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> rules = {
        {{"-", ""}, {",", " "}, {";,", " \t"}}};
    const auto& [separators, whitespace] = rules[choice % rules.size()];
    const std::vector<std::string> items = SplitItems(separators, whitespace, text);
    const bool quoted = text.find_first_of("\"'") != std::string_view::npos;
    std::size_t at = 0;
    for (const auto& item : items) {
        FUZZ_CHECK(!item.empty());
        FUZZ_CHECK(item.front() != '\r' && item.front() != '\n');
        FUZZ_CHECK(whitespace.find(item.front()) == std::string_view::npos);
        // Items are pieces of the text, in order and without overlap.
        const std::size_t found = text.find(item, at);
        FUZZ_CHECK(found != std::string_view::npos);
        at = found + item.size();
        if (!quoted) {
            FUZZ_CHECK(item.find_first_of(std::string(separators) + "\r\n") == std::string::npos);
        }
    }
}

void CheckPageRange(std::string_view rangeText, std::int32_t pageCount) {
    const std::string trimmed = Trim(rangeText);
    if (trimmed.empty()) {
        return; // the caller never asks for a blank range
    }
    PageRange range;
    try {
        range = ParsePageRange(trimmed, pageCount);
    } catch (const GeneralError&) {
        return;
    }
    const bool whole = range.first == 1 && range.last == pageCount;
    FUZZ_CHECK(whole || (1 <= range.first && range.first <= range.last && range.last <= pageCount));

    // "a-b" of two fitting page numbers is exactly those pages.
    const auto dash = trimmed.find('-');
    if (dash != std::string::npos && dash > 0 && trimmed.find('-', dash + 1) == std::string::npos) {
        const auto a = ReferenceInteger(trimmed.substr(0, dash));
        const auto b = ReferenceInteger(trimmed.substr(dash + 1));
        if (a && b && 1 <= *a && *a <= *b && *b <= pageCount &&
            trimmed.find_first_of("\"'\r\n") == std::string::npos) {
            FUZZ_CHECK(range.first == *a && range.last == *b);
        }
    }
}

void CheckCommand(std::uint8_t switches, std::string_view pageCountText, std::string_view rangeText,
                  std::string_view password, std::string_view input, std::string_view output) {
    std::string command;
    try {
        command = BuildExtractCommand((switches & 2) != 0, (switches & 4) != 0, pageCountText,
                                      rangeText, password, input, output);
    } catch (const GeneralError&) {
        FUZZ_CHECK(!Integer(pageCountText) || !Trim(rangeText).empty());
        return;
    }
    FUZZ_CHECK(Integer(pageCountText).has_value());
    FUZZ_CHECK(command.starts_with("textract.bin -enc UTF-8 -eol dos "));
    // The range options come exactly when a range was given.
    if ((std::string(password) + std::string(input) + std::string(output)).find("-f") ==
        std::string::npos) {
        FUZZ_CHECK((command.find(" -f ") != std::string::npos) == !Trim(rangeText).empty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    larkspan::fuzz::Input input(data, size);
    const std::uint8_t switches = input.Byte();
    const std::string_view integerText = input.Part('\0');
    const std::string_view rangeText = input.Part('\0');
    const std::string_view password = input.Part('\0');
    const std::string_view inputPath = input.Part('\0');
    const std::string_view outputPath = input.Part('\0');

    const auto value = Integer(integerText);
    FUZZ_CHECK(value == ReferenceInteger(integerText));

    CheckSplitItems(rangeText, switches);
    CheckPageRange(rangeText, value.value_or(static_cast<std::int32_t>(switches)));
    CheckCommand(switches, integerText, rangeText, password, inputPath, outputPath);
    return 0;
}

#include "core/online/VersionCheck.h"

#include "core/text/GeneralError.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace larkspan::online {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string VendorUrl(std::string_view websiteHost, std::string_view path) {
    return "http://" + std::string(websiteHost) + std::string(path);
}

bool TutorialAvailable(std::string_view answer) {
    return answer != "false";
}

std::optional<float> ParseVersionNumber(std::string_view text) {
    std::size_t p = 0;
    while (p < text.size() && text[p] == ' ') {
        ++p;
    }
    std::size_t end = text.size();
    while (end > p && text[end - 1] == ' ') {
        --end;
    }
    std::string_view number = text.substr(p, end - p);

    // Check the grammar first: from_chars alone would accept "inf", "nan" or hexadecimal forms.
    bool negative = false;
    std::size_t i = 0;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
        negative = number[i] == '-';
        ++i;
    }
    std::size_t digits = 0;
    while (i < number.size() && IsDigit(number[i])) {
        ++i;
        ++digits;
    }
    if (i < number.size() && number[i] == '.') {
        ++i;
        while (i < number.size() && IsDigit(number[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
            ++i;
        }
        std::size_t exponentDigits = 0;
        while (i < number.size() && IsDigit(number[i])) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return std::nullopt;
        }
    }
    if (i != number.size()) {
        return std::nullopt;
    }

    // from_chars takes no "+" sign and rounds the decimal text straight to the nearest float.
    std::string body(number.substr(number[0] == '+' || number[0] == '-' ? 1 : 0));
    if (body.front() == '.') {
        body.insert(0, "0");
    }
    float value = 0;
    const auto [ptr, ec] =
        std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    if (ec != std::errc() || ptr != body.data() + body.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::string FormatVersionNumber(float value) {
    // 18 significant digits of the exact value, then decimal rounding half away from zero at
    // two decimals: a float such as 2.1f (2.0999999...) shows as 2.10.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17e", static_cast<double>(std::fabs(value)));
    const std::string text(buffer);
    const auto e = text.find('e');
    std::string mantissa; // the 18 digits without the point
    for (std::size_t i = 0; i < e; ++i) {
        if (IsDigit(text[i])) {
            mantissa += text[i];
        }
    }
    const int exponent = std::stoi(text.substr(e + 1));

    // digits[k] has the place value 10^(pointPos - 1 - k)
    std::string digits;
    int pointPos; // number of integer digits in `digits`
    if (exponent >= 0) {
        digits = mantissa;
        pointPos = exponent + 1;
        if (static_cast<int>(digits.size()) < pointPos + 3) {
            digits.append(static_cast<std::size_t>(pointPos + 3) - digits.size(), '0');
        }
    } else {
        digits = std::string(static_cast<std::size_t>(-exponent), '0') + mantissa;
        pointPos = 1; // one leading "0" integer digit
    }
    // Keep two decimals, round on the third.
    const std::size_t keep = static_cast<std::size_t>(pointPos) + 2;
    const bool roundUp = digits[keep] >= '5';
    digits.resize(keep);
    if (roundUp) {
        int k = static_cast<int>(keep) - 1;
        while (k >= 0 && digits[static_cast<std::size_t>(k)] == '9') {
            digits[static_cast<std::size_t>(k)] = '0';
            --k;
        }
        if (k >= 0) {
            ++digits[static_cast<std::size_t>(k)];
        } else {
            digits.insert(0, "1");
            ++pointPos;
        }
    }
    std::string integerPart = digits.substr(0, static_cast<std::size_t>(pointPos));
    const std::string decimals = digits.substr(static_cast<std::size_t>(pointPos));
    const auto firstNonZero = integerPart.find_first_not_of('0');
    integerPart = firstNonZero == std::string::npos ? "" : integerPart.substr(firstNonZero);
    const bool isZero = integerPart.empty() && decimals == "00";
    return (std::signbit(value) && !isZero ? "-" : "") + integerPart + "." + decimals;
}

std::string UpgradeMessage(float serverVersion) {
    return "A newer Larkspan is available!\r\nVersion number: " +
           FormatVersionNumber(serverVersion) + "\r\n\r\nWould you like to upgrade now?";
}

namespace {

float VersionOrThrow(std::string_view text) {
    const auto value = ParseVersionNumber(text);
    if (!value) {
        throw GeneralError("'" + std::string(text) + "' is not a valid floating point value");
    }
    return *value;
}

} // namespace

std::optional<std::string> UpgradeMessageFor(std::string_view installedVersion,
                                             std::string_view answer) {
    if (answer == "false") {
        return std::nullopt;
    }
    const float installed = VersionOrThrow(installedVersion);
    const float latest = VersionOrThrow(answer);
    if (installed < latest) {
        return UpgradeMessage(latest);
    }
    return std::nullopt;
}

} // namespace larkspan::online

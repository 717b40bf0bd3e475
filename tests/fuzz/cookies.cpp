// The cookie jar and cookie dates. Byte 0 chooses Set-Cookie or Set-Cookie2; then come lines:
// the request host, the request path, and header values to store. Every line is also tried as
// a cookie date and as a Max-Age.

#include "FuzzCheck.h"
#include "core/online/HttpCookies.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

using namespace larkspan::online;
using namespace std::chrono;

namespace {

// In seconds, like the dates: compared with a date of the year 9999, a clock time in nanoseconds
// would overflow.
const sys_seconds kNow = sys_days(year(2025) / 3 / 14);

bool IsHeaderSafe(std::string_view text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 32 && c != '\t') || b == 127) {
            return false;
        }
    }
    return true;
}

// A date comes back as what it says: written out again as "DD Mon YYYY HH:MM:SS GMT", it
// reads as the same moment.
void CheckDate(std::string_view text) {
    const auto date = ParseCookieDate(text);
    if (!date) {
        return;
    }
    const auto day = floor<days>(*date);
    const year_month_day ymd(day);
    FUZZ_CHECK(ymd.ok());
    FUZZ_CHECK(static_cast<int>(ymd.year()) >= 1601 && static_cast<int>(ymd.year()) <= 9999);
    const hh_mm_ss time(floor<seconds>(*date - day));
    static constexpr std::array<const char*, 12> months = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02u %s %04d %02d:%02d:%02d GMT",
                  static_cast<unsigned>(ymd.day()), months[static_cast<unsigned>(ymd.month()) - 1],
                  static_cast<int>(ymd.year()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    const auto again = ParseCookieDate(buffer);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *date);
}

bool HasPair(std::string_view header, std::string_view pair) {
    // Pairs are joined by "; ".
    std::size_t start = 0;
    for (;;) {
        const auto end = header.find("; ", start);
        if (header.substr(start, end - start) == pair) {
            return true;
        }
        if (end == std::string_view::npos) {
            return false;
        }
        start = end + 2;
    }
}

bool IsPositiveNumber(std::string_view text) {
    bool nonZero = false;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        nonZero = nonZero || c != '0';
    }
    return nonZero;
}

// A cookie that is still valid is sent back at once, whatever its lifetime.
void CheckLifetime(std::string_view line) {
    CookieJar jar;
    if (IsPositiveNumber(line)) {
        jar.Store("probe=1; Max-Age=" + std::string(line), false, "h.test", "/", kNow);
        FUZZ_CHECK(jar.CookieHeader("h.test", "/", kNow) == "probe=1");
    }
    if (line.find(';') == std::string_view::npos && IsHeaderSafe(line)) {
        const auto date = ParseCookieDate(line);
        if (date && *date > kNow) {
            jar.Store("dated=1; Expires=" + std::string(line), false, "h.test", "/", kNow);
            FUZZ_CHECK(HasPair(jar.CookieHeader("h.test", "/", kNow), "dated=1"));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    larkspan::fuzz::Input input(data, size);
    const bool setCookie2 = (input.Byte() & 1) != 0;
    const std::string host(input.Part());
    const std::string path(input.Part());

    CookieJar jar;
    std::size_t stored = 0;
    while (!input.Empty()) {
        const std::string_view value = input.Part();
        jar.Store(value, setCookie2, host, path, kNow);
        stored +=
            setCookie2 ? static_cast<std::size_t>(std::count(value.begin(), value.end(), ',')) : 0;
        ++stored;
        CheckDate(value);
        CheckLifetime(value);
    }
    FUZZ_CHECK(jar.Count() <= stored);
    CheckDate(host);
    CheckDate(path);

    // Whatever was stored, the Cookie header can never carry a line break into the request.
    for (const std::string_view askedPath : {std::string_view(path), std::string_view("/")}) {
        const std::string header = jar.CookieHeader(host, askedPath, kNow);
        FUZZ_CHECK(IsHeaderSafe(header));
        FUZZ_CHECK(header.empty() || header.find('=') != std::string::npos);
    }
    return 0;
}

// Version numbers, the upgrade message and the installer answer. The input's first line is the
// installed version, the second the server's answer; the whole input is also read as an
// installer answer, and the first two lines are sent through one as product name and URL.

#include "FuzzCheck.h"
#include "core/online/FormEncoding.h"
#include "core/online/InstallerInfo.h"
#include "core/online/VersionCheck.h"
#include "core/text/GeneralError.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

using namespace larkspan;
using namespace larkspan::online;

namespace {

std::string_view TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The C library's reading of the same text (this program never sets a locale, so "." is the
// decimal point) must agree with the number, and accept no plain decimal text it refuses.
void CheckVersionNumber(std::string_view text) {
    const auto value = ParseVersionNumber(text);
    const std::string number(TrimSpaces(text));
    const bool plain = !number.empty() && number.find('\0') == std::string::npos &&
                       number.find_first_not_of("0123456789.eE+-") == std::string::npos;
    if (!plain) {
        FUZZ_CHECK(!value.has_value());
        return;
    }
    errno = 0;
    char* end = nullptr;
    const float expected = std::strtof(number.c_str(), &end);
    const bool whole = end == number.c_str() + number.size();
    if (value) {
        FUZZ_CHECK(std::isfinite(*value));
        FUZZ_CHECK(whole);
        FUZZ_CHECK(*value == expected);
    } else {
        // Refused: not the documented grammar, or beyond the float range.
        FUZZ_CHECK(!whole || errno == ERANGE || !std::isfinite(expected));
    }
}

void CheckFormat(float value) {
    const std::string text = FormatVersionNumber(value);
    const auto point = text.find('.');
    FUZZ_CHECK(point != std::string::npos && point + 3 == text.size());
    const std::size_t digitsFrom = text.starts_with('-') ? 1 : 0;
    FUZZ_CHECK(text.find_first_not_of("0123456789.", digitsFrom) == std::string::npos);
    FUZZ_CHECK(text[digitsFrom] != '0'); // no leading zero, and ".00" for zero
    FUZZ_CHECK(text != "-.00");
    // Two decimals, rounded: within half a hundredth (and the 18 digits the value is read to).
    const double shown = std::strtod(text.c_str(), nullptr);
    const double exact = static_cast<double>(value);
    FUZZ_CHECK(std::fabs(shown - exact) <= 0.005 + std::fabs(exact) * 1e-16);
}

void CheckUpgrade(std::string_view installed, std::string_view answer) {
    std::optional<std::string> message;
    try {
        message = UpgradeMessageFor(installed, answer);
    } catch (const GeneralError& error) {
        // (what() ends at a NUL byte the text may hold.)
        FUZZ_CHECK(
            std::string_view(error.what()).ends_with("' is not a valid floating point value") ||
            installed.find('\0') != std::string_view::npos ||
            answer.find('\0') != std::string_view::npos);
        FUZZ_CHECK(!ParseVersionNumber(installed) || !ParseVersionNumber(answer));
        return;
    }
    if (!message) {
        return;
    }
    const auto latest = ParseVersionNumber(answer);
    FUZZ_CHECK(latest && *ParseVersionNumber(installed) < *latest);
    FUZZ_CHECK(*message == UpgradeMessage(*latest));
    FUZZ_CHECK(message->find("Version number: " + FormatVersionNumber(*latest) + "\r\n") !=
               std::string::npos);
}

void CheckInstallerAnswer(std::string_view answer) {
    const InstallerInfo info = ParseInstallerInfo(answer);
    FUZZ_CHECK(info.state == 0 || info.state == 2);
    FUZZ_CHECK(info.state == 0 || info.url.empty());
    FUZZ_CHECK(info.caption.empty() || info.caption.ends_with(" Setup"));
    FUZZ_CHECK(info.caption.size() <= answer.size() + 6);
    FUZZ_CHECK(info.url.size() <= answer.size());
}

// A name and a URL written as the server writes them come back as they were.
void CheckInstallerRoundTrip(std::string name, std::string url) {
    const std::string answer =
        "product=" + EncodeFormValue(name) + "&installer=" + EncodeFormValue(url);
    const InstallerInfo info = ParseInstallerInfo(answer);
    std::erase(name, '\0');
    std::erase(url, '\0');
    std::replace(name.begin(), name.end(), '+', ' ');
    FUZZ_CHECK(info.state == 0);
    FUZZ_CHECK(info.caption == name + " Setup");
    FUZZ_CHECK(info.url == url);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    larkspan::fuzz::Input input(data, size);
    const std::string_view whole(reinterpret_cast<const char*>(data), size);
    const std::string_view installed = input.Part();
    const std::string_view answer = input.Part();

    CheckVersionNumber(installed);
    CheckVersionNumber(answer);
    for (const auto text : {installed, answer}) {
        if (const auto value = ParseVersionNumber(text)) {
            CheckFormat(*value);
        }
    }
    if (size >= 4) {
        // Any float at all, denormals and the largest ones included.
        float bits;
        std::memcpy(&bits, data, sizeof bits);
        if (std::isfinite(bits)) {
            CheckFormat(bits);
        }
    }
    CheckUpgrade(installed, answer);
    CheckInstallerAnswer(whole);
    CheckInstallerRoundTrip(std::string(installed), std::string(answer));
    return 0;
}

// URL splitting, form bodies, URL decoding and the delimited-text rule of the installer answer.
// The first line of the input is the URL; every line is also a form line and a field.

#include "FuzzCheck.h"
#include "core/online/FormEncoding.h"
#include "core/online/HttpErrors.h"
#include "core/online/HttpUrl.h"
#include "core/online/InstallerInfo.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

using namespace larkspan::online;

namespace {

void CheckSplitUrl(std::string_view url) {
    ParsedUrl parts;
    try {
        parts = SplitUrl(url);
    } catch (const EIdException&) {
        return; // an unknown protocol or a bad port: documented
    }
    FUZZ_CHECK(parts.protocol == "http" || parts.protocol == "https");
    FUZZ_CHECK(!parts.target.empty() && parts.target.front() == '/');
    FUZZ_CHECK(parts.target.find_first_of("#\\") == std::string::npos);
    FUZZ_CHECK(parts.host.find_first_of("/?#@:\\") == std::string::npos);
    FUZZ_CHECK(parts.port != 0);
    FUZZ_CHECK(parts.path == parts.target.substr(0, parts.target.find('?')));

    // Written out in full, the parts split into themselves again.
    const std::string full =
        parts.protocol + "://" + parts.host + ":" + std::to_string(parts.port) + parts.target;
    const ParsedUrl again = SplitUrl(full);
    FUZZ_CHECK(again.protocol == parts.protocol);
    FUZZ_CHECK(again.host == parts.host);
    FUZZ_CHECK(again.port == parts.port);
    FUZZ_CHECK(again.target == parts.target);
}

bool IsFormByte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '%';
}

void CheckFormValue(std::string_view value) {
    const std::string encoded = EncodeFormValue(value);
    FUZZ_CHECK(encoded.size() <= 3 * value.size());
    FUZZ_CHECK(std::all_of(encoded.begin(), encoded.end(), IsFormByte));
    // Decoding gives the value back, except that %00 decodes to nothing.
    std::string withoutNul(value);
    std::erase(withoutNul, '\0');
    FUZZ_CHECK(UrlDecode(encoded) == withoutNul);
    FUZZ_CHECK(UrlDecode(value).size() <= value.size());
}

void CheckFormLines(const std::vector<std::string>& original) {
    std::vector<std::string> lines = original;
    EncodeFormLines(lines);
    FUZZ_CHECK(lines.size() == original.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto eq = original[i].find('=');
        if (eq == std::string::npos) {
            FUZZ_CHECK(lines[i] == original[i]);
        } else {
            FUZZ_CHECK(lines[i].compare(0, eq + 1, original[i], 0, eq + 1) == 0);
            FUZZ_CHECK(lines[i].find_first_of("&\r\n", eq + 1) == std::string::npos);
        }
    }
    const std::string body = JoinFormLines(lines);
    FUZZ_CHECK(body.empty() || (!larkspan::fuzz::IsBlankOrControl(body.front()) &&
                                !larkspan::fuzz::IsBlankOrControl(body.back())));
    if (lines.size() >= 2) {
        // Encoded values hold no line break, so each one stays a field of its own.
        FUZZ_CHECK(std::count(body.begin(), body.end(), '&') >=
                   static_cast<std::ptrdiff_t>(lines.size()) - 1);
    }
}

void CheckDelimitedText(std::string_view text, const std::vector<std::string>& fields) {
    const std::vector<std::string> split = SplitDelimitedText(text, '&');
    std::size_t bytes = 0;
    for (const auto& field : split) {
        FUZZ_CHECK(field.find('\0') == std::string::npos);
        bytes += field.size();
    }
    FUZZ_CHECK(bytes <= text.size());
    FUZZ_CHECK(split.size() <= text.size() + 1);
    if (text.find('"') == std::string_view::npos) {
        for (const auto& field : split) {
            FUZZ_CHECK(std::none_of(field.begin(), field.end(), [](char c) {
                return c == '&' || larkspan::fuzz::IsBlankOrControl(c);
            }));
        }
    }

    // Quoted, with quotes doubled, any fields without a NUL come back as they were.
    std::string quoted;
    for (const auto& field : fields) {
        if (field.find('\0') != std::string::npos) {
            return;
        }
        quoted += quoted.empty() ? "\"" : "&\"";
        for (const char c : field) {
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        quoted += '"';
    }
    if (!fields.empty()) {
        FUZZ_CHECK(SplitDelimitedText(quoted, '&') == fields);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    larkspan::fuzz::Input input(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    while (!input.Empty()) {
        lines.emplace_back(input.Part('\n'));
    }
    CheckSplitUrl(lines.empty() ? std::string_view() : lines.front());
    CheckFormValue(text);
    CheckFormLines(lines);
    CheckDelimitedText(text, lines);
    return 0;
}

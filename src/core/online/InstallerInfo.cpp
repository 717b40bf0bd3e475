#include "core/online/InstallerInfo.h"

#include <algorithm>
#include <utility>

namespace larkspan::online {

namespace {

bool IsControlOrBlank(unsigned char c) {
    return c >= 1 && c <= 32;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::vector<std::string> SplitDelimitedText(std::string_view text, char delimiter) {
    constexpr char quote = '"';
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    std::vector<std::string> fields;
    std::size_t p = 0;
    auto skipBlanks = [&] {
        while (p < text.size() && IsControlOrBlank(static_cast<unsigned char>(text[p]))) {
            ++p;
        }
    };

    skipBlanks();
    while (p < text.size()) {
        std::string field;
        if (text[p] == quote) {
            ++p;
            while (p < text.size()) {
                if (text[p] == quote) {
                    if (p + 1 < text.size() && text[p + 1] == quote) {
                        field += quote;
                        p += 2;
                        continue;
                    }
                    ++p; // the closing quote
                    break;
                }
                field += text[p++];
            }
        } else {
            const std::size_t start = p;
            while (p < text.size() && static_cast<unsigned char>(text[p]) > 32 &&
                   text[p] != delimiter) {
                ++p;
            }
            field.assign(text.substr(start, p - start));
        }
        fields.push_back(std::move(field));
        skipBlanks();
        if (p < text.size() && text[p] == delimiter) {
            if (p + 1 == text.size()) {
                fields.emplace_back();
            }
            ++p;
            skipBlanks();
        }
    }
    return fields;
}

std::string UrlDecode(std::string_view text) {
    std::string plain(text);
    std::replace(plain.begin(), plain.end(), '+', ' ');

    std::string out;
    out.reserve(plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (plain[i] != '%') {
            out += plain[i];
            continue;
        }
        const std::string_view code = std::string_view(plain).substr(i + 1, 2);
        i += code.size();
        int value = code.empty() ? -1 : 0;
        for (char c : code) {
            const int digit = HexValue(c);
            if (digit < 0) {
                value = -1;
                break;
            }
            value = value * 16 + digit;
        }
        if (value > 0) {
            out += static_cast<char>(value);
        }
    }
    return out;
}

InstallerInfo ParseInstallerInfo(std::string_view answer) {
    InstallerInfo info;
    if (answer.empty() || answer == "false") {
        info.state = 2;
        return info;
    }
    const auto fields = SplitDelimitedText(answer, '&');
    if (!fields.empty()) {
        std::string name = UrlDecode(fields[0].size() > 8 ? fields[0].substr(8) : "");
        std::replace(name.begin(), name.end(), '+', ' ');
        info.caption = name + " Setup";
    }
    if (fields.size() < 2) {
        info.state = 2;
        return info;
    }
    info.url = UrlDecode(fields[1].size() > 10 ? fields[1].substr(10) : "");
    return info;
}

} // namespace larkspan::online

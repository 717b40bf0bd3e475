#include "core/online/HttpCookies.h"

#include "core/online/HttpText.h"
#include "core/text/TextRules.h"

#include <algorithm>
#include <array>

namespace larkspan::online {

namespace {

std::string DefaultCookiePath(std::string_view requestPath) {
    if (requestPath.empty() || requestPath.front() != '/') {
        return "/";
    }
    const auto slash = requestPath.rfind('/');
    return slash == 0 ? "/" : std::string(requestPath.substr(0, slash));
}

bool DomainMatches(std::string_view host, std::string_view domain) {
    return host == domain ||
           (host.size() > domain.size() && host.substr(host.size() - domain.size()) == domain &&
            host[host.size() - domain.size() - 1] == '.');
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
    if (requestPath == cookiePath) {
        return true;
    }
    if (requestPath.substr(0, cookiePath.size()) != cookiePath) {
        return false;
    }
    return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

// A Max-Age value: an optional "-" and decimal digits. Ages beyond 2^40 seconds (some 35,000
// years) are cut to that: such a cookie outlives the client, and a huge number must not wrap.
std::optional<std::int64_t> ParseMaxAge(std::string_view text) {
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) {
        return std::nullopt;
    }
    constexpr std::int64_t kLongest = std::int64_t{1} << 40;
    std::int64_t value = 0;
    for (char c : text) {
        value = std::min(kLongest, value * 10 + (c - '0'));
    }
    return negative ? -value : value;
}

CookieTime Seconds(Clock::time_point time) {
    return std::chrono::floor<std::chrono::seconds>(time);
}

} // namespace

void CookieJar::Store(std::string_view value, bool setCookie2, std::string_view requestHost,
                      std::string_view requestPath, Clock::time_point now) {
    if (!setCookie2) {
        StoreOne(value, requestHost, requestPath, now);
        return;
    }
    // Set-Cookie2 lists several cookies, separated by commas outside quoted strings.
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i == value.size() || (value[i] == ',' && !quoted)) {
            StoreOne(value.substr(start, i - start), requestHost, requestPath, now);
            start = i + 1;
        } else if (value[i] == '"') {
            quoted = !quoted;
        }
    }
}

void CookieJar::StoreOne(std::string_view text, std::string_view requestHost,
                         std::string_view requestPath, Clock::time_point now) {
    // A cookie is sent back inside a header line: one with control characters is refused.
    if (std::any_of(text.begin(), text.end(), [](char c) {
            return (static_cast<unsigned char>(c) < 32 && c != '\t') || c == 127;
        })) {
        return;
    }
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const auto semicolon = text.find(';', start);
        parts.push_back(text.substr(start, semicolon - start));
        if (semicolon == std::string_view::npos) {
            break;
        }
        start = semicolon + 1;
    }
    const auto eq = parts[0].find('=');
    if (eq == std::string_view::npos) {
        return;
    }
    Cookie cookie;
    cookie.name = Trim(parts[0].substr(0, eq));
    cookie.value = Trim(parts[0].substr(eq + 1));
    if (cookie.name.empty()) {
        return;
    }

    std::string domain;
    std::optional<std::int64_t> maxAge;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const auto attrEq = parts[i].find('=');
        const std::string key = LowerAscii(Trim(parts[i].substr(0, attrEq)));
        const std::string attr =
            attrEq == std::string_view::npos ? std::string() : Trim(parts[i].substr(attrEq + 1));
        if (key == "domain" && !attr.empty()) {
            domain = LowerAscii(attr.front() == '.' ? attr.substr(1) : attr);
        } else if (key == "path" && !attr.empty() && attr.front() == '/') {
            cookie.path = attr;
        } else if (key == "max-age") {
            if (auto seconds = ParseMaxAge(attr)) {
                maxAge = seconds;
            }
        } else if (key == "expires") {
            if (auto date = ParseCookieDate(attr)) {
                cookie.expires = date;
            }
        } else if (key == "secure") {
            cookie.secure = true;
        }
    }

    const std::string host = LowerAscii(requestHost);
    if (domain.empty()) {
        cookie.domain = host;
    } else if (DomainMatches(host, domain)) {
        cookie.domain = domain;
        cookie.hostOnly = false;
    } else {
        return; // a server may not set cookies for another site
    }
    if (cookie.path.empty()) {
        cookie.path = DefaultCookiePath(requestPath);
    }
    if (maxAge) {
        cookie.expires =
            *maxAge <= 0 ? CookieTime::min() : Seconds(now) + std::chrono::seconds(*maxAge);
    }

    cookie.order = nextOrder_++;
    const auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& c) {
        return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
    });
    if (same != cookies_.end()) {
        cookie.order = same->order;
        cookies_.erase(same);
    }
    if (cookie.expires && *cookie.expires <= Seconds(now)) {
        return; // an expired cookie only deletes the stored one
    }
    cookies_.push_back(std::move(cookie));
}

std::string CookieJar::CookieHeader(std::string_view host, std::string_view path,
                                    Clock::time_point now) const {
    const std::string lowerHost = LowerAscii(host);
    std::vector<const Cookie*> matches;
    for (const auto& c : cookies_) {
        if (c.secure || (c.expires && *c.expires <= Seconds(now))) {
            continue;
        }
        const bool hostOk = c.hostOnly ? lowerHost == c.domain : DomainMatches(lowerHost, c.domain);
        if (hostOk && PathMatches(path, c.path)) {
            matches.push_back(&c);
        }
    }
    std::stable_sort(matches.begin(), matches.end(), [](const Cookie* a, const Cookie* b) {
        return a->path.size() != b->path.size() ? a->path.size() > b->path.size()
                                                : a->order < b->order;
    });
    std::string header;
    for (const Cookie* c : matches) {
        if (!header.empty()) {
            header += "; ";
        }
        header += c->name + "=" + c->value;
    }
    return header;
}

std::optional<CookieTime> ParseCookieDate(std::string_view text) {
    auto isDelimiter = [](unsigned char c) {
        return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
               (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
    };
    auto leadingDigits = [](std::string_view token) {
        std::size_t n = 0;
        while (n < token.size() && IsDigit(token[n])) {
            ++n;
        }
        return n;
    };
    auto number = [](std::string_view digits) {
        int v = 0;
        for (char c : digits) {
            v = v * 10 + (c - '0');
        }
        return v;
    };
    static constexpr std::array<std::string_view, 12> months = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};

    std::optional<int> hour, minute, second, day, month, year;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isDelimiter(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && !isDelimiter(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        const std::string_view token = text.substr(start, i - start);
        if (token.empty()) {
            continue;
        }
        if (!hour) {
            // hh:mm:ss, one or two digits each, anything but a digit may follow
            const auto h = leadingDigits(token);
            if (h >= 1 && h <= 2 && h < token.size() && token[h] == ':') {
                const auto rest1 = token.substr(h + 1);
                const auto m = leadingDigits(rest1);
                if (m >= 1 && m <= 2 && m < rest1.size() && rest1[m] == ':') {
                    const auto rest2 = rest1.substr(m + 1);
                    const auto s = leadingDigits(rest2);
                    if (s >= 1 && s <= 2) {
                        hour = number(token.substr(0, h));
                        minute = number(rest1.substr(0, m));
                        second = number(rest2.substr(0, s));
                        continue;
                    }
                }
            }
        }
        const auto digits = leadingDigits(token);
        if (!day && digits >= 1 && digits <= 2) {
            day = number(token.substr(0, digits));
            continue;
        }
        if (!month && token.size() >= 3) {
            const std::string prefix = LowerAscii(token.substr(0, 3));
            const auto found = std::find(months.begin(), months.end(), prefix);
            if (found != months.end()) {
                month = static_cast<int>(found - months.begin()) + 1;
                continue;
            }
        }
        if (!year && digits >= 2 && digits <= 4) {
            year = number(token.substr(0, digits));
            continue;
        }
    }
    if (!hour || !day || !month || !year) {
        return std::nullopt;
    }
    int y = *year;
    if (y >= 70 && y <= 99) {
        y += 1900;
    } else if (y >= 0 && y <= 69) {
        y += 2000;
    }
    if (y < 1601 || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(y),
                                           std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    return std::chrono::sys_days(date) + std::chrono::hours(*hour) + std::chrono::minutes(*minute) +
           std::chrono::seconds(*second);
}

} // namespace larkspan::online

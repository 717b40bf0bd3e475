#pragma once

// The cookies a client keeps between its requests, and the cookie date format.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan::online {

using Clock = std::chrono::system_clock;
// Cookie expiry times are whole seconds in 64 bits: Clock::time_point counts nanoseconds and
// ends in 2262, while servers commonly write dates up to 9999 for "never".
using CookieTime = std::chrono::sys_seconds;

// The cookies one client has been given. A cookie without a Domain attribute goes back only to
// the host that set it; with one, to that domain and its subdomains (if the setting host lies
// in it, else the cookie is refused). A missing Path is the folder of the request path. Expired
// cookies (Max-Age, else Expires) are dropped; Secure cookies are never sent, since the client
// has no TLS.
class CookieJar {
public:
    // `value` is the text of a Set-Cookie header (one cookie) or of a Set-Cookie2 header
    // (cookies separated by commas).
    void Store(std::string_view value, bool setCookie2, std::string_view requestHost,
               std::string_view requestPath, Clock::time_point now);

    // "name=value" pairs for the host and path joined by "; ", longer paths first; "" if none.
    std::string CookieHeader(std::string_view host, std::string_view path,
                             Clock::time_point now) const;

    std::size_t Count() const { return cookies_.size(); }

private:
    struct Cookie {
        std::string name;
        std::string value;
        std::string domain; // lower case
        bool hostOnly = true;
        std::string path;
        bool secure = false;
        std::optional<CookieTime> expires;
        std::uint64_t order = 0;
    };
    void StoreOne(std::string_view text, std::string_view requestHost, std::string_view requestPath,
                  Clock::time_point now);

    std::vector<Cookie> cookies_;
    std::uint64_t nextOrder_ = 0;
};

// A cookie date (the loose grammar browsers accept: "Wdy, DD Mon YYYY HH:MM:SS GMT", "DD-Mon-YY",
// and the like), from 1601 to 9999. Nothing when it is not one.
std::optional<CookieTime> ParseCookieDate(std::string_view text);

} // namespace larkspan::online

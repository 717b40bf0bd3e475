#pragma once

// The head of a request: its request line and header lines in their fixed order.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace larkspan::online {

// Request header lines longer than this are folded into continuation lines.
inline constexpr std::size_t kFoldLength = 1024;

// The request header lines in the fixed order in which they are written.
enum class HeadField : std::size_t {
    Connection,
    ContentVersion,
    ContentEncoding,
    ContentLanguage,
    ContentType,
    ContentLength,
    CacheControl,
    Date,
    Expires,
    Pragma,
    ProxyConnection,
    Host,
    Accept,
    AcceptCharset,
    AcceptEncoding,
    AcceptLanguage,
    From,
    Referer,
    UserAgent,
    IfModifiedSince,
    Range,
    Authorization,
    ProxyAuthorization,
    Cookie,
    Count
};
using HeadFields = std::array<std::string, static_cast<std::size_t>(HeadField::Count)>;

inline std::string& Field(HeadFields& fields, HeadField f) {
    return fields[static_cast<std::size_t>(f)];
}

// "<method> <target> HTTP/<version>", then "Name: value" for every field with a value, in the
// fixed order, then an empty line; every line ends in CR LF.
std::string BuildRequestHead(std::string_view method, std::string_view target,
                             std::string_view version, const HeadFields& fields);

// A header line longer than kFoldLength is cut after its last blank, tab or comma within the
// limit, and the rest continues on a line that begins with a blank. Lines are joined by CR LF.
std::string FoldHeaderLine(std::string_view line);

} // namespace larkspan::online

#pragma once

// The HTTP wire format of the client: URL splitting, request heads, reading response heads and
// bodies, and cookies. Everything reads from an online::Connection, so the parsers run on plain
// bytes in tests; nothing here opens a socket.

#include "online/Transport.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace larkspan::online {

// Longest status, header or chunk-size line accepted (bytes before its LF).
inline constexpr std::size_t kMaxLineLength = 16384;
// Largest piece received or sent at once; progress is reported per piece.
inline constexpr std::size_t kPieceSize = 32768;
// Request header lines longer than this are folded into continuation lines.
inline constexpr std::size_t kFoldLength = 1024;

// ASCII letters compared without regard to case, every other byte exactly: how header names,
// header tokens and host names compare.
bool SameTextAscii(std::string_view a, std::string_view b);

// ---- URLs ---------------------------------------------------------------------------------

struct ParsedUrl {
    std::string protocol; // lower case: "http" or "https"
    std::string host;     // as written (may be empty for a malformed URL)
    std::uint16_t port = 80;
    std::string target; // the request target exactly as written, "/" when the URL ends at the host
    std::string path;   // the target up to a "?" (for cookie matching)
};

// Backslashes become slashes and a "#" fragment is dropped; an empty protocol means "http";
// a missing port is 80 for http and 443 for https; "user:password@" before the host is ignored.
// Throws EIdException for any other protocol or a port that is not a number from 1 to 65535.
ParsedUrl SplitUrl(std::string_view url);

// ---- Request heads ------------------------------------------------------------------------

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

// ---- Reading ----------------------------------------------------------------------------------

// Buffered reading from a connection: lines for the head and chunk sizes, raw bytes for bodies.
// Every wait for data uses the current time limit.
class InputBuffer {
public:
    explicit InputBuffer(Connection& connection) : connection_(connection) {}

    Connection& Source() { return connection_; }

    void SetTimeoutMs(int timeoutMs) { timeoutMs_ = timeoutMs; }
    int TimeoutMs() const { return timeoutMs_; }

    // True once a receive has reported that the peer closed the connection.
    bool PeerClosed() const { return peerClosed_; }
    std::size_t Buffered() const { return end_ - begin_; }

    // A line up to LF, with a CR just before the LF dropped. Throws EIdConnClosedGracefully when
    // the peer closes before the LF, EIdMaxLineLengthExceeded when more than maxLength bytes
    // come before it.
    std::string ReadLine(std::size_t maxLength = kMaxLineLength);

    // Like ReadLine, but returns nothing when the peer closes before the line ends.
    std::optional<std::string> ReadLineOrClose(std::size_t maxLength = kMaxLineLength);

    // Appends at most `max` of the bytes already buffered to sink; returns how many.
    std::size_t TakeBuffered(std::string& sink, std::size_t max);

    // Appends exactly n bytes to sink, fewer only when the peer closes first; returns how many.
    std::size_t ReadInto(std::string& sink, std::size_t n);

private:
    bool Fill(); // one receive into the buffer; false when the peer has closed

    Connection& connection_;
    std::vector<char> data_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool peerClosed_ = false;
    int timeoutMs_ = 0;
};

// ---- Responses ----------------------------------------------------------------------------

struct TIdHTTPResponse {
    std::string ResponseText; // the status line as received, without its line break
    int ResponseCode = -1;
    std::vector<std::string> RawHeaders;                      // the lines as received
    std::vector<std::pair<std::string, std::string>> Headers; // name, value (unfolded, trimmed)
    std::int64_t ContentLength = -1;                          // -1 when absent or not a number
    bool HasContentLength = false; // a Content-Length of 0 or more was given
    std::string Location;
    bool HasLocation = false;
    std::string Connection;
    std::string ProxyConnection;
    std::string TransferEncoding;
    bool ClosedInHeaders = false; // the peer closed the connection inside the header block

    // The first value of a header (name compared without regard to case), "" when absent.
    std::string Value(std::string_view name) const;
    bool Has(std::string_view name) const;
};

// The word after the first blank of a status line as a decimal number, -1 when it is none.
int ParseStatusCode(std::string_view statusLine);

// Reads a status line and its header block into `response` (which is reset first). Header
// lines that begin with a blank or a tab continue the previous value, joined by one space.
void ReadResponseHead(InputBuffer& in, TIdHTTPResponse& response);

enum class BodyFraming { ContentLength, Chunked, UntilClose, None };

// Content-Length above 0; else "chunked" in Transfer-Encoding (case-sensitive); else, without a
// usable Content-Length, until the peer closes; else (Content-Length: 0) no body.
BodyFraming ChooseFraming(const TIdHTTPResponse& response);

// Receives the progress of a body: one unit of work per Content-Length body, per chunk, or per
// body read until the connection closes.
class BodyProgress {
public:
    virtual ~BodyProgress() = default;
    virtual void BeginWork(std::int64_t expected) = 0;
    virtual void Work(std::int64_t count) = 0; // bytes of this unit so far
    virtual void EndWork() = 0;
};

// Reads a body into sink (appending). Reports the bytes that came with the head first, then
// each piece of at most kPieceSize bytes; the last short piece of a body read until the
// connection closes is not reported. A Content-Length body cut short by the peer ends there; a
// chunk cut short throws EIdConnClosedGracefully. More than maxBodySize bytes throw
// EIdBodyTooLarge.
void ReadBody(InputBuffer& in, BodyFraming framing, std::int64_t contentLength, std::string& sink,
              BodyProgress& progress, std::uint64_t maxBodySize);

// A chunk-size line: the text before its first blank as a hexadecimal number; anything that is
// not one (an extension after ";", an empty line, a value beyond 31 bits) counts as 0.
std::uint32_t ParseChunkSize(std::string_view line);

// ---- Cookies --------------------------------------------------------------------------------

using Clock = std::chrono::system_clock;

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
        std::optional<Clock::time_point> expires;
        std::uint64_t order = 0;
    };
    void StoreOne(std::string_view text, std::string_view requestHost, std::string_view requestPath,
                  Clock::time_point now);

    std::vector<Cookie> cookies_;
    std::uint64_t nextOrder_ = 0;
};

// A cookie date (the loose grammar browsers accept: "Wdy, DD Mon YYYY HH:MM:SS GMT", "DD-Mon-YY",
// and the like). Nothing when it is not one.
std::optional<Clock::time_point> ParseCookieDate(std::string_view text);

} // namespace larkspan::online

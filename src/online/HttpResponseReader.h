#pragma once

// Reading an answer from a connection: lines, the status line and header block, the body
// framing and the body itself. Everything reads from an online::Connection, so the parsers run
// on plain bytes in tests; nothing here opens a socket.

#include "online/Transport.h"

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

} // namespace larkspan::online

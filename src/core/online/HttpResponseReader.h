#pragma once

// Reading an answer from a connection: lines, the head, the body framing and the body. Everything
// reads from an online::Connection, so the parsers run on plain bytes in tests.

#include "core/online/BodyBuffer.h"
#include "core/online/TransferRate.h"
#include "core/online/Transport.h"

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

// Bounds on all the heads of one answer ("100 Continue" heads included), curl's
// MAX_HTTP_RESP_HEADER_SIZE and _COUNT: they stop a server that sends header lines without end.
// Continuation lines count as lines, so folding cannot get round the bound.
inline constexpr std::size_t kMaxHeadBytes = 300 * 1024;
inline constexpr std::size_t kMaxHeaderLines = 5000;

using SteadyClock = std::chrono::steady_clock;

// Buffered reading from a connection: lines for the head and chunk sizes, raw bytes for bodies.
// Every wait for data uses the current time limit.
class InputBuffer {
public:
    explicit InputBuffer(Connection& connection) : connection_(connection) {}

    Connection& Source() { return connection_; }

    // The longest wait for the next bytes (0 or less: no limit).
    void SetTimeoutMs(int timeoutMs) { timeoutMs_ = timeoutMs; }
    int TimeoutMs() const { return timeoutMs_; }

    // A point in time after which no read waits any more, however steadily bytes trickle in:
    // a read that would have to wait past it throws EIdReadTimeout. Nothing: no deadline.
    void SetDeadline(std::optional<SteadyClock::time_point> deadline) { deadline_ = deadline; }
    std::optional<SteadyClock::time_point> Deadline() const { return deadline_; }

    // Calls `hook` at least every kWaitSliceMs while reads wait, bytes or none (see WaitHook); what
    // it throws ends the read. Time inside it counts against neither the idle limit, the deadline
    // nor the rate floor: the owner may keep a question open there. Empty: waits are whole.
    void SetWaitHook(WaitHook hook);

    // Every receive from now on must keep `floor` (started now); a receive that breaks it
    // throws EIdTransferTooSlow. Nothing: no floor.
    void SetRateFloor(std::optional<RateFloor> floor);

    // Time the owner spent elsewhere while a read was under way (in a progress event), which
    // must not count against the server either.
    void ExcludeTime(SteadyClock::duration spent);

    // Bytes taken out of the buffer so far (lines with their line ends, body bytes).
    std::uint64_t Consumed() const { return consumed_; }

    // True once a receive has reported that the peer closed the connection.
    bool PeerClosed() const { return peerClosed_; }
    std::size_t Buffered() const { return end_ - begin_; }

    // A line up to LF, with a CR just before the LF dropped. Throws EIdConnClosedGracefully when
    // the peer closes before the LF, EIdMaxLineLengthExceeded when more than maxLength bytes
    // come before it.
    std::string ReadLine(std::size_t maxLength = kMaxLineLength);

    // Like ReadLine, but returns nothing when the peer closes before the line ends.
    std::optional<std::string> ReadLineOrClose(std::size_t maxLength = kMaxLineLength);

    // Copies at most `max` of the bytes already buffered to out; returns how many.
    std::size_t TakeBuffered(char* out, std::size_t max);

    // At most `max` bytes into out: those already buffered, else what one receive brings,
    // received straight into out. Returns how many; 0 only when the peer has closed.
    std::size_t ReadSome(char* out, std::size_t max);

    // Appends at most `max` of the bytes already buffered to sink; returns how many.
    std::size_t TakeBuffered(std::string& sink, std::size_t max);

    // Appends exactly n bytes to sink, fewer only when the peer closes first; returns how many.
    std::size_t ReadInto(std::string& sink, std::size_t n);

private:
    bool Fill(); // one receive into the buffer; false when the peer has closed
    // One receive into [buffer, buffer + size) within the time limit and the deadline; 0 when
    // the peer has closed.
    std::size_t Receive(char* buffer, std::size_t size);
    // Calls the wait hook; the time it took moves `waitStart` (and the deadline and the floor).
    void CallWaitHook(SteadyClock::time_point& waitStart);

    Connection& connection_;
    std::vector<char> data_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool peerClosed_ = false;
    int timeoutMs_ = 0;
    std::optional<SteadyClock::time_point> deadline_;
    std::uint64_t consumed_ = 0;
    std::uint64_t received_ = 0;
    WaitHook waitHook_;
    SteadyClock::time_point nextWaitHook_;
    std::optional<RateFloor> rateFloor_;
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
    std::string TransferEncoding; // the first Transfer-Encoding value
    bool Chunked = false;         // the transfer coding is chunked (and only that)
    // Why the body cannot be told apart for sure (Content-Length values that are no number or
    // disagree, a length beside a transfer coding, a coding other than chunked); "" when it can.
    std::string FramingProblem;
    bool ClosedInHeaders = false; // the peer closed the connection inside the header block

    // The first value of a header (name compared without regard to case), "" when absent.
    std::string Value(std::string_view name) const;
    bool Has(std::string_view name) const;
};

// The word after the first blank of a status line as a decimal number, -1 when it is none.
int ParseStatusCode(std::string_view statusLine);

// What the heads of one answer may still take; each head read takes its share.
struct HeadBudget {
    std::size_t bytes = kMaxHeadBytes;
    std::size_t headerLines = kMaxHeaderLines;
    // The whole head must have arrived by then (see InputBuffer::SetDeadline); nothing: no limit.
    std::optional<SteadyClock::time_point> deadline;
};

// Reads a status line and its header block into `response` (which is reset first). Header
// lines that begin with a blank or a tab continue the previous value, joined by one space.
// Throws EIdResponseHeadRejected when the head needs more than the budget allows.
void ReadResponseHead(InputBuffer& in, TIdHTTPResponse& response, HeadBudget& budget);
// The same with a budget of its own for this one head.
void ReadResponseHead(InputBuffer& in, TIdHTTPResponse& response);

enum class BodyFraming { ContentLength, Chunked, UntilClose, None };

// Chunked when that is the transfer coding; else Content-Length above 0; else, without any
// Content-Length, until the peer closes; else (Content-Length: 0) no body. A response whose
// FramingProblem is set throws EIdBodyFramingError with it.
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

// Appends a body to sink, reporting the bytes that came with the head, then each piece of at most
// kPieceSize (not the last short piece of a body read until close). The body is whole or the read
// throws: EIdConnClosedGracefully when it is cut short (a chunked body before its last chunk and
// trailers too), EIdBodyFramingError for a bad chunk-size line or chunk end, EIdBodyTooLarge past
// maxBodySize. Memory is taken only as bytes arrive, whatever length a server announces; bytes
// read before a failure stay in the sink. Chunk extensions and trailer fields are ignored.
void ReadBody(InputBuffer& in, BodyFraming framing, std::int64_t contentLength, std::string& sink,
              BodyProgress& progress, std::uint64_t maxBodySize);
// The same into a BodyBuffer, where a large body is received in place and never copied.
void ReadBody(InputBuffer& in, BodyFraming framing, std::int64_t contentLength, BodyBuffer& sink,
              BodyProgress& progress, std::uint64_t maxBodySize);

// A chunk-size line: hexadecimal digits, then nothing, or an extension after ";" or a blank
// (ignored). Nothing when it is not such a line (no digits, another character after them, a
// size beyond 64 bits).
std::optional<std::uint64_t> ParseChunkSize(std::string_view line);

} // namespace larkspan::online

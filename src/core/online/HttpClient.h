#pragma once

// TIdHTTP: the HTTP client of every exchange with the vendor web server. Plain "http://" only,
// no proxy, no redirects followed. Both operations block the calling thread; the progress
// events run on that thread from inside the operation. One thread uses a client at a time.

#include "core/online/BodyBuffer.h"
#include "core/online/HttpCookies.h"
#include "core/online/HttpErrors.h"
#include "core/online/HttpResponseReader.h"
#include "core/online/HttpUrl.h"
#include "core/online/Transport.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace larkspan::online {

enum TWorkMode { wmRead = 0, wmWrite = 1 };

// expected: the announced size of the unit (Content-Length, chunk size or form body), 0 if none.
using TWorkBeginEvent = std::function<void(TWorkMode mode, std::int64_t expected)>;
// count: bytes of the current unit so far.
using TWorkEvent = std::function<void(TWorkMode mode, std::int64_t count)>;
// While the client waits for the server (see WaitHook).
using TWaitingEvent = std::function<void()>;

enum class TIdHTTPProtocolVersion { pv1_0, pv1_1 };

// The user agent of the form posts to the vendor server.
inline constexpr char kFormPostUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";

// Request header values of the client (empty: the line is not sent).
struct TIdHTTPRequest {
    std::string Accept = "text/html, */*";
    std::string AcceptCharset;
    std::string AcceptEncoding;
    std::string AcceptLanguage;
    std::string ContentType = "text/html";
    std::string From;
    std::string Referer;
    std::string UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
};

class TIdHTTP {
public:
    // Time limits. The connect and idle-read limits fail like a socket error ("Socket Error #"
    // with the system's "timed out" number); the error-body limit fails with "Read Timeout";
    // the head limit with EIdResponseHeadRejected.
    static constexpr int kDefaultConnectTimeoutMs = 15000;
    static constexpr int kDefaultReadTimeoutMs = 60000; // longest wait for the next byte
    // Longest time from the request to the end of the answer's head (interim heads included),
    // however steadily its bytes trickle in: as long as the idle limit, so a trickling server is
    // cut off no later than a silent one.
    static constexpr int kDefaultHeadTimeoutMs = kDefaultReadTimeoutMs;
    static constexpr int kErrorBodyTimeoutMs = 2000;
    // At least kDefaultMinimumRate bytes a second over every kDefaultRateWindowMs of an answer,
    // else EIdTransferTooSlow: far below any real link, it stops a server that sends a byte every
    // few seconds, each wait within the idle limit.
    static constexpr std::uint64_t kDefaultMinimumRate = 1024;
    static constexpr int kDefaultRateWindowMs = 60000;
    // Largest download held in memory: installers are a few MiB, so it only stops a runaway server.
    static constexpr std::uint64_t kDefaultMaxBodySize = 512ULL * 1024 * 1024;
    // Largest body kept as text (PostForm's answer, an error answer's body). A post beyond it fails
    // with EIdBodyTooLarge; an error body keeps what it had (nothing when the announced length is
    // beyond it) and the request fails with its status as usual.
    static constexpr std::uint64_t kMaxTextBodySize = 64 * 1024;

    // `connector` opens the TCP connections (platform::ConnectTcp in the program).
    explicit TIdHTTP(Connector connector);
    ~TIdHTTP();
    TIdHTTP(const TIdHTTP&) = delete;
    TIdHTTP& operator=(const TIdHTTP&) = delete;

    // Posts "name=value" lines as an HTML form (as HTTP/1.0, on a new connection) and returns
    // the answer's body byte for byte (at most kMaxTextBodySize, and MaxBodySize). The values in
    // `lines` are percent-encoded in place. Any failure throws an EIdException.
    std::string PostForm(const std::string& url, std::vector<std::string>& lines);

    // GETs `url` (as HTTP/1.1) and appends the body to `stream`, reporting progress through
    // OnWorkBegin and OnWork. Any failure throws an EIdException; the bytes received so far
    // stay in `stream`.
    void DownloadToStream(const std::string& url, BodyBuffer& stream);

    // Makes the running operation throw EIdTransferAborted once the current event returns or the
    // current piece has arrived. Safe from the events and from another thread; each new operation
    // clears the request.
    void RequestAbort() { abortRequested_ = true; }

    bool Connected() const { return connection_ != nullptr; }
    void Disconnect();

    // The last answer's status line, code and headers.
    const TIdHTTPResponse& Response() const { return response_; }
    const CookieJar& Cookies() const { return cookies_; }

    void SetConnectTimeoutMs(int ms) { connectTimeoutMs_ = ms; } // 0 or less: no limit
    int ConnectTimeoutMs() const { return connectTimeoutMs_; }
    void SetReadTimeoutMs(int ms) { readTimeoutMs_ = ms; } // 0 or less: no limit
    int ReadTimeoutMs() const { return readTimeoutMs_; }
    void SetHeadTimeoutMs(int ms) { headTimeoutMs_ = ms; } // 0 or less: no limit
    int HeadTimeoutMs() const { return headTimeoutMs_; }
    void SetErrorBodyTimeoutMs(int ms) { errorBodyTimeoutMs_ = ms; }
    int ErrorBodyTimeoutMs() const { return errorBodyTimeoutMs_; }
    void SetMaxBodySize(std::uint64_t bytes);
    std::uint64_t MaxBodySize() const { return maxBodySize_; }
    // At least bytesPerSecond on average over every windowMs of an answer (0: no floor).
    void SetMinimumRate(std::uint64_t bytesPerSecond, int windowMs) {
        minimumRate_ = bytesPerSecond;
        rateWindowMs_ = windowMs;
    }

    TIdHTTPRequest Request;
    // GET uses this version; PostForm always posts as HTTP/1.0 and leaves it at HTTP/1.1.
    TIdHTTPProtocolVersion ProtocolVersion = TIdHTTPProtocolVersion::pv1_1;
    bool AllowCookies = true;
    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    // Called at least every kWaitSliceMs while an operation waits for the server, bytes or none,
    // so that a thread it blocks can take its events. Time in it, as in the progress events, does
    // not count against the server's limits.
    TWaitingEvent OnWaiting;

private:
    class ReadProgress;

    template <class Sink>
    void DoRequest(const char* method, const std::string& url, const std::string* body, Sink& sink,
                   std::uint64_t maxBodySize);
    // The pieces of a request, in their order.
    static ParsedUrl RequestTarget(const std::string& url);
    WaitHook WaitingHook();
    void ConnectTo(const ParsedUrl& target, const WaitHook& wait);
    void SendRequest(const char* method, const ParsedUrl& target, const std::string* body);
    void ReadFinalHead(const ParsedUrl& target);
    void ThrowIfNotSuccess(BodyProgress& progress);
    void Connect(const std::string& host, std::uint16_t port, const WaitHook& wait);
    // Runs an owner's event, keeping the time it takes off the server's account.
    template <class Event> void RunEvent(Event&& event);
    void SendBody(const std::string& body);
    bool ServerAllowsKeepAlive(bool http10) const;

    void BeginWork(TWorkMode mode, std::int64_t expected);
    void DoWork(TWorkMode mode, std::int64_t count);
    void EndWork(TWorkMode mode);
    void CheckAbort() const;

    Connector connector_;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<InputBuffer> input_;
    std::string connectedHost_;
    std::uint16_t connectedPort_ = 0;

    TIdHTTPResponse response_;
    CookieJar cookies_;
    std::atomic<bool> abortRequested_{false};

    struct WorkState {
        int level = 0;
        std::int64_t expected = 0;
    };
    std::array<WorkState, 2> work_{};

    int connectTimeoutMs_ = kDefaultConnectTimeoutMs;
    int readTimeoutMs_ = kDefaultReadTimeoutMs;
    int headTimeoutMs_ = kDefaultHeadTimeoutMs;
    int errorBodyTimeoutMs_ = kErrorBodyTimeoutMs;
    std::uint64_t maxBodySize_ = kDefaultMaxBodySize;
    std::uint64_t minimumRate_ = kDefaultMinimumRate;
    int rateWindowMs_ = kDefaultRateWindowMs;
};

} // namespace larkspan::online

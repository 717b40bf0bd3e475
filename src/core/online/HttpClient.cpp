#include "core/online/HttpClient.h"

#include "core/online/FormEncoding.h"
#include "core/online/HttpRequestHead.h"
#include "core/online/HttpText.h"
#include "core/online/HttpUrl.h"
#include "core/text/TextRules.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace larkspan::online {

namespace {

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
}

// Interim answers come before the final one and are skipped: "100 Continue", "103 Early Hints"
// and any other 1xx, except "101 Switching Protocols", after which the connection no longer
// speaks HTTP (the client never asks for that, so it is an answer like any failure).
bool IsInterim(int code) {
    return code >= 100 && code <= 199 && code != 101;
}

// The stricter of two limits, where 0 or less means none.
int ShorterLimit(int a, int b) {
    if (a <= 0) {
        return b;
    }
    if (b <= 0) {
        return a;
    }
    return std::min(a, b);
}

} // namespace

// Routes the body reader's progress to the client's read-mode events.
class TIdHTTP::ReadProgress : public BodyProgress {
public:
    explicit ReadProgress(TIdHTTP& http) : http_(http) {}
    void BeginWork(std::int64_t expected) override { http_.BeginWork(wmRead, expected); }
    void Work(std::int64_t count) override { http_.DoWork(wmRead, count); }
    void EndWork() override { http_.EndWork(wmRead); }

private:
    TIdHTTP& http_;
};

TIdHTTP::TIdHTTP(Connector connector) : connector_(std::move(connector)) {}

TIdHTTP::~TIdHTTP() {
    Disconnect();
}

void TIdHTTP::SetMaxBodySize(std::uint64_t bytes) {
    // One byte more than the limit must stay representable while a body is measured.
    maxBodySize_ = std::min<std::uint64_t>(bytes, UINT64_MAX / 2);
}

void TIdHTTP::Disconnect() {
    input_.reset();
    if (connection_) {
        connection_->Close();
        connection_.reset();
    }
}

void TIdHTTP::Connect(const std::string& host, std::uint16_t port, const WaitHook& wait) {
    connection_ = connector_(host, port, connectTimeoutMs_, wait);
    if (!connection_) {
        throw EIdException("No connection to " + host);
    }
    input_ = std::make_unique<InputBuffer>(*connection_);
    connectedHost_ = host;
    connectedPort_ = port;
}

ParsedUrl TIdHTTP::RequestTarget(const std::string& url) {
    ParsedUrl target = SplitUrl(url);
    if (target.protocol == "https") {
        throw EIdException("IOHandler value is not valid"); // there is no TLS layer
    }
    // A URL without a host would make the resolver pick the local machine; refuse it instead.
    if (target.host.empty()) {
        throw EIdException("No host name in the URL \"" + url + "\"");
    }
    // The target goes out as written, but a line break in it (an installer URL is decoded from
    // the server's answer, so %0D%0A becomes one) would let the URL write header lines.
    if (HasControlCharacter(target.host) || HasControlCharacter(target.target)) {
        throw EIdException("Control characters in the URL");
    }
    return target;
}

WaitHook TIdHTTP::WaitingHook() {
    // The owner's waiting event, and a Cancel taken in it, also reach the waits inside a receive
    // (which keep the event's time off the server's account themselves).
    if (!OnWaiting) {
        return {};
    }
    return [this] {
        OnWaiting();
        CheckAbort();
    };
}

void TIdHTTP::ConnectTo(const ParsedUrl& target, const WaitHook& wait) {
    if (connection_ &&
        (!SameTextAscii(connectedHost_, target.host) || connectedPort_ != target.port)) {
        Disconnect();
    }
    if (!connection_) {
        Connect(target.host, target.port, wait);
    }
    input_->SetWaitHook(wait);
}

void TIdHTTP::SendRequest(const char* method, const ParsedUrl& target, const std::string* body) {
    const bool http10 = ProtocolVersion == TIdHTTPProtocolVersion::pv1_0;
    HeadFields fields;
    if (http10) {
        Field(fields, HeadField::Connection) = "keep-alive";
    }
    Field(fields, HeadField::ContentType) = Request.ContentType;
    if (body != nullptr) {
        Field(fields, HeadField::ContentLength) = std::to_string(body->size());
    }
    Field(fields, HeadField::Host) =
        target.port == 80 ? target.host : target.host + ":" + std::to_string(target.port);
    Field(fields, HeadField::Accept) = Request.Accept;
    Field(fields, HeadField::AcceptCharset) = Request.AcceptCharset;
    Field(fields, HeadField::AcceptEncoding) = Request.AcceptEncoding;
    Field(fields, HeadField::AcceptLanguage) = Request.AcceptLanguage;
    Field(fields, HeadField::From) = Request.From;
    Field(fields, HeadField::Referer) = Request.Referer;
    Field(fields, HeadField::UserAgent) = Request.UserAgent;
    if (AllowCookies) {
        Field(fields, HeadField::Cookie) =
            cookies_.CookieHeader(target.host, target.path, Clock::now());
    }
    const std::string head =
        BuildRequestHead(method, target.target, http10 ? "1.0" : "1.1", fields);
    connection_->SendAll(head.data(), head.size(), readTimeoutMs_);
    if (body != nullptr) {
        SendBody(*body);
    }
}

void TIdHTTP::ReadFinalHead(const ParsedUrl& target) {
    input_->SetTimeoutMs(readTimeoutMs_);
    std::optional<RateFloor> floor;
    if (minimumRate_ > 0 && rateWindowMs_ > 0) {
        floor.emplace(minimumRate_ * static_cast<std::uint64_t>(rateWindowMs_) / 1000,
                      std::chrono::milliseconds(rateWindowMs_));
    }
    input_->SetRateFloor(std::move(floor));
    HeadBudget budget;
    if (headTimeoutMs_ > 0) {
        budget.deadline = SteadyClock::now() + std::chrono::milliseconds(headTimeoutMs_);
    }
    do {
        ReadResponseHead(*input_, response_, budget);
        if (AllowCookies) {
            for (const auto& [name, value] : response_.Headers) {
                const bool cookie2 = SameTextAscii(name, "Set-Cookie2");
                if (cookie2 || SameTextAscii(name, "Set-Cookie")) {
                    cookies_.Store(value, cookie2, target.host, target.path, Clock::now());
                }
            }
        }
    } while (IsInterim(response_.ResponseCode));
}

void TIdHTTP::ThrowIfNotSuccess(BodyProgress& progress) {
    const int code = response_.ResponseCode;
    const bool redirect = (code >= 300 && code <= 399 && code != 304) || response_.HasLocation;
    if (!redirect && code >= 200 && code <= 299) {
        return;
    }
    // Redirects are never followed. The error body is still read, briefly, so that the exception
    // can carry it; an answer that cannot carry one, or whose body cannot be told apart, fails
    // without it.
    std::string errorBody;
    input_->SetTimeoutMs(ShorterLimit(readTimeoutMs_, errorBodyTimeoutMs_));
    try {
        const bool bodiless = (code >= 100 && code <= 199) || code == 204 || code == 304;
        ReadBody(*input_, bodiless ? BodyFraming::None : ChooseFraming(response_),
                 response_.ContentLength, errorBody, progress, kMaxTextBodySize);
    } catch (const EIdSocketTimeout&) {
        throw EIdReadTimeout();
    } catch (const EIdBodyTooLarge&) {
        // The status is what counts; the error keeps the start of its body.
        errorBody.resize(std::min<std::size_t>(errorBody.size(), kMaxTextBodySize));
    } catch (const EIdConnClosedGracefully&) {
        // The same for a body cut short, or one whose end cannot be found.
    } catch (const EIdBodyFramingError&) {
    }
    throw EIdHTTPProtocolException(code, response_.ResponseText, std::move(errorBody));
}

template <class Sink>
void TIdHTTP::DoRequest(const char* method, const std::string& url, const std::string* body,
                        Sink& sink, std::uint64_t maxBodySize) {
    abortRequested_ = false;
    const ParsedUrl target = RequestTarget(url);
    try {
        ConnectTo(target, WaitingHook());
        SendRequest(method, target, body);
        ReadFinalHead(target);
        ReadProgress progress(*this);
        ThrowIfNotSuccess(progress);
        if (response_.ClosedInHeaders) {
            throw EIdException("Undefined situation");
        }
        const BodyFraming framing =
            response_.ResponseCode == 204 ? BodyFraming::None : ChooseFraming(response_);
        ReadBody(*input_, framing, response_.ContentLength, sink, progress, maxBodySize);
        const bool http10 = ProtocolVersion == TIdHTTPProtocolVersion::pv1_0;
        if (framing == BodyFraming::UntilClose || input_->PeerClosed() ||
            !ServerAllowsKeepAlive(http10)) {
            Disconnect();
        }
    } catch (...) {
        Disconnect();
        throw;
    }
}

std::string TIdHTTP::PostForm(const std::string& url, std::vector<std::string>& lines) {
    if (Request.ContentType.empty() || SameTextAscii(Request.ContentType, "text/html")) {
        Request.ContentType = "application/x-www-form-urlencoded";
    }
    EncodeFormLines(lines);
    const std::string body = JoinFormLines(lines);

    // Every post opens a new connection and is sent as HTTP/1.0. The version goes back to
    // HTTP/1.1 afterwards on every path, so a failed post does not change later requests.
    Disconnect();
    struct VersionReset {
        TIdHTTPProtocolVersion& version;
        ~VersionReset() { version = TIdHTTPProtocolVersion::pv1_1; }
    } reset{ProtocolVersion};
    ProtocolVersion = TIdHTTPProtocolVersion::pv1_0;

    std::string answer;
    DoRequest("POST", url, &body, answer, std::min(maxBodySize_, kMaxTextBodySize));
    return answer;
}

void TIdHTTP::DownloadToStream(const std::string& url, BodyBuffer& stream) {
    DoRequest("GET", url, nullptr, stream, maxBodySize_);
}

void TIdHTTP::SendBody(const std::string& body) {
    BeginWork(wmWrite, static_cast<std::int64_t>(body.size()));
    struct End {
        TIdHTTP& http;
        ~End() { http.EndWork(wmWrite); }
    } end{*this};
    for (std::size_t sent = 0; sent < body.size();) {
        const std::size_t piece = std::min(kPieceSize, body.size() - sent);
        connection_->SendAll(body.data() + sent, piece, readTimeoutMs_);
        sent += piece;
        DoWork(wmWrite, static_cast<std::int64_t>(sent));
    }
}

bool TIdHTTP::ServerAllowsKeepAlive(bool http10) const {
    const std::string connection = Trim(response_.Connection);
    const std::string proxyConnection = Trim(response_.ProxyConnection);
    if (http10) {
        return SameTextAscii(connection, "keep-alive") ||
               SameTextAscii(proxyConnection, "keep-alive");
    }
    return !SameTextAscii(connection, "close") && !SameTextAscii(proxyConnection, "close");
}

template <class Event> void TIdHTTP::RunEvent(Event&& event) {
    const auto before = SteadyClock::now();
    event();
    if (input_) {
        input_->ExcludeTime(SteadyClock::now() - before);
    }
}

// Events fire only for the outermost unit of a mode.
void TIdHTTP::BeginWork(TWorkMode mode, std::int64_t expected) {
    auto& state = work_[mode];
    try {
        if (++state.level == 1) {
            state.expected = expected;
            if (OnWorkBegin) {
                RunEvent([&] { OnWorkBegin(mode, expected); });
            }
        }
        CheckAbort();
    } catch (...) {
        // The unit never started, so nobody will end it.
        --state.level;
        throw;
    }
}

void TIdHTTP::DoWork(TWorkMode mode, std::int64_t count) {
    if (work_[mode].level == 1 && OnWork) {
        RunEvent([&] { OnWork(mode, count); });
    }
    CheckAbort();
}

void TIdHTTP::EndWork(TWorkMode mode) {
    if (work_[mode].level > 0) {
        --work_[mode].level;
    }
}

void TIdHTTP::CheckAbort() const {
    if (abortRequested_) {
        throw EIdTransferAborted();
    }
}

} // namespace larkspan::online

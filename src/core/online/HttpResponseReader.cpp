#include "core/online/HttpResponseReader.h"

#include "core/online/HttpText.h"
#include "core/text/TextRules.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace larkspan::online {

namespace {

// Body bytes go into a sink in two steps: a receive fills room at its end, then commits what it
// brought; room never committed (a failed receive) is cut off when the sink ends. Downloads use
// BodyBuffer; this sink grows a std::string for the small answers kept as text.
class StringSink {
public:
    explicit StringSink(std::string& text) : text_(text), committed_(text.size()) {}
    ~StringSink() { text_.resize(committed_); }
    StringSink(const StringSink&) = delete;
    StringSink& operator=(const StringSink&) = delete;

    std::span<char> Room(std::size_t want) {
        text_.resize(committed_ + want);
        return {text_.data() + committed_, want};
    }
    void Commit(std::size_t n) { committed_ += n; }

private:
    std::string& text_;
    std::size_t committed_;
};

// Moves at most `max` of the bytes already buffered into the sink; returns how many.
template <class Sink> std::size_t TakeBufferedInto(InputBuffer& in, Sink& sink, std::size_t max) {
    std::size_t taken = 0;
    while (taken < max && in.Buffered() > 0) {
        const std::span<char> room = sink.Room(std::min(max - taken, in.Buffered()));
        const std::size_t n = in.TakeBuffered(room.data(), room.size());
        sink.Commit(n);
        taken += n;
    }
    return taken;
}

// Moves exactly `want` bytes into the sink, fewer only when the peer closes first; returns how
// many. Each piece is committed as soon as it has arrived, so a failure keeps what came before.
template <class Sink> std::size_t ReadIntoSink(InputBuffer& in, Sink& sink, std::size_t want) {
    std::size_t got = 0;
    while (got < want) {
        const std::span<char> room = sink.Room(want - got);
        const std::size_t n = in.ReadSome(room.data(), room.size());
        if (n == 0) {
            break;
        }
        sink.Commit(n);
        got += n;
    }
    return got;
}

// Downloads go into a BodyBuffer; each block it starts is announced to the connection, which may
// prepare the memory for being filled at once.
class BlockSink {
public:
    BlockSink(BodyBuffer& body, Connection& connection) : body_(body), connection_(connection) {}

    std::span<char> Room(std::size_t want) {
        const std::span<char> room = body_.Room(want);
        if (const std::span<char> fresh = body_.FreshBlock(); !fresh.empty()) {
            connection_.PrepareReceiveBuffer(fresh.data(), fresh.size());
        }
        return room;
    }
    void Commit(std::size_t n) { body_.Commit(n); }

private:
    BodyBuffer& body_;
    Connection& connection_;
};

} // namespace

bool InputBuffer::Fill() {
    if (peerClosed_) {
        return false;
    }
    if (data_.empty()) {
        data_.resize(kPieceSize);
    }
    if (begin_ == end_) {
        begin_ = end_ = 0;
    } else if (end_ == data_.size()) {
        if (begin_ > 0) {
            std::memmove(data_.data(), data_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        } else {
            data_.resize(data_.size() * 2);
        }
    }
    const std::size_t n = Receive(data_.data() + end_, data_.size() - end_);
    if (n == 0) {
        return false;
    }
    end_ += n;
    return true;
}

void InputBuffer::SetWaitHook(WaitHook hook) {
    waitHook_ = std::move(hook);
    nextWaitHook_ = SteadyClock::now() + std::chrono::milliseconds(kWaitSliceMs);
}

void InputBuffer::SetRateFloor(std::optional<RateFloor> floor) {
    rateFloor_ = std::move(floor);
    if (rateFloor_) {
        rateFloor_->Start(SteadyClock::now(), received_);
    }
}

void InputBuffer::ExcludeTime(SteadyClock::duration spent) {
    if (deadline_) {
        *deadline_ += spent;
    }
    if (rateFloor_) {
        rateFloor_->Exclude(spent);
    }
}

void InputBuffer::CallWaitHook(SteadyClock::time_point& waitStart) {
    const auto before = SteadyClock::now();
    waitHook_();
    const auto after = SteadyClock::now();
    waitStart += after - before;
    ExcludeTime(after - before);
    nextWaitHook_ = after + std::chrono::milliseconds(kWaitSliceMs);
}

std::size_t InputBuffer::Receive(char* buffer, std::size_t size) {
    // One wait is cut short by whichever comes first: the idle limit, the deadline, or the next
    // call of the wait hook; only the last one waits again.
    enum class Bound { None, Idle, Deadline, Hook };
    SteadyClock::time_point waitStart = SteadyClock::now();
    for (;;) {
        const auto now = SteadyClock::now();
        Bound bound = Bound::None;
        std::int64_t wait = 0;
        const auto consider = [&](std::int64_t ms, Bound which) {
            if (bound == Bound::None || ms < wait) {
                wait = ms;
                bound = which;
            }
        };
        using std::chrono::ceil;
        using std::chrono::milliseconds;
        if (timeoutMs_ > 0) {
            consider(timeoutMs_ - ceil<milliseconds>(now - waitStart).count(), Bound::Idle);
        }
        if (deadline_) {
            consider(ceil<milliseconds>(*deadline_ - now).count(), Bound::Deadline);
        }
        if (waitHook_) {
            consider(ceil<milliseconds>(nextWaitHook_ - now).count(), Bound::Hook);
        }
        if (wait <= 0 && bound == Bound::Deadline) {
            throw EIdReadTimeout();
        }
        if (wait <= 0 && bound == Bound::Hook) {
            CallWaitHook(waitStart);
            continue;
        }
        // A limit that has just run out still asks the connection, which reports it in its own
        // words; 0 would mean no limit at all.
        const int limit = bound == Bound::None
                              ? 0
                              : static_cast<int>(std::clamp<std::int64_t>(wait, 1, INT32_MAX));
        std::size_t n;
        try {
            n = connection_.Receive(buffer, size, limit);
        } catch (const EIdSocketTimeout&) {
            if (bound == Bound::Deadline) {
                throw EIdReadTimeout();
            }
            if (bound != Bound::Hook) {
                throw;
            }
            CallWaitHook(waitStart);
            continue;
        }
        received_ += n;
        if (n == 0) {
            peerClosed_ = true;
        }
        if (waitHook_ || rateFloor_) {
            const auto after = SteadyClock::now();
            if (rateFloor_ && n > 0 && !rateFloor_->Holds(after, received_)) {
                throw EIdTransferTooSlow("Transfer slower than the lowest rate accepted");
            }
            if (waitHook_ && after >= nextWaitHook_) {
                CallWaitHook(waitStart);
            }
        }
        return n;
    }
}

std::optional<std::string> InputBuffer::ReadLineOrClose(std::size_t maxLength) {
    std::size_t scanned = 0;
    for (;;) {
        const char* start = data_.data() + begin_;
        const char* lf = nullptr;
        if (Buffered() > scanned) {
            lf = static_cast<const char*>(std::memchr(start + scanned, '\n', Buffered() - scanned));
        }
        if (lf != nullptr) {
            const auto length = static_cast<std::size_t>(lf - start);
            if (length > maxLength) {
                throw EIdMaxLineLengthExceeded();
            }
            std::string line(start, length);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            begin_ += length + 1;
            consumed_ += length + 1;
            return line;
        }
        scanned = Buffered();
        if (scanned > maxLength) {
            throw EIdMaxLineLengthExceeded();
        }
        if (!Fill()) {
            return std::nullopt;
        }
    }
}

std::string InputBuffer::ReadLine(std::size_t maxLength) {
    auto line = ReadLineOrClose(maxLength);
    if (!line) {
        throw EIdConnClosedGracefully();
    }
    return std::move(*line);
}

std::size_t InputBuffer::TakeBuffered(char* out, std::size_t max) {
    const std::size_t n = std::min(Buffered(), max);
    if (n > 0) {
        std::memcpy(out, data_.data() + begin_, n);
        begin_ += n;
        consumed_ += n;
    }
    return n;
}

std::size_t InputBuffer::ReadSome(char* out, std::size_t max) {
    if (max == 0) {
        return 0;
    }
    if (Buffered() > 0) {
        return TakeBuffered(out, max);
    }
    if (peerClosed_) {
        return 0;
    }
    // Straight into the caller's memory: a large body is copied only once, by the system.
    const std::size_t n = Receive(out, max);
    consumed_ += n;
    return n;
}

std::size_t InputBuffer::TakeBuffered(std::string& sink, std::size_t max) {
    StringSink text(sink);
    return TakeBufferedInto(*this, text, max);
}

std::size_t InputBuffer::ReadInto(std::string& sink, std::size_t n) {
    StringSink text(sink);
    return ReadIntoSink(*this, text, n);
}

// ---- Responses ----------------------------------------------------------------------------

std::string TIdHTTPResponse::Value(std::string_view name) const {
    for (const auto& [n, v] : Headers) {
        if (SameTextAscii(n, name)) {
            return v;
        }
    }
    return {};
}

bool TIdHTTPResponse::Has(std::string_view name) const {
    return std::any_of(Headers.begin(), Headers.end(),
                       [&](const auto& h) { return SameTextAscii(h.first, name); });
}

int ParseStatusCode(std::string_view statusLine) {
    const auto blank = statusLine.find(' ');
    if (blank == std::string_view::npos) {
        return -1;
    }
    std::string_view rest = statusLine.substr(blank + 1);
    while (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    const auto word = rest.substr(0, rest.find(' '));
    const auto code = ParseDecimal(word, 999999999);
    return code ? static_cast<int>(*code) : -1;
}

namespace {

// Reads the headers that delimit the body. Every Content-Length value (a field may hold a
// comma-separated list) must be the same decimal number; a transfer coding must be chunked
// alone, and then no length may be given beside it (a message that carries both is how
// responses are smuggled past one reader of two). Anything else makes the body's end a guess.
void ReadFraming(TIdHTTPResponse& response) {
    std::optional<std::uint64_t> length;
    bool lengthGiven = false;
    bool codingGiven = false;
    std::vector<std::string> codings;
    for (const auto& [name, value] : response.Headers) {
        const bool isLength = SameTextAscii(name, "Content-Length");
        if (!isLength && !SameTextAscii(name, "Transfer-Encoding")) {
            continue;
        }
        codingGiven = codingGiven || !isLength;
        std::string_view rest = value;
        for (;;) {
            const auto comma = rest.find(',');
            const std::string element = Trim(rest.substr(0, comma));
            if (isLength) {
                const auto number = ParseDecimal(element, INT64_MAX / 10);
                if (!number) {
                    response.FramingProblem = "Invalid Content-Length \"" + value + "\"";
                    return;
                }
                if (lengthGiven && *number != *length) {
                    response.FramingProblem = "Conflicting Content-Length values";
                    return;
                }
                length = number;
                lengthGiven = true;
            } else if (!element.empty()) {
                codings.push_back(element);
            }
            if (comma == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(comma + 1);
        }
    }
    if (lengthGiven) {
        response.ContentLength = static_cast<std::int64_t>(*length);
        response.HasContentLength = true;
    }
    if (codingGiven) {
        if (codings.size() != 1 || !SameTextAscii(codings[0], "chunked")) {
            response.FramingProblem =
                "Unsupported transfer coding \"" + response.Value("Transfer-Encoding") + "\"";
        } else if (lengthGiven) {
            response.FramingProblem = "Content-Length together with Transfer-Encoding";
        } else {
            response.Chunked = true;
        }
    }
}

// Charges the budget for the bytes the head has taken since `start` and for `lines` more header
// lines; throws once either is spent.
void Charge(HeadBudget& budget, const InputBuffer& in, std::uint64_t& start, std::size_t lines) {
    const std::uint64_t used = in.Consumed() - start;
    start = in.Consumed();
    if (used > budget.bytes) {
        throw EIdResponseHeadRejected("Response head larger than " + std::to_string(kMaxHeadBytes) +
                                      " bytes");
    }
    budget.bytes -= static_cast<std::size_t>(used);
    if (lines > budget.headerLines) {
        throw EIdResponseHeadRejected("Response head with more than " +
                                      std::to_string(kMaxHeaderLines) + " header lines");
    }
    budget.headerLines -= lines;
}

// Keeps a header line as received and adds it to the parsed headers: one that begins with a blank
// or tab continues the previous value (appended in place, so a long run costs linear time); one
// without a colon is only kept as received.
void AddHeaderLine(TIdHTTPResponse& response, std::string line) {
    const std::string_view text = response.RawHeaders.emplace_back(std::move(line));
    if (IsBlank(text.front())) {
        if (!response.Headers.empty()) {
            auto& value = response.Headers.back().second;
            if (!value.empty()) {
                value += ' ';
            }
            value += Trim(text);
        }
        return;
    }
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        return;
    }
    // Names and values lose every leading and trailing byte up to 32.
    response.Headers.emplace_back(Trim(text.substr(0, colon)), Trim(text.substr(colon + 1)));
}

} // namespace

void ReadResponseHead(InputBuffer& in, TIdHTTPResponse& response) {
    HeadBudget budget;
    ReadResponseHead(in, response, budget);
}

void ReadResponseHead(InputBuffer& in, TIdHTTPResponse& response, HeadBudget& budget) {
    // The deadline covers every line of the head, however slowly its bytes come. It moves with
    // the time the owner spent in its events meanwhile, for the heads that follow as well.
    struct DeadlineScope {
        InputBuffer& in;
        HeadBudget& budget;
        ~DeadlineScope() {
            budget.deadline = in.Deadline();
            in.SetDeadline(std::nullopt);
        }
    } scope{in, budget};
    in.SetDeadline(budget.deadline);

    response = TIdHTTPResponse{};
    std::uint64_t start = in.Consumed();
    try {
        response.ResponseText = in.ReadLine();
        Charge(budget, in, start, 0);
        for (;;) {
            auto line = in.ReadLineOrClose();
            if (!line) {
                response.ClosedInHeaders = true;
                break;
            }
            Charge(budget, in, start, line->empty() ? 0 : 1);
            if (line->empty()) {
                break;
            }
            AddHeaderLine(response, std::move(*line));
        }
    } catch (const EIdReadTimeout&) {
        throw EIdResponseHeadRejected("Response head not complete in time");
    }
    response.ResponseCode = ParseStatusCode(response.ResponseText);
    ReadFraming(response);
    response.HasLocation = response.Has("Location");
    response.Location = response.Value("Location");
    response.Connection = response.Value("Connection");
    response.ProxyConnection = response.Value("Proxy-Connection");
    response.TransferEncoding = response.Value("Transfer-Encoding");
}

BodyFraming ChooseFraming(const TIdHTTPResponse& response) {
    if (!response.FramingProblem.empty()) {
        throw EIdBodyFramingError(response.FramingProblem);
    }
    if (response.Chunked) {
        return BodyFraming::Chunked;
    }
    if (response.ContentLength > 0) {
        return BodyFraming::ContentLength;
    }
    if (!response.HasContentLength) {
        return BodyFraming::UntilClose;
    }
    return BodyFraming::None;
}

std::optional<std::uint64_t> ParseChunkSize(std::string_view line) {
    std::uint64_t value = 0;
    std::size_t at = 0;
    for (; at < line.size(); ++at) {
        const char c = line[at];
        int digit;
        if (IsDigit(c)) {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        if (value > (UINT64_MAX >> 4)) {
            return std::nullopt; // the size overflows: the server's framing cannot be trusted
        }
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    if (at == 0) {
        return std::nullopt;
    }
    // After the digits: the end, an extension after ";" (with or without blanks before it), or
    // blanks and whatever follows them, which is ignored as well.
    if (at < line.size() && line[at] != ';' && !IsBlank(line[at])) {
        return std::nullopt;
    }
    return value;
}

namespace {

// Ends a unit of work on every path, so that a failure does not leave the owner's progress
// state nested.
class WorkUnit {
public:
    WorkUnit(BodyProgress& progress, std::int64_t expected) : progress_(progress) {
        progress_.BeginWork(expected);
    }
    ~WorkUnit() { progress_.EndWork(); }
    WorkUnit(const WorkUnit&) = delete;
    WorkUnit& operator=(const WorkUnit&) = delete;

private:
    BodyProgress& progress_;
};

// Reads a body part of known size, a Content-Length body or one chunk, whole: a peer that
// closes before its end fails the read.
template <class Sink>
void ReadCounted(InputBuffer& in, std::uint64_t size, Sink& sink, BodyProgress& progress) {
    WorkUnit unit(progress, static_cast<std::int64_t>(size));
    std::uint64_t count = TakeBufferedInto(
        in, sink, static_cast<std::size_t>(std::min<std::uint64_t>(size, SIZE_MAX)));
    if (count > 0) {
        progress.Work(static_cast<std::int64_t>(count));
    }
    while (count < size) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, size - count));
        const std::size_t got = ReadIntoSink(in, sink, want);
        count += got;
        if (got > 0) {
            progress.Work(static_cast<std::int64_t>(count));
        }
        if (got < want) {
            throw EIdConnClosedGracefully();
        }
    }
}

// The trailer section after the last chunk: field lines up to an empty line, read and dropped,
// within the same bounds as a head.
void SkipTrailer(InputBuffer& in) {
    const std::uint64_t start = in.Consumed();
    for (std::size_t lines = 0;; ++lines) {
        if (in.ReadLine().empty()) {
            return;
        }
        if (lines >= kMaxHeaderLines || in.Consumed() - start > kMaxHeadBytes) {
            throw EIdBodyFramingError("Trailer section beyond the limits of a head");
        }
    }
}

template <class Sink>
void ReadUntilClose(InputBuffer& in, Sink& sink, BodyProgress& progress,
                    std::uint64_t maxBodySize) {
    WorkUnit unit(progress, 0);
    const std::uint64_t allowed = maxBodySize + 1; // one byte more proves the body too large
    std::uint64_t count = TakeBufferedInto(
        in, sink, static_cast<std::size_t>(std::min<std::uint64_t>(allowed, SIZE_MAX)));
    if (count > maxBodySize) {
        throw EIdBodyTooLarge(maxBodySize);
    }
    if (count > 0) {
        progress.Work(static_cast<std::int64_t>(count));
    }
    for (;;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, allowed - count));
        const std::size_t got = ReadIntoSink(in, sink, want);
        count += got;
        if (count > maxBodySize) {
            throw EIdBodyTooLarge(maxBodySize);
        }
        if (got < want) {
            return; // closed: the last, incomplete piece is not reported
        }
        progress.Work(static_cast<std::int64_t>(count));
    }
}

template <class Sink>
void ReadBodyInto(InputBuffer& in, BodyFraming framing, std::int64_t contentLength, Sink& sink,
                  BodyProgress& progress, std::uint64_t maxBodySize) {
    switch (framing) {
    case BodyFraming::None:
        return;
    case BodyFraming::ContentLength: {
        const auto size = static_cast<std::uint64_t>(contentLength);
        if (size > maxBodySize) {
            throw EIdBodyTooLarge(maxBodySize);
        }
        // Nothing is set aside for the announced length: memory is taken as the bytes arrive,
        // so a server that announces much and sends little costs little.
        ReadCounted(in, size, sink, progress);
        return;
    }
    case BodyFraming::Chunked: {
        std::uint64_t total = 0;
        for (;;) {
            const auto size = ParseChunkSize(in.ReadLine());
            if (!size) {
                throw EIdBodyFramingError("Invalid chunk size");
            }
            if (*size == 0) {
                break;
            }
            if (*size > maxBodySize - total) {
                throw EIdBodyTooLarge(maxBodySize);
            }
            total += *size;
            ReadCounted(in, *size, sink, progress);
            if (!in.ReadLine().empty()) {
                throw EIdBodyFramingError("Chunk longer than its size");
            }
        }
        SkipTrailer(in);
        return;
    }
    case BodyFraming::UntilClose:
        ReadUntilClose(in, sink, progress, maxBodySize);
        return;
    }
}

} // namespace

void ReadBody(InputBuffer& in, BodyFraming framing, std::int64_t contentLength, std::string& sink,
              BodyProgress& progress, std::uint64_t maxBodySize) {
    StringSink text(sink);
    ReadBodyInto(in, framing, contentLength, text, progress, maxBodySize);
}

void ReadBody(InputBuffer& in, BodyFraming framing, std::int64_t contentLength, BodyBuffer& sink,
              BodyProgress& progress, std::uint64_t maxBodySize) {
    BlockSink blocks(sink, in.Source());
    ReadBodyInto(in, framing, contentLength, blocks, progress, maxBodySize);
}

} // namespace larkspan::online

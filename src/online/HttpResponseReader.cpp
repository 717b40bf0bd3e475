#include "online/HttpResponseReader.h"

#include "online/HttpText.h"
#include "shell/TextRules.h"

#include <algorithm>
#include <cstring>

namespace larkspan::online {

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

std::size_t InputBuffer::Receive(char* buffer, std::size_t size) {
    int wait = timeoutMs_;
    bool deadlineBound = false;
    if (deadline_) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - SteadyClock::now()).count();
        if (left <= 0) {
            throw EIdReadTimeout();
        }
        if (wait <= 0 || left < wait) {
            wait = static_cast<int>(std::min<std::int64_t>(left, INT32_MAX));
            deadlineBound = true;
        }
    }
    std::size_t n;
    try {
        n = connection_.Receive(buffer, size, wait);
    } catch (const EIdSocketTimeout&) {
        if (deadlineBound) {
            throw EIdReadTimeout();
        }
        throw;
    }
    if (n == 0) {
        peerClosed_ = true;
    }
    return n;
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

std::size_t InputBuffer::TakeBuffered(std::string& sink, std::size_t max) {
    const std::size_t n = std::min(Buffered(), max);
    sink.append(data_.data() + begin_, n);
    begin_ += n;
    consumed_ += n;
    return n;
}

std::size_t InputBuffer::ReadInto(std::string& sink, std::size_t n) {
    const std::size_t taken = TakeBuffered(sink, n);
    if (taken == n || peerClosed_) {
        return taken;
    }
    // Receive straight into the caller's memory: a large body is then copied only once.
    const std::size_t base = sink.size();
    const std::size_t want = n - taken;
    sink.resize(base + want);
    std::size_t filled = 0;
    try {
        while (filled < want) {
            const std::size_t got = Receive(sink.data() + base + filled, want - filled);
            if (got == 0) {
                break;
            }
            filled += got;
            consumed_ += got;
        }
    } catch (...) {
        sink.resize(base + filled);
        throw;
    }
    sink.resize(base + filled);
    return taken + filled;
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

// Keeps a header line as received and adds it to the parsed headers: a line that begins with a
// blank or a tab continues the previous value (appended in place, so a long run of
// continuation lines costs time in proportion to its length); a line without a colon is kept
// only as received.
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
    // The deadline covers every line of the head, however slowly its bytes come.
    struct DeadlineScope {
        InputBuffer& in;
        ~DeadlineScope() { in.SetDeadline(std::nullopt); }
    } scope{in};
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

    if (const auto length = ParseDecimal(response.Value("Content-Length"), INT64_MAX / 10)) {
        response.ContentLength = static_cast<std::int64_t>(*length);
        response.HasContentLength = true;
    }
    response.HasLocation = response.Has("Location");
    response.Location = response.Value("Location");
    response.Connection = response.Value("Connection");
    response.ProxyConnection = response.Value("Proxy-Connection");
    response.TransferEncoding = response.Value("Transfer-Encoding");
}

BodyFraming ChooseFraming(const TIdHTTPResponse& response) {
    if (response.ContentLength > 0) {
        return BodyFraming::ContentLength;
    }
    if (response.TransferEncoding.find("chunked") != std::string::npos) {
        return BodyFraming::Chunked;
    }
    if (!response.HasContentLength) {
        return BodyFraming::UntilClose;
    }
    return BodyFraming::None;
}

std::uint32_t ParseChunkSize(std::string_view line) {
    const auto word = line.substr(0, line.find(' '));
    if (word.empty()) {
        return 0;
    }
    std::uint64_t value = 0;
    for (char c : word) {
        int digit;
        if (IsDigit(c)) {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return 0;
        }
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0x7FFFFFFF) {
            return 0;
        }
    }
    return static_cast<std::uint32_t>(value);
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

// Reads a body part of known size: a Content-Length body (short allowed) or one chunk.
void ReadCounted(InputBuffer& in, std::uint64_t size, std::string& sink, BodyProgress& progress,
                 bool shortIsError) {
    WorkUnit unit(progress, static_cast<std::int64_t>(size));
    std::uint64_t count = in.TakeBuffered(sink, size);
    if (count > 0) {
        progress.Work(static_cast<std::int64_t>(count));
    }
    while (count < size) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, size - count));
        const std::size_t got = in.ReadInto(sink, want);
        if (got < want && shortIsError) {
            throw EIdConnClosedGracefully();
        }
        count += got;
        if (got > 0) {
            progress.Work(static_cast<std::int64_t>(count));
        }
        if (got < want) {
            break; // the peer closed early: the body ends here
        }
    }
}

void ReadUntilClose(InputBuffer& in, std::string& sink, BodyProgress& progress,
                    std::uint64_t maxBodySize) {
    WorkUnit unit(progress, 0);
    const std::uint64_t allowed = maxBodySize + 1; // one byte more proves the body too large
    std::uint64_t count =
        in.TakeBuffered(sink, static_cast<std::size_t>(std::min<std::uint64_t>(allowed, SIZE_MAX)));
    if (count > maxBodySize) {
        throw EIdBodyTooLarge(maxBodySize);
    }
    if (count > 0) {
        progress.Work(static_cast<std::int64_t>(count));
    }
    for (;;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, allowed - count));
        const std::size_t got = in.ReadInto(sink, want);
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

} // namespace

void ReadBody(InputBuffer& in, BodyFraming framing, std::int64_t contentLength, std::string& sink,
              BodyProgress& progress, std::uint64_t maxBodySize) {
    switch (framing) {
    case BodyFraming::None:
        return;
    case BodyFraming::ContentLength: {
        const auto size = static_cast<std::uint64_t>(contentLength);
        if (size > maxBodySize) {
            throw EIdBodyTooLarge(maxBodySize);
        }
        // Room for the whole announced body at once, so a large download is never reallocated
        // (which would briefly need twice its size).
        sink.reserve(sink.size() + static_cast<std::size_t>(size));
        in.Source().PrepareReceiveBuffer(sink.data() + sink.size(), static_cast<std::size_t>(size));
        ReadCounted(in, size, sink, progress, false);
        return;
    }
    case BodyFraming::Chunked: {
        std::uint64_t total = 0;
        for (;;) {
            const std::uint32_t size = ParseChunkSize(in.ReadLine());
            if (size == 0) {
                break;
            }
            total += size;
            if (total > maxBodySize) {
                throw EIdBodyTooLarge(maxBodySize);
            }
            ReadCounted(in, size, sink, progress, true);
            in.ReadLine(); // the line break that closes the chunk's data
        }
        in.ReadLine(); // the empty line after the last chunk; trailers are not read
        return;
    }
    case BodyFraming::UntilClose:
        ReadUntilClose(in, sink, progress, maxBodySize);
        return;
    }
}

} // namespace larkspan::online

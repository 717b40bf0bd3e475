#include "online/HttpParse.h"

#include "shell/TextRules.h"

#include <algorithm>
#include <cstring>

namespace larkspan::online {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Decimal digits only; nothing when the text is empty, holds anything else or exceeds `limit`.
std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t limit) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > limit) {
            return std::nullopt;
        }
    }
    return value;
}

constexpr std::array<std::string_view, static_cast<std::size_t>(HeadField::Count)> kHeadNames = {
    "Connection",   "Content-Version", "Content-Encoding",    "Content-Language",
    "Content-Type", "Content-Length",  "Cache-control",       "Date",
    "Expires",      "Pragma",          "Proxy-Connection",    "Host",
    "Accept",       "Accept-Charset",  "Accept-Encoding",     "Accept-Language",
    "From",         "Referer",         "User-Agent",          "If-Modified-Since",
    "Range",        "Authorization",   "Proxy-Authorization", "Cookie"};

} // namespace

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

// ---- URLs ---------------------------------------------------------------------------------

ParsedUrl SplitUrl(std::string_view urlText) {
    std::string url(urlText);
    std::replace(url.begin(), url.end(), '\\', '/');
    if (const auto hash = url.find('#'); hash != std::string::npos) {
        url.resize(hash);
    }

    ParsedUrl result;
    std::string rest;
    if (const auto sep = url.find("://"); sep != std::string::npos) {
        result.protocol = LowerAscii(std::string_view(url).substr(0, sep));
        rest = url.substr(sep + 3);
    } else {
        // No "://" at all: the whole text is a path and there is no host.
        result.target = url;
    }
    if (result.protocol.empty()) {
        result.protocol = "http";
    }
    if (result.protocol != "http" && result.protocol != "https") {
        throw EIdException("Unknown Protocol");
    }

    const auto authorityEnd = rest.find_first_of("/?");
    std::string authority = rest.substr(0, authorityEnd);
    if (authorityEnd != std::string::npos) {
        result.target = rest.substr(authorityEnd);
    }
    if (const auto at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    const auto colon = authority.find(':');
    result.host = authority.substr(0, colon);
    const std::string portText = colon == std::string::npos ? "" : authority.substr(colon + 1);
    if (portText.empty()) {
        result.port = result.protocol == "https" ? 443 : 80;
    } else {
        const auto port = ParseDecimal(portText, 65535);
        if (!port || *port == 0) {
            throw EIdException("Invalid port number '" + portText + "'");
        }
        result.port = static_cast<std::uint16_t>(*port);
    }

    if (result.target.empty() || result.target.front() != '/') {
        result.target.insert(0, "/");
    }
    result.path = result.target.substr(0, result.target.find('?'));
    return result;
}

// ---- Request heads ------------------------------------------------------------------------

std::string FoldHeaderLine(std::string_view line) {
    std::string out;
    std::string rest(line);
    while (rest.size() > kFoldLength) {
        std::size_t cut = std::string::npos;
        bool atComma = false;
        // The first line keeps at most kFoldLength bytes: it ends before a blank (which then
        // starts the continuation) or after a comma (and the continuation gets a blank).
        for (std::size_t p = kFoldLength; p > 0; --p) {
            if (IsBlank(rest[p])) {
                cut = p;
                break;
            }
            if (p >= 2 && rest[p - 1] == ',') {
                cut = p;
                atComma = true;
                break;
            }
        }
        if (cut == std::string::npos) {
            break; // no place to fold: the line stays long
        }
        out += rest.substr(0, cut);
        out += "\r\n";
        rest = (atComma ? " " : "") + rest.substr(cut);
    }
    out += rest;
    return out;
}

std::string BuildRequestHead(std::string_view method, std::string_view target,
                             std::string_view version, const HeadFields& fields) {
    std::string head;
    head.reserve(512);
    head.append(method).append(" ").append(target).append(" HTTP/").append(version);
    head += "\r\n";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].empty()) {
            continue;
        }
        head += FoldHeaderLine(std::string(kHeadNames[i]) + ": " + fields[i]);
        head += "\r\n";
    }
    head += "\r\n";
    return head;
}

// ---- Reading ----------------------------------------------------------------------------------

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
    const std::size_t n = connection_.Receive(data_.data() + end_, data_.size() - end_, timeoutMs_);
    if (n == 0) {
        peerClosed_ = true;
        return false;
    }
    end_ += n;
    return true;
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
            const std::size_t got =
                connection_.Receive(sink.data() + base + filled, want - filled, timeoutMs_);
            if (got == 0) {
                peerClosed_ = true;
                break;
            }
            filled += got;
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

void ReadResponseHead(InputBuffer& in, TIdHTTPResponse& response) {
    response = TIdHTTPResponse{};
    response.ResponseText = in.ReadLine();
    response.ResponseCode = ParseStatusCode(response.ResponseText);
    for (;;) {
        auto line = in.ReadLineOrClose();
        if (!line) {
            response.ClosedInHeaders = true;
            break;
        }
        if (line->empty()) {
            break;
        }
        response.RawHeaders.push_back(*line);
        if (IsBlank(line->front())) {
            if (!response.Headers.empty()) {
                auto& value = response.Headers.back().second;
                const std::string more = Trim(*line);
                value = value.empty() ? more : value + " " + more;
            }
            continue;
        }
        const auto colon = line->find(':');
        if (colon == std::string::npos) {
            continue;
        }
        // Names and values lose every leading and trailing byte up to 32.
        response.Headers.emplace_back(Trim(std::string_view(*line).substr(0, colon)),
                                      Trim(std::string_view(*line).substr(colon + 1)));
    }

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

// ---- Cookies --------------------------------------------------------------------------------

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

std::optional<std::int64_t> ParseSignedSeconds(std::string_view text) {
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    const auto value = ParseDecimal(text, UINT64_MAX / 10);
    if (!value) {
        return std::nullopt;
    }
    // Anything beyond a few centuries means "keep for the client's lifetime" anyway.
    const auto clamped = static_cast<std::int64_t>(std::min<std::uint64_t>(*value, 1ULL << 40));
    return negative ? -clamped : clamped;
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
            if (auto seconds = ParseSignedSeconds(attr)) {
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
        // The clock counts nanoseconds and ends in 2262: a lifetime beyond that is "for good".
        const auto room =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::time_point::max() - now);
        const std::chrono::seconds lifetime(*maxAge);
        cookie.expires = lifetime.count() <= 0 ? Clock::time_point::min()
                         : lifetime >= room    ? Clock::time_point::max()
                                               : now + lifetime;
    }

    cookie.order = nextOrder_++;
    const auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& c) {
        return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
    });
    if (same != cookies_.end()) {
        cookie.order = same->order;
        cookies_.erase(same);
    }
    if (cookie.expires && *cookie.expires <= now) {
        return; // an expired cookie only deletes the stored one
    }
    cookies_.push_back(std::move(cookie));
}

std::string CookieJar::CookieHeader(std::string_view host, std::string_view path,
                                    Clock::time_point now) const {
    const std::string lowerHost = LowerAscii(host);
    std::vector<const Cookie*> matches;
    for (const auto& c : cookies_) {
        if (c.secure || (c.expires && *c.expires <= now)) {
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

std::optional<Clock::time_point> ParseCookieDate(std::string_view text) {
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
    const std::chrono::sys_seconds moment =
        std::chrono::sys_days(date) + std::chrono::hours(*hour) + std::chrono::minutes(*minute) +
        std::chrono::seconds(*second);
    // The clock's nanoseconds cover 1677 to 2262 only; dates outside (up to the year 9999 that
    // servers use for "never") are its first or last moment.
    if (moment >= std::chrono::floor<std::chrono::seconds>(Clock::time_point::max())) {
        return Clock::time_point::max();
    }
    if (moment <= std::chrono::ceil<std::chrono::seconds>(Clock::time_point::min())) {
        return Clock::time_point::min();
    }
    return std::chrono::time_point_cast<Clock::duration>(moment);
}

} // namespace larkspan::online

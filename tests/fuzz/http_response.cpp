// The HTTP response reader on scripted bytes: a status line and header block, then the body
// with the framing the head chooses. Byte 0 of the input is the size of the pieces the bytes
// arrive in, byte 1 how the connection ends and the body limit; the rest is what the server
// sends. The same bytes are then read again as one piece: how they were cut must not change
// what is read.

#include "FuzzCheck.h"
#include "core/online/HttpResponseReader.h"
#include "support/MemoryConnection.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using namespace larkspan::online;
using larkspan::testing::ConnectionScript;
using larkspan::testing::MemoryConnection;

namespace {

// Checks the shape of the progress events: units never nest, each ends (also when reading
// fails), counts within a unit only grow and stay within what the unit announced.
class CheckedProgress final : public BodyProgress {
public:
    void BeginWork(std::int64_t expected) override {
        FUZZ_CHECK(!open_);
        FUZZ_CHECK(expected >= 0);
        open_ = true;
        expected_ = expected;
        last_ = 0;
    }
    void Work(std::int64_t count) override {
        FUZZ_CHECK(open_);
        FUZZ_CHECK(count > last_);
        FUZZ_CHECK(expected_ == 0 || count <= expected_);
        last_ = count;
    }
    void EndWork() override {
        FUZZ_CHECK(open_);
        open_ = false;
        reported_ += static_cast<std::uint64_t>(last_);
    }
    bool Open() const { return open_; }
    std::uint64_t Reported() const { return reported_; }

private:
    bool open_ = false;
    std::int64_t expected_ = 0;
    std::int64_t last_ = 0;
    std::uint64_t reported_ = 0;
};

struct Outcome {
    std::string error; // the failure's message, "" when the body was read
    TIdHTTPResponse head;
    bool headRead = false;
    BodyFraming framing = BodyFraming::None;
    std::string body;
};

Outcome Read(std::string_view stream, std::size_t pieceSize, ConnectionScript::AtEnd atEnd,
             std::uint64_t maxBodySize) {
    auto script = std::make_shared<ConnectionScript>();
    for (std::size_t at = 0; at < stream.size(); at += pieceSize) {
        script->replies.emplace_back(stream.substr(at, pieceSize));
    }
    script->atEnd = atEnd;
    MemoryConnection connection(script);
    InputBuffer in(connection);
    CheckedProgress progress;
    Outcome out;
    try {
        ReadResponseHead(in, out.head);
        out.headRead = true;
        out.framing = ChooseFraming(out.head);
        ReadBody(in, out.framing, out.head.ContentLength, out.body, progress, maxBodySize);
    } catch (const EIdException& error) {
        // Only the client's own failures may come out of the reader.
        out.error = error.what();
        FUZZ_CHECK(!out.error.empty());
    }
    FUZZ_CHECK(!progress.Open());
    FUZZ_CHECK(progress.Reported() <= out.body.size());
    return out;
}

bool IsTrimmed(std::string_view text) {
    return text.empty() || (!larkspan::fuzz::IsBlankOrControl(text.front()) &&
                            !larkspan::fuzz::IsBlankOrControl(text.back()));
}

void CheckHead(const TIdHTTPResponse& head) {
    FUZZ_CHECK(head.ResponseText.find('\n') == std::string::npos);
    FUZZ_CHECK(head.ResponseText.size() <= kMaxLineLength);
    FUZZ_CHECK(head.ResponseCode >= -1);
    FUZZ_CHECK(head.Headers.size() <= head.RawHeaders.size());
    for (const auto& raw : head.RawHeaders) {
        FUZZ_CHECK(!raw.empty() && raw.find('\n') == std::string::npos);
    }
    for (const auto& [name, value] : head.Headers) {
        FUZZ_CHECK(name.find(':') == std::string::npos);
        // A blank continuation line leaves the joining blank at the end of a value.
        FUZZ_CHECK(IsTrimmed(name) && IsTrimmed(value.substr(0, value.find_last_not_of(' ') + 1)));
    }
    FUZZ_CHECK(head.HasContentLength == (head.ContentLength >= 0));
    FUZZ_CHECK(!head.Chunked || head.FramingProblem.empty());
    FUZZ_CHECK(head.HasLocation || head.Location.empty());
}

void CheckBody(const Outcome& out, std::string_view stream, std::uint64_t maxBodySize) {
    FUZZ_CHECK(out.body.size() <= stream.size());
    FUZZ_CHECK(out.body.size() <= maxBodySize);
    switch (out.framing) {
    case BodyFraming::None:
        FUZZ_CHECK(out.body.empty());
        break;
    case BodyFraming::ContentLength:
        // Whole or not at all: a body cut short is a failure, never a shorter body.
        FUZZ_CHECK(out.head.ContentLength > 0);
        FUZZ_CHECK(out.body.size() == static_cast<std::uint64_t>(out.head.ContentLength));
        break;
    case BodyFraming::Chunked:
        FUZZ_CHECK(out.head.Chunked && !out.head.HasContentLength);
        break;
    case BodyFraming::UntilClose:
        FUZZ_CHECK(!out.head.Chunked && !out.head.HasContentLength);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    larkspan::fuzz::Input input(data, size);
    const std::size_t pieceSize = input.Byte() % 64 + 1;
    const std::uint8_t mode = input.Byte();
    static constexpr std::array<ConnectionScript::AtEnd, 3> ends = {
        ConnectionScript::AtEnd::Close, ConnectionScript::AtEnd::Timeout,
        ConnectionScript::AtEnd::Reset};
    const auto atEnd = ends[mode % 3];
    static constexpr std::array<std::uint64_t, 4> limits = {0, 7, 300, 4096};
    const std::uint64_t maxBodySize = limits[(mode / 3) % 4];
    const std::string_view stream = input.Rest();

    const Outcome cut = Read(stream, pieceSize, atEnd, maxBodySize);
    if (cut.headRead) {
        CheckHead(cut.head);
    }
    if (cut.error.empty()) {
        CheckBody(cut, stream, maxBodySize);
    }

    const Outcome whole = Read(stream, stream.size() + 1, atEnd, maxBodySize);
    FUZZ_CHECK(whole.error == cut.error);
    FUZZ_CHECK(whole.headRead == cut.headRead);
    FUZZ_CHECK(whole.head.ResponseText == cut.head.ResponseText);
    FUZZ_CHECK(whole.head.RawHeaders == cut.head.RawHeaders);
    FUZZ_CHECK(whole.head.Headers == cut.head.Headers);
    FUZZ_CHECK(whole.head.ClosedInHeaders == cut.head.ClosedInHeaders);
    FUZZ_CHECK(whole.framing == cut.framing);
    FUZZ_CHECK(whole.body == cut.body);
    return 0;
}

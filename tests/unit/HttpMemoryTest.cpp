// The HTTP client on in-memory connections: URL splitting, request heads, the response reading
// rules, body framing, progress events and limits, all on scripted bytes.

#include "core/online/HttpClient.h"
#include "core/online/HttpRequestHead.h"
#include "core/online/HttpResponseReader.h"
#include "core/online/HttpText.h"
#include "core/online/HttpUrl.h"
#include "support/HttpErrorText.h"
#include "support/MemoryConnection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace larkspan::online;
using larkspan::testing::ConnectionScript;
using larkspan::testing::MessageOf;
using larkspan::testing::ScriptedNetwork;

namespace {

using AtEnd = ConnectionScript::AtEnd;

struct Event {
    char kind; // 'B' work begin, 'W' work
    TWorkMode mode;
    std::int64_t value;
    bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
    return out << e.kind << (e.mode == wmRead ? "r" : "w") << e.value;
}

// A client on a scripted network that records its progress events.
struct Fixture {
    ScriptedNetwork net;
    TIdHTTP http{net.Connector()};
    std::vector<Event> events;

    Fixture() {
        http.OnWorkBegin = [this](TWorkMode m, std::int64_t n) {
            events.push_back({'B', m, n});
        };
        http.OnWork = [this](TWorkMode m, std::int64_t n) {
            events.push_back({'W', m, n});
        };
    }

    std::string Get(std::deque<std::string> replies, AtEnd atEnd = AtEnd::Close) {
        net.AddConnection(std::move(replies), atEnd);
        BodyBuffer body;
        http.DownloadToStream("http://host.test/file", body);
        return body.ToString();
    }
};

// A single in-memory connection for the reading functions.
struct Reader {
    std::shared_ptr<ConnectionScript> script = std::make_shared<ConnectionScript>();
    larkspan::testing::MemoryConnection connection{script};
    InputBuffer in{connection};

    explicit Reader(std::deque<std::string> replies) { script->replies = std::move(replies); }
};

} // namespace

// ---- URLs and request heads -------------------------------------------------------------------

TEST(SplitUrl, HostPortAndTargetAsWritten) {
    const auto u = SplitUrl("http://vendor.test/requests/checkversionid.php");
    EXPECT_EQ(u.protocol, "http");
    EXPECT_EQ(u.host, "vendor.test");
    EXPECT_EQ(u.port, 80);
    EXPECT_EQ(u.target, "/requests/checkversionid.php");

    const auto q = SplitUrl("http://h:8080/a%20b/c?x=1+2#top");
    EXPECT_EQ(q.port, 8080);
    EXPECT_EQ(q.target, "/a%20b/c?x=1+2");
    EXPECT_EQ(q.path, "/a%20b/c");

    EXPECT_EQ(SplitUrl("http://h").target, "/");
    EXPECT_EQ(SplitUrl("http://h?x").target, "/?x");
    EXPECT_EQ(SplitUrl("http://h\\dir\\f.exe").target, "/dir/f.exe");
    EXPECT_EQ(SplitUrl("HTTPS://h/x").port, 443);
    EXPECT_EQ(SplitUrl("://h/x").protocol, "http");
    EXPECT_EQ(SplitUrl("http://user:pw@h/").host, "h");
    EXPECT_EQ(SplitUrl("no-scheme/path").host, "");
}

TEST(SplitUrl, UnknownProtocolsAndBadPortsFail) {
    EXPECT_EQ(MessageOf([] { SplitUrl("ftp://h/x"); }), "Unknown Protocol");
    EXPECT_THROW(SplitUrl("http://h:port/"), EIdException);
    EXPECT_THROW(SplitUrl("http://h:70000/"), EIdException);
    EXPECT_THROW(SplitUrl("http://h:0/"), EIdException);
}

TEST(RequestHead, HeaderLinesFollowTheFixedOrder) {
    HeadFields fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        fields[i] = "v" + std::to_string(i);
    }
    const std::string head = BuildRequestHead("GET", "/", "1.1", fields);
    EXPECT_EQ(head, "GET / HTTP/1.1\r\n"
                    "Connection: v0\r\nContent-Version: v1\r\nContent-Encoding: v2\r\n"
                    "Content-Language: v3\r\nContent-Type: v4\r\nContent-Length: v5\r\n"
                    "Cache-control: v6\r\nDate: v7\r\nExpires: v8\r\nPragma: v9\r\n"
                    "Proxy-Connection: v10\r\nHost: v11\r\nAccept: v12\r\nAccept-Charset: v13\r\n"
                    "Accept-Encoding: v14\r\nAccept-Language: v15\r\nFrom: v16\r\n"
                    "Referer: v17\r\nUser-Agent: v18\r\nIf-Modified-Since: v19\r\nRange: v20\r\n"
                    "Authorization: v21\r\nProxy-Authorization: v22\r\nCookie: v23\r\n\r\n");
}

TEST(RequestHead, LongLinesAreFoldedAtBlanks) {
    std::string cookies;
    for (int i = 0; cookies.size() < 3000; ++i) {
        cookies += (i ? "; c" : "c") + std::to_string(i) + "=value";
    }
    const std::string folded = FoldHeaderLine("Cookie: " + cookies);
    std::string unfolded;
    std::size_t start = 0;
    int lines = 0;
    for (;;) {
        const auto end = folded.find("\r\n", start);
        const std::string line = folded.substr(start, end - start);
        EXPECT_LE(line.size(), kFoldLength);
        if (lines > 0) {
            EXPECT_EQ(line[0], ' ');
        }
        unfolded += line;
        ++lines;
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    EXPECT_GE(lines, 3);
    EXPECT_EQ(unfolded, "Cookie: " + cookies);
}

// ---- Reading lines and heads ------------------------------------------------------------------

TEST(ReadLine, EndsAtLineFeedAndDropsOnlyTheCarriageReturnBeforeIt) {
    Reader r({"one\r\ntw", "o\nthr\ree\r\n"});
    EXPECT_EQ(r.in.ReadLine(), "one");
    EXPECT_EQ(r.in.ReadLine(), "two");
    EXPECT_EQ(r.in.ReadLine(), "thr\ree");
    EXPECT_EQ(MessageOf([&] { r.in.ReadLine(); }), "Connection Closed Gracefully.");
}

TEST(ReadLine, MoreThanTheLimitBeforeTheLineFeedFails) {
    Reader ok({std::string(kMaxLineLength, 'x') + "\n"});
    EXPECT_EQ(ok.in.ReadLine().size(), kMaxLineLength);

    Reader tooLong({std::string(kMaxLineLength + 1, 'x') + "\n"});
    EXPECT_EQ(MessageOf([&] { tooLong.in.ReadLine(); }), "Max line length exceeded.");

    // Without any line feed the limit is noticed as soon as it is passed.
    Reader endless({std::string(20000, 'x')});
    endless.script->atEnd = AtEnd::Timeout;
    EXPECT_EQ(MessageOf([&] { endless.in.ReadLine(); }), "Max line length exceeded.");
}

TEST(ResponseHead, StatusCodeIsTheSecondWord) {
    EXPECT_EQ(ParseStatusCode("HTTP/1.1 200 OK"), 200);
    EXPECT_EQ(ParseStatusCode("HTTP/1.0 404 Not Found"), 404);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1 abc OK"), -1);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1"), -1);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1 2x0"), -1);
}

TEST(ResponseHead, HeadersAreTrimmedUnfoldedAndMatchedWithoutCase) {
    Reader r({"HTTP/1.1 200 OK\r\nX-Long: one\r\n two\r\n\tthree \r\ncontent-LENGTH:  12 \r\n"
              "TRANSFER-ENCODING: chunked\r\nLocation:\r\n\r\n"});
    TIdHTTPResponse response;
    ReadResponseHead(r.in, response);
    EXPECT_EQ(response.ResponseText, "HTTP/1.1 200 OK");
    EXPECT_EQ(response.Value("x-long"), "one two three");
    EXPECT_EQ(response.ContentLength, 12);
    EXPECT_EQ(response.TransferEncoding, "chunked");
    EXPECT_TRUE(response.HasLocation);
    EXPECT_EQ(response.RawHeaders.size(), 6u);
    EXPECT_FALSE(response.ClosedInHeaders);
}

TEST(ResponseHead, HostileHeadsStopAtTheClientsLimits) {
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    auto repeat = [](const std::string& piece, std::size_t times) {
        std::string out;
        for (std::size_t i = 0; i < times; ++i) {
            out += piece;
        }
        return out;
    };
    const std::string tooManyLines = "Response head with more than 5000 header lines";
    const std::string tooLarge = "Response head larger than 307200 bytes";
    const struct {
        std::string head;
        std::string message;
    } cases[] = {
        // With the Content-Length line below: exactly at the limit, and one line beyond it.
        {ok + repeat("X: y\r\n", 4999), "(no error)"},
        {ok + repeat("X: y\r\n", 5000), tooManyLines},
        // Folding does not get round the count.
        {ok + "X-Long: a\r\n" + repeat(" " + std::string(40, 'f') + "\r\n", 10000), tooManyLines},
        // Every line within the line limit, the whole beyond the head limit.
        {ok + repeat("X-Big: " + std::string(16000, 'b') + "\r\n", 20), tooLarge},
        // Interim heads share one budget with the final head.
        {repeat("HTTP/1.1 100 Continue\r\n\r\n", 13000) + ok, tooLarge},
    };
    for (const auto& c : cases) {
        Fixture f;
        EXPECT_EQ(MessageOf([&] { f.Get({c.head + "Content-Length: 2\r\n\r\nok"}); }), c.message)
            << c.head.substr(0, 60);
    }
}

TEST(ResponseHead, FramingIsCertainOrTheBodyIsRefused) {
    const std::string conflicting = "Conflicting Content-Length values";
    const struct {
        std::string headers;
        BodyFraming framing; // when `refusal` is empty
        std::string refusal;
    } cases[] = {
        {"", BodyFraming::UntilClose, ""},
        {"Content-Length: 0\r\n", BodyFraming::None, ""},
        {"Content-Length: 5, 5\r\ncontent-length: 005\r\n", BodyFraming::ContentLength, ""},
        {"Content-Length: 5\r\nContent-Length: 6\r\n", BodyFraming::None, conflicting},
        {"Content-Length: 5, 6\r\n", BodyFraming::None, conflicting},
        {"Content-Length: 1x\r\n", BodyFraming::None, "Invalid Content-Length \"1x\""},
        {"Content-Length: -1\r\n", BodyFraming::None, "Invalid Content-Length \"-1\""},
        {"Transfer-Encoding: Chunked\r\n", BodyFraming::Chunked, ""},
        {"Transfer-Encoding: chunked\r\nContent-Length: 3\r\n", BodyFraming::None,
         "Content-Length together with Transfer-Encoding"},
        {"Transfer-Encoding: gzip, chunked\r\n", BodyFraming::None,
         "Unsupported transfer coding \"gzip, chunked\""},
        {"Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n", BodyFraming::None,
         "Unsupported transfer coding \"chunked\""},
    };
    for (const auto& c : cases) {
        Reader r({"HTTP/1.1 200 OK\r\n" + c.headers + "\r\n"});
        TIdHTTPResponse response;
        ReadResponseHead(r.in, response);
        if (c.refusal.empty()) {
            EXPECT_EQ(ChooseFraming(response), c.framing) << c.headers;
        } else {
            EXPECT_EQ(MessageOf([&] { ChooseFraming(response); }), c.refusal) << c.headers;
        }
    }
}

TEST(Decimal, NumbersBeyondTheLimitFailInsteadOfWrapping) {
    EXPECT_EQ(ParseDecimal("18446744073709551615", UINT64_MAX), UINT64_MAX);
    EXPECT_EQ(ParseDecimal("18446744073709551619", UINT64_MAX), std::nullopt);
    EXPECT_EQ(ParseDecimal("65536", 65535), std::nullopt);
    EXPECT_EQ(ParseDecimal("7", 5), std::nullopt);
}

TEST(ChunkSize, HexDigitsThenAnExtensionOrNothing) {
    EXPECT_EQ(ParseChunkSize("1a"), 26u);
    EXPECT_EQ(ParseChunkSize("1A ;name=value"), 26u);
    EXPECT_EQ(ParseChunkSize("10000;name=val;x"), 0x10000u);
    EXPECT_EQ(ParseChunkSize("5 anything"), 5u);
    EXPECT_EQ(ParseChunkSize("0"), 0u);
    EXPECT_EQ(ParseChunkSize("80000000"), 0x80000000u);
    EXPECT_EQ(ParseChunkSize("ffffffffffffffff"), UINT64_MAX);
    for (const char* bad :
         {"", " 5", "xyz", "5x", "5G", "-5", "ffffffffffffffffffff", "10000000000000000"}) {
        EXPECT_EQ(ParseChunkSize(bad), std::nullopt) << bad;
    }
}

// ---- Responses through the client -----------------------------------------------------------

TEST(Response, InterimAnswersAreSkipped) {
    Fixture f;
    EXPECT_EQ(f.Get({"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"
                     "HTTP/1.1 102 Processing\r\n\r\n"
                     "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}),
              "ok");
    EXPECT_EQ(f.http.Response().ResponseCode, 200);
}

TEST(Response, NoContentAndZeroLengthHaveNoBody) {
    // Neither reads a body, even when bytes follow; they are left unread.
    for (const char* head :
         {"HTTP/1.1 204 No Content\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}) {
        Fixture f;
        EXPECT_EQ(f.Get({std::string(head) + "stray"}), "") << head;
        EXPECT_TRUE(f.events.empty());
    }
}

TEST(Response, ShortContentLengthBodyFails) {
    Fixture f;
    f.net.AddConnection({"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", "abcd"});
    BodyBuffer body;
    EXPECT_EQ(MessageOf([&] { f.http.DownloadToStream("http://host.test/", body); }),
              "Connection Closed Gracefully.");
    EXPECT_EQ(body.ToString(), "abcd"); // the caller decides what becomes of what came
    EXPECT_EQ(f.events, (std::vector<Event>{{'B', wmRead, 10}, {'W', wmRead, 4}}));
    EXPECT_FALSE(f.http.Connected());
}

TEST(Response, AnnouncedLengthSetsNothingAsideForBytesThatNeverCome) {
    Fixture f;
    f.net.AddConnection({"HTTP/1.1 200 OK\r\nContent-Length: 536870912\r\n\r\nhello"});
    BodyBuffer body;
    EXPECT_THROW(f.http.DownloadToStream("http://host.test/", body), EIdConnClosedGracefully);
    EXPECT_EQ(body.ToString(), "hello");
    EXPECT_LE(body.Capacity(), BodyBuffer::kFirstBlockSize);
}

TEST(Response, ABodySpilledToAnOutputArrivesWholeInOneBlockOfMemory) {
    struct Collected final : BodyOutput {
        std::string bytes;
        int writes = 0;
        void Write(std::string_view piece) override {
            bytes += piece;
            ++writes;
        }
    } output;
    std::string sent;
    for (std::size_t i = 0; sent.size() < 3 * BodyBuffer::kSpillBlockSize + 12345; ++i) {
        sent += static_cast<char>(i * 31 % 256);
    }
    Fixture f;
    f.net.AddConnection({"HTTP/1.1 200 OK\r\n\r\n", sent}); // read until close
    BodyBuffer body;
    body.SpillTo(output);
    f.http.DownloadToStream("http://host.test/", body);
    EXPECT_EQ(output.writes, 3) << "full blocks go out as they fill";
    body.Flush();
    EXPECT_TRUE(output.bytes == sent);
    EXPECT_EQ(body.Size(), sent.size());
    EXPECT_EQ(body.Capacity(), BodyBuffer::kSpillBlockSize);
}

TEST(Response, ContentLengthBesideChunkedIsRefused) {
    // Read by its length the body would be "3\r\n", by its chunks "abc": no guess is safe.
    Fixture f;
    EXPECT_EQ(MessageOf([&] {
                  f.Get({"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n"
                         "\r\n3\r\nabc\r\n0\r\n\r\n"});
              }),
              "Content-Length together with Transfer-Encoding");
    EXPECT_TRUE(f.events.empty());
}

TEST(Response, ChunkedBodyIsOneUnitPerChunk) {
    Fixture f;
    EXPECT_EQ(f.Get({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5 ext\r\nhel",
                     "lo\r\n6\r\n world\r\n0\r\n\r\n"}),
              "hello world");
    EXPECT_EQ(f.events, (std::vector<Event>{{'B', wmRead, 5},
                                            {'W', wmRead, 3},
                                            {'W', wmRead, 5},
                                            {'B', wmRead, 6},
                                            {'W', wmRead, 6}}));
}

TEST(Response, ChunkExtensionsAndTrailersAreReadAndIgnored) {
    Fixture f;
    f.net.AddConnection({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                         "2\r\nab\r\n3;x=y;z\r\ncde\r\n0;last\r\nX-Sum: 5\r\nX-More: 1\r\n\r\n"
                         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nf"});
    BodyBuffer body;
    f.http.DownloadToStream("http://host.test/1", body);
    EXPECT_EQ(body.ToString(), "abcde");
    // The trailer was the first answer's to the end: the next answer on the connection is read.
    f.http.DownloadToStream("http://host.test/2", body);
    EXPECT_EQ(body.ToString(), "abcdef");
}

TEST(Response, ChunkedBodyThatIsNotWholeFails) {
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string closed = "Connection Closed Gracefully.";
    const struct {
        std::string body;
        std::string message;
    } cases[] = {
        {"10\r\nabc", closed},                     // cut inside a chunk
        {"3\r\nabc\r\n", closed},                  // ends before the last chunk
        {"3\r\nabc\r\n0\r\nX-Sum: 5\r\n", closed}, // inside the trailer section
        {"3\r\nabc\r\nffffffffffffffffffff\r\nabc\r\n0\r\n\r\n", "Invalid chunk size"},
        {"3\r\nabc\r\nxyz\r\n0\r\n\r\n", "Invalid chunk size"},
        {"3\r\nabcd\r\n0\r\n\r\n", "Chunk longer than its size"},
    };
    for (const auto& c : cases) {
        Fixture f;
        EXPECT_EQ(MessageOf([&] { f.Get({head + c.body}); }), c.message) << c.body;
        EXPECT_FALSE(f.http.Connected());
    }
}

TEST(Response, TransferEncodingIsMatchedWithoutCase) {
    Fixture f;
    EXPECT_EQ(f.Get({"HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"}),
              "abc");
}

TEST(Response, BodyUntilCloseReportsWholePiecesOnly) {
    Fixture f;
    const std::string big(kPieceSize * 2 + 100, 'z');
    const std::string body =
        f.Get({"HTTP/1.1 200 OK\r\n\r\nfirst", big.substr(0, 40000), big.substr(40000)});
    EXPECT_EQ(body, "first" + big);
    EXPECT_EQ(f.events, (std::vector<Event>{{'B', wmRead, 0},
                                            {'W', wmRead, 5},
                                            {'W', wmRead, 5 + 32768},
                                            {'W', wmRead, 5 + 65536}}));
    EXPECT_FALSE(f.http.Connected());
}

TEST(Response, CountedBodyReportsHeadPartThenPieces) {
    Fixture f;
    const std::string big(70000, 'q');
    f.Get({"HTTP/1.1 200 OK\r\nContent-Length: 70000\r\n\r\n" + big.substr(0, 1000),
           big.substr(1000)});
    EXPECT_EQ(f.events, (std::vector<Event>{{'B', wmRead, 70000},
                                            {'W', wmRead, 1000},
                                            {'W', wmRead, 1000 + 32768},
                                            {'W', wmRead, 1000 + 65536},
                                            {'W', wmRead, 70000}}));
}

TEST(Response, ErrorStatusCarriesCodeStatusLineAndBody) {
    Fixture f;
    f.net.AddConnection({"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!"});
    BodyBuffer stream;
    try {
        f.http.DownloadToStream("http://host.test/x", stream);
        FAIL() << "no error";
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_STREQ(e.what(), "HTTP/1.1 404 Not Found");
        EXPECT_EQ(e.ErrorCode(), 404);
        EXPECT_EQ(e.ErrorMessage(), "not here!");
    }
    EXPECT_TRUE(stream.Empty());
    EXPECT_FALSE(f.http.Connected());
    // The error body is a unit of work too.
    EXPECT_EQ(f.events, (std::vector<Event>{{'B', wmRead, 9}, {'W', wmRead, 9}}));
}

TEST(Response, RedirectsAndNotModifiedAreErrors) {
    for (const char* head :
         {"HTTP/1.1 302 Found\r\nLocation: /other\r\n", "HTTP/1.1 200 OK\r\nLocation: /other\r\n",
          "HTTP/1.1 301 Moved\r\n", "HTTP/1.1 304 Not Modified\r\n",
          "HTTP/1.1 401 Unauthorized\r\n", "HTTP/1.1 101 Switching\r\n", "HTTP/1.1 OK\r\n"}) {
        Fixture f;
        const std::string text = head;
        const std::string statusLine = text.substr(0, text.find("\r\n"));
        EXPECT_EQ(MessageOf([&] { f.Get({text + "Content-Length: 0\r\n\r\n"}); }), statusLine);
        EXPECT_EQ(f.net.Connects(), 1u);
    }
}

TEST(Response, AnAnswerThatEndsBadlyFailsWithItsReasonAndClosesTheConnection) {
    const std::string shortBody = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc";
    const struct {
        std::string answer;
        AtEnd atEnd;
        std::string message;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", AtEnd::Close, "Undefined situation"},
        {"", AtEnd::Close, "Connection Closed Gracefully."},
        // The error status wins over a body that is not whole.
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot", AtEnd::Close,
         "HTTP/1.1 404 Not Found"},
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 1, 2\r\n\r\nnot", AtEnd::Close,
         "HTTP/1.1 404 Not Found"},
        {"HTTP/1.1 500 Oops\r\n\r\npartial", AtEnd::Timeout, "Read Timeout"},
        {shortBody, AtEnd::Timeout, "Socket Error # 110\r\nConnection timed out."},
        {shortBody, AtEnd::Reset, "Socket Error # 104\r\nConnection reset by peer."},
    };
    for (const auto& c : cases) {
        Fixture f;
        std::deque<std::string> replies;
        if (!c.answer.empty()) {
            replies.push_back(c.answer);
        }
        EXPECT_EQ(MessageOf([&] { f.Get(replies, c.atEnd); }), c.message) << c.answer;
        EXPECT_FALSE(f.http.Connected()) << c.answer;
    }
}

// ---- Connections ------------------------------------------------------------------------------

TEST(KeepAlive, Http11KeepsTheConnectionUnlessTheServerSaysClose) {
    Fixture f;
    auto& first = f.net.AddConnection({"HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\na",
                                       "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n"
                                       "Connection: Close \r\n\r\nb"});
    BodyBuffer body;
    f.http.DownloadToStream("http://host.test/1", body);
    EXPECT_TRUE(f.http.Connected());
    f.http.DownloadToStream("http://host.test/2", body);
    EXPECT_EQ(body.ToString(), "ab");
    EXPECT_FALSE(f.http.Connected());
    EXPECT_EQ(f.net.Connects(), 1u);
    EXPECT_TRUE(first.closed);
}

TEST(KeepAlive, ChunkedBodyIsReadThroughItsLastLineBeforeTheNextAnswer) {
    // The line after the zero-size chunk belongs to the first answer; left unread, it would
    // be taken as the second answer's status line.
    Fixture f;
    f.net.AddConnection({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n\r\n",
                         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb"});
    BodyBuffer body;
    f.http.DownloadToStream("http://host.test/1", body);
    f.http.DownloadToStream("http://host.test/2", body);
    EXPECT_EQ(body.ToString(), "ab");
    EXPECT_EQ(f.http.Response().ResponseText, "HTTP/1.1 200 OK");
    EXPECT_EQ(f.net.Connects(), 1u);
}

TEST(KeepAlive, AnotherHostGetsAnotherConnection) {
    Fixture f;
    f.net.AddConnection({"HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\na"});
    f.net.AddConnection({"HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb"});
    BodyBuffer body;
    f.http.DownloadToStream("http://one.test/", body);
    f.http.DownloadToStream("http://two.test:81/", body);
    EXPECT_EQ(body.ToString(), "ab");
    EXPECT_EQ(f.net.Script(1).host, "two.test");
    EXPECT_EQ(f.net.Script(1).port, 81);
}

TEST(KeepAlive, EveryPostOpensANewConnectionAndHttp10KeepsOnlyOnKeepAlive) {
    Fixture f;
    f.net.AddConnection({"HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\na"});
    f.net.AddConnection(
        {"HTTP/1.0 200 OK\r\nContent-Length: 1\r\nConnection: keep-alive\r\n\r\nb"});
    f.net.AddConnection({"HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nc"});
    std::vector<std::string> lines = {"product_id=10"};
    EXPECT_EQ(f.http.PostForm("http://host.test/p", lines), "a");
    EXPECT_FALSE(f.http.Connected());
    EXPECT_EQ(f.http.PostForm("http://host.test/p", lines), "b");
    EXPECT_TRUE(f.http.Connected());
    EXPECT_EQ(f.http.PostForm("http://host.test/p", lines), "c");
    EXPECT_EQ(f.net.Connects(), 3u);
    EXPECT_TRUE(f.net.Script(1).closed);
}

TEST(Post, HeadAndBodyWithWriteProgress) {
    Fixture f;
    auto& script = f.net.AddConnection({"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\ntrue"});
    std::vector<std::string> lines = {"a=x y", "b=2"};
    EXPECT_EQ(f.http.PostForm("http://host.test:8080/r.php", lines), "true");
    EXPECT_EQ(script.sent, "POST /r.php HTTP/1.0\r\n"
                           "Connection: keep-alive\r\n"
                           "Content-Type: application/x-www-form-urlencoded\r\n"
                           "Content-Length: 10\r\n"
                           "Host: host.test:8080\r\n"
                           "Accept: text/html, */*\r\n"
                           "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                           "\r\n"
                           "a=x+y&b=2&");
    EXPECT_EQ(lines, (std::vector<std::string>{"a=x+y", "b=2"}));
    EXPECT_EQ(f.events,
              (std::vector<Event>{
                  {'B', wmWrite, 10}, {'W', wmWrite, 10}, {'B', wmRead, 4}, {'W', wmRead, 4}}));
    EXPECT_EQ(f.http.ProtocolVersion, TIdHTTPProtocolVersion::pv1_1);
    // The form content type stays for the client's later requests.
    EXPECT_EQ(f.http.Request.ContentType, "application/x-www-form-urlencoded");
}

TEST(Requests, HostHasNoPortWhenItIs80) {
    for (const char* url : {"http://host.test/file", "http://host.test:80/file"}) {
        Fixture f;
        auto& script = f.net.AddConnection({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"});
        BodyBuffer body;
        f.http.DownloadToStream(url, body);
        EXPECT_EQ(script.sent, "GET /file HTTP/1.1\r\n"
                               "Content-Type: text/html\r\n"
                               "Host: host.test\r\n"
                               "Accept: text/html, */*\r\n"
                               "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                               "\r\n")
            << url;
        EXPECT_EQ(script.port, 80);
    }
}

TEST(Post, FailedPostStillLeavesHttp11) {
    Fixture f;
    std::vector<std::string> lines = {"a=1"};
    EXPECT_THROW(f.http.PostForm("http://host.test/", lines), EIdSocketError);
    EXPECT_EQ(f.http.ProtocolVersion, TIdHTTPProtocolVersion::pv1_1);
}

TEST(Requests, HttpsAndHostlessUrlsFailBeforeConnecting) {
    Fixture f;
    BodyBuffer body;
    EXPECT_EQ(MessageOf([&] { f.http.DownloadToStream("https://host.test/setup.exe", body); }),
              "IOHandler value is not valid");
    EXPECT_THROW(f.http.DownloadToStream("", body), EIdException);
    EXPECT_THROW(f.http.DownloadToStream("http:///x", body), EIdException);
    EXPECT_EQ(f.net.Connects(), 0u);
}

TEST(Requests, LineBreaksInTheUrlCannotAddHeaderLines) {
    Fixture f;
    BodyBuffer body;
    EXPECT_EQ(
        MessageOf([&] { f.http.DownloadToStream("http://host.test/a\r\nX-Injected: 1", body); }),
        "Control characters in the URL");
    EXPECT_EQ(f.net.Connects(), 0u);
}

// ---- Limits and abort ---------------------------------------------------------------------

TEST(BodyLimit, AnnouncedLengthBeyondTheLimitFailsAtOnce) {
    Fixture f;
    f.http.SetMaxBodySize(1000);
    EXPECT_EQ(MessageOf([&] { f.Get({"HTTP/1.1 200 OK\r\nContent-Length: 1001\r\n\r\nx"}); }),
              "Response body larger than the limit of 1000 bytes");
    EXPECT_TRUE(f.events.empty());
    EXPECT_EQ(
        f.Get({"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(1000, 'x')}).size(),
        1000u);
}

TEST(BodyLimit, UnannouncedBodiesStopOneByteBeyondTheLimit) {
    Fixture f;
    f.http.SetMaxBodySize(50000);
    EXPECT_EQ(f.Get({"HTTP/1.1 200 OK\r\n\r\n" + std::string(50000, 'x')}).size(), 50000u);
    EXPECT_THROW(f.Get({"HTTP/1.1 200 OK\r\n\r\n", std::string(50001, 'x')}), EIdBodyTooLarge);
    // Chunked: a chunk that passes the limit is refused; exactly the limit in two chunks is whole.
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000\r\n" +
                                std::string(0x8000, 'x') + "\r\n";
    EXPECT_THROW(f.Get({chunked + "8000\r\n"}), EIdBodyTooLarge);
    EXPECT_EQ(f.Get({chunked + "4350\r\n" + std::string(0x4350, 'x') + "\r\n0\r\n\r\n"}).size(),
              50000u);
}

TEST(BodyLimit, AnswersKeptAsTextStopAt64KiB) {
    Fixture f;
    std::vector<std::string> lines = {"a=1"};
    f.net.AddConnection({"HTTP/1.0 200 OK\r\n\r\n" + std::string(65536, 'a')});
    EXPECT_EQ(f.http.PostForm("http://host.test/", lines).size(), 65536u);
    f.net.AddConnection({"HTTP/1.0 200 OK\r\n\r\n" + std::string(65537, 'a')});
    EXPECT_EQ(MessageOf([&] { f.http.PostForm("http://host.test/", lines); }),
              "Response body larger than the limit of 65536 bytes");

    // An error answer still fails with its status, carrying the start of its body.
    f.net.AddConnection({"HTTP/1.1 500 Oops\r\n\r\n" + std::string(100000, 'e')});
    BodyBuffer stream;
    try {
        f.http.DownloadToStream("http://host.test/", stream);
        FAIL() << "no error";
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_EQ(e.ErrorCode(), 500);
        EXPECT_EQ(e.ErrorMessage(), std::string(65536, 'e'));
    }
}

TEST(Abort, RequestFromOnWorkStopsTheTransfer) {
    Fixture f;
    f.http.OnWork = [&](TWorkMode, std::int64_t count) {
        f.events.push_back({'W', wmRead, count});
        f.http.RequestAbort();
    };
    const std::string big(100000, 'a');
    auto& script = f.net.AddConnection({"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n",
                                        big.substr(0, 40000), big.substr(40000)});
    BodyBuffer stream;
    EXPECT_THROW(f.http.DownloadToStream("http://host.test/", stream), EIdTransferAborted);
    EXPECT_EQ(stream.Size(), 32768u); // the first piece; nothing is read after the abort
    EXPECT_EQ(f.events.size(), 2u);
    EXPECT_TRUE(script.closed);
    EXPECT_FALSE(f.http.Connected());

    // The next operation starts afresh, with its progress events intact.
    f.events.clear();
    f.http.OnWork = nullptr;
    EXPECT_EQ(f.Get({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}), "ok");
    EXPECT_EQ(f.events, (std::vector<Event>{{'B', wmRead, 2}}));
}

TEST(Abort, RequestFromOnWorkBeginStopsBeforeAnyData) {
    Fixture f;
    f.http.OnWorkBegin = [&](TWorkMode, std::int64_t) {
        f.http.RequestAbort();
    };
    BodyBuffer stream;
    f.net.AddConnection({"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"});
    EXPECT_THROW(f.http.DownloadToStream("http://host.test/", stream), EIdTransferAborted);
    EXPECT_TRUE(stream.Empty());
}

// ---- Cookies through the client --------------------------------------------------------------

TEST(Cookies, AllowCookiesOffNeitherKeepsNorSends) {
    Fixture f;
    f.http.AllowCookies = false;
    f.Get({"HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"});
    EXPECT_EQ(f.http.Cookies().Count(), 0u);
}

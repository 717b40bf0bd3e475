// The HTTP client with the POSIX transport against raw servers on 127.0.0.1: the program's four
// requests byte for byte, and hostile or broken servers.

#include "core/online/HttpClient.h"
#include "core/online/InstallerInfo.h"
#include "core/online/VersionCheck.h"
#include "platform/Platform.h"
#include "support/HttpErrorText.h"
#include "support/LoopbackServer.h"
#include "unit/platform/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

using namespace larkspan;
using namespace larkspan::online;
using larkspan::testing::kRefusedText;
using larkspan::testing::kResetText;
using larkspan::testing::kTimedOutText;
using larkspan::testing::LoopbackServer;
using larkspan::testing::MessageOf;
using larkspan::testing::ServerSide;

namespace {

// Answers each connection's request with `reply`, then closes.
LoopbackServer::Handler Reply(std::string reply) {
    return [reply](ServerSide& side) {
        if (!side.ReadRequest().empty()) {
            side.Send(reply);
        }
    };
}

struct Begin {
    std::int64_t expected;
    std::vector<std::int64_t> counts;
};

// A download client that records its read-mode units of work.
struct Downloader {
    TIdHTTP http{platform::ConnectTcp};
    std::vector<Begin> units;

    Downloader() {
        http.OnWorkBegin = [this](TWorkMode mode, std::int64_t n) {
            if (mode == wmRead) {
                units.push_back({n, {}});
            }
        };
        http.OnWork = [this](TWorkMode mode, std::int64_t n) {
            if (mode == wmRead && !units.empty()) {
                units.back().counts.push_back(n);
            }
        };
    }

    std::string Get(const std::string& url) {
        BodyBuffer stream;
        http.DownloadToStream(url, stream);
        return stream.ToString();
    }
};

std::string FormHead(const std::string& path, std::size_t length, std::uint16_t port,
                     const std::string& cookie = "") {
    return "POST " + path +
           " HTTP/1.0\r\n"
           "Connection: keep-alive\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: " +
           std::to_string(length) + "\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\n"
           "Accept: text/html, */*\r\n"
           "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\r\n" +
           (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") + "\r\n";
}

} // namespace

TEST(OnTheWire, TheProgramsFourRequestsByteForByte) {
    int served = 0;
    LoopbackServer server([&](ServerSide& side) {
        if (side.ReadRequest().empty()) {
            return;
        }
        switch (served++) {
        case 0: // tutorial answer sets a cookie for the version request
            side.Send("HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc123; Path=/\r\n"
                      "Content-Length: 5\r\n\r\nfalse");
            break;
        case 1:
            side.Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n1.4");
            break;
        case 2:
            side.Send("HTTP/1.1 200 OK\r\nContent-Length: 41\r\n\r\n"
                      "product=Larkspan&installer=%2Fsetup%2Ebin");
            break;
        default:
            side.Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nMZ\x90\x01");
        }
    });
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());

    {
        // The update check: one client, two posts, the list reused as the worker does.
        TIdHTTP http(platform::ConnectTcp);
        http.Request.UserAgent = kFormPostUserAgent;
        std::vector<std::string> lines = {kProductFormLine};
        EXPECT_EQ(http.PostForm(VendorUrl(host, kTutorialPath), lines), "false");
        lines.erase(lines.begin());
        lines.push_back(kProductFormLine);
        EXPECT_EQ(http.PostForm(VendorUrl(host, kVersionPath), lines), "1.4");
    }
    {
        TIdHTTP http(platform::ConnectTcp);
        http.Request.UserAgent = kFormPostUserAgent;
        std::vector<std::string> lines = {std::string(kSmartNameField) + kFreeProductIdentifier};
        const auto info =
            ParseInstallerInfo(http.PostForm(VendorUrl(host, kInstallerInfoPath), lines));
        EXPECT_EQ(info.caption, "Larkspan Setup");
    }
    {
        TIdHTTP http(platform::ConnectTcp); // the download window's client keeps its defaults
        BodyBuffer stream;
        http.DownloadToStream("http://" + host + "/files/Setup.exe", stream);
        EXPECT_EQ(stream.ToString(), "MZ\x90\x01");
    }

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0], FormHead(kTutorialPath, 13, server.Port()) + "product_id=10");
    EXPECT_EQ(requests[1],
              FormHead(kVersionPath, 13, server.Port(), "sid=abc123") + "product_id=10");
    EXPECT_EQ(requests[2],
              FormHead(kInstallerInfoPath, 22, server.Port()) + "smartname=FreeLarkspan");
    EXPECT_EQ(requests[3], "GET /files/Setup.exe HTTP/1.1\r\n"
                           "Content-Type: text/html\r\n"
                           "Host: " +
                               host +
                               "\r\n"
                               "Accept: text/html, */*\r\n"
                               "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                               "\r\n");
    EXPECT_EQ(server.Connections(), 4);
}

TEST(OnTheWire, CookiesStayWithTheirClient) {
    LoopbackServer server(
        Reply("HTTP/1.0 200 OK\r\nSet-Cookie: a=1\r\nContent-Length: 2\r\n\r\nok"));
    const std::string url = server.Url("/requests/x.php");
    TIdHTTP first(platform::ConnectTcp);
    TIdHTTP second(platform::ConnectTcp);
    std::vector<std::string> lines = {"q=1"};
    first.PostForm(url, lines);
    second.PostForm(url, lines);
    first.PostForm(url, lines);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].find("Cookie:"), std::string::npos);
    EXPECT_NE(requests[2].find("\r\nCookie: a=1\r\n"), std::string::npos);
}

TEST(OnTheWire, LocalhostInAnyCaseAndKeptAliveConnections) {
    LoopbackServer server([](ServerSide& side) {
        while (!side.ReadRequest().empty()) {
            side.Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx");
        }
    });
    Downloader d;
    const std::string url = "http://LocalHost:" + std::to_string(server.Port()) + "/a";
    EXPECT_EQ(d.Get(url) + d.Get(url), "xx");
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_NE(server.Requests()[0].find("\r\nHost: LocalHost:"), std::string::npos);
}

TEST(Redirects, FoundWithLocationFailsWithoutFollowing) {
    LoopbackServer server(Reply("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\n"
                                "Content-Length: 5\r\n\r\nmoved"));
    Downloader d;
    try {
        d.Get(server.Url("/setup.exe"));
        FAIL() << "no error";
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_STREQ(e.what(), "HTTP/1.1 302 Found");
        EXPECT_EQ(e.ErrorCode(), 302);
        EXPECT_EQ(e.ErrorMessage(), "moved");
    }
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(Bodies, ShortContentLengthBodyFailsAfterWhatCame) {
    LoopbackServer server(
        Reply("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(600, 'b')));
    Downloader d;
    EXPECT_EQ(MessageOf([&] { d.Get(server.Url("/")); }), "Connection Closed Gracefully.");
    ASSERT_EQ(d.units.size(), 1u);
    EXPECT_EQ(d.units[0].expected, 1000);
    EXPECT_EQ(d.units[0].counts.back(), 600);
}

TEST(Bodies, NoLengthReadsToTheCloseWithExpectedSizeZero) {
    LoopbackServer server(Reply("HTTP/1.1 200 OK\r\n\r\n" + std::string(100000, 'c')));
    Downloader d;
    EXPECT_EQ(d.Get(server.Url("/")).size(), 100000u);
    ASSERT_EQ(d.units.size(), 1u);
    EXPECT_EQ(d.units[0].expected, 0);
    EXPECT_FALSE(d.http.Connected());
}

TEST(Bodies, ChunkedGivesOneWorkBeginPerChunk) {
    LoopbackServer server(
        Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
              "4\r\nabcd\r\n10 ; note\r\n0123456789abcdef\r\n2\r\nxy\r\n0\r\n\r\n"));
    Downloader d;
    EXPECT_EQ(d.Get(server.Url("/")), "abcd0123456789abcdefxy");
    ASSERT_EQ(d.units.size(), 3u);
    EXPECT_EQ(d.units[0].expected, 4);
    EXPECT_EQ(d.units[1].expected, 16);
    EXPECT_EQ(d.units[2].expected, 2);
    EXPECT_EQ(d.units[1].counts.back(), 16); // counted from the chunk's first byte
    EXPECT_EQ(d.units[2].counts.back(), 2);
}

TEST(Bodies, MegabytesInEveryFramingArriveWholeAndAreSavedPieceByPiece) {
    // A few MiB span several blocks of the body buffer, and the receives end at arbitrary
    // places within them.
    std::string body(3 * 1024 * 1024 + 12345, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 7 % 251);
    }
    std::string chunked;
    for (std::size_t at = 0; at < body.size(); at += 100003) {
        const std::string piece = body.substr(at, 100003);
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        chunked += size + piece + "\r\n";
    }
    const std::pair<const char*, std::string> replies[] = {
        {"length",
         "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked + "0\r\n\r\n"},
        {"until close", "HTTP/1.1 200 OK\r\n\r\n" + body}};
    larkspan::test::ScratchFolder scratch;
    for (const auto& [framing, reply] : replies) {
        LoopbackServer server(Reply(reply));
        Downloader d;
        BodyBuffer stream;
        d.http.DownloadToStream(server.Url("/"), stream);
        EXPECT_EQ(stream.Size(), body.size()) << framing;
        EXPECT_GT(stream.Pieces().size(), 1u) << framing;
        std::string error;
        ASSERT_TRUE(platform::WriteFileNoFollow(scratch / "Setup.exe", stream.Pieces(),
                                                platform::FileMode::UserReadWrite, error))
            << error;
        EXPECT_TRUE(larkspan::test::ReadWholeFile(scratch / "Setup.exe") == body) << framing;
    }
}

TEST(Hostile, OverlongStatusOrHeaderLine) {
    for (const std::string& reply :
         {"HTTP/1.1 200 " + std::string(20000, 'O') + "\r\n\r\n",
          "HTTP/1.1 200 OK\r\nX-Junk: " + std::string(17000, 'j') + "\r\n\r\n"}) {
        LoopbackServer server(Reply(reply));
        Downloader d;
        EXPECT_EQ(MessageOf([&] { d.Get(server.Url("/")); }), "Max line length exceeded.");
    }
}

TEST(Hostile, HttpsIsRefusedWithoutConnecting) {
    LoopbackServer server(Reply("HTTP/1.1 200 OK\r\n\r\n"));
    Downloader d;
    const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/Setup.exe";
    EXPECT_EQ(MessageOf([&] { d.Get(url); }), "IOHandler value is not valid");
    EXPECT_EQ(server.Connections(), 0);
}

TEST(Hostile, ConnectionRefused) {
    larkspan::testing::RefusingPort closed;
    Downloader d;
    EXPECT_EQ(MessageOf([&] { d.Get("http://127.0.0.1:" + std::to_string(closed.Port()) + "/"); }),
              kRefusedText);
}

TEST(Hostile, ServerThatNeverAnswersHitsTheReadLimit) {
    LoopbackServer server([](ServerSide& side) {
        side.ReadRequest();
        side.WaitForClientClose();
    });
    Downloader d;
    d.http.SetReadTimeoutMs(200);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageOf([&] { d.Get(server.Url("/")); }), kTimedOutText);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(Hostile, HeadTrickledSlowlyHitsTheHeadDeadline) {
    // A line every 20 ms keeps every single wait far below the idle limit.
    LoopbackServer server([](ServerSide& side) {
        side.ReadRequest();
        side.Send("HTTP/1.1 200 OK\r\n");
        for (int i = 0; i < 250 && side.Send("X-Slow: y\r\n"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        side.Send("Content-Length: 2\r\n\r\nok");
    });
    Downloader d;
    d.http.SetHeadTimeoutMs(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageOf([&] { d.Get(server.Url("/")); }), "Response head not complete in time");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(d.http.Connected());
}

TEST(Hostile, ErrorBodyThatStallsIsAReadTimeout) {
    LoopbackServer server([](ServerSide& side) {
        side.ReadRequest();
        side.Send("HTTP/1.1 500 Internal Server Error\r\n\r\npartial");
        side.WaitForClientClose();
    });
    Downloader d;
    d.http.SetErrorBodyTimeoutMs(150);
    EXPECT_EQ(MessageOf([&] { d.Get(server.Url("/")); }), "Read Timeout");
}

TEST(Hostile, ConnectHitsTheConnectLimit) {
    // A listener that never accepts, with its queue filled: further handshakes get no answer.
    const larkspan::testing::StalledListener listener;
    const std::uint16_t port = listener.Port();

    std::vector<std::unique_ptr<Connection>> fillers;
    bool queueFull = false;
    for (int i = 0; i < 8 && !queueFull; ++i) {
        try {
            fillers.push_back(platform::ConnectTcp("127.0.0.1", port, 100));
        } catch (const EIdSocketTimeout&) {
            queueFull = true;
        }
    }
    if (!queueFull) {
        GTEST_SKIP() << "this kernel completes handshakes beyond the listen queue";
    }
    Downloader d;
    d.http.SetConnectTimeoutMs(150);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageOf([&] { d.Get("http://127.0.0.1:" + std::to_string(port) + "/"); }),
              kTimedOutText);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(Hostile, ResetInTheMiddleOfTheBody) {
    if (!larkspan::testing::ServerCanReset()) {
        GTEST_SKIP() << "this system's server sockets close in order even when told to reset";
    }
    LoopbackServer server([](ServerSide& side) {
        side.ReadRequest();
        side.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'r'));
        side.Reset();
    });
    Downloader d;
    EXPECT_EQ(MessageOf([&] { d.Get(server.Url("/")); }), kResetText);
}

TEST(Hostile, EndlessBodyStopsAtTheSizeLimit) {
    LoopbackServer server([](ServerSide& side) {
        side.ReadRequest();
        side.Send("HTTP/1.1 200 OK\r\n\r\n");
        side.SendPattern(1ULL << 40); // until the client goes away
    });
    Downloader d;
    d.http.SetMaxBodySize(1 << 20);
    BodyBuffer stream;
    EXPECT_EQ(MessageOf([&] { d.http.DownloadToStream(server.Url("/"), stream); }),
              "Response body larger than the limit of 1048576 bytes");
    EXPECT_LE(stream.Size(), (1u << 20) + 1);
    EXPECT_FALSE(d.http.Connected());
}

TEST(Abort, FromOnWorkEndsTheDownload) {
    LoopbackServer server([](ServerSide& side) {
        side.ReadRequest();
        side.Send("HTTP/1.1 200 OK\r\nContent-Length: 10485760\r\n\r\n");
        side.SendPattern(10485760);
    });
    Downloader d;
    int works = 0;
    d.http.OnWork = [&](TWorkMode, std::int64_t count) {
        ++works;
        if (count >= 100000) {
            d.http.RequestAbort();
        }
    };
    BodyBuffer stream;
    EXPECT_THROW(d.http.DownloadToStream(server.Url("/"), stream), EIdTransferAborted);
    EXPECT_GE(stream.Size(), 100000u);
    EXPECT_LT(stream.Size(), 200000u);
    EXPECT_FALSE(d.http.Connected());
    EXPECT_GE(works, 1);
}

// Head and the first bytes at once, then one byte every `everyMs` until the client goes away,
// or for 10 s at most (then the body is cut short).
LoopbackServer::Handler Trickle(int everyMs) {
    return [everyMs](ServerSide& side) {
        side.ReadRequest();
        side.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n" + std::string(5000, 't'));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end && side.Send("t") &&
               !side.WaitForClientClose(everyMs)) {
        }
    };
}

TEST(Waiting, TheOwnerIsCalledWhileNoByteComesAndItsCancelEndsTheWait) {
    LoopbackServer server(Trickle(5000));
    Downloader d;
    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> calls;
    d.http.OnWaiting = [&] {
        calls.push_back(Clock::now());
        if (calls.size() == 10) {
            d.http.RequestAbort();
        }
    };
    const auto start = Clock::now();
    EXPECT_THROW(d.Get(server.Url("/")), EIdTransferAborted);
    const auto lasted = Clock::now() - start;
    ASSERT_EQ(calls.size(), 10u);
    Clock::duration longestGap{};
    for (std::size_t i = 1; i < calls.size(); ++i) {
        longestGap = std::max(longestGap, calls[i] - calls[i - 1]);
    }
    const auto ms = [](Clock::duration d) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    };
    std::printf("ten waiting events in %lld ms, the longest gap %lld ms, the abort after %lld ms\n",
                static_cast<long long>(ms(lasted)), static_cast<long long>(ms(longestGap)),
                static_cast<long long>(ms(Clock::now() - calls.back())));
    // About every 50 ms; the bounds leave room for a busy machine.
    EXPECT_LT(longestGap, std::chrono::milliseconds(400));
    EXPECT_LT(lasted, std::chrono::seconds(3));
    EXPECT_FALSE(d.http.Connected());
}

TEST(Waiting, TimeTheOwnerTakesDoesNotCountAgainstTheServer) {
    // The owner spends 600 ms in its first waiting event (a question to the user), longer than
    // the idle limit of 400 ms; the body comes 800 ms after the head, well within the limit of
    // the end of that event.
    LoopbackServer server([](ServerSide& side) {
        side.ReadRequest();
        side.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n");
        side.WaitForClientClose(800);
        side.Send("ok");
    });
    Downloader d;
    d.http.SetReadTimeoutMs(400);
    bool asked = false;
    d.http.OnWaiting = [&] {
        if (!std::exchange(asked, true)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
        }
    };
    EXPECT_EQ(d.Get(server.Url("/")), "ok");
}

TEST(Hostile, TricklingServerFallsBelowTheRateFloor) {
    LoopbackServer server(Trickle(20));
    Downloader d;
    d.http.SetMinimumRate(1000, 500); // 500 bytes in every half second; it sends about 25
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(d.Get(server.Url("/")), EIdTransferTooSlow);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));

    // Above the floor, a transfer that lasts many windows goes through.
    LoopbackServer paced([](ServerSide& side) {
        side.ReadRequest();
        side.Send("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n");
        side.SendThrottled(std::string(3000, 'p'), 2000); // 1.5 s at twice the floor
    });
    EXPECT_EQ(d.Get(paced.Url("/")).size(), 3000u);
}

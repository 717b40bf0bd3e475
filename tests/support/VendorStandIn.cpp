// vendor-standin: a stand-in for the vendor web server on 127.0.0.1, for trying the update check
// and the installer download by hand and for tests. It answers the three form requests and
// serves files by GET, and never listens beyond the loopback address.
//
// Usage: vendor-standin [options]
//   --port N                  port to listen on (default 0: a free port). The first line on
//                             standard output is the port in use.
//   --tutorial yes|no         answer of /requests/getytvideoid.php: a video id, or "false"
//                             (default no)
//   --video-id TEXT           the video id sent for --tutorial yes (default larkspan-tutorial)
//   --latest TEXT             answer of /requests/checkversionid.php, sent as is, e.g. 1.4
//                             (default false)
//   --installer ID NAME PATH  answer of /requests/getsmartinstallerinfo.php for smartname=ID:
//                             product=<NAME encoded>&installer=<URL encoded>, the URL being
//                             http://127.0.0.1:<port> followed by PATH. Repeatable.
//   --info-answer ID TEXT     answer TEXT as is for smartname=ID (malformed answers). Repeatable.
//   --files DIR               serve GET requests from DIR (regular files; no ".." segments)
//   --rate BYTES              send file bodies at most this many bytes per second, so a progress
//                             gauge can be watched (default: no limit)
//   --framing length|chunked|close
//                             how file bodies are framed: Content-Length (default), chunked in
//                             64 KiB chunks, or no length and the connection closed at the end
//   --cut-after BYTES         end every file body after BYTES bytes by closing the connection,
//                             whatever the framing announced (a body cut short)
//   --bad-chunk-after BYTES   with --framing chunked: after BYTES bytes of the body, send the
//                             chunk-size line ffffffffffffffffffff, the rest of the file as it
//                             is, and close (a size that overflows)
//   --trickle-after BYTES SECONDS
//                             after BYTES bytes of a file body, send one byte every SECONDS
//                             until the client goes away, and log "CLOSED <path>" then (with
//                             --log; with --log-times, the time it noticed)
//   --status PATH CODE        answer every request for PATH with status CODE (e.g. 500, 302
//                             with a Location). Repeatable.
//   --cookie TEXT             Set-Cookie value on every form answer
//                             (default "session=standin; Path=/"; "" for none)
//   --log FILE                append one line per request: method, target and form body
//   --log-times               begin each log line with the time the request had arrived, in
//                             microseconds since the epoch
//   --exit-on-stdin-eof       end when standard input is closed (besides SIGTERM and SIGINT)
//
// Form requests need product_id=10 for the tutorial and version answers; anything else, and an
// unknown identifier, gets "false". Every answer closes its connection.
//
// Example: offer version 1.4 and serve its installer slowly enough to watch the gauge, then start
// the program against it (the installer URL path is looked up under --files):
//   build/bin/vendor-standin --latest 1.4 --installer FreeLarkspan Larkspan /Setup.bin
//       --files /tmp/installers --rate 200000 > /tmp/standin.port &
//   LARKSPAN_WEBSITE_HOST=127.0.0.1:$(head -1 /tmp/standin.port) build/bin/larkspan

#include "core/online/FormEncoding.h"
#include "core/online/InstallerInfo.h"
#include "support/LoopbackServer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using larkspan::testing::LoopbackServer;
using larkspan::testing::RequestParts;
using larkspan::testing::ServerSide;
using larkspan::testing::SplitRequest;

namespace {

struct Installer {
    std::string name;
    std::string path;
};

struct Settings {
    std::uint16_t port = 0;
    bool tutorial = false;
    std::string videoId = "larkspan-tutorial";
    std::string latest = "false";
    std::map<std::string, Installer> installers;
    std::map<std::string, std::string> infoAnswers;
    std::string files;
    std::uint64_t rate = 0;
    std::string framing = "length";
    std::uint64_t cutAfter = 0;
    std::uint64_t badChunkAfter = 0;
    std::uint64_t trickleAfter = 0;
    int trickleSeconds = 0;
    std::map<std::string, int> statuses;
    std::string cookie = "session=standin; Path=/";
    std::string log;
    bool logTimes = false;
    bool exitOnStdinEof = false;
};

[[noreturn]] void Usage(const std::string& problem) {
    std::cerr << "vendor-standin: " << problem
              << "\nSee the comment at the top of tests/support/VendorStandIn.cpp for the options."
              << std::endl;
    std::exit(2);
}

Settings ParseArguments(int argc, char** argv) {
    Settings s;
    auto need = [&](int& i, int count) {
        if (i + count >= argc) {
            Usage(std::string(argv[i]) + " needs " + std::to_string(count) + " value(s)");
        }
        const int first = i + 1;
        i += count;
        return first;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--port") {
            s.port = static_cast<std::uint16_t>(std::stoi(argv[need(i, 1)]));
        } else if (option == "--tutorial") {
            const std::string v = argv[need(i, 1)];
            if (v != "yes" && v != "no") {
                Usage("--tutorial takes yes or no");
            }
            s.tutorial = v == "yes";
        } else if (option == "--video-id") {
            s.videoId = argv[need(i, 1)];
        } else if (option == "--latest") {
            s.latest = argv[need(i, 1)];
        } else if (option == "--installer") {
            const int a = need(i, 3);
            s.installers[argv[a]] = Installer{argv[a + 1], argv[a + 2]};
        } else if (option == "--info-answer") {
            const int a = need(i, 2);
            s.infoAnswers[argv[a]] = argv[a + 1];
        } else if (option == "--files") {
            s.files = argv[need(i, 1)];
        } else if (option == "--rate") {
            s.rate = std::stoull(argv[need(i, 1)]);
        } else if (option == "--framing") {
            s.framing = argv[need(i, 1)];
            if (s.framing != "length" && s.framing != "chunked" && s.framing != "close") {
                Usage("--framing takes length, chunked or close");
            }
        } else if (option == "--cut-after") {
            s.cutAfter = std::stoull(argv[need(i, 1)]);
        } else if (option == "--bad-chunk-after") {
            s.badChunkAfter = std::stoull(argv[need(i, 1)]);
        } else if (option == "--trickle-after") {
            const int a = need(i, 2);
            s.trickleAfter = std::stoull(argv[a]);
            s.trickleSeconds = std::stoi(argv[a + 1]);
            if (s.trickleSeconds <= 0) {
                Usage("--trickle-after takes a number of seconds above 0");
            }
        } else if (option == "--status") {
            const int a = need(i, 2);
            s.statuses[argv[a]] = std::stoi(argv[a + 1]);
        } else if (option == "--cookie") {
            s.cookie = argv[need(i, 1)];
        } else if (option == "--log") {
            s.log = argv[need(i, 1)];
        } else if (option == "--log-times") {
            s.logTimes = true;
        } else if (option == "--exit-on-stdin-eof") {
            s.exitOnStdinEof = true;
        } else {
            Usage("unknown option " + option);
        }
    }
    if (s.badChunkAfter > 0 && s.framing != "chunked") {
        Usage("--bad-chunk-after needs --framing chunked");
    }
    return s;
}

std::map<std::string, std::string> FormValues(const std::string& body) {
    std::map<std::string, std::string> values;
    for (const auto& field : larkspan::online::SplitDelimitedText(body, '&')) {
        const auto eq = field.find('=');
        if (eq != std::string::npos) {
            values.emplace(field.substr(0, eq), larkspan::online::UrlDecode(field.substr(eq + 1)));
        }
    }
    return values;
}

std::string Answer(int code, const std::string& body, const std::string& extraHeaders = "") {
    return "HTTP/1.1 " + std::to_string(code) + " " + larkspan::testing::ReasonPhrase(code) +
           "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + extraHeaders + "Connection: close\r\n\r\n" + body;
}

class StandIn {
public:
    explicit StandIn(Settings settings) : s_(std::move(settings)) {}

    void Handle(ServerSide& side, std::uint16_t port) {
        const std::string raw = side.ReadRequest(30000);
        if (raw.empty()) {
            return;
        }
        const auto arrived = std::chrono::system_clock::now();
        const RequestParts request = SplitRequest(raw);
        Log(request, arrived);
        const std::string path = request.target.substr(0, request.target.find('?'));

        if (const auto status = s_.statuses.find(path); status != s_.statuses.end()) {
            const std::string location =
                status->second >= 300 && status->second < 400 ? "Location: /\r\n" : "";
            side.Send(Answer(status->second, "status " + std::to_string(status->second), location));
            return;
        }
        if (request.method == "POST") {
            side.Send(Answer(200, FormAnswer(path, FormValues(request.body), port),
                             s_.cookie.empty() ? "" : "Set-Cookie: " + s_.cookie + "\r\n"));
            return;
        }
        if (request.method == "GET" && !s_.files.empty()) {
            ServeFile(side, path);
            return;
        }
        side.Send(Answer(404, "not found"));
    }

private:
    std::string FormAnswer(const std::string& path, const std::map<std::string, std::string>& form,
                           std::uint16_t port) const {
        const auto value = [&](const std::string& name) {
            const auto it = form.find(name);
            return it == form.end() ? std::string() : it->second;
        };
        if (path == "/requests/getytvideoid.php") {
            return value("product_id") == "10" && s_.tutorial ? s_.videoId : "false";
        }
        if (path == "/requests/checkversionid.php") {
            return value("product_id") == "10" ? s_.latest : "false";
        }
        if (path == "/requests/getsmartinstallerinfo.php") {
            const std::string id = value("smartname");
            if (const auto raw = s_.infoAnswers.find(id); raw != s_.infoAnswers.end()) {
                return raw->second;
            }
            const auto installer = s_.installers.find(id);
            if (installer == s_.installers.end()) {
                return "false";
            }
            using larkspan::online::EncodeFormValue;
            return "product=" + EncodeFormValue(installer->second.name) + "&installer=" +
                   EncodeFormValue("http://127.0.0.1:" + std::to_string(port) +
                                   installer->second.path);
        }
        return "false";
    }

    void ServeFile(ServerSide& side, const std::string& urlPath) {
        const std::string path = larkspan::online::UrlDecode(urlPath);
        if (path.find("/../") != std::string::npos || path.ends_with("/..")) {
            side.Send(Answer(404, "not found"));
            return;
        }
        // O_NONBLOCK: a FIFO among the files must not hang the server; a regular file ignores it.
        const int fd = ::open((s_.files + path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            if (fd >= 0) {
                ::close(fd);
            }
            side.Send(Answer(404, "not found"));
            return;
        }
        const struct Closer {
            int fd;
            ~Closer() { ::close(fd); }
        } closer{fd};
        const auto size = static_cast<std::uint64_t>(info.st_size);
        // Where a hostile mode takes over from the well-formed body.
        std::uint64_t regular = size;
        for (const std::uint64_t after : {s_.cutAfter, s_.badChunkAfter, s_.trickleAfter}) {
            if (after > 0) {
                regular = std::min(regular, after);
            }
        }

        std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n";
        if (s_.framing == "length") {
            head += "Content-Length: " + std::to_string(size) + "\r\n";
        } else if (s_.framing == "chunked") {
            head += "Transfer-Encoding: chunked\r\n";
        }
        if (!side.Send(head + "Connection: close\r\n\r\n")) {
            return;
        }
        // The file is read piece by piece as it goes out: a large installer then costs neither
        // its size in memory nor the time to read all of it before the first byte, which would
        // slow every client measured against this server alike.
        const std::size_t piece = s_.framing == "chunked" ? 65536 : 32768;
        constexpr std::size_t room = 16; // before the data: the longest chunk-size line
        std::string buffer(room + piece + 2, '\0');
        const auto start = std::chrono::steady_clock::now();
        std::uint64_t sent = 0;
        while (sent < regular) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(piece, regular - sent));
            const ssize_t got = ::pread(fd, buffer.data() + room, want, static_cast<off_t>(sent));
            if (got <= 0) {
                return; // the file shrank: the client sees a body cut short
            }
            const auto n = static_cast<std::size_t>(got);
            std::string_view bytes(buffer.data() + room, n);
            if (s_.framing == "chunked") {
                char line[room];
                const int length = std::snprintf(line, sizeof line, "%zx\r\n", n);
                char* first = buffer.data() + room - length;
                std::memcpy(first, line, static_cast<std::size_t>(length));
                buffer[room + n] = '\r';
                buffer[room + n + 1] = '\n';
                bytes = std::string_view(first, static_cast<std::size_t>(length) + n + 2);
            }
            if (!side.Send(bytes)) {
                return;
            }
            sent += n;
            if (s_.rate > 0) {
                std::this_thread::sleep_until(start +
                                              std::chrono::microseconds(sent * 1000000 / s_.rate));
            }
        }
        if (sent < size) {
            Misbehave(side, fd, sent, size, urlPath);
            return;
        }
        if (s_.framing == "chunked") {
            side.Send("0\r\n\r\n");
        }
    }

    // The rest of a file body from `sent` on, sent as the hostile option says; a body cut short
    // simply ends here.
    void Misbehave(ServerSide& side, int fd, std::uint64_t sent, std::uint64_t size,
                   const std::string& urlPath) {
        char byte = 0;
        if (s_.trickleAfter > 0 && sent == s_.trickleAfter) {
            while (::pread(fd, &byte, 1, static_cast<off_t>(sent)) == 1) {
                const std::string one(1, byte);
                if (!side.Send(s_.framing == "chunked" ? "1\r\n" + one + "\r\n" : one) ||
                    side.WaitForClientClose(s_.trickleSeconds * 1000)) {
                    break;
                }
                sent = std::min(sent + 1, size - 1); // the last byte again and again
            }
            LogLine("CLOSED " + urlPath, std::chrono::system_clock::now());
        } else if (s_.badChunkAfter > 0 && sent == s_.badChunkAfter) {
            std::string rest(static_cast<std::size_t>(size - sent), '\0');
            const ssize_t got = ::pread(fd, rest.data(), rest.size(), static_cast<off_t>(sent));
            rest.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
            side.Send("ffffffffffffffffffff\r\n" + rest);
        }
    }

    void Log(const RequestParts& request, std::chrono::system_clock::time_point arrived) {
        std::string line = request.method + ' ' + request.target;
        if (!request.body.empty()) {
            line += ' ' + request.body;
        }
        LogLine(line, arrived);
    }

    void LogLine(const std::string& line, std::chrono::system_clock::time_point when) {
        if (s_.log.empty()) {
            return;
        }
        std::lock_guard lock(logMutex_);
        std::ofstream out(s_.log, std::ios::app);
        if (s_.logTimes) {
            out << std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch())
                       .count()
                << ' ';
        }
        out << line << '\n';
    }

    Settings s_;
    std::mutex logMutex_;
};

} // namespace

int main(int argc, char** argv) {
    Settings settings = ParseArguments(argc, argv);
    const bool exitOnStdinEof = settings.exitOnStdinEof;
    const std::uint16_t wantedPort = settings.port;

    // Signals are taken by sigwait below, not by whichever thread they happen to hit.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    StandIn standIn(std::move(settings));
    std::atomic<std::uint16_t> port{0};
    LoopbackServer server([&](ServerSide& side) { standIn.Handle(side, port); }, wantedPort, true);
    port = server.Port();
    std::cout << port << std::endl;

    if (exitOnStdinEof) {
        std::thread([] {
            char buffer[256];
            while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
            }
            ::kill(::getpid(), SIGTERM);
        }).detach();
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    return 0;
}

// http-bench: DownloadToStream against curl on one loopback server, in the same run.
//
// Usage: http-bench [megabytes] [rounds]    (default 256 MiB, 5 rounds; run by
// scripts/bench-http.sh). A server thread answers GET /length with a Content-Length body,
// GET /chunked with a chunked body (64 KiB chunks) and GET /close with a body that ends when the
// server closes, each of that size. Rounds are interleaved: in each round every framing is
// fetched once with curl (to /dev/null) and once with TIdHTTP into memory, so a change in the
// machine's load touches both alike. The median, fastest and slowest round of each are printed.
// The peak resident memory of this process is measured around each TIdHTTP download (the
// kernel's high-water mark is reset first), and once more for a download that is then saved to
// a file as the download window does.

#include "core/online/HttpClient.h"
#include "platform/Platform.h"
#include "support/LoopbackServer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace larkspan;

namespace {

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS").
long StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

// Makes VmHWM start again from the current resident size.
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

std::string LoadAverage() {
    std::ifstream load("/proc/loadavg");
    std::string one, five, fifteen;
    load >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// User plus system CPU time in seconds.
double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return CpuSeconds(usage);
}

struct CurlRun {
    double seconds = 0;
    double cpu = 0; // curl's own CPU time (and the shell's that starts it)
    std::uint64_t bytes = 0;
};

CurlRun RunCurl(const std::string& url) {
    const std::string command =
        "curl -s -o /dev/null -w '%{time_total} %{size_download}' '" + url + "'";
    const double cpuBefore = CpuSeconds(RUSAGE_CHILDREN);
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
    CurlRun run;
    double bytes = 0;
    if (std::fscanf(pipe, "%lf %lf", &run.seconds, &bytes) != 2) {
        run.seconds = 0;
    }
    run.bytes = static_cast<std::uint64_t>(bytes);
    pclose(pipe);
    run.cpu = CpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    return run;
}

struct Stats {
    double median = 0;
    double low = 0;
    double high = 0;
};

Stats Summary(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return {n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2, values.front(),
            values.back()};
}

const std::string& Pattern() {
    static const std::string pattern = [] {
        std::string p(1 << 20, '\0');
        for (std::size_t i = 0; i < p.size(); ++i) {
            p[i] = static_cast<char>('a' + i % 26);
        }
        return p;
    }();
    return pattern;
}

void SendChunked(testing::ServerSide& side, std::uint64_t size) {
    constexpr std::uint64_t kChunk = 64 * 1024;
    char sizeLine[32];
    for (std::uint64_t sent = 0; sent < size;) {
        const std::uint64_t n = std::min(kChunk, size - sent);
        std::snprintf(sizeLine, sizeof sizeLine, "%llx\r\n", static_cast<unsigned long long>(n));
        if (!side.Send(sizeLine) ||
            !side.Send(std::string_view(Pattern()).substr(0, static_cast<std::size_t>(n))) ||
            !side.Send("\r\n")) {
            return;
        }
        sent += n;
    }
    side.Send("0\r\n\r\n");
}

struct Framing {
    const char* name;
    const char* path;
    std::vector<double> curl;
    std::vector<double> own;
    std::vector<double> curlCpu;
    std::vector<double> ownCpu;
    long peakKiB = 0;
    long baseKiB = 0;
};

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

struct OwnRun {
    double seconds = 0;
    double cpu = 0;  // CPU time of the downloading thread (the server runs on another)
    long faults = 0; // minor page faults of the whole process during the download
    long peakKiB = 0;
    long baseKiB = 0;
    bool ok = false;
};

// One TIdHTTP download into memory, saved to `savePath` afterwards unless that is empty.
OwnRun RunOwn(const std::string& url, std::uint64_t size, const std::string& savePath) {
    OwnRun run;
    const bool peakReset = ResetPeak();
    run.baseKiB = StatusKiB("VmRSS");
    {
        online::TIdHTTP http(platform::ConnectTcp);
        online::BodyBuffer stream;
        const long faultsBefore = MinorFaults();
        const double cpuBefore = CpuSeconds(RUSAGE_THREAD);
        const auto start = std::chrono::steady_clock::now();
        http.DownloadToStream(url, stream);
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.faults = MinorFaults() - faultsBefore;
        run.cpu = CpuSeconds(RUSAGE_THREAD) - cpuBefore;
        run.ok = stream.Size() == size;
        if (!run.ok) {
            std::cerr << url << ": short download, " << stream.Size() << " bytes\n";
        }
        if (!savePath.empty()) {
            std::string error;
            if (!platform::WriteFileNoFollow(savePath, stream.Pieces(),
                                             platform::FileMode::UserReadWrite, error)) {
                std::cerr << error << "\n";
                run.ok = false;
            }
        }
    }
    run.peakKiB = peakReset ? StatusKiB("VmHWM") : -1;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::uint64_t size = megabytes * 1024 * 1024;
    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);

    testing::LoopbackServer server(
        [&](testing::ServerSide& side) {
            const std::string request = side.ReadRequest();
            if (request.empty()) {
                return;
            }
            const std::string target = testing::SplitRequest(request).target;
            if (target == "/chunked") {
                side.Send("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                          "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
                SendChunked(side, size);
            } else if (target == "/close") {
                side.Send("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                          "Connection: close\r\n\r\n");
                side.SendPattern(size);
            } else {
                side.Send("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                          "Content-Length: " +
                          std::to_string(size) + "\r\nConnection: close\r\n\r\n");
                side.SendPattern(size);
            }
        },
        0, true);

    std::array<Framing, 3> framings{{{"Content-Length", "/length", {}, {}, {}, {}},
                                     {"chunked", "/chunked", {}, {}, {}, {}},
                                     {"until close", "/close", {}, {}, {}, {}}}};
    std::printf("body: %.0f MiB over 127.0.0.1, %d rounds; load average before: %s\n", mib, rounds,
                LoadAverage().c_str());
    bool ok = true;
    for (int round = 0; round < rounds; ++round) {
        std::printf("round %d:", round + 1);
        for (auto& framing : framings) {
            const std::string url = server.Url(framing.path);
            const CurlRun curl = RunCurl(url);
            if (curl.bytes != size || curl.seconds <= 0) {
                std::cerr << "\ncurl failed on " << url << " (is it installed?)\n";
                return 1;
            }
            framing.curl.push_back(curl.seconds);
            framing.curlCpu.push_back(curl.cpu);
            const OwnRun own = RunOwn(url, size, "");
            ok = ok && own.ok;
            framing.own.push_back(own.seconds);
            framing.ownCpu.push_back(own.cpu);
            framing.peakKiB = std::max(framing.peakKiB, own.peakKiB);
            framing.baseKiB = std::max(framing.baseKiB, own.baseKiB);
            std::printf("  %s curl %.3f s, own %.3f s (CPU %.3f s, %ld faults);", framing.name,
                        curl.seconds, own.seconds, own.cpu, own.faults);
        }
        std::printf("\n");
        std::fflush(stdout);
    }

    // The download window's path: into memory, then into a file.
    const std::string savePath = platform::TemporaryFolder() + "/http-bench-Setup.exe";
    const OwnRun saved = RunOwn(server.Url("/length"), size, savePath);
    platform::DeleteFileQuietly(savePath);
    ok = ok && saved.ok;

    std::printf("\nthroughput in MiB/s, median [slowest .. fastest round]:\n");
    std::printf("%-15s %-30s %-30s %-7s %s\n", "framing", "curl", "DownloadToStream", "ratio",
                "peak RSS (before)");
    for (const auto& framing : framings) {
        const Stats curl = Summary(framing.curl);
        const Stats own = Summary(framing.own);
        char curlText[64], ownText[64];
        std::snprintf(curlText, sizeof curlText, "%7.1f [%7.1f .. %7.1f]", mib / curl.median,
                      mib / curl.high, mib / curl.low);
        std::snprintf(ownText, sizeof ownText, "%7.1f [%7.1f .. %7.1f]", mib / own.median,
                      mib / own.high, mib / own.low);
        std::printf("%-15s %-30s %-30s %5.2f   %.1f MiB (%.1f)\n", framing.name, curlText, ownText,
                    curl.median / own.median, static_cast<double>(framing.peakKiB) / 1024,
                    static_cast<double>(framing.baseKiB) / 1024);
    }
    std::printf("\nCPU time of the client per download, median [least .. most]; on a loaded\n"
                "machine it tells the clients' own cost apart from the waits for a core:\n");
    for (const auto& framing : framings) {
        const Stats curl = Summary(framing.curlCpu);
        const Stats own = Summary(framing.ownCpu);
        std::printf("%-15s curl %.3f s [%.3f .. %.3f]   DownloadToStream %.3f s [%.3f .. %.3f]\n",
                    framing.name, curl.median, curl.low, curl.high, own.median, own.low, own.high);
    }
    std::printf("download and save to a file: peak RSS %.1f MiB (before %.1f)\n",
                static_cast<double>(saved.peakKiB) / 1024,
                static_cast<double>(saved.baseKiB) / 1024);
    std::printf("aims: ratio >= 0.95 for every framing; peak RSS <= body + 64 = %.0f MiB\n",
                mib + 64);
    std::printf("load average after: %s\n", LoadAverage().c_str());
    return ok ? 0 : 1;
}

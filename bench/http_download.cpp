// http-bench: DownloadToStream against curl on one loopback server, in the same run.
//
// Usage: http-bench [megabytes] [rounds]    (default 256 MiB, 5 rounds; run by
// scripts/bench-http.sh). A server thread answers every GET with a Content-Length body of that
// size. Each round downloads it once with curl (to /dev/null) and once with TIdHTTP into a
// std::string; the best and the median rounds of each are compared. The peak resident memory of
// this process is measured around each TIdHTTP download (the kernel's high-water mark is reset
// first).

#include "online/HttpClient.h"
#include "platform/Platform.h"
#include "support/LoopbackServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
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

struct CurlRun {
    double seconds = 0;
    std::uint64_t bytes = 0;
};

CurlRun RunCurl(const std::string& url) {
    const std::string command =
        "curl -s -o /dev/null -w '%{time_total} %{size_download}' '" + url + "'";
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
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::uint64_t size = megabytes * 1024 * 1024;
    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);

    testing::LoopbackServer server(
        [&](testing::ServerSide& side) {
            if (side.ReadRequest().empty()) {
                return;
            }
            side.Send("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                      "Content-Length: " +
                      std::to_string(size) + "\r\nConnection: close\r\n\r\n");
            side.SendPattern(size);
        },
        0, true);
    const std::string url = server.Url("/body.bin");

    std::vector<double> curlTimes;
    std::vector<double> ownTimes;
    long peakKiB = 0;
    long baseKiB = 0;
    bool ok = true;
    for (int round = 0; round < rounds; ++round) {
        const CurlRun curl = RunCurl(url);
        if (curl.bytes != size || curl.seconds <= 0) {
            std::cerr << "curl failed (is it installed?)\n";
            return 1;
        }
        curlTimes.push_back(curl.seconds);

        const bool peakReset = ResetPeak();
        const long before = StatusKiB("VmRSS");
        double seconds = 0;
        {
            online::TIdHTTP http(platform::ConnectTcp);
            std::string stream;
            const auto start = std::chrono::steady_clock::now();
            http.DownloadToStream(url, stream);
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (stream.size() != size) {
                std::cerr << "short download: " << stream.size() << " bytes\n";
                ok = false;
            }
        }
        ownTimes.push_back(seconds);
        if (peakReset) {
            peakKiB = std::max(peakKiB, StatusKiB("VmHWM"));
            baseKiB = std::max(baseKiB, before);
        }
        std::printf("round %d: curl %.3f s, DownloadToStream %.3f s\n", round + 1, curl.seconds,
                    seconds);
    }

    const double curlBest = mib / *std::min_element(curlTimes.begin(), curlTimes.end());
    const double ownBest = mib / *std::min_element(ownTimes.begin(), ownTimes.end());
    const double curlMedian = mib / Median(curlTimes);
    const double ownMedian = mib / Median(ownTimes);
    std::printf("body: %.0f MiB over 127.0.0.1, %d rounds\n", mib, rounds);
    std::printf("                      best         median\n");
    std::printf("curl:             %8.1f MiB/s %8.1f MiB/s\n", curlBest, curlMedian);
    std::printf("DownloadToStream: %8.1f MiB/s %8.1f MiB/s\n", ownBest, ownMedian);
    std::printf("ratio:            %8.2f       %8.2f      (aim >= 0.80)\n", ownBest / curlBest,
                ownMedian / curlMedian);
    if (peakKiB > 0) {
        const double peakMiB = static_cast<double>(peakKiB) / 1024.0;
        std::printf("peak resident:    %8.1f MiB (before the download %.1f MiB; aim <= body + 64 "
                    "= %.0f MiB)\n",
                    peakMiB, static_cast<double>(baseKiB) / 1024.0, mib + 64);
    } else {
        std::printf("peak resident:    not measurable (/proc/self/clear_refs unavailable)\n");
    }
    return ok ? 0 : 1;
}

// download-watch: tells a benchmark script when a download has landed, and the downloading
// program's peak memory by then.
//
// Usage: download-watch FOLDER NAME PID [SECONDS]
// Prints "ready" once it watches FOLDER. When a file called NAME is renamed into FOLDER or
// closed after writing there, it prints one line, "<microseconds since the epoch> <peak resident
// KiB of PID>", and ends with status 0. The time is taken as the kernel reports the event, so
// it does not depend on how often anything polls. Ends with status 1 when PID ends first or
// SECONDS (default 300) pass.

#include <sys/inotify.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

long long EpochMicroseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// VmHWM of the process in KiB: the kernel's own high-water mark of its resident memory. -1 once
// the process has ended (a zombie has no memory left to report).
long PeakResidentKiB(const std::string& pid) {
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: %s FOLDER NAME PID [SECONDS]\n", argv[0]);
        return 2;
    }
    const std::string name = argv[2];
    const std::string pid = argv[3];
    const long long deadline =
        EpochMicroseconds() + (argc == 5 ? std::atoll(argv[4]) : 300) * 1000000LL;

    const int watch = inotify_init1(IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, argv[1], IN_MOVED_TO | IN_CLOSE_WRITE) < 0) {
        std::fprintf(stderr, "cannot watch %s: %s\n", argv[1], std::strerror(errno));
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    long peak = 0;
    for (;;) {
        pollfd ready{watch, POLLIN, 0};
        // The memory figure is sampled meanwhile, so the peak is known even if the program
        // ends the moment its file is complete.
        const int polled = poll(&ready, 1, 10);
        const long long now = EpochMicroseconds();
        if (polled > 0) {
            alignas(inotify_event) char events[8192];
            const ssize_t length = read(watch, events, sizeof events);
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                if (event->len > 0 && name == event->name) {
                    const long last = PeakResidentKiB(pid);
                    std::printf("%lld %ld\n", now, last > peak ? last : peak);
                    return 0;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        const long current = PeakResidentKiB(pid);
        if (current < 0) {
            std::fprintf(stderr, "process %s ended before %s appeared\n", pid.c_str(), argv[2]);
            return 1;
        }
        peak = current > peak ? current : peak;
        if (now > deadline) {
            std::fprintf(stderr, "%s did not appear in time\n", argv[2]);
            return 1;
        }
    }
}

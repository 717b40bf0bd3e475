// RunCaptured and RunStreamed on POSIX: a forked child in a process group of its own, with two
// pipes (three when the child's input is given), drained and fed together with poll().

#include "platform/Platform.h"
#include "platform/Policy.h"
#include "platform/posix/Spawn.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace larkspan::platform {

namespace {

std::string Describe(int error) {
    return std::strerror(error);
}

// Reads what is there into `buffer`; nothing once the pipe reports end-of-data (or fails).
std::optional<std::string_view> Drain(int fd, char (&buffer)[65536]) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            return std::string_view(buffer, static_cast<std::size_t>(n));
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return std::nullopt;
    }
}

// Writes what the pipe takes now; false once all is written or the reader has gone.
bool Feed(int fd, std::string_view& rest) {
    while (!rest.empty()) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n > 0) {
            rest.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return false;
}

// A child that ends without reading all its input makes our next write fail with EPIPE, and its
// SIGPIPE would end this program. The signal is blocked in this thread only while the input is
// written, and one left pending is taken before it is unblocked.
class SigpipeHeld {
public:
    SigpipeHeld() {
        sigset_t pipe;
        ::sigemptyset(&pipe);
        ::sigaddset(&pipe, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipe, &previous_);
    }
    ~SigpipeHeld() {
        sigset_t pipe;
        ::sigemptyset(&pipe);
        ::sigaddset(&pipe, SIGPIPE);
        const timespec now{0, 0};
        while (::sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

private:
    sigset_t previous_;
};

struct ChildStart {
    const char* program = nullptr;
    char* const* argv = nullptr;
    int input = -1; // the child's standard input, or -1 to keep the program's
    int output = -1;
    int error = -1;
    int report = -1; // close-on-exec pipe end: an errno arrives here when the start fails
    int maxFd = 0;
    pid_t parent = 0;
};

[[noreturn]] void RunChild(const ChildStart& start) {
    // Only async-signal-safe calls from here on: other threads of the program may have held
    // locks (the allocator's, say) at the moment of the fork.
    ::setpgid(0, 0);
    // Killed with the thread that started it: a job ended from outside (the program's Stop
    // kills the adapter's process group, which this child has left) must not leave it running.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != start.parent) {
        ::_exit(127); // the parent was gone before the line above took effect
    }
    if (start.input >= 0) {
        ::dup2(start.input, STDIN_FILENO);
    }
    ::dup2(start.output, STDOUT_FILENO);
    ::dup2(start.error, STDERR_FILENO);
    // Everything else goes, except the report pipe, which closes itself on a successful exec
    // (every pipe end lies above the standard streams).
    const bool closed = (start.report == 3 || ::close_range(3, start.report - 1, 0) == 0) &&
                        ::close_range(start.report + 1, ~0U, 0) == 0;
    if (!closed) {
        for (int fd = 3; fd < start.maxFd; ++fd) {
            if (fd != start.report) {
                ::close(fd);
            }
        }
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        ::sigaction(signal, &action, nullptr);
    }
    // In a group of its own the child is a background job of a terminal: reading one (the
    // program's own input, when it is a terminal) fails instead of stopping the child for ever.
    action.sa_handler = SIG_IGN;
    ::sigaction(SIGTTIN, &action, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(start.program, start.argv, environ);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(start.report, &error, sizeof error);
    ::_exit(127);
}

// Starts the child; 0, or the errno of the failed start (a missing program, one not runnable).
int StartChild(ChildStart start, pid_t& child) {
    posix::UniqueFd reportRead;
    posix::UniqueFd reportWrite;
    if (!posix::MakePipe(reportRead, reportWrite)) {
        return errno;
    }
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    start.maxFd = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) : 65536;
    start.report = reportWrite.Get();
    start.parent = ::getpid();

    // Signals stay blocked across the fork so that no handler of the program runs in the child
    // before the child has put every signal back to its default.
    sigset_t all;
    sigset_t previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    child = ::fork();
    if (child == 0) {
        RunChild(start);
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (child < 0) {
        return forkError;
    }
    // Also here, so that the group exists before anything below could end it.
    ::setpgid(child, child);
    reportWrite.Close();
    int error = 0;
    ssize_t got;
    do {
        got = ::read(reportRead.Get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got == sizeof error) {
        int status = 0;
        posix::WaitForChild(child, status);
        return error != 0 ? error : ENOEXEC;
    }
    return 0;
}

using Clock = std::chrono::steady_clock;

// The child's three pipes. Every one is close-on-exec in the caller: a child started at the same
// time by another thread must not hold our write ends, or our reads would not see end-of-data.
struct ChildPipes {
    posix::UniqueFd outRead, outWrite, errRead, errWrite, inRead, inWrite;

    // 0, or the errno of the failure. The input pipe only `withInput`, its write end non-blocking.
    int Make(bool withInput) {
        const bool made = posix::MakePipe(outRead, outWrite) &&
                          posix::MakePipe(errRead, errWrite) &&
                          (!withInput || (posix::MakePipe(inRead, inWrite) &&
                                          ::fcntl(inWrite.Get(), F_SETFL, O_NONBLOCK) == 0));
        return made ? 0 : errno;
    }
    // Once the child has its ends, so that end-of-data comes when it (and all it started) close
    // them.
    void CloseChildsEnds() {
        outWrite.Close();
        errWrite.Close();
        inRead.Close();
    }
};

// Why the exchange with the child ended.
enum class ExchangeEnd {
    Drained,   // both output pipes reached end-of-data
    TimedOut,  // the time allowed ran out
    OutputCut, // the output passed its bound or the sink refused it
    Failed,    // poll() failed: nothing more can be read, so the child is not waited for
};

// The milliseconds poll() may wait before `deadline`, at most a minute; nothing when the time is
// up.
std::optional<int> WaitBefore(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
        return std::nullopt;
    }
    return static_cast<int>(std::min<long long>(left, 60'000));
}

// Reads both output pipes as data arrives and writes the input as the child takes it, so a child
// that fills one of them while we wait on another cannot block.
ExchangeEnd Exchange(ChildPipes& pipes, std::optional<std::string_view> standardInput,
                     policy::CapturedOutput& kept, std::optional<Clock::time_point> deadline) {
    std::string_view input = standardInput.value_or(std::string_view());
    if (standardInput && input.empty()) {
        pipes.inWrite.Close();
    }
    const SigpipeHeld sigpipeHeld;
    pollfd fds[3] = {{pipes.outRead.Get(), POLLIN, 0},
                     {pipes.errRead.Get(), POLLIN, 0},
                     {pipes.inWrite.Get(), POLLOUT, 0}};
    char buffer[65536];
    for (int open = 2; open > 0;) {
        int wait = -1;
        if (deadline) {
            const std::optional<int> left = WaitBefore(*deadline);
            if (!left) {
                return ExchangeEnd::TimedOut;
            }
            wait = *left;
        }
        if (::poll(fds, fds[2].fd >= 0 ? 3 : 2, wait) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ExchangeEnd::Failed;
        }
        if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLHUP | POLLERR)) != 0 &&
            !Feed(fds[2].fd, input)) {
            // All written (end-of-data for the child), or the child stopped reading.
            pipes.inWrite.Close();
            fds[2].fd = -1;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const std::optional<std::string_view> piece = Drain(fds[i].fd, buffer);
            if (!piece) {
                fds[i].fd = -1; // poll ignores negative descriptors
                --open;
            } else if (i == 1) {
                kept.TakeError(*piece);
            } else if (!kept.TakeOutput(*piece)) {
                return ExchangeEnd::OutputCut;
            }
        }
    }
    return ExchangeEnd::Drained;
}

// A child may close its output and run on: the time allowed holds until it has ended. Looked at
// without reaping it, so that its group cannot be gone when it is ended. False when the time ran
// out first.
bool EndsBefore(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            info.si_pid == pid) {
            return true;
        }
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(10)));
    }
}

// Waits for the child; its exit status, 128 + the signal that killed it, or -1.
int ExitCode(pid_t pid) {
    int status = 0;
    if (!posix::WaitForChild(pid, status)) {
        return -1;
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

CapturedRun Run(const std::vector<std::string>& argv, std::optional<std::string_view> standardInput,
                const OutputSink* sink, const CaptureLimits& limits) {
    CapturedRun result;
    if (argv.empty() || argv.front().empty()) {
        result.startError = "no program to run";
        return result;
    }
    // The search a shell makes, done before the fork.
    const std::string& argument0 = argv.front();
    const std::string program =
        argument0.find('/') == std::string::npos ? posix::FindOnPath(argument0) : argument0;
    if (program.empty()) {
        result.startError = Describe(ENOENT);
        return result;
    }
    ChildPipes pipes;
    if (const int error = pipes.Make(standardInput.has_value()); error != 0) {
        result.startError = Describe(error);
        return result;
    }

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    ChildStart start;
    start.program = program.c_str();
    start.argv = args.data();
    start.input = standardInput ? pipes.inRead.Get() : -1;
    start.output = pipes.outWrite.Get();
    start.error = pipes.errWrite.Get();
    pid_t pid = -1;
    const int startError = StartChild(start, pid);
    pipes.CloseChildsEnds();
    if (startError != 0) {
        result.startError = Describe(startError);
        return result;
    }
    result.started = true;

    std::optional<Clock::time_point> deadline;
    if (limits.time.count() > 0) {
        deadline = Clock::now() + limits.time;
    }
    policy::CapturedOutput kept(limits.outputBytes, sink, result.standardOutput,
                                result.standardError, kCapturedErrorBytes);
    const ExchangeEnd end = Exchange(pipes, standardInput, kept, deadline);
    result.outputCut = end == ExchangeEnd::OutputCut;
    result.timedOut = end == ExchangeEnd::TimedOut ||
                      (end == ExchangeEnd::Drained && deadline && !EndsBefore(pid, *deadline));
    if (end != ExchangeEnd::Drained || result.timedOut) {
        // The whole group, before the child is waited for: until then its number cannot be
        // given to another group. A failed poll() leaves nobody to read the pipes, so a child
        // waited for instead could block on them for ever.
        ::kill(-pid, SIGKILL);
    }
    result.exitCode = ExitCode(pid);
    return result;
}

} // namespace

CapturedRun RunCaptured(const std::vector<std::string>& argv,
                        std::optional<std::string_view> standardInput,
                        const CaptureLimits& limits) {
    return Run(argv, standardInput, nullptr, limits);
}

CapturedRun RunStreamed(const std::vector<std::string>& argv,
                        std::optional<std::string_view> standardInput, const OutputSink& sink,
                        const CaptureLimits& limits) {
    return Run(argv, standardInput, &sink, limits);
}

} // namespace larkspan::platform

// RunCaptured on POSIX: posix_spawn with two pipes (three when the child's input is given),
// drained and fed together with poll().

#include "platform/Platform.h"
#include "platform/posix/Spawn.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace larkspan::platform {

namespace {

std::string Describe(int error) {
    return std::strerror(error);
}

// Reads what is there; false once the pipe reports end-of-data (or fails).
bool Drain(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return false;
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

// A child that ends without reading all of its input makes our next write fail with EPIPE, and
// the SIGPIPE that comes with it would end this program. The signal is blocked in this thread
// while the input is written, and one left pending by such a write is taken before it is
// unblocked, so other threads and the program's own handling are left as they were.
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

} // namespace

CapturedRun RunCaptured(const std::vector<std::string>& argv,
                        std::optional<std::string_view> standardInput) {
    CapturedRun result;
    if (argv.empty() || argv.front().empty()) {
        result.startError = "no program to run";
        return result;
    }
    const std::string& program = argv.front();

    // Both pipes are close-on-exec in the caller: a child started at the same time by another
    // thread must not hold our write ends, or our reads would not see end-of-data.
    posix::UniqueFd outRead, outWrite, errRead, errWrite, inRead, inWrite;
    if (!posix::MakePipe(outRead, outWrite) || !posix::MakePipe(errRead, errWrite) ||
        (standardInput &&
         (!posix::MakePipe(inRead, inWrite) || ::fcntl(inWrite.Get(), F_SETFL, O_NONBLOCK) != 0))) {
        result.startError = Describe(errno);
        return result;
    }

    const posix::Redirection output{outWrite.Get(), STDOUT_FILENO};
    const posix::Redirection error{errWrite.Get(), STDERR_FILENO};
    posix::SpawnSetup spawn = standardInput
                                  ? posix::SpawnSetup({output, error, {inRead.Get(), STDIN_FILENO}})
                                  : posix::SpawnSetup({output, error});

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    // glibc's posix_spawn reports a failed exec (missing file, no permission, not an
    // executable) as its own result, so "could not start" never looks like a child's exit.
    pid_t pid = -1;
    const bool search = program.find('/') == std::string::npos;
    const int spawnError = search ? ::posix_spawnp(&pid, program.c_str(), &spawn.actions,
                                                   &spawn.attributes, args.data(), environ)
                                  : ::posix_spawn(&pid, program.c_str(), &spawn.actions,
                                                  &spawn.attributes, args.data(), environ);
    outWrite.Close();
    errWrite.Close();
    inRead.Close();
    if (spawnError != 0) {
        result.startError = Describe(spawnError);
        return result;
    }
    result.started = true;

    // Both pipes are read as data arrives, and the input written as the child takes it, so a
    // child that fills one of them while we wait on another cannot block.
    std::string_view input = standardInput.value_or(std::string_view());
    if (standardInput && input.empty()) {
        inWrite.Close();
    }
    const SigpipeHeld sigpipeHeld;
    pollfd fds[3] = {
        {outRead.Get(), POLLIN, 0}, {errRead.Get(), POLLIN, 0}, {inWrite.Get(), POLLOUT, 0}};
    std::string* sinks[2] = {&result.standardOutput, &result.standardError};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, fds[2].fd >= 0 ? 3 : 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLHUP | POLLERR)) != 0 &&
            !Feed(fds[2].fd, input)) {
            // All written (end-of-data for the child), or the child stopped reading.
            inWrite.Close();
            fds[2].fd = -1;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                if (!Drain(fds[i].fd, *sinks[i])) {
                    fds[i].fd = -1; // poll ignores negative descriptors
                    --open;
                }
            }
        }
    }

    int status = 0;
    if (!posix::WaitForChild(pid, status)) {
        result.exitCode = -1;
        return result;
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitCode = 128 + WTERMSIG(status);
    }
    return result;
}

} // namespace larkspan::platform

// RunCaptured on POSIX: posix_spawn with two pipes, drained together with poll().

#include "platform/Platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace larkspan::platform {

namespace {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Close(); }
    int Get() const { return fd_; }
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }
    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

// Moves a descriptor that landed on 0, 1 or 2 (the caller runs with one of them closed) out
// of the way, so that setting up the child's standard streams cannot overwrite another pipe.
int AboveStandardStreams(int fd) {
    if (fd < 0 || fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return moved;
}

bool MakePipe(Fd& readEnd, Fd& writeEnd) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.Reset(AboveStandardStreams(ends[0]));
    writeEnd.Reset(AboveStandardStreams(ends[1]));
    return readEnd.Get() >= 0 && writeEnd.Get() >= 0;
}

struct SpawnAttributes {
    posix_spawnattr_t attributes;
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

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

} // namespace

CapturedRun RunCaptured(const std::vector<std::string>& argv) {
    CapturedRun result;
    if (argv.empty() || argv.front().empty()) {
        result.startError = "no program to run";
        return result;
    }
    const std::string& program = argv.front();

    // Both pipes are close-on-exec in the caller: a child started at the same time by another
    // thread must not hold our write ends, or our reads would not see end-of-data.
    Fd outRead, outWrite, errRead, errWrite;
    if (!MakePipe(outRead, outWrite) || !MakePipe(errRead, errWrite)) {
        result.startError = Describe(errno);
        return result;
    }

    SpawnActions spawn;
    posix_spawn_file_actions_adddup2(&spawn.actions, outWrite.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&spawn.actions, errWrite.Get(), STDERR_FILENO);
    // Whatever else the caller has open (sockets, the instance lock, files of other threads)
    // stays with the caller; the child gets standard input, output and error only.
    posix_spawn_file_actions_addclosefrom_np(&spawn.actions, 3);

    // The child starts with no blocked signals and the default SIGPIPE action, whatever the
    // calling thread has set up for itself.
    SpawnAttributes attributes;
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes.attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes.attributes, &signals);
    posix_spawnattr_setflags(&attributes.attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

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
                                                   &attributes.attributes, args.data(), environ)
                                  : ::posix_spawn(&pid, program.c_str(), &spawn.actions,
                                                  &attributes.attributes, args.data(), environ);
    outWrite.Close();
    errWrite.Close();
    if (spawnError != 0) {
        result.startError = Describe(spawnError);
        return result;
    }
    result.started = true;

    // Both pipes are read as data arrives, so a child that fills one of them while we wait on
    // the other cannot block.
    pollfd fds[2] = {{outRead.Get(), POLLIN, 0}, {errRead.Get(), POLLIN, 0}};
    std::string* sinks[2] = {&result.standardOutput, &result.standardError};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
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
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result.exitCode = -1;
            return result;
        }
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitCode = 128 + WTERMSIG(status);
    }
    return result;
}

} // namespace larkspan::platform

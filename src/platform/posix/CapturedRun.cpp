// RunCaptured on POSIX: posix_spawn with two pipes, drained together with poll().

#include "platform/Platform.h"
#include "platform/posix/Spawn.h"

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
    posix::UniqueFd outRead, outWrite, errRead, errWrite;
    if (!posix::MakePipe(outRead, outWrite) || !posix::MakePipe(errRead, errWrite)) {
        result.startError = Describe(errno);
        return result;
    }

    posix::SpawnSetup spawn({{outWrite.Get(), STDOUT_FILENO}, {errWrite.Get(), STDERR_FILENO}});

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

// Handing things to the desktop: documents and links to the desktop's opener (xdg-open), and
// programs started directly. Both run fully detached: in their own session, as a grandchild
// that init adopts, so this program neither waits for them nor leaves a zombie behind, and
// they inherit nothing but /dev/null.

#include "platform/Platform.h"
#include "platform/posix/Spawn.h"

#include "core/text/TextRules.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace larkspan::platform {

namespace {

constexpr const char* openerName = "xdg-open";

struct DetachedStart {
    const char* program = nullptr;
    char* const* argv = nullptr;
    const char* folder = nullptr; // working folder, or nullptr to keep this program's
    int devNull = -1;
    int maxFd = 0;
    int report = -1; // close-on-exec pipe end: an errno arrives here when the exec fails
};

[[noreturn]] void RunDetached(const DetachedStart& start) {
    // Only async-signal-safe calls from here on: other threads of the program may have held
    // locks (the allocator's, say) at the moment of the fork.
    ::setsid();
    if (::_Fork() != 0) {
        ::_exit(0); // the parent reaps this at once; the grandchild goes to init
    }
    ::dup2(start.devNull, STDIN_FILENO);
    ::dup2(start.devNull, STDOUT_FILENO);
    ::dup2(start.devNull, STDERR_FILENO);
    // Everything else goes, except the report pipe, which closes itself on a successful exec
    // (it lies above the standard streams).
    const bool closed = (start.report == 3 || ::close_range(3, start.report - 1, 0) == 0) &&
                        ::close_range(start.report + 1, ~0U, 0) == 0;
    if (!closed) {
        for (int fd = 3; fd < start.maxFd; ++fd) {
            if (fd != start.report) {
                ::close(fd);
            }
        }
    }
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        ::sigaction(signal, &defaultAction, nullptr);
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    int error = 0;
    if (start.folder != nullptr && ::chdir(start.folder) != 0) {
        error = errno;
    } else {
        ::execve(start.program, start.argv, environ);
        error = errno;
    }
    if (start.report >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(start.report, &error, sizeof error);
    }
    ::_exit(127);
}

// Starts `program` detached. Returns 0 once it runs, else the errno of the failed start.
int StartDetached(const std::string& program, std::vector<std::string> arguments,
                  const std::string* folder) {
    const posix::UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (devNull.Get() < 0) {
        return errno;
    }
    posix::UniqueFd reportRead;
    posix::UniqueFd reportWrite;
    if (!posix::MakePipe(reportRead, reportWrite)) {
        return errno;
    }
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    DetachedStart start;
    start.program = program.c_str();
    start.argv = argv.data();
    start.folder = folder != nullptr ? folder->c_str() : nullptr;
    start.devNull = devNull.Get();
    start.maxFd = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) : 65536;
    start.report = reportWrite.Get();

    // Signals stay blocked across the fork so that no handler of the program runs in the child
    // before the child has put every signal back to its default.
    sigset_t all;
    sigset_t previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t child = ::fork();
    if (child == 0) {
        RunDetached(start);
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (child < 0) {
        return forkError;
    }
    reportWrite.Close();
    int status = 0;
    posix::WaitForChild(child, status);
    // The grandchild holds the other end until its exec closes it: end-of-data with nothing
    // read means the program runs.
    int error = 0;
    ssize_t got;
    do {
        got = ::read(reportRead.Get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got == sizeof error) {
        return error != 0 ? error : ENOEXEC;
    }
    // The intermediate child failed before it could fork (no processes left, say).
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return EAGAIN;
    }
    return 0;
}

} // namespace

void EndAsTheMainWindowCloses(int /*status*/) {
    // Hiding a window is quick here; the program ends the usual way.
}

bool DisplayAvailable() {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

void OpenWithShell(const std::string& target) {
    const std::string opener = posix::FindOnPath(openerName);
    if (!opener.empty()) {
        StartDetached(opener, {openerName, target}, nullptr);
    }
}

bool StartProgram(const std::string& path, std::string& error) {
    if (path.empty() || path.front() != '/') {
        // A relative path would depend on this program's current folder.
        error = std::strerror(ENOENT);
        return false;
    }
    const std::string folder = FolderPart(path);
    const int failure = StartDetached(path, {path}, &folder);
    if (failure != 0) {
        error = std::strerror(failure);
        return false;
    }
    error.clear();
    return true;
}

} // namespace larkspan::platform

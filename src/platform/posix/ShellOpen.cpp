// Opening a document, link or program with the desktop's opener (xdg-open), fully detached:
// the opener runs in its own session as a grandchild that init adopts, so the program neither
// waits for it nor leaves a zombie behind, and it inherits nothing but /dev/null.

#include "platform/Platform.h"
#include "platform/posix/Spawn.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace larkspan::platform {

namespace {

constexpr const char* openerName = "xdg-open";

// The search a shell would make for a bare command name, done here because the forked child
// may only make async-signal-safe calls.
std::string FindOnPath(const std::string& program) {
    const char* variable = std::getenv("PATH");
    const std::string path = variable != nullptr ? variable : posix::DefaultSearchPath();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        // An empty entry means the current folder.
        const std::string folder = end > start ? path.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + program;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

[[noreturn]] void RunOpener(const char* opener, char* const argv[], int devNull, int maxFd) {
    // Only async-signal-safe calls from here on: other threads of the program may have held
    // locks (the allocator's, say) at the moment of the fork.
    ::setsid();
    if (::_Fork() != 0) {
        ::_exit(0); // the parent reaps this at once; the grandchild goes to init
    }
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    if (::close_range(3, ~0U, 0) != 0) {
        for (int fd = 3; fd < maxFd; ++fd) {
            ::close(fd);
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
    ::execve(opener, argv, environ);
    ::_exit(127);
}

} // namespace

void OpenWithShell(const std::string& target) {
    const std::string opener = FindOnPath(openerName);
    if (opener.empty()) {
        return;
    }
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) {
        return;
    }
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    const int maxFd = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) : 65536;
    std::string argument0 = openerName;
    std::string argument1 = target;
    char* const argv[] = {argument0.data(), argument1.data(), nullptr};

    // Signals stay blocked across the fork so that no handler of the program runs in the child
    // before the child has put every signal back to its default.
    sigset_t all;
    sigset_t previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t child = ::fork();
    if (child == 0) {
        RunOpener(opener.c_str(), argv, devNull, maxFd);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(devNull);
    if (child > 0) {
        int status = 0;
        posix::WaitForChild(child, status);
    }
}

} // namespace larkspan::platform

#pragma once

// Pieces shared by the POSIX code that starts child processes.

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace larkspan::platform::posix {

// Owns a descriptor, so every path closes it.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
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
    int fd_;
};

// A pipe whose two ends close on exec: a child that another thread starts at the same moment
// never holds them, so end-of-data comes when our own child closes its end. An end that lands
// on 0, 1 or 2 (the program runs with a standard stream closed) is moved above them, so the
// child's dup2 onto its standard streams cannot overwrite it.
inline bool MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.Reset(ends[0]);
    writeEnd.Reset(ends[1]);
    for (UniqueFd* end : {&readEnd, &writeEnd}) {
        if (end->Get() <= STDERR_FILENO) {
            const int moved = ::fcntl(end->Get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            if (moved < 0) {
                return false;
            }
            end->Reset(moved);
        }
    }
    return true;
}

struct Redirection {
    int from; // a descriptor of the program
    int to;   // the child's standard stream it becomes
};

// The descriptor a child is handed besides its standard streams (SpawnSetup's `handed`).
inline constexpr int kHandedDescriptor = STDERR_FILENO + 1;

// File actions and attributes of one spawn. The child gets its standard streams (those listed
// redirected), `handed` (when not -1) as kHandedDescriptor, and nothing else of the program
// (descriptors other code opened without close-on-exec stay with the program), no blocked
// signals and every signal at its default action: what the program ignores (SIGPIPE, often) is
// not the child's business.
class SpawnSetup {
public:
    explicit SpawnSetup(std::initializer_list<Redirection> redirections, int handed = -1) {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
        for (const Redirection& r : redirections) {
            ::posix_spawn_file_actions_adddup2(&actions, r.from, r.to);
        }
        // (glibc clears close-on-exec also where the descriptor is kHandedDescriptor already.)
        if (handed >= 0) {
            ::posix_spawn_file_actions_adddup2(&actions, handed, kHandedDescriptor);
        }
        // After the redirections, which still need their sources open.
        ::posix_spawn_file_actions_addclosefrom_np(&actions, handed >= 0 ? kHandedDescriptor + 1
                                                                         : STDERR_FILENO + 1);
        sigset_t all;
        sigset_t none;
        ::sigfillset(&all);
        ::sigemptyset(&none);
        ::posix_spawnattr_setsigdefault(&attributes, &all);
        ::posix_spawnattr_setsigmask(&attributes, &none);
        ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// The folders a shell searches for a bare command name when PATH is not set.
inline std::string DefaultSearchPath() {
    std::string path(::confstr(_CS_PATH, nullptr, 0), '\0');
    ::confstr(_CS_PATH, path.data(), path.size());
    path.resize(std::strlen(path.c_str()));
    return path;
}

// A regular file this user may run.
inline bool IsRunnableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The search a shell (and posix_spawnp) makes for a bare command name: each PATH entry in turn,
// an empty one meaning the current folder; "" when none holds a runnable file. (Done before a
// fork, where the child may only make async-signal-safe calls.)
inline std::string FindOnPath(const std::string& program) {
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
        if (IsRunnableFile(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

// Waits for the child to end; false when it cannot be waited for.
inline bool WaitForChild(pid_t child, int& status) {
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

} // namespace larkspan::platform::posix

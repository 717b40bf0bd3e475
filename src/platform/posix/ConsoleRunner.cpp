// Running a command line through /bin/sh and capturing everything it prints.

#include "platform/Platform.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace larkspan::platform {

namespace {

// Owns a descriptor for the length of one call, so every path closes it.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
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

class SpawnSetup {
public:
    SpawnSetup() {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
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

std::string AbsoluteFolder(const std::string& folder) {
    if (folder.front() == '/') {
        return folder;
    }
    std::string current(4096, '\0');
    while (::getcwd(current.data(), current.size()) == nullptr) {
        if (errno != ERANGE) {
            return folder;
        }
        current.resize(current.size() * 2);
    }
    current.resize(std::strlen(current.c_str()));
    return current + "/" + folder;
}

// The program's own environment, with the working folder put first on PATH: cmd.exe finds a
// bare command name in its current folder, /bin/sh only on PATH, and the callers name their
// tools bare.
std::vector<std::string> ChildEnvironment(const std::string& workingFolder) {
    std::vector<std::string> variables;
    bool pathSeen = false;
    const std::string folderEntry = AbsoluteFolder(workingFolder);
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string variable = *entry;
        if (variable.starts_with("PATH=")) {
            if (pathSeen) {
                continue; // a duplicate would leave it to the shell which one counts
            }
            pathSeen = true;
            variable = "PATH=" + folderEntry + ":" + variable.substr(5);
        }
        variables.push_back(std::move(variable));
    }
    if (!pathSeen) {
        // Without PATH the shell would search its built-in default; keep those folders.
        std::string defaults(::confstr(_CS_PATH, nullptr, 0), '\0');
        ::confstr(_CS_PATH, defaults.data(), defaults.size());
        defaults.resize(std::strlen(defaults.c_str()));
        variables.push_back("PATH=" + folderEntry + ":" + defaults);
    }
    return variables;
}

// pipe2 may hand out 0, 1 or 2 when the program runs with a standard stream closed; moving
// such an end above 2 keeps the child's dup2 onto 1 and 2 from overwriting it.
bool MoveAboveStandardStreams(Descriptor& end) {
    if (end.get() > STDERR_FILENO) {
        return true;
    }
    const int moved = ::fcntl(end.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (moved < 0) {
        return false;
    }
    end.Reset(moved);
    return true;
}

} // namespace

ConsoleResult RunConsoleCapture(const std::string& commandLine, const std::string& workingFolder) {
    ConsoleResult result;
    if (workingFolder.empty()) {
        return result;
    }
    // Both ends close on exec: the write end reaches the child only through the dup2 below, so
    // a child that another thread starts at the same moment never holds it open.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return result;
    }
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);
    if (!MoveAboveStandardStreams(readEnd) || !MoveAboveStandardStreams(writeEnd)) {
        return result;
    }

    SpawnSetup setup;
    ::posix_spawn_file_actions_addchdir_np(&setup.actions, workingFolder.c_str());
    ::posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), STDERR_FILENO);
    // Descriptors other libraries opened without close-on-exec stay with the program.
    ::posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
    // Ignored signals (SIGPIPE, often) and the calling thread's mask are the program's
    // business, not the tool's.
    sigset_t all;
    sigset_t none;
    ::sigfillset(&all);
    ::sigemptyset(&none);
    ::posix_spawnattr_setsigdefault(&setup.attributes, &all);
    ::posix_spawnattr_setsigmask(&setup.attributes, &none);
    ::posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> variables = ChildEnvironment(workingFolder);
    std::vector<char*> envp;
    envp.reserve(variables.size() + 1);
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    std::string shell = "/bin/sh";
    std::string option = "-c";
    std::string command = commandLine;
    char* argv[] = {shell.data(), option.data(), command.data(), nullptr};

    pid_t child = -1;
    // glibc reports a failed chdir or exec of the child through the return value and reaps
    // that child itself.
    if (::posix_spawn(&child, shell.c_str(), &setup.actions, &setup.attributes, argv,
                      envp.data()) != 0) {
        return result;
    }
    result.started = true;
    // From here on only the child and what it starts hold the write end, so end-of-data comes
    // exactly when the last of them has closed it.
    writeEnd.Close();

    // At most 255 bytes per read; a zero byte the child wrote ends the text of that read, as
    // the zero-terminated buffer of the Windows original did.
    char buffer[255];
    for (;;) {
        const ssize_t count = ::read(readEnd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        const void* zero = std::memchr(buffer, '\0', static_cast<std::size_t>(count));
        const std::size_t kept = zero != nullptr ? static_cast<const char*>(zero) - buffer
                                                 : static_cast<std::size_t>(count);
        result.output.append(buffer, kept);
    }
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return result;
}

} // namespace larkspan::platform

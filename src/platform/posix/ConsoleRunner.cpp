// Running a command line through /bin/sh and capturing everything it prints.

#include "platform/Platform.h"
#include "platform/Policy.h"
#include "platform/Primitives.h"
#include "platform/posix/Spawn.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace larkspan::platform {

namespace {

// The program's own environment, with PATH set so that bare tool names resolve in the working
// folder first (see policy::ToolSearchPath), and the caller's variables on top.
std::vector<std::string> ChildEnvironment(const EnvironmentVariables& added) {
    std::vector<std::string> variables;
    std::optional<std::string> inheritedPath;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string variable = *entry;
        if (variable.starts_with("PATH=")) {
            // A duplicate would leave it to the shell which one counts.
            if (!inheritedPath) {
                inheritedPath = variable.substr(5);
            }
            continue;
        }
        variables.push_back(std::move(variable));
    }
    variables.push_back("PATH=" +
                        policy::ToolSearchPath(inheritedPath, posix::DefaultSearchPath()));
    return policy::EnvironmentWith(std::move(variables), added, false);
}

// How long a stopped command may take to close its output before the runner stops listening
// (a process that left the group could hold it open for ever).
constexpr int StoppedOutputGraceMs = 1000;

} // namespace

void EndWithStartingProgram() {
    const std::optional<std::string> handed = os::Environment(kWatchdogVariable);
    struct stat info {};
    if (!handed || *handed != std::to_string(posix::kHandedDescriptor) ||
        ::fstat(posix::kHandedDescriptor, &info) != 0 || !S_ISFIFO(info.st_mode)) {
        return;
    }
    const int watchdog = posix::kHandedDescriptor;
    ::fcntl(watchdog, F_SETFD, FD_CLOEXEC);
    ::unsetenv(kWatchdogVariable);
    // Nothing is ever written to it: it wakes only when the program's end closes the other end.
    // Killed, this process takes its children along (they die with the thread that started
    // them) and puts no unfinished output in place.
    std::thread([watchdog] {
        pollfd gone{watchdog, POLLIN, 0};
        int polled = 0;
        while ((polled = ::poll(&gone, 1, -1)) < 0 && errno == EINTR) {
        }
        if (polled > 0) {
            ::kill(::getpid(), SIGKILL);
        }
    }).detach();
}

CommandInterpreter ConsoleInterpreter() {
    return CommandInterpreter::PosixShell;
}

ConsoleResult RunConsoleCapture(const std::string& commandLine, const std::string& workingFolder,
                                CommandStopper* stopper, const EnvironmentVariables& environment) {
    ConsoleResult result;
    if (workingFolder.empty()) {
        return result;
    }
    // The write end reaches the child only through the dup2 below. The watchdog's write end
    // stays here alone: it closes when this program ends, however it ends, and the command's
    // adapters end with it (EndWithStartingProgram).
    posix::UniqueFd readEnd;
    posix::UniqueFd writeEnd;
    posix::UniqueFd watchdogRead;
    posix::UniqueFd watchdogWrite;
    if (!posix::MakePipe(readEnd, writeEnd) || !posix::MakePipe(watchdogRead, watchdogWrite)) {
        return result;
    }

    posix::SpawnSetup setup({{writeEnd.Get(), STDOUT_FILENO}, {writeEnd.Get(), STDERR_FILENO}},
                            watchdogRead.Get());
    ::posix_spawn_file_actions_addchdir_np(&setup.actions, workingFolder.c_str());
    // Its own process group, so that a stop ends the interpreter and everything it started.
    short flags = 0;
    ::posix_spawnattr_getflags(&setup.attributes, &flags);
    ::posix_spawnattr_setflags(&setup.attributes,
                               static_cast<short>(flags | POSIX_SPAWN_SETPGROUP));
    ::posix_spawnattr_setpgroup(&setup.attributes, 0);

    EnvironmentVariables handed = environment;
    handed.emplace_back(kWatchdogVariable, std::to_string(posix::kHandedDescriptor));
    std::vector<std::string> variables = ChildEnvironment(handed);
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
    watchdogRead.Close();

    if (stopper != nullptr && !stopper->Attach(child)) {
        stopper->Stop(); // asked for before the start: end it now that it exists
    }

    // At most 255 bytes per read. The captured text never holds a zero byte: one the child
    // wrote ends the text of that read, and the following reads are taken as they come.
    char buffer[255];
    std::optional<std::chrono::steady_clock::time_point> stoppedAt;
    for (;;) {
        if (stopper != nullptr && !stoppedAt && stopper->StopRequested()) {
            stoppedAt = std::chrono::steady_clock::now();
        }
        if (stoppedAt && std::chrono::steady_clock::now() - *stoppedAt >
                             std::chrono::milliseconds(StoppedOutputGraceMs)) {
            break;
        }
        // Without a stopper there is nothing to look at but the pipe.
        pollfd ready{readEnd.Get(), POLLIN, 0};
        const int polled = ::poll(&ready, 1, stopper != nullptr ? 50 : -1);
        if (polled == 0 || (polled < 0 && errno == EINTR)) {
            continue;
        }
        const ssize_t count = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        policy::AppendConsoleRead(result.output, buffer, static_cast<std::size_t>(count));
    }
    int status = 0;
    posix::WaitForChild(child, status);
    if (stopper != nullptr) {
        stopper->Detach();
        result.stopped = stopper->StopRequested();
    }
    return result;
}

} // namespace larkspan::platform

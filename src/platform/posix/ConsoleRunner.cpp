// Running a command line through /bin/sh and capturing everything it prints.

#include "platform/Platform.h"
#include "platform/posix/Spawn.h"

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
        variables.push_back("PATH=" + folderEntry + ":" + posix::DefaultSearchPath());
    }
    return variables;
}

} // namespace

ConsoleResult RunConsoleCapture(const std::string& commandLine, const std::string& workingFolder) {
    ConsoleResult result;
    if (workingFolder.empty()) {
        return result;
    }
    // The write end reaches the child only through the dup2 below.
    posix::UniqueFd readEnd;
    posix::UniqueFd writeEnd;
    if (!posix::MakePipe(readEnd, writeEnd)) {
        return result;
    }

    posix::SpawnSetup setup({{writeEnd.Get(), STDOUT_FILENO}, {writeEnd.Get(), STDERR_FILENO}});
    ::posix_spawn_file_actions_addchdir_np(&setup.actions, workingFolder.c_str());

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

    // At most 255 bytes per read. The captured text never holds a zero byte: one the child
    // wrote ends the text of that read, and the following reads are taken as they come.
    char buffer[255];
    for (;;) {
        const ssize_t count = ::read(readEnd.Get(), buffer, sizeof buffer);
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
    int status = 0;
    posix::WaitForChild(child, status);
    return result;
}

} // namespace larkspan::platform

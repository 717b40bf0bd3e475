// The POSIX primitives under the shared platform code: the environment, the executable's path,
// the temporary folder's variables, installation records as INI files in the XDG system
// configuration folders, ending a process group, and the end of the process around threads that
// still run.

#include "platform/Primitives.h"

#include "core/install/InstallRecordFormat.h"
#include "platform/Platform.h"
#include "platform/Policy.h"
#include "platform/posix/Spawn.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspan::platform::os {

char PathSeparator() {
    return '/';
}

std::optional<std::string> Environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

void SetEnvironment(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

std::string FindProgram(const std::string& name) {
    if (name.find('/') == std::string::npos) {
        return posix::FindOnPath(name);
    }
    return posix::IsRunnableFile(name) ? name : std::string();
}

std::string ExecutablePath() {
    std::string target(4096, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

unsigned UsableProcessors() {
    // A set as large as the processors configured, for machines past CPU_SETSIZE.
    const long configured = std::max(::sysconf(_SC_NPROCESSORS_CONF), 1L);
    cpu_set_t* set = CPU_ALLOC(static_cast<int>(configured));
    if (set == nullptr) {
        return 0;
    }
    const std::size_t size = CPU_ALLOC_SIZE(static_cast<int>(configured));
    const int count = ::sched_getaffinity(0, size, set) == 0 ? CPU_COUNT_S(size, set) : 0;
    CPU_FREE(set);
    return static_cast<unsigned>(count);
}

std::uint64_t AvailableMemory() {
    // MemAvailable counts the caches the kernel would give up; the free pages alone do not.
    std::ifstream meminfo("/proc/meminfo");
    for (std::string line; std::getline(meminfo, line);) {
        if (line.rfind("MemAvailable:", 0) == 0) {
            return std::strtoull(line.c_str() + 13, nullptr, 10) * 1024; // "... kB"
        }
    }
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0
               ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
               : 0;
}

std::vector<std::string> TemporaryFolderVariables() {
    return {"TEMP", "TMPDIR"};
}

std::string DefaultTemporaryFolder() {
    return "/tmp";
}

std::vector<RecordLocation> RecordLocations(const std::string& vendor, const std::string& product,
                                            RecordWriter /*writer*/) {
    // Every installer writes to the same configuration folders.
    std::vector<RecordLocation> locations;
    for (const std::string& folder : policy::XdgConfigFolders(Environment("XDG_CONFIG_DIRS"))) {
        locations.push_back(
            {folder + (folder.back() == '/' ? "" : "/") + vendor + "/" + product + ".conf"});
    }
    return locations;
}

RecordRead ReadRecordValue(const RecordLocation& location, const std::string& key,
                           std::string& value) {
    // A missing file (or a path that is not a regular file) is not there, so the next folder is
    // asked. O_NONBLOCK keeps a FIFO planted at the path from blocking the open.
    const int fd = ::open(location.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return errno == ENOENT || errno == ENOTDIR ? RecordRead::NotThere : RecordRead::Failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return RecordRead::NotThere;
    }
    std::string contents;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            contents.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0) {
            break;
        } else if (errno != EINTR) {
            ::close(fd);
            return RecordRead::Failed;
        }
    }
    ::close(fd);
    value = FindInstallRecordValue(contents, key);
    return RecordRead::Read;
}

void EndProcessGroup(std::int64_t group) {
    if (group > 0) {
        ::kill(-static_cast<pid_t>(group), SIGKILL);
    }
}

} // namespace larkspan::platform::os

namespace larkspan::platform {

void EndWithThreadsRunning(int /*status*/) {
    // exit() stops no thread: one that holds a lock the exit code needs lets go of it.
}

} // namespace larkspan::platform

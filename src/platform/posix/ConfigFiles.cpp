// Installation records on POSIX systems: INI files in the system configuration folders
// ($XDG_CONFIG_DIRS), looked up the way the XDG base-directory rules describe.

#include "platform/Platform.h"

#include "shell/InstallRecordFormat.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspan::platform {

namespace {

std::vector<std::string> SystemConfigFolders() {
    const char* variable = std::getenv("XDG_CONFIG_DIRS");
    const std::string list = variable != nullptr && *variable != '\0' ? variable : "/etc/xdg";
    std::vector<std::string> folders;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string folder = list.substr(start, end - start);
        // Relative entries are invalid by the base-directory rules: they would depend on the
        // current folder of whoever started the program.
        if (!folder.empty() && folder.front() == '/') {
            folders.push_back(std::move(folder));
        }
        start = end + 1;
    }
    return folders;
}

enum class ReadOutcome { NotThere, Failed, Read };

// Reads the regular file at `path`. A missing file (or a path that is not a regular file) is
// "not there", so the next folder is asked; a file that exists but cannot be read is a failure
// that ends the lookup, because a record further down the list is not the one that counts.
ReadOutcome ReadRecordFile(const std::string& path, std::string& contents) {
    // O_NONBLOCK keeps a FIFO planted at the path from blocking the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return errno == ENOENT || errno == ENOTDIR ? ReadOutcome::NotThere : ReadOutcome::Failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return ReadOutcome::NotThere;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            contents.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0) {
            break;
        } else if (errno != EINTR) {
            ::close(fd);
            return ReadOutcome::Failed;
        }
    }
    ::close(fd);
    return ReadOutcome::Read;
}

} // namespace

std::string ReadInstallRecordValue(const std::string& relativePath, const std::string& key) {
    if (relativePath.empty() || relativePath.front() == '/') {
        return {};
    }
    for (const std::string& folder : SystemConfigFolders()) {
        const std::string path = folder + (folder.back() == '/' ? "" : "/") + relativePath;
        std::string contents;
        switch (ReadRecordFile(path, contents)) {
        case ReadOutcome::NotThere:
            continue;
        case ReadOutcome::Failed:
            return {};
        case ReadOutcome::Read:
            return FindInstallRecordValue(contents, key);
        }
    }
    return {};
}

} // namespace larkspan::platform

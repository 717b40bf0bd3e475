// Files, folders and the environment.

#include "platform/Platform.h"

#include "shell/TextRules.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspan::platform {

namespace {

bool WriteAll(int fd, std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t count = ::write(fd, data.data() + done, data.size() - done);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

} // namespace

bool RegularFileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void DeleteFileQuietly(const std::string& path) {
    if (!path.empty()) {
        ::unlink(path.c_str());
    }
}

bool WriteFileNoFollow(const std::string& path, const std::string& data, std::string& error) {
    const std::string_view whole = data;
    return WriteFileNoFollow(path, std::span(&whole, 1), error);
}

bool WriteFileNoFollow(const std::string& path, std::span<const std::string_view> pieces,
                       std::string& error) {
    const auto fail = [&](int code) {
        error = "Cannot create file \"" + path + "\". " + std::strerror(code);
        return false;
    };
    if (path.empty() || path.back() == '/') {
        return fail(EISDIR);
    }
    // Opening the path itself would write through a link someone planted there (in a shared
    // temporary folder, onto any file of the user's). A fresh file with an unguessable name
    // renamed over the path replaces such a link instead of following it.
    std::string temporary = FolderPart(path) + ".larkspan-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return fail(errno);
    }
    bool written = true;
    for (const std::string_view piece : pieces) {
        if (!WriteAll(fd, piece)) {
            written = false;
            break;
        }
    }
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        const int code = written ? errno : writeError;
        ::unlink(temporary.c_str());
        return fail(code);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return fail(code);
    }
    error.clear();
    return true;
}

std::string GetEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? value : "";
}

std::string ExecutableFolder() {
    std::string target(4096, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            break;
        }
        target.resize(target.size() * 2);
    }
    return FolderPart(target);
}

std::string TemporaryFolder() {
    std::string folder = GetEnvironment("TEMP");
    if (folder.empty()) {
        folder = GetEnvironment("TMPDIR");
    }
    if (folder.empty()) {
        folder = "/tmp";
    }
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

} // namespace larkspan::platform

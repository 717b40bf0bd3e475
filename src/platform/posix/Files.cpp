// Files and folders.

#include "platform/Platform.h"

#include "shell/TextRules.h"

#include <cerrno>
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

std::string OpenForReadingError(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::strerror(errno);
    }
    ::close(fd);
    return {};
}

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

bool UserCanWrite(const std::string& path) {
    return RegularFileExists(path) && ::access(path.c_str(), W_OK) == 0;
}

bool WriteFileNoFollow(const std::string& path, const std::vector<std::string_view>& pieces,
                       FileMode mode, std::string& error) {
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
    bool written = mode == FileMode::UserReadWrite || ::fchmod(fd, 0700) == 0;
    for (std::size_t i = 0; written && i < pieces.size(); ++i) {
        written = WriteAll(fd, pieces[i]);
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

} // namespace larkspan::platform

// Files and folders.

#include "platform/Platform.h"

#include "core/text/TextRules.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace larkspan::platform {

namespace {

// Written in slices of 1 MiB: one write of hundreds of MiB was measured at three times the cost
// of the same bytes in such slices.
constexpr std::size_t WriteSlice = 1 << 20;

bool WriteAll(int fd, std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t count =
            ::write(fd, data.data() + done, std::min(WriteSlice, data.size() - done));
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

std::string FileFingerprint(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {};
    }
    // The change time moves with every write and cannot be set back by the writer, unlike the
    // modification time; both to the nanosecond.
    return std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino) + ':' +
           std::to_string(info.st_size) + ':' + std::to_string(info.st_mtim.tv_sec) + '.' +
           std::to_string(info.st_mtim.tv_nsec) + ':' + std::to_string(info.st_ctim.tv_sec) + '.' +
           std::to_string(info.st_ctim.tv_nsec);
}

bool UserCanWrite(const std::string& path) {
    return RegularFileExists(path) && ::access(path.c_str(), W_OK) == 0;
}

struct FileWriter::State {
    std::string path;
    std::string temporary;
    int fd = -1;
};

FileWriter::FileWriter() = default;

FileWriter::~FileWriter() {
    if (state_ && state_->fd >= 0) {
        ::close(state_->fd);
        ::unlink(state_->temporary.c_str());
    }
}

namespace {

bool Fail(const std::string& path, int code, std::string& error) {
    error = "Cannot create file \"" + path + "\". " + std::strerror(code);
    return false;
}

} // namespace

bool FileWriter::Open(const std::string& path, FileMode mode, std::string& error) {
    if (path.empty() || path.back() == '/') {
        return Fail(path, EISDIR, error);
    }
    // Opening the path itself would write through a link someone planted there (in a shared
    // temporary folder, onto any file of the user's). A fresh file with an unguessable name
    // renamed over the path replaces such a link instead of following it.
    auto state = std::make_unique<State>();
    state->path = path;
    state->temporary = FolderPart(path) + ".larkspan-XXXXXX";
    state->fd = ::mkostemp(state->temporary.data(), O_CLOEXEC);
    if (state->fd < 0) {
        return Fail(path, errno, error);
    }
    state_ = std::move(state);
    if (mode == FileMode::UserExecute && ::fchmod(state_->fd, 0700) != 0) {
        return Fail(path, errno, error);
    }
    return true;
}

bool FileWriter::Write(std::string_view bytes, std::string& error) {
    if (!state_ || state_->fd < 0) {
        return Fail(state_ ? state_->path : std::string(), EBADF, error);
    }
    return WriteAll(state_->fd, bytes) || Fail(state_->path, errno, error);
}

bool FileWriter::Commit(std::string& error) {
    if (!state_ || state_->fd < 0) {
        return Fail(state_ ? state_->path : std::string(), EBADF, error);
    }
    // Closed here, where a failure to close (the last data not reaching the disk) counts.
    const int fd = std::exchange(state_->fd, -1);
    if (::close(fd) != 0 || ::rename(state_->temporary.c_str(), state_->path.c_str()) != 0) {
        const int code = errno;
        ::unlink(state_->temporary.c_str());
        return Fail(state_->path, code, error);
    }
    error.clear();
    return true;
}

} // namespace larkspan::platform

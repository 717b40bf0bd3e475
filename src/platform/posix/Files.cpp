// Files and folders.

#include "platform/Platform.h"

#include "core/text/TextRules.h"
#include "platform/Policy.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>

namespace larkspan::platform {

namespace {

// Written in slices of 1 MiB: one write of hundreds of MiB was measured at three times the cost
// of the same bytes in such slices.
constexpr std::size_t WriteSlice = 1 << 20;

// Every byte, or false with errno set. A write that takes nothing counts as a failure (EIO), so
// a device that swallows nothing cannot keep the loop going for ever.
bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t count = ::write(fd, data.data(), std::min(WriteSlice, data.size()));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            errno = count < 0 ? errno : EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(count));
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
    // Not the change time: indexers, backup tools and attribute changes move it without touching
    // the content.
    return std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino) + ':' +
           std::to_string(info.st_size) + ':' + std::to_string(info.st_mtim.tv_sec) + '.' +
           std::to_string(info.st_mtim.tv_nsec);
}

bool UserCanWrite(const std::string& path) {
    return RegularFileExists(path) && ::access(path.c_str(), W_OK) == 0;
}

std::string CreatePrivateTemporaryFile(const std::string& prefix) {
    // mkostemp makes the file with O_EXCL and mode 0600, so nothing planted at the name is used.
    std::string path = TemporaryFile(prefix + "XXXXXX");
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    return path;
}

std::string ReadFileTail(const std::string& path, std::size_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return {};
    }
    std::string bytes;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const auto size = static_cast<std::size_t>(info.st_size);
        const std::size_t start = size > maxBytes ? size - maxBytes : 0;
        bytes.resize(size - start);
        const ssize_t count = ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(start));
        bytes.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    }
    ::close(fd);
    return bytes;
}

struct FileWriter::State {
    std::string path;
    std::string folder;    // where the fresh file is: the path's folder with its "/"
    std::string temporary; // the fresh file's path once it has a name
    int fd = -1;
};

FileWriter::FileWriter() = default;

FileWriter::~FileWriter() {
    if (state_ && state_->fd >= 0) {
        ::close(state_->fd);
        if (!state_->temporary.empty()) {
            ::unlink(state_->temporary.c_str());
        }
    }
}

namespace {

bool Fail(const std::string& path, int code, std::string& error) {
    error = "Cannot create file \"" + path + "\". " + std::strerror(code);
    return false;
}

std::uint64_t RandomNumber() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    return generator();
}

// The descriptor's file as /proc shows it, through which a file without a name can be linked
// into its folder by anyone who may write there (linking the descriptor itself needs a
// privilege).
std::string ProcPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// A file without a name in `folder`, which vanishes with its descriptor however the process
// ends; -1 where the file system cannot make one or it could not be given a name later.
int OpenUnnamed(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0 && ::access(ProcPath(fd).c_str(), F_OK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Gives the file of `fd` (or, with `fd` -1, a new empty file) a fresh partial-file name in
// `folder`; false (errno set) when none could be had. A link at the name is never followed.
bool NameFresh(const std::string& folder, int& fd, std::string& name) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = folder + policy::PartialFileName(RandomNumber());
        if (fd < 0) {
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd >= 0) {
                return true;
            }
        } else if (::linkat(AT_FDCWD, ProcPath(fd).c_str(), AT_FDCWD, name.c_str(),
                            AT_SYMLINK_FOLLOW) == 0) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    name.clear();
    return false;
}

} // namespace

bool FileWriter::Open(const std::string& path, FileMode mode, std::string& error) {
    if (path.empty() || path.back() == '/') {
        return Fail(path, EISDIR, error);
    }
    // Opening the path itself would write through a link someone planted there (in a shared
    // temporary folder, onto any file of the user's). A fresh file renamed over the path
    // replaces such a link instead of following it. The fresh file has no name until then where
    // the file system allows, so a killed process leaves nothing; elsewhere it has a name of the
    // program's own, locked while it is written, which the next start can tell as stale.
    auto state = std::make_unique<State>();
    state->path = path;
    state->folder = FolderPart(path);
    state->folder = state->folder.empty() ? "./" : state->folder;
    state->fd = OpenUnnamed(state->folder);
    if (state->fd < 0 && !NameFresh(state->folder, state->fd, state->temporary)) {
        return Fail(path, errno, error);
    }
    state_ = std::move(state);
    if (::flock(state_->fd, LOCK_EX) != 0 ||
        (mode == FileMode::UserExecute && ::fchmod(state_->fd, 0700) != 0)) {
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
    // A file without a name gets one first: rename() needs one, and a name cannot be linked
    // over an existing file. Closed here, where a failure to close (the last data not reaching
    // the disk) counts.
    const bool named =
        !state_->temporary.empty() || NameFresh(state_->folder, state_->fd, state_->temporary);
    int code = errno;
    const int fd = std::exchange(state_->fd, -1);
    if (named && ::close(fd) == 0 &&
        ::rename(state_->temporary.c_str(), state_->path.c_str()) == 0) {
        error.clear();
        return true;
    }
    if (named) {
        code = errno;
    } else {
        ::close(fd);
    }
    if (!state_->temporary.empty()) {
        ::unlink(state_->temporary.c_str());
    }
    return Fail(state_->path, code, error);
}

void RemoveStalePartialFiles(const std::string& folder) {
    DIR* const listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr) {
        return;
    }
    const int folderFd = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing)) {
        if (!policy::IsPartialFileName(entry->d_name)) {
            continue;
        }
        const int fd = ::openat(folderFd, entry->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // A regular file of this user's whose writer's lock nobody holds (the kernel drops it
        // when the writer dies), and still the file at that name when it is removed.
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
            ::unlinkat(folderFd, entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(listing);
}

} // namespace larkspan::platform

namespace larkspan::platform {

namespace {

// Every byte, or the reason why not (a write that takes nothing counts as a failure, so a
// device that swallows nothing cannot keep the loop going).
bool WriteEvery(int fd, std::string_view data, std::string& error) {
    while (!data.empty()) {
        const ssize_t count = ::write(fd, data.data(), std::min(WriteSlice, data.size()));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            error = std::strerror(count < 0 ? errno : EIO);
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

} // namespace

struct TextOutput::State {
    int fd = -1;
    std::string path;
    bool regular = false;
    struct stat opened {};
    std::uint64_t written = 0;
};

TextOutput::TextOutput() = default;

TextOutput::~TextOutput() {
    if (state_ && state_->fd >= 0) {
        ::close(state_->fd);
    }
}

bool TextOutput::Open(const std::string& path, std::string& error) {
    auto state = std::make_unique<State>();
    state->path = path;
    state->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (state->fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (::fstat(state->fd, &state->opened) != 0) {
        error = std::strerror(errno);
        ::close(state->fd);
        return false;
    }
    state->regular = S_ISREG(state->opened.st_mode);
    state_ = std::move(state);
    return true;
}

bool TextOutput::IsOpen() const {
    return state_ && state_->fd >= 0;
}

bool TextOutput::IsRegularFile() const {
    return IsOpen() && state_->regular;
}

bool TextOutput::Write(std::string_view bytes, std::string& error) {
    if (!IsOpen()) {
        error = std::strerror(EBADF);
        return false;
    }
    if (!WriteEvery(state_->fd, bytes, error)) {
        return false;
    }
    state_->written += bytes.size();
    return true;
}

bool TextOutput::Restart(std::string& error) {
    if (!IsRegularFile()) {
        error = std::strerror(ESPIPE);
        return false;
    }
    if (::ftruncate(state_->fd, 0) != 0 || ::lseek(state_->fd, 0, SEEK_SET) != 0) {
        error = std::strerror(errno);
        return false;
    }
    state_->written = 0;
    return true;
}

bool TextOutput::Finish(std::string& error) {
    if (!IsOpen()) {
        error = std::strerror(EBADF);
        return false;
    }
    State& state = *state_;
    struct stat now {};
    // What was written is not stored yet: a full disk or a failing device may only say so when
    // the data is flushed (delayed allocation, network file systems).
    if (state.regular && (::fdatasync(state.fd) != 0 || ::fstat(state.fd, &now) != 0)) {
        error = std::strerror(errno);
        return false;
    }
    const int fd = std::exchange(state.fd, -1);
    if (::close(fd) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!state.regular) {
        return true;
    }
    struct stat named {};
    const bool there = ::stat(state.path.c_str(), &named) == 0;
    error = policy::WrittenFileProblem(
        there,
        there && named.st_dev == state.opened.st_dev && named.st_ino == state.opened.st_ino,
        static_cast<std::uint64_t>(now.st_size), state.written);
    return error.empty();
}

namespace {

class AppendingFd final : public AppendingFile {
public:
    explicit AppendingFd(int fd) : fd_(fd) {}
    ~AppendingFd() override { ::close(fd_); }
    AppendingFd(const AppendingFd&) = delete;
    AppendingFd& operator=(const AppendingFd&) = delete;

    void Append(std::string_view bytes) override {
        std::string ignored;
        WriteEvery(fd_, bytes, ignored);
    }

private:
    int fd_;
};

} // namespace

std::unique_ptr<AppendingFile> OpenForAppending(const std::string& path) {
    // Not created, and never waiting: a pipe without a reader is refused at once, and only a
    // regular file is taken.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<AppendingFd>(fd);
}

std::unique_ptr<FileHold> HoldAgainstChanges(const std::string&) {
    return nullptr; // POSIX locks are advisory: a writer would not ask
}

} // namespace larkspan::platform

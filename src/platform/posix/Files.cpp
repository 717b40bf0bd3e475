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

#include <cstdio>
#include <optional>
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

std::string Fingerprint(const struct stat& info) {
    return std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino) + ':' +
           std::to_string(info.st_size) + ':' + std::to_string(info.st_mtim.tv_sec) + '.' +
           std::to_string(info.st_mtim.tv_nsec);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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
    return Fingerprint(info);
}

bool SameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return !first.empty() && !second.empty() && ::stat(first.c_str(), &a) == 0 &&
           ::stat(second.c_str(), &b) == 0 && SameFile(a, b);
}

bool OtherThanFileAt(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
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
    bool through = false; // a device or a pipe at the path, written as it stands
    std::uint64_t written = 0;
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

bool Fail(int code, std::string& error) {
    error = std::strerror(code);
    return false;
}

std::uint64_t RandomNumber() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    return generator();
}

// The descriptor's file as /proc shows it, through which a file without a name can be linked
// into its folder by anyone who may write there (linking the descriptor itself needs a
// privilege), and opened by the tools of a job.
std::string ProcPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// A file without a name in `folder`, which vanishes with its descriptor however the process
// ends; -1 where the file system cannot make one or it could not be given a name later.
int OpenUnnamed(const std::string& folder, int flags) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | flags | O_CLOEXEC, 0600);
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

// The permissions of a new file of the user's: 0666 less the umask, read without changing it.
mode_t NewFileMode() {
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned int value = 0;
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        }
        std::fclose(status);
    }
    return 0666 & ~mask;
}

// What a document's fresh file takes from the path: refused when the path is a folder or a file
// the user may not write; `existing` filled when a regular file is there.
bool ExaminePath(const std::string& path, std::optional<struct stat>& existing, bool& through,
                 std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return true; // nothing there (a dangling link is replaced like any link)
    }
    if (S_ISDIR(info.st_mode)) {
        return Fail(EISDIR, error);
    }
    if (::access(path.c_str(), W_OK) != 0) {
        return Fail(errno, error);
    }
    through = !S_ISREG(info.st_mode);
    if (!through) {
        existing = info;
    }
    return true;
}

} // namespace

bool FileWriter::Open(const std::string& path, FileMode mode, std::string& error) {
    if (path.empty() || path.back() == '/') {
        return Fail(EISDIR, error);
    }
    auto state = std::make_unique<State>();
    state->path = path;
    std::optional<struct stat> existing;
    if (mode == FileMode::Document && !ExaminePath(path, existing, state->through, error)) {
        return false;
    }
    if (state->through) {
        state->fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (state->fd < 0) {
            return Fail(errno, error);
        }
        state_ = std::move(state);
        return true;
    }
    // Opening the path itself would write through a link someone planted there (in a shared
    // temporary folder, onto any file of the user's). A fresh file renamed over the path
    // replaces such a link instead of following it. The fresh file has no name until then where
    // the file system allows, so a killed process leaves nothing; elsewhere it has a name of the
    // program's own, locked while it is written, which the next start can tell as stale.
    state->folder = FolderPart(path);
    state->folder = state->folder.empty() ? "./" : state->folder;
    state->fd = OpenUnnamed(state->folder, O_WRONLY);
    if (state->fd < 0 && !NameFresh(state->folder, state->fd, state->temporary)) {
        return Fail(errno, error);
    }
    state_ = std::move(state);
    const int fd = state_->fd;
    if (::flock(fd, LOCK_EX) != 0 || (mode == FileMode::UserExecute && ::fchmod(fd, 0700) != 0) ||
        (mode == FileMode::Document &&
         ::fchmod(fd, existing ? existing->st_mode & 0777 : NewFileMode()) != 0)) {
        return Fail(errno, error);
    }
    if (existing) {
        // The group the replaced file was shared with, where the user may give it.
        [[maybe_unused]] const int kept = ::fchown(fd, static_cast<uid_t>(-1), existing->st_gid);
    }
    return true;
}

bool FileWriter::IsOpen() const {
    return state_ && state_->fd >= 0;
}

bool FileWriter::IsFreshFile() const {
    return IsOpen() && !state_->through;
}

bool FileWriter::Write(std::string_view bytes, std::string& error) {
    if (!IsOpen()) {
        return Fail(EBADF, error);
    }
    if (!WriteAll(state_->fd, bytes)) {
        return Fail(errno, error);
    }
    state_->written += bytes.size();
    return true;
}

bool FileWriter::Restart(std::string& error) {
    if (!IsFreshFile()) {
        return Fail(IsOpen() ? ESPIPE : EBADF, error);
    }
    if (::ftruncate(state_->fd, 0) != 0 || ::lseek(state_->fd, 0, SEEK_SET) != 0) {
        return Fail(errno, error);
    }
    state_->written = 0;
    return true;
}

bool FileWriter::Commit(std::string& error) {
    if (!IsOpen()) {
        return Fail(EBADF, error);
    }
    State& state = *state_;
    if (state.through) {
        return ::close(std::exchange(state.fd, -1)) == 0 || Fail(errno, error);
    }
    // What was written is not stored yet: a full disk or a failing device may only say so when
    // the data is flushed (delayed allocation, network file systems). A file without a name gets
    // one next: rename() needs one, and a name cannot be linked over an existing file.
    struct stat written {};
    if (::fdatasync(state.fd) != 0 || ::fstat(state.fd, &written) != 0) {
        return Fail(errno, error);
    }
    error = policy::WrittenFileProblem(true, true, static_cast<std::uint64_t>(written.st_size),
                                       state.written);
    if (!error.empty()) {
        return false;
    }
    if ((state.temporary.empty() && !NameFresh(state.folder, state.fd, state.temporary)) ||
        ::rename(state.temporary.c_str(), state.path.c_str()) != 0) {
        return Fail(errno, error);
    }
    state.temporary.clear();
    const int fd = std::exchange(state.fd, -1);
    if (::close(fd) != 0) {
        return Fail(errno, error);
    }
    struct stat named {};
    const bool there = ::stat(state.path.c_str(), &named) == 0;
    error = policy::WrittenFileProblem(there, there && SameFile(named, written),
                                       static_cast<std::uint64_t>(named.st_size), state.written);
    return error.empty();
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

void RemoveOwnTemporaryFiles(const std::string& prefix) {
    const std::string folder = TemporaryFolder();
    DIR* const listing = prefix.empty() ? nullptr : ::opendir(folder.c_str());
    if (listing == nullptr) {
        return;
    }
    const int folderFd = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing)) {
        struct stat info {};
        if (std::string_view(entry->d_name).starts_with(prefix) &&
            ::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid()) {
            ::unlinkat(folderFd, entry->d_name, 0);
        }
    }
    ::closedir(listing);
}

} // namespace larkspan::platform

namespace larkspan::platform {

namespace {

class AppendingFd final : public AppendingFile {
public:
    explicit AppendingFd(int fd) : fd_(fd) {}
    ~AppendingFd() override { ::close(fd_); }
    AppendingFd(const AppendingFd&) = delete;
    AppendingFd& operator=(const AppendingFd&) = delete;

    void Append(std::string_view bytes) override { WriteAll(fd_, bytes); }

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

namespace {

// A job's document as an open descriptor, which the tools open as /proc shows it: a path that
// names this very file, whatever happens at the path it was opened at.
class DescriptorDocument final : public JobDocument {
public:
    DescriptorDocument(int fd, bool writable)
        : fd_(fd), writable_(writable),
          toolPath_("/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(fd)) {}
    ~DescriptorDocument() override { ::close(fd_); }
    DescriptorDocument(const DescriptorDocument&) = delete;
    DescriptorDocument& operator=(const DescriptorDocument&) = delete;

    const std::string& ToolPath() const override { return toolPath_; }
    std::string Fingerprint() const override {
        struct stat info {};
        return ::fstat(fd_, &info) == 0 ? platform::Fingerprint(info) : std::string();
    }
    bool IsAt(const std::string& path) const override {
        struct stat opened {};
        struct stat named {};
        return ::fstat(fd_, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
               SameFile(opened, named);
    }
    bool Write(std::string_view bytes, std::string& error) override {
        return (writable_ && WriteAll(fd_, bytes)) || Fail(writable_ ? errno : EBADF, error);
    }

private:
    int fd_;
    bool writable_;
    std::string toolPath_;
};

} // namespace

std::unique_ptr<JobDocument> OpenJobDocument(const std::string& path) {
    // Never waiting: a FIFO at the path is no document, and neither is anything else but a file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat info {};
    if (fd < 0) {
        return nullptr;
    }
    auto document = std::make_unique<DescriptorDocument>(fd, false);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::access(document->ToolPath().c_str(), R_OK) != 0) {
        return nullptr; // no /proc to hand the tools the file
    }
    return document;
}

std::unique_ptr<JobDocument> CreatePrivateDocument(std::string& error) {
    const std::string folder = TemporaryFolder();
    int fd = OpenUnnamed(folder, O_RDWR);
    if (fd < 0) {
        // Made with a name, which goes at once: the descriptor keeps the file.
        std::string path = TemporaryFile("larkspan-document-XXXXXX");
        fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) {
            Fail(errno, error);
            return nullptr;
        }
        ::unlink(path.c_str());
    }
    return std::make_unique<DescriptorDocument>(fd, true);
}

} // namespace larkspan::platform

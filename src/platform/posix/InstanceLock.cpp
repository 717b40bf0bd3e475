// The single-instance guard: an exclusive advisory lock on a per-user file. The kernel drops
// the lock when the last descriptor of the open file goes away, so a crashed copy never leaves
// a stale lock behind.

#include "platform/Platform.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspan::platform {

namespace {

class FileInstanceLock final : public InstanceLock {
public:
    explicit FileInstanceLock(int fd) : fd_(fd) {}
    ~FileInstanceLock() override { ::close(fd_); }
    FileInstanceLock(const FileInstanceLock&) = delete;
    FileInstanceLock& operator=(const FileInstanceLock&) = delete;

private:
    int fd_;
};

// The user's runtime folder is private to the user and lives as long as the login session;
// without one, a name in /tmp that carries the user id keeps users apart.
std::string LockPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (runtime != nullptr && runtime[0] == '/' && ::stat(runtime, &info) == 0 &&
        S_ISDIR(info.st_mode)) {
        return std::string(runtime) + "/" + name;
    }
    return "/tmp/" + name + "-" + std::to_string(::getuid());
}

} // namespace

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) {
        return nullptr;
    }
    // O_CLOEXEC: a program started by this one (a tool, the desktop's opener) must not carry
    // the lock on after this copy has ended. O_NOFOLLOW: in a shared /tmp another user could
    // plant a link to a file of ours. O_NONBLOCK: a FIFO planted there must not hang the open.
    const int fd = ::open(LockPath(name).c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FileInstanceLock>(fd);
}

} // namespace larkspan::platform

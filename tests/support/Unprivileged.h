#pragma once

// Runs a piece of a test as a user without special rights, as a real user of the program is:
// root may write any file whatever its permissions, so rules about read-only files can only be
// seen from an ordinary account. Tests run as root in CI; the piece then runs in a child
// process that has given up root for the account "nobody".

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

namespace larkspan::test {

// The uid and gid the piece runs as when the test runs as root.
inline constexpr uid_t UnprivilegedId = 65534;

// Runs `piece` in a child process as an ordinary user and returns its result (0 to 124), or
// -1 when the child could not be started, could not give up root or cannot enter `folder`: a
// piece that cannot reach its files would see nothing and prove nothing. Only
// async-signal-safe work belongs in `piece` when the caller has other threads.
inline int RunUnprivileged(const std::string& folder, const std::function<int()>& piece) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        if (::getuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(UnprivilegedId) != 0 ||
                                ::setuid(UnprivilegedId) != 0)) {
            ::_exit(126);
        }
        ::_exit(::access(folder.c_str(), X_OK) == 0 ? piece() : 126);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 126) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// Where an ordinary user's scratch folder can go: the test's own temporary folder when that
// user may enter it, else /tmp (a checkout in a home only its owner may enter, such as /root,
// holds the test's folder too).
inline std::filesystem::path ReachableTemporaryFolder() {
    const std::filesystem::path own = std::filesystem::temp_directory_path();
    return RunUnprivileged(own.string(), [] { return 0; }) == 0 ? own : "/tmp";
}

} // namespace larkspan::test

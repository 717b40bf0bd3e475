#pragma once

// Runs a piece of a test as a user without special rights, as a real user of the program is:
// root may write any file whatever its permissions, so rules about read-only files can only be
// seen from an ordinary account. Tests run as root in CI; the piece then runs in a child
// process that has given up root for the account "nobody".

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace larkspan::test {

// The uid and gid the piece runs as when the test runs as root.
inline constexpr uid_t UnprivilegedId = 65534;

// Runs `piece` in a child process as an ordinary user and returns its result (0 to 125), or
// -1 when the child could not be started or could not give up root. Only async-signal-safe work
// belongs in `piece` when the caller has other threads.
inline int RunUnprivileged(const std::function<int()>& piece) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        if (::getuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(UnprivilegedId) != 0 ||
                                ::setuid(UnprivilegedId) != 0)) {
            ::_exit(126);
        }
        ::_exit(piece());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 126) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace larkspan::test

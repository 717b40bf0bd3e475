#include "platform/Platform.h"

#include "unit/platform/ScratchFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using larkspan::platform::AcquireInstanceLock;

namespace {

// The harness gives every test executable its own runtime folder, so the lock files of these
// tests never meet those of a running program.
std::string RuntimeFolder() {
    const char* folder = std::getenv("XDG_RUNTIME_DIR");
    return folder != nullptr ? folder : "";
}

TEST(InstanceLock, LockFileLivesInTheRuntimeFolder) {
    auto lock = AcquireInstanceLock("LockLocation");
    ASSERT_NE(lock, nullptr);
    struct stat info {};
    ASSERT_EQ(::stat((RuntimeFolder() + "/LockLocation").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST(InstanceLock, ReleasedWhenTheHoldingProcessDies) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto lock = AcquireInstanceLock("LockOfDeadProcess");
        const char answer = lock != nullptr ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        ::pause(); // until killed, never releasing the lock itself
        ::_exit(0);
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(answer, 'y');

    EXPECT_EQ(AcquireInstanceLock("LockOfDeadProcess"), nullptr);
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    EXPECT_NE(AcquireInstanceLock("LockOfDeadProcess"), nullptr);
}

TEST(InstanceLock, PathThatIsNotALockableFileMeansAnotherCopyRuns) {
    ASSERT_EQ(::mkdir((RuntimeFolder() + "/LockFolder").c_str(), 0700), 0);
    EXPECT_EQ(AcquireInstanceLock("LockFolder"), nullptr);
    ::rmdir((RuntimeFolder() + "/LockFolder").c_str());

    // A planted link is not followed, so the file it points at is neither created nor locked.
    larkspan::test::ScratchFolder scratch;
    const std::string target = scratch / "elsewhere";
    ASSERT_EQ(::symlink(target.c_str(), (RuntimeFolder() + "/LockLink").c_str()), 0);
    EXPECT_EQ(AcquireInstanceLock("LockLink"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(target));
    ::unlink((RuntimeFolder() + "/LockLink").c_str());
}

TEST(InstanceLock, ProgramStartedWhileHoldingDoesNotKeepTheLock) {
    auto lock = AcquireInstanceLock("LockAndChild");
    ASSERT_NE(lock, nullptr);
    larkspan::test::ScratchFolder scratch;
    // The background sleeper outlives the shell and would keep the lock if it had inherited
    // the lock's descriptor.
    const auto run = larkspan::platform::RunConsoleCapture(
        "sleep 30 </dev/null >/dev/null 2>&1 & echo $!", scratch.path());
    ASSERT_TRUE(run.started);
    const pid_t sleeper = std::atoi(run.output.c_str());
    ASSERT_GT(sleeper, 0) << run.output;

    lock.reset();
    EXPECT_NE(AcquireInstanceLock("LockAndChild"), nullptr);
    ::kill(sleeper, SIGKILL);
}

} // namespace

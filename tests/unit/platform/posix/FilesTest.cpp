#include "platform/Platform.h"

#include "support/Unprivileged.h"
#include "unit/platform/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using larkspan::test::ScratchFolder;
namespace platform = larkspan::platform;

namespace {

TEST(Files, InstallerIsRunnableByTheUserOnly) {
    ScratchFolder scratch;
    const std::string path = scratch / "Setup.exe";
    std::string error;
    ASSERT_TRUE(platform::WriteFileNoFollow(path, {"#!/bin/sh\n", "exit 0\n"},
                                            platform::FileMode::UserExecute, error))
        << error;
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST(Files, ReadOnlyFileIsNotWritableForAnOrdinaryUser) {
    ScratchFolder scratch(larkspan::test::ReachableTemporaryFolder());
    // The folder lets anyone in, so only the file's own permissions decide.
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0777), 0);
    const std::string readOnly = scratch.Write("kept.txt", "precious", 0444);
    const std::string writable = scratch.Write("open.txt", "scratch", 0666);
    const std::string missing = scratch / "missing.txt";
    const int seen = larkspan::test::RunUnprivileged(scratch.path(), [&] {
        return (platform::UserCanWrite(readOnly) ? 1 : 0) |
               (platform::UserCanWrite(writable) ? 2 : 0) |
               (platform::UserCanWrite(missing) ? 4 : 0);
    });
    EXPECT_EQ(seen, 2) << "1: the read-only file, 2: the writable one, 4: a missing one";
}

// A writer killed outright leaves nothing once the next start has looked; a partial file that
// another program still holds, or that belongs to another user, stays.
TEST(Files, AKilledWriterLeavesNothingAndHeldOrForeignPartialFilesStay) {
    ScratchFolder scratch;
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0777), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::FileWriter file;
        std::string error;
        const bool ok = file.Open(scratch / "Setup.exe", platform::FileMode::UserExecute, error) &&
                        file.Write(std::string(100000, 'x'), error);
        ::kill(::getpid(), ok ? SIGKILL : SIGTERM);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child could not write";

    const std::string held = scratch.Write(".larkspan-partial-00000000000000aa.tmp", "held");
    const int holder = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const std::string foreign = scratch / ".larkspan-partial-00000000000000bb.tmp";
    const bool root = ::getuid() == 0;
    if (root) {
        scratch.Write(".larkspan-partial-00000000000000bb.tmp", "another user's");
        ASSERT_EQ(::chown(foreign.c_str(), larkspan::test::UnprivilegedId,
                          larkspan::test::UnprivilegedId),
                  0);
    }
    platform::RemoveStalePartialFiles(scratch.path());
    ::close(holder);

    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {".larkspan-partial-00000000000000aa.tmp"};
    if (root) {
        expected.push_back(".larkspan-partial-00000000000000bb.tmp");
    }
    EXPECT_EQ(left, expected);
}

TEST(Files, TemporaryFolderPrefersTempThenTmpdir) {
    const std::string temp = platform::GetEnvironment("TEMP");
    const std::string tmpdir = platform::GetEnvironment("TMPDIR");
    ::setenv("TEMP", "/from/temp/", 1);
    ::setenv("TMPDIR", "/from/tmpdir", 1);
    EXPECT_EQ(platform::TemporaryFolder(), "/from/temp");
    ::unsetenv("TEMP");
    EXPECT_EQ(platform::TemporaryFolder(), "/from/tmpdir");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(platform::TemporaryFolder(), "/tmp");
    EXPECT_EQ(platform::GetEnvironment("TMPDIR"), "");
    ::setenv("TEMP", "/", 1);
    EXPECT_EQ(platform::TemporaryFile("Setup.exe"), "/Setup.exe");
    ::setenv("TEMP", temp.c_str(), 1);
    ::setenv("TMPDIR", tmpdir.c_str(), 1);
}

} // namespace

#include "platform/Platform.h"

#include "support/Unprivileged.h"
#include "unit/platform/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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
    ScratchFolder scratch;
    // The folder lets anyone in, so only the file's own permissions decide.
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0777), 0);
    const std::string readOnly = scratch.Write("kept.txt", "precious", 0444);
    const std::string writable = scratch.Write("open.txt", "scratch", 0666);
    const std::string missing = scratch / "missing.txt";
    const int seen = larkspan::test::RunUnprivileged([&] {
        return (platform::UserCanWrite(readOnly) ? 1 : 0) |
               (platform::UserCanWrite(writable) ? 2 : 0) |
               (platform::UserCanWrite(missing) ? 4 : 0);
    });
    EXPECT_EQ(seen, 2) << "1: the read-only file, 2: the writable one, 4: a missing one";
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

#include "platform/Platform.h"

#include "ScratchFolder.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using larkspan::test::ReadWholeFile;
using larkspan::test::ScratchFolder;
namespace platform = larkspan::platform;

namespace {

TEST(Files, WriteReplacesAPlantedLinkAndLeavesItsTargetAlone) {
    ScratchFolder scratch;
    const std::string victim = scratch.Write("victim.txt", "precious");
    const std::string path = scratch / "Setup.exe";
    ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);

    std::string error;
    ASSERT_TRUE(platform::WriteFileNoFollow(path, "installer", error)) << error;
    EXPECT_EQ(ReadWholeFile(victim), "precious");
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(ReadWholeFile(path), "installer");

    // Replacing an ordinary file works the same way.
    ASSERT_TRUE(platform::WriteFileNoFollow(path, "newer", error)) << error;
    EXPECT_EQ(ReadWholeFile(path), "newer");
}

TEST(Files, WriteFailureIsReportedAndLeavesNothingBehind) {
    ScratchFolder scratch;
    std::string error;
    EXPECT_FALSE(platform::WriteFileNoFollow(scratch / "missing/Setup.exe", "x", error));
    EXPECT_NE(error.find("missing/Setup.exe"), std::string::npos) << error;

    // A folder at the path cannot be replaced by a file; the temporary file is cleaned up.
    ASSERT_EQ(::mkdir((scratch / "Setup.exe").c_str(), 0700), 0);
    EXPECT_FALSE(platform::WriteFileNoFollow(scratch / "Setup.exe", "x", error));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(Files, InstallerIsWrittenFromItsPiecesRunnableByTheUserOnly) {
    ScratchFolder scratch;
    const std::string path = scratch / "Setup.exe";
    std::string error;
    ASSERT_TRUE(platform::WriteFileNoFollow(path, {"#!/bin/sh\n", "", "exit 0\n"},
                                            platform::FileMode::UserExecute, error))
        << error;
    EXPECT_EQ(ReadWholeFile(path), "#!/bin/sh\nexit 0\n");
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

TEST(Files, ExistenceTellsFilesFromFolders) {
    ScratchFolder scratch;
    const std::string file = scratch.Write("file.txt", "x");
    EXPECT_TRUE(platform::RegularFileExists(file));
    EXPECT_FALSE(platform::RegularFileExists(scratch.path()));
    EXPECT_FALSE(platform::RegularFileExists(""));
    EXPECT_TRUE(platform::FolderExists(scratch.path()));
    EXPECT_FALSE(platform::FolderExists(file));

    platform::DeleteFileQuietly(file);
    EXPECT_FALSE(platform::RegularFileExists(file));
    platform::DeleteFileQuietly(file); // already gone: no complaint
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
    ::setenv("TEMP", temp.c_str(), 1);
    ::setenv("TMPDIR", tmpdir.c_str(), 1);
}

TEST(Files, ExecutableFolderHoldsTheRunningProgram) {
    const std::string folder = platform::ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(platform::RegularFileExists(folder + "platform_tests"));
}

} // namespace

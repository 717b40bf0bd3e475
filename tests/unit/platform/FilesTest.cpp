#include "platform/Platform.h"

#include "ScratchFolder.h"

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

#include "platform/Platform.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using larkspan::test::ReadWholeFile;
using larkspan::test::ScratchFolder;
using larkspan::test::Utf8Path;
using larkspan::test::Utf8Text;
namespace platform = larkspan::platform;

namespace {

TEST(Files, WriteReplacesAPlantedLinkAndLeavesItsTargetAlone) {
    ScratchFolder scratch;
    const std::string victim = scratch.Write("victim.txt", "precious");
    const std::string path = scratch / "Setup.exe";
    const std::string planted = larkspan::test::PlantFileLink(victim, path);
    if (!planted.empty()) {
        GTEST_SKIP() << "this user cannot make links here: " << planted;
    }

    std::string error;
    ASSERT_TRUE(platform::WriteFileNoFollow(path, "installer", error)) << error;
    EXPECT_EQ(ReadWholeFile(victim), "precious");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(Utf8Path(path))));
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
    ASSERT_TRUE(std::filesystem::create_directory(Utf8Path(scratch / "Setup.exe")));
    EXPECT_FALSE(platform::WriteFileNoFollow(scratch / "Setup.exe", "x", error));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(Utf8Path(scratch.path()))) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

// What a run killed while it wrote a download left is the program's to remove at the next
// start; nothing else in a shared temporary folder is, and neither is a file still being written.
TEST(Files, OnlyStalePartialFilesAreRemoved) {
    ScratchFolder scratch;
    const std::string stale = scratch.Write(".larkspan-partial-0123456789abcdef.tmp", "half");
    const std::vector<std::string> others = {
        scratch.Write(".larkspan-partial-0123.tmp", "not ours"),
        scratch.Write(".larkspan-partial-0123456789abcdeg.tmp", "not ours"),
        scratch.Write("Setup.exe", "an installer"),
    };
    platform::FileWriter writing;
    std::string error;
    ASSERT_TRUE(writing.Open(scratch / "New.exe", platform::FileMode::UserExecute, error)) << error;
    ASSERT_TRUE(writing.Write("being written", error)) << error;

    platform::RemoveStalePartialFiles(scratch.path());
    EXPECT_FALSE(std::filesystem::exists(Utf8Path(stale)));
    for (const std::string& other : others) {
        EXPECT_TRUE(std::filesystem::exists(Utf8Path(other))) << other;
    }
    ASSERT_TRUE(writing.Commit(error)) << error;
    EXPECT_EQ(ReadWholeFile(scratch / "New.exe"), "being written");
}

TEST(Files, InstallerIsWrittenFromItsPieces) {
    ScratchFolder scratch;
    const std::string path = scratch / "Setup.exe";
    std::string error;
    ASSERT_TRUE(platform::WriteFileNoFollow(path, {"#!/bin/sh\n", "", "exit 0\n"},
                                            platform::FileMode::UserExecute, error))
        << error;
    EXPECT_EQ(ReadWholeFile(path), "#!/bin/sh\nexit 0\n");
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

TEST(Files, ExecutableFolderHoldsTheRunningProgram) {
    const std::string folder = platform::ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder.back() == '/' || folder.back() == '\\') << folder;
    EXPECT_TRUE(
        platform::RegularFileExists(folder + "platform_tests" + larkspan::test::kProgramSuffix));
}

// The input of an extraction is fingerprinted when it is chosen and checked while the job runs: a
// file replaced or rewritten in between must never pass for the same one.
TEST(Files, FingerprintTellsAReplacedOrRewrittenFileFromTheSameOne) {
    ScratchFolder scratch;
    EXPECT_EQ(platform::FileFingerprint(scratch / "missing.pdf"), "");
    EXPECT_EQ(platform::FileFingerprint(scratch.path()), "");

    const std::string path = scratch.Write("input.pdf", "%PDF-1.4 first");
    const std::string first = platform::FileFingerprint(path);
    ASSERT_NE(first, "");
    EXPECT_EQ(ReadWholeFile(path), "%PDF-1.4 first");
    EXPECT_EQ(platform::FileFingerprint(path), first); // reading changes nothing

    // File times move in clock ticks of a few milliseconds, and the C++ library reads them in
    // whole seconds on Windows: wait for the next tick it shows, so that a write's time can
    // differ at all. The probe is written with a byte each time: emptying an empty file leaves
    // its time alone (under wine), so an empty probe made in the same tick as the input never
    // moves on.
    const auto stamp = [&](const std::string& file) {
        return std::filesystem::last_write_time(Utf8Path(file));
    };
    const std::string probe = scratch.Write("tick", "x");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (stamp(scratch.Write("tick", "x")) == stamp(path) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_NE(stamp(probe), stamp(path));

    // What an indexer or a backup tool does to a file without touching its content.
    using std::filesystem::perm_options;
    std::filesystem::permissions(Utf8Path(path), std::filesystem::perms::owner_write,
                                 perm_options::remove);
    std::filesystem::permissions(Utf8Path(path), std::filesystem::perms::owner_write,
                                 perm_options::add);
    EXPECT_EQ(platform::FileFingerprint(path), first);

    // Rewritten in place, same size, same file.
    {
        std::fstream out(Utf8Path(path), std::ios::in | std::ios::out | std::ios::binary);
        out.write("%PDF-1.4 other", 14);
    }
    const std::string rewritten = platform::FileFingerprint(path);
    EXPECT_NE(rewritten, first);

    // Replaced by another file of the same size and content.
    const std::string other = scratch.Write("other.pdf", "%PDF-1.4 other");
    std::filesystem::rename(Utf8Path(other), Utf8Path(path));
    EXPECT_NE(platform::FileFingerprint(path), rewritten);
    EXPECT_NE(platform::FileFingerprint(path), first);
}

// A job's progress channel: a fresh empty file of the user's in the temporary folder, and its end
// read while another program appends to it.
TEST(Files, PrivateTemporaryFilesAreFreshAndTheirEndIsReadWhileTheyAreWritten) {
    const std::string first = platform::CreatePrivateTemporaryFile("larkspan-test-");
    const std::string second = platform::CreatePrivateTemporaryFile("larkspan-test-");
    ASSERT_NE(first, "");
    ASSERT_NE(second, "");
    EXPECT_NE(first, second);
    EXPECT_EQ(Utf8Text(Utf8Path(first).parent_path()), platform::TemporaryFolder());
    EXPECT_EQ(Utf8Path(first).filename().string().rfind("larkspan-test-", 0), 0u) << first;
    EXPECT_EQ(ReadWholeFile(first), "");
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(first).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif

    EXPECT_EQ(platform::ReadFileTail(first, 8), "");
    {
        // Held open by its writer meanwhile, as the extractor holds it.
        std::ofstream writer(Utf8Path(first), std::ios::binary | std::ios::app);
        writer << "0 300\n" << std::flush;
        EXPECT_EQ(platform::ReadFileTail(first, 8), "0 300\n");
        writer << "17 300\n" << std::flush;
        EXPECT_EQ(platform::ReadFileTail(first, 8), "\n17 300\n");
    }
    platform::DeleteFileQuietly(first);
    platform::DeleteFileQuietly(second);
    EXPECT_EQ(platform::ReadFileTail(first, 8), "");
    EXPECT_FALSE(platform::RegularFileExists(first));
}

} // namespace

#include "platform/Platform.h"

#include "WindowsTest.h"

#include <gtest/gtest.h>

#include <algorithm>

using larkspan::test::ReadWholeFile;
using larkspan::test::ScopedVariable;
using larkspan::test::ScratchFolder;
namespace platform = larkspan::platform;

namespace {

TEST(FilesWindows, ReadOnlyOrLockedFileIsNotWritableAndAskingChangesNothing) {
    ScratchFolder scratch;
    const std::string readOnly = scratch.Write("kept.txt", "precious", 0444);
    const std::string writable = scratch.Write("open.txt", "scratch");
    const std::string locked = scratch.Write("locked.txt", "held");
    EXPECT_FALSE(platform::UserCanWrite(readOnly));
    EXPECT_TRUE(platform::UserCanWrite(writable));
    EXPECT_EQ(ReadWholeFile(writable), "scratch") << "asking must not truncate";
    EXPECT_FALSE(platform::UserCanWrite(scratch / "missing.txt"));
    EXPECT_FALSE(platform::UserCanWrite(scratch.path()));

    // Held open by another program that lets nobody write meanwhile.
    const std::wstring wide = platform::win32::Widen(locked);
    const HANDLE holder = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::UserCanWrite(locked));
    ::CloseHandle(holder);
    EXPECT_TRUE(platform::UserCanWrite(locked));
    std::filesystem::permissions(larkspan::test::Utf8Path(readOnly),
                                 std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

TEST(FilesWindows, NamesOutsideTheCodePageWork) {
    ScratchFolder scratch;
    const std::string folder = scratch / "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE6\x96\x87";
    ASSERT_TRUE(std::filesystem::create_directory(larkspan::test::Utf8Path(folder)));
    const std::string path = folder + "\\\xE2\x9C\x93 Setup.exe";
    std::string error;
    ASSERT_TRUE(platform::WriteFileNoFollow(path, "MZ", error)) << error;
    EXPECT_TRUE(platform::FolderExists(folder));
    EXPECT_TRUE(platform::RegularFileExists(path));
    EXPECT_TRUE(platform::UserCanWrite(path));
    EXPECT_EQ(ReadWholeFile(path), "MZ");
    platform::DeleteFileQuietly(path);
    EXPECT_FALSE(platform::RegularFileExists(path));
}

TEST(FilesWindows, TemporaryFolderFollowsTheSystemsRuleAndIsNeverTheDriveRootByDefault) {
    ScratchFolder scratch;
    ScopedVariable tmp("TMP", nullptr);
    ScopedVariable temp("TEMP", "C:\\from\\temp\\");
    ScopedVariable profile("USERPROFILE", scratch.path().c_str());
    EXPECT_EQ(platform::TemporaryFolder(), "C:\\from\\temp");
    EXPECT_EQ(platform::TemporaryFile("Setup.exe"), "C:\\from\\temp\\Setup.exe");
    temp.Set("C:\\");
    EXPECT_EQ(platform::TemporaryFile("Setup.exe"), "C:\\Setup.exe");
    tmp.Set("C:\\from\\tmp");
    EXPECT_EQ(platform::TemporaryFolder(), "C:\\from\\tmp") << "the system asks TMP first";

    // Unset or empty: the user's profile folder; without one, the Windows folder.
    std::string inProfile = scratch.path() + "\\Setup.exe";
    std::replace(inProfile.begin(), inProfile.end(), '/', '\\');
    tmp.Set(nullptr);
    temp.Set(nullptr);
    EXPECT_EQ(platform::TemporaryFile("Setup.exe"), inProfile);
    temp.Set("");
    EXPECT_EQ(platform::TemporaryFile("Setup.exe"), inProfile);
    profile.Set(nullptr);
    std::wstring windows(MAX_PATH, L'\0');
    windows.resize(::GetWindowsDirectoryW(windows.data(), MAX_PATH));
    EXPECT_EQ(platform::TemporaryFolder(), platform::win32::Narrow(windows));

    // Relative: taken from the current folder, as the system does, not left relative.
    temp.Set("relative");
    std::wstring current(MAX_PATH, L'\0');
    current.resize(::GetCurrentDirectoryW(MAX_PATH, current.data()));
    if (current.back() != L'\\') {
        current += L'\\';
    }
    EXPECT_EQ(platform::TemporaryFolder(), platform::win32::Narrow(current) + "relative");
}

TEST(FilesWindows, EnvironmentVariablesKeepTheirTextAtAnyLength) {
    ScopedVariable variable("LARKSPAN_TEST_VARIABLE", "\xCE\xA9 \xE6\x96\x87");
    EXPECT_EQ(platform::GetEnvironment("LARKSPAN_TEST_VARIABLE"), "\xCE\xA9 \xE6\x96\x87");
    const std::string longValue(5000, 'x');
    variable.Set(longValue.c_str());
    EXPECT_EQ(platform::GetEnvironment("LARKSPAN_TEST_VARIABLE"), longValue);
    variable.Set(nullptr);
    EXPECT_EQ(platform::GetEnvironment("LARKSPAN_TEST_VARIABLE"), "");
}

} // namespace

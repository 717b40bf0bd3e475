#include "platform/Platform.h"
#include "platform/win32/Win32.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <string>

using larkspan::platform::ReadInstallRecordValue;

namespace {

// Records of a vendor of the tests' own under HKEY_LOCAL_MACHINE\Software, removed afterwards.
// Writing there needs administrator rights on Windows (wine's user has them).
constexpr const wchar_t* kVendorKey = L"Software\\LarkspanTestVendor";
constexpr const char* kVendor = "LarkspanTestVendor";

class InstallRecordRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        const LSTATUS status =
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kVendorKey) + L"\\Product").c_str(),
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        if (status == ERROR_ACCESS_DENIED) {
            GTEST_SKIP() << "HKEY_LOCAL_MACHINE is not writable for this user";
        }
        ASSERT_EQ(status, ERROR_SUCCESS);
    }
    void TearDown() override {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kVendorKey);
    }

    // Stores exactly `bytes` (no terminator added) as value `name` of type `type`.
    void Set(const wchar_t* name, DWORD type, const void* bytes, std::size_t size) {
        ASSERT_EQ(::RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(bytes),
                                   static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
    }
    void SetText(const wchar_t* name, DWORD type, const std::wstring& text) {
        Set(name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }

    static std::string Read(const std::string& name) {
        return ReadInstallRecordValue(kVendor, "Product", name);
    }

    HKEY key_ = nullptr;
};

TEST_F(InstallRecordRegistry, StringValuesComeBackAsStoredAndEverythingElseAsEmptyText) {
    SetText(L"Version", REG_SZ, L"1.3");
    SetText(L"Website", REG_EXPAND_SZ, L"http://%COMPUTERNAME%/%%x");
    SetText(L"Name", REG_SZ, L"\u00dcn\u00efc\u00f8d\u00e9 \u6587\u4ef6 \u2713");
    const std::wstring cut(L"abc\0def", 7);
    SetText(L"Cut", REG_SZ, cut);
    Set(L"Unterminated", REG_SZ, L"1.4", 3 * sizeof(wchar_t));
    Set(L"OddSize", REG_SZ, L"1.5", 3 * sizeof(wchar_t) + 1);
    const DWORD number = 13;
    Set(L"Number", REG_DWORD, &number, sizeof number);
    Set(L"Binary", REG_BINARY, "1.3", 3);
    Set(L"Multi", REG_MULTI_SZ, L"1.3\0\0", 5 * sizeof(wchar_t));
    SetText(L"Empty", REG_SZ, L"");

    EXPECT_EQ(Read("Version"), "1.3");
    EXPECT_EQ(Read("Website"), "http://%COMPUTERNAME%/%%x") << "expanded";
    EXPECT_EQ(Read("Name"), "\xC3\x9C"
                            "n\xC3\xAF"
                            "c\xC3\xB8"
                            "d\xC3\xA9 \xE6\x96\x87\xE4\xBB\xB6 "
                            "\xE2\x9C\x93");
    EXPECT_EQ(Read("Cut"), "abc");
    EXPECT_EQ(Read("Unterminated"), "1.4");
    EXPECT_EQ(Read("OddSize"), "1.5");
    EXPECT_EQ(Read("Number"), "");
    // A reader that must tell a value that is not text from a missing one (the sibling's path).
    EXPECT_EQ(larkspan::platform::ReadInstallRecordText(kVendor, "Product", "Number"),
              std::nullopt);
    EXPECT_EQ(larkspan::platform::ReadInstallRecordText(kVendor, "Product", "Missing"), "");
    EXPECT_EQ(Read("Binary"), "");
    EXPECT_EQ(Read("Multi"), "");
    EXPECT_EQ(Read("Empty"), "");
    EXPECT_EQ(Read("Missing"), "");
    EXPECT_EQ(Read("version"), "1.3") << "value names are compared without regard to case";
    EXPECT_EQ(ReadInstallRecordValue(kVendor, "OtherProduct", "Version"), "");
    EXPECT_EQ(ReadInstallRecordValue(kVendor, "Product\\..\\Product", "Version"), "");
}

TEST_F(InstallRecordRegistry, KeyThatOnlyLetsValuesBeQueriedIsStillRead) {
    SetText(L"Version", REG_SZ, L"2.0");
    // Everyone may query values, and nothing else: no enumeration, no READ_CONTROL.
    PSECURITY_DESCRIPTOR queryOnly = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;0x0001;;;WD)", SDDL_REVISION_1, &queryOnly, nullptr));
    ASSERT_EQ(::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, queryOnly), ERROR_SUCCESS);
    ::LocalFree(queryOnly);

    HKEY probe = nullptr;
    const LSTATUS withKeyRead = ::RegOpenKeyExW(
        HKEY_LOCAL_MACHINE, (std::wstring(kVendorKey) + L"\\Product").c_str(), 0, KEY_READ, &probe);
    if (withKeyRead == ERROR_SUCCESS) {
        ::RegCloseKey(probe);
    }
    const std::string version = Read("Version");

    // The owner may always change the access list back, so the key can be removed.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    ::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, open);
    ::LocalFree(open);

    if (withKeyRead == ERROR_SUCCESS) {
        GTEST_SKIP() << "this system does not enforce the key's access list (wine does not); read "
                        "back: \""
                     << version << "\"";
    }
    EXPECT_EQ(version, "2.0");
}

TEST(InstanceLockWindows, NameTakenByAnObjectOfAnotherKindMeansAnotherCopyRuns) {
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, L"LarkspanTestEventName");
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(larkspan::platform::AcquireInstanceLock("LarkspanTestEventName"), nullptr);
    ::CloseHandle(event);
    EXPECT_NE(larkspan::platform::AcquireInstanceLock("LarkspanTestEventName"), nullptr);

    // A name that would pick another namespace is refused rather than used.
    EXPECT_EQ(larkspan::platform::AcquireInstanceLock("Global\\Larkspan"), nullptr);
}

TEST(InstanceLockWindows, ProgramStartedWhileHoldingDoesNotKeepTheLock) {
    auto lock = larkspan::platform::AcquireInstanceLock("LarkspanTestInherited");
    ASSERT_NE(lock, nullptr);
    // Started the way careless code would: inheriting every inheritable handle of the program.
    std::wstring commandLine = L"child sleep 20000";
    const std::wstring child = larkspan::platform::win32::Widen(
        larkspan::platform::ExecutableFolder() + "platform_test_child.exe");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(child.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                 nullptr, nullptr, &startup, &process));
    lock.reset();
    EXPECT_NE(larkspan::platform::AcquireInstanceLock("LarkspanTestInherited"), nullptr);
    ::TerminateProcess(process.hProcess, 1);
    ::WaitForSingleObject(process.hProcess, 5000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
}

} // namespace

#include "platform/Platform.h"
#include "platform/win32/Win32.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

using larkspan::platform::ReadInstallRecordValue;
using larkspan::platform::win32::Widen;

namespace {

using larkspan::platform::RecordWriter;

// Records of a vendor of the test's own (one per test: the tests run at the same time) under
// HKEY_LOCAL_MACHINE\Software, in either registry view, removed afterwards. Writing there needs
// administrator rights on Windows (wine's user has them).
class InstallRecordRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        vendor_ = std::string("LarkspanTestVendor.") +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const LSTATUS status = Create(0, key_);
        if (status == ERROR_ACCESS_DENIED) {
            GTEST_SKIP() << "HKEY_LOCAL_MACHINE is not writable for this user";
        }
        ASSERT_EQ(status, ERROR_SUCCESS);
    }
    void TearDown() override {
        for (HKEY* key : {&key_, &key32_}) {
            if (*key != nullptr) {
                ::RegCloseKey(*key);
            }
        }
        for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            HKEY software = nullptr;
            if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view,
                                &software) == ERROR_SUCCESS) {
                ::RegDeleteTreeW(software, Widen(vendor_).c_str());
                ::RegCloseKey(software);
            }
        }
    }

    // The key Software\<vendor>\Product in the registry view `view` (0: the program's own).
    LSTATUS Create(REGSAM view, HKEY& key) const {
        return ::RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                 Widen("Software\\" + vendor_ + "\\Product").c_str(), 0, nullptr, 0,
                                 KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    }
    HKEY Key32() {
        if (key32_ == nullptr) {
            EXPECT_EQ(Create(KEY_WOW64_32KEY, key32_), ERROR_SUCCESS);
        }
        return key32_;
    }

    // Stores exactly `bytes` (no terminator added) as value `name` of type `type`.
    static void Set(HKEY key, const wchar_t* name, DWORD type, const void* bytes,
                    std::size_t size) {
        ASSERT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(bytes),
                                   static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
    }
    void Set(const wchar_t* name, DWORD type, const void* bytes, std::size_t size) {
        Set(key_, name, type, bytes, size);
    }
    static void SetText(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
        Set(key, name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    void SetText(const wchar_t* name, DWORD type, const std::wstring& text) {
        SetText(key_, name, type, text);
    }

    std::string Read(const std::string& name) const {
        return ReadText(name, RecordWriter::OurInstaller).value_or("");
    }
    // Through the system's reader, or the one of RecordOpens.
    std::optional<std::string> ReadText(const std::string& name, RecordWriter writer) const {
        return open_ ? larkspan::platform::os::LookUpRecordText(
                           larkspan::platform::win32::RecordReaderOpeningWith(open_), vendor_,
                           "Product", name, writer)
                     : larkspan::platform::ReadInstallRecordText(vendor_, "Product", name, writer);
    }

    // Opens keys through RegOpenKeyExW as the records are opened, noting each access asked
    // for; with `queryOnly`, any access beyond querying values is refused, as the access list of
    // a key that grants no more would.
    void RecordOpens(bool queryOnly) {
        open_ = [this, queryOnly](HKEY root, const wchar_t* subKey, REGSAM access, HKEY* key) {
            asked_.push_back(access);
            const REGSAM view = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
            if (queryOnly && (access & ~view) != KEY_QUERY_VALUE) {
                return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
            }
            return ::RegOpenKeyExW(root, subKey, 0, access, key);
        };
    }

    larkspan::platform::win32::RegistryOpenRoutine open_; // empty: the system's reader
    std::string vendor_;
    HKEY key_ = nullptr;
    HKEY key32_ = nullptr;
    std::vector<REGSAM> asked_;
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
    EXPECT_EQ(ReadText("Number", RecordWriter::OurInstaller), std::nullopt);
    EXPECT_EQ(ReadText("Missing", RecordWriter::OurInstaller), "");
    EXPECT_EQ(Read("Binary"), "");
    EXPECT_EQ(Read("Multi"), "");
    EXPECT_EQ(Read("Empty"), "");
    EXPECT_EQ(Read("Missing"), "");
    EXPECT_EQ(Read("version"), "1.3") << "value names are compared without regard to case";
    EXPECT_EQ(ReadInstallRecordValue(vendor_, "OtherProduct", "Version"), "");
    EXPECT_EQ(ReadInstallRecordValue(vendor_, "Product\\..\\Product", "Version"), "");
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
    const LSTATUS withKeyRead =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Widen("Software\\" + vendor_ + "\\Product").c_str(), 0,
                        KEY_READ, &probe);
    if (withKeyRead == ERROR_SUCCESS) {
        ::RegCloseKey(probe);
    }
    // A system that does not enforce the access list (wine) has it enforced here.
    RecordOpens(withKeyRead == ERROR_SUCCESS);
    const std::string version = Read("Version");

    // The owner may always change the access list back, so the key can be removed.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    ::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, open);
    ::LocalFree(open);

    EXPECT_EQ(version, "2.0");
    EXPECT_EQ(asked_, (std::vector<REGSAM>{
                          KEY_READ, STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
                          KEY_QUERY_VALUE}));
}

TEST_F(InstallRecordRegistry, SiblingsRecordIsReadFromThe32BitViewFirstThenThe64BitView) {
    SetText(L"InstallPath", REG_SZ, L"C:\\64\\Tarnwell.exe");
    RecordOpens(true);
    EXPECT_EQ(ReadText("InstallPath", RecordWriter::OtherInstaller), "C:\\64\\Tarnwell.exe")
        << "a 64-bit installer's record";
    // Each view with the same masks in the same order; the 32-bit view has no such key yet.
    std::vector<REGSAM> expected;
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        for (const REGSAM mask : {0x20019, 0x20009, 0x0001}) {
            expected.push_back(mask | view);
        }
    }
    EXPECT_EQ(asked_, expected);

    SetText(Key32(), L"InstallPath", REG_EXPAND_SZ, L"C:\\32\\%x%\\Tarnwell.exe");
    EXPECT_EQ(ReadText("InstallPath", RecordWriter::OtherInstaller), "C:\\32\\%x%\\Tarnwell.exe");
    EXPECT_EQ(ReadText("InstallPath", RecordWriter::OurInstaller), "C:\\64\\Tarnwell.exe")
        << "the program's own record stays in its own view";

    // A 32-bit record is the record, with the same value-type rules.
    const DWORD number = 7;
    Set(Key32(), L"InstallPath", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(ReadText("InstallPath", RecordWriter::OtherInstaller), std::nullopt);
    ::RegDeleteValueW(Key32(), L"InstallPath");
    EXPECT_EQ(ReadText("InstallPath", RecordWriter::OtherInstaller), "");
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

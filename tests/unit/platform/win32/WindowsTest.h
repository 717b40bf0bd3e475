#pragma once

// Helpers of the Windows platform tests: the child program they start, and waiting for what a
// program started on its own leaves behind.

#include "platform/Platform.h"
#include "platform/win32/Win32.h"

#include "unit/platform/ScratchFolder.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace larkspan::test {

// platform_test_child.exe, built beside the test program (see ChildProgram.cpp).
inline std::string ChildProgram() {
    return platform::ExecutableFolder() + "platform_test_child.exe";
}

// Copies the child program to `path` (folders created as needed) and returns `path`.
inline std::string CopyChildProgram(const std::string& path) {
    std::filesystem::create_directories(Utf8Path(path).parent_path());
    std::filesystem::copy_file(Utf8Path(ChildProgram()), Utf8Path(path));
    return path;
}

// Waits for a file that a program running on its own writes; false after `limit`.
inline bool AwaitFile(const std::string& path,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!std::filesystem::exists(Utf8Path(path))) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Whether the process `processId` has ended, or does within `waitMs` milliseconds.
inline bool ProcessEnded(DWORD processId, DWORD waitMs = 5000) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) {
        return true; // gone altogether
    }
    const bool ended = ::WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

// Sets (or with nullptr removes) an environment variable for the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const std::string& name, const char* value)
        : name_(platform::win32::Widen(name)) {
        previous_.assign(32768, L'\0');
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(name_.c_str(), previous_.data(),
                                                       static_cast<DWORD>(previous_.size()));
        hadPrevious_ = length > 0 || ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        previous_.resize(length);
        Set(value);
    }
    ~ScopedVariable() {
        ::SetEnvironmentVariableW(name_.c_str(), hadPrevious_ ? previous_.c_str() : nullptr);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

    void Set(const char* value) {
        const std::wstring wide = value != nullptr ? platform::win32::Widen(value) : L"";
        ::SetEnvironmentVariableW(name_.c_str(), value != nullptr ? wide.c_str() : nullptr);
    }

private:
    std::wstring name_;
    bool hadPrevious_ = false;
    std::wstring previous_;
};

// Gives cmd.exe, for the life of the object, the settings a user's machine may have in
// HKCU\Software\Microsoft\Command Processor: an AutoRun command that prints a banner before
// every command, and delayed expansion of !NAME! switched on. The earlier values come back after.
class CommandProcessorSettings {
public:
    static constexpr const char* kBanner = "AutoRun banner of another program";

    CommandProcessorSettings() {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Command Processor", 0, nullptr,
                          0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        const std::wstring command = L"echo " + platform::win32::Widen(kBanner);
        const std::string autoRun(reinterpret_cast<const char*>(command.c_str()),
                                  (command.size() + 1) * sizeof(wchar_t));
        const DWORD on = 1;
        const std::string delayedExpansion(reinterpret_cast<const char*>(&on), sizeof on);
        // A value equal to this object's own was set by another test running at the same time
        // and counts as not there: the last of them to end removes it.
        Save(L"AutoRun", autoRun, autoRun_);
        Save(L"DelayedExpansion", delayedExpansion, delayedExpansion_);
        ::RegSetValueExW(key_, L"AutoRun", 0, REG_SZ, reinterpret_cast<const BYTE*>(autoRun.data()),
                         static_cast<DWORD>(autoRun.size()));
        ::RegSetValueExW(key_, L"DelayedExpansion", 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(delayedExpansion.data()),
                         static_cast<DWORD>(delayedExpansion.size()));
    }
    ~CommandProcessorSettings() {
        Restore(L"AutoRun", autoRun_);
        Restore(L"DelayedExpansion", delayedExpansion_);
        ::RegCloseKey(key_);
    }
    CommandProcessorSettings(const CommandProcessorSettings&) = delete;
    CommandProcessorSettings& operator=(const CommandProcessorSettings&) = delete;

private:
    struct Saved {
        bool present = false;
        DWORD type = 0;
        std::string data;
    };
    void Save(const wchar_t* name, const std::string& ours, Saved& saved) {
        DWORD size = 0;
        if (::RegQueryValueExW(key_, name, nullptr, &saved.type, nullptr, &size) != ERROR_SUCCESS) {
            return;
        }
        saved.data.resize(size);
        saved.present = ::RegQueryValueExW(key_, name, nullptr, &saved.type,
                                           reinterpret_cast<BYTE*>(saved.data.data()),
                                           &size) == ERROR_SUCCESS &&
                        saved.data != ours;
    }
    void Restore(const wchar_t* name, const Saved& saved) {
        if (saved.present) {
            ::RegSetValueExW(key_, name, 0, saved.type,
                             reinterpret_cast<const BYTE*>(saved.data.data()),
                             static_cast<DWORD>(saved.data.size()));
        } else {
            ::RegDeleteValueW(key_, name);
        }
    }

    HKEY key_ = nullptr;
    Saved autoRun_;
    Saved delayedExpansion_;
};

} // namespace larkspan::test

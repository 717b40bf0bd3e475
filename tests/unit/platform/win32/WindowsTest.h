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

// Whether the process `processId` has ended, or does within 5 seconds.
inline bool ProcessEnded(DWORD processId) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) {
        return true; // gone altogether
    }
    const bool ended = ::WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
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

} // namespace larkspan::test

#pragma once

// Pieces shared by the Win32 code: UTF-8 inside the program, UTF-16 at every system call, a
// handle owner, and the system's text for an error code.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/Primitives.h"

#include <functional>
#include <string>
#include <string_view>

namespace larkspan::platform::win32 {

// UTF-8 to UTF-16 and back. Every byte counts, a zero byte included; a sequence that is not
// UTF-8 (or a lone surrogate on the way back) becomes U+FFFD. The wide calls are what make a
// file name outside the system's 8-bit code page usable.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

// A path as the wide calls take it, or false when it cannot name anything: empty, or holding a
// zero byte that would cut it short at the system call and so name another file.
bool WidePath(const std::string& path, std::wstring& wide);

// The system's text for an error code (FormatMessageW, the user's language), without the line
// break it ends in. A "%1" in the text is replaced by `subject` when one is given.
std::string ErrorText(DWORD code, const std::string& subject = {});

// Opens a registry key as RegOpenKeyExW does.
using RegistryOpenRoutine =
    std::function<LSTATUS(HKEY root, const wchar_t* subKey, REGSAM access, HKEY* key)>;

// The installation records' reader (os::ReadRecordValue) with its keys opened through `open`, so
// that a test can refuse some access masks as a key's access list would (wine enforces none).
os::RecordReader RecordReaderOpeningWith(RegistryOpenRoutine open);

// Owns a kernel handle, so every path closes it. Both "no handle" values of the API (null and
// INVALID_HANDLE_VALUE) count as empty.
class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~UniqueHandle() { Close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE* Receive() {
        Close();
        return &handle_;
    }
    HANDLE Release() {
        const HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void Reset(HANDLE handle) {
        Close();
        handle_ = handle;
    }
    void Close() {
        if (*this) {
            ::CloseHandle(handle_);
        }
        handle_ = nullptr;
    }

private:
    HANDLE handle_;
};

} // namespace larkspan::platform::win32

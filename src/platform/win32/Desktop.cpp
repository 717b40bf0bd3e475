// Handing things to the desktop shell: its "open" verb for documents, links and programs; and
// the program's end with its main window.

#include "platform/Platform.h"

#include "platform/win32/Win32.h"

#include <cstdio>
#include <objbase.h>
#include <shellapi.h>

namespace larkspan::platform {

namespace {

// The shell may hand the target to extensions that need COM on the calling thread, and
// OpenWithShell is also called from worker threads. A thread that has COM already (Qt's main
// thread has) keeps it as it is.
class ComForShell {
public:
    ComForShell()
        : initialised_(SUCCEEDED(
              ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComForShell() {
        if (initialised_) {
            ::CoUninitialize();
        }
    }
    ComForShell(const ComForShell&) = delete;
    ComForShell& operator=(const ComForShell&) = delete;

private:
    bool initialised_;
};

// A drive path ("C:\...") or a UNC path ("\\server\..."): anything else depends on the current
// folder or drive of this program.
bool IsAbsolute(const std::wstring& path) {
    const auto separator = [](wchar_t c) {
        return c == L'\\' || c == L'/';
    };
    if (path.size() >= 3 && path[1] == L':' && separator(path[2])) {
        return true;
    }
    return path.size() >= 2 && separator(path[0]) && separator(path[1]);
}

} // namespace

void EndAsTheMainWindowCloses(int status) {
    std::fflush(nullptr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
}

bool DisplayAvailable() {
    return true;
}

void OpenWithShell(const std::string& target) {
    std::wstring wide;
    if (!win32::WidePath(target, wide)) {
        return;
    }
    const ComForShell com;
    // The result is not looked at: nothing is reported when the target cannot be opened.
    ::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool StartProgram(const std::string& path, std::string& error) {
    std::wstring wide;
    if (!win32::WidePath(path, wide) || !IsAbsolute(wide)) {
        error = win32::ErrorText(ERROR_FILE_NOT_FOUND);
        return false;
    }
    // The program runs in its own folder, as a program started from Explorer does.
    std::wstring full(MAX_PATH, L'\0');
    wchar_t* name = nullptr;
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), &name);
        if (length == 0) {
            error = win32::ErrorText(::GetLastError(), path);
            return false;
        }
        if (length < full.size()) {
            break;
        }
        full.resize(length);
    }
    if (name == nullptr) {
        error = win32::ErrorText(ERROR_FILE_NOT_FOUND); // a folder, not a file
        return false;
    }
    const std::wstring folder(full.data(), static_cast<std::size_t>(name - full.data()));

    const ComForShell com;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // NOASYNC: the start is complete when the call returns, whatever the calling thread does
    // next. NO_UI: a failure comes back to the caller instead of in a box of the shell's.
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = wide.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&info)) {
        error = win32::ErrorText(::GetLastError(), path);
        return false;
    }
    error.clear();
    return true;
}

} // namespace larkspan::platform

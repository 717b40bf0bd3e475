// The Win32 primitives under the shared platform code: the environment, the executable's path,
// the temporary folder's variable, installation records in the registry, and ending the job
// object a console command runs in.

#include "platform/Primitives.h"

#include "platform/win32/Win32.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <vector>

namespace larkspan::platform::os {

using win32::Narrow;
using win32::Widen;

char PathSeparator() {
    return '\\';
}

std::optional<std::string> Environment(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const std::wstring wideName = Widen(name);
    std::wstring value(256, L'\0');
    for (;;) {
        // An empty value also gives 0; only the last error tells it from a missing variable.
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                                       static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return std::string();
        }
        if (length < value.size()) {
            value.resize(length);
            return Narrow(value);
        }
        // Too small: `length` is the size needed, terminator included. Asked again, since the
        // variable may change in between.
        value.resize(length);
    }
}

void SetEnvironment(const std::string& name, const std::string& value) {
    // Programs started with the default environment block get the process's current variables.
    ::SetEnvironmentVariableW(Widen(name).c_str(), Widen(value).c_str());
}

std::string FindProgram(const std::string& name) {
    if (name.find('\0') != std::string::npos) {
        return {};
    }
    const std::wstring wideName = Widen(name);
    std::wstring found(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::SearchPathW(nullptr, wideName.c_str(), L".exe",
                                           static_cast<DWORD>(found.size()), found.data(), nullptr);
        if (length == 0) {
            return {};
        }
        if (length < found.size()) {
            found.resize(length);
            const DWORD attributes = ::GetFileAttributesW(found.c_str());
            const bool file = attributes != INVALID_FILE_ATTRIBUTES &&
                              (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
            return file ? Narrow(found) : std::string();
        }
        found.resize(length); // the size needed, terminator included
    }
}

std::string ExecutablePath() {
    // Paths may be longer than MAX_PATH; the call cuts the name short and says so instead of
    // reporting the size it needs, so the buffer grows until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return Narrow(path);
        }
        if (path.size() >= 32768) {
            return {}; // longer than any Windows path can be
        }
        path.resize(path.size() * 2);
    }
}

std::vector<std::string> TemporaryFolderVariables() {
    return {"TEMP"};
}

std::string DefaultTemporaryFolder() {
    // No TEMP: "" + "\Setup.exe" is the root of the current drive.
    return {};
}

std::vector<std::string> RecordLocations(const std::string& vendor, const std::string& product) {
    return {"Software\\" + vendor + "\\" + product};
}

namespace {

// Closes the key on every path.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* Receive() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// The access masks tried in turn: KEY_READ; then STANDARD_RIGHTS_READ with KEY_QUERY_VALUE and
// KEY_ENUMERATE_SUB_KEYS; then KEY_QUERY_VALUE alone, so a key whose rights allow no more than
// querying values is still read.
constexpr REGSAM kReadMasks[] = {0x20019, 0x20009, 0x0001};

} // namespace

RecordRead ReadRecordValue(const std::string& location, const std::string& key,
                           std::string& value) {
    // No registry-view flag: a 64-bit program reads the 64-bit view, so the installer writes
    // the record there (a 32-bit installer must be told to: its writes land in WOW6432Node).
    const std::wstring subKey = Widen(location);
    RegistryKey opened;
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    for (const REGSAM mask : kReadMasks) {
        status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, mask, opened.Receive());
        if (status == ERROR_SUCCESS) {
            break;
        }
    }
    if (status != ERROR_SUCCESS) {
        return status == ERROR_FILE_NOT_FOUND ? RecordRead::NotThere : RecordRead::Failed;
    }

    const std::wstring name = Widen(key);
    DWORD type = 0;
    DWORD size = 0;
    status = ::RegQueryValueExW(opened.Get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && size == 0)) {
        value.clear(); // no such value, or an empty one
        return RecordRead::Read;
    }
    // The value may grow between the two calls; then the size is asked for again.
    std::vector<BYTE> data;
    for (;;) {
        if (status != ERROR_SUCCESS) {
            return RecordRead::Failed;
        }
        data.resize(size);
        status = ::RegQueryValueExW(opened.Get(), name.c_str(), nullptr, &type, data.data(), &size);
        if (status != ERROR_MORE_DATA) {
            break;
        }
        status = ::RegQueryValueExW(opened.Get(), name.c_str(), nullptr, &type, nullptr, &size);
    }
    if (status != ERROR_SUCCESS) {
        return RecordRead::Failed;
    }
    // Only text counts; REG_EXPAND_SZ comes back as stored, its %NAME% references unexpanded.
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return RecordRead::NotText;
    }
    // The stored data need not end in a NUL, nor hold an even number of bytes; the text ends
    // at its first NUL either way.
    std::wstring text(size / sizeof(wchar_t), L'\0');
    std::copy_n(data.data(), text.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(text.data()));
    text.resize(std::wcslen(text.c_str()));
    value = Narrow(text);
    return RecordRead::Read;
}

void EndProcessGroup(std::int64_t group) {
    // The value is the handle of the job object the console runner put the command into.
    if (group != 0) {
        ::TerminateJobObject(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(group)), 1);
    }
}

} // namespace larkspan::platform::os

// The Win32 primitives under the shared platform code: the environment, the executable's path,
// the temporary folder's variable, installation records in the registry, ending the job object
// a console command runs in, and ending the process around threads that still run.

#include "platform/Primitives.h"

#include "platform/Platform.h"
#include "platform/Policy.h"
#include "platform/win32/Win32.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <utility>
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

unsigned UsableProcessors() {
    // The affinity mask holds the processors of the process's group that it, and any job it is
    // in, may use; threads and the programs it starts stay in that group.
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) {
        return 0;
    }
    unsigned count = 0;
    for (DWORD_PTR mask = process; mask != 0; mask &= mask - 1) {
        ++count;
    }
    // A hard cap on the job's CPU rate is a share of every processor of the machine, in
    // hundredths of a percent.
    JOBOBJECT_CPU_RATE_CONTROL_INFORMATION rate{};
    if (::QueryInformationJobObject(nullptr, JobObjectCpuRateControlInformation, &rate, sizeof rate,
                                    nullptr) &&
        (rate.ControlFlags & JOB_OBJECT_CPU_RATE_CONTROL_ENABLE) != 0 &&
        (rate.ControlFlags & JOB_OBJECT_CPU_RATE_CONTROL_HARD_CAP) != 0) {
        const DWORD all = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
        const DWORD capped = (all * rate.CpuRate + 9999) / 10000;
        count = std::min<unsigned>(count, std::max<DWORD>(capped, 1));
    }
    return count;
}

std::uint64_t AvailableMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    std::uint64_t available = ::GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : 0;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
    if (::QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job,
                                    nullptr) &&
        (job.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_JOB_MEMORY) != 0) {
        const std::uint64_t limit = job.JobMemoryLimit;
        const std::uint64_t used = job.PeakJobMemoryUsed; // no better figure of the job's use
        const std::uint64_t left = limit > used ? limit - used : 0;
        available = available == 0 ? left : std::min(available, left);
    }
    return available;
}

std::vector<std::string> TemporaryFolderVariables() {
    // The system's own rule decides (DefaultTemporaryFolder), not one variable read here.
    return {};
}

std::string DefaultTemporaryFolder() {
    // GetTempPathW takes the first of TMP, TEMP and USERPROFILE that is set, else the Windows
    // folder, and makes a relative value a full path. TEMP alone would give "" when it is
    // unset, and so a file at the root of whatever drive is current.
    std::wstring folder(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD length = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
        if (length == 0) {
            return {};
        }
        if (length < folder.size()) {
            folder.resize(length);
            return Narrow(folder);
        }
        folder.resize(length + 1);
    }
}

std::vector<RecordLocation> RecordLocations(const std::string& vendor, const std::string& product,
                                            RecordWriter writer) {
    const std::string key = "Software\\" + vendor + "\\" + product;
    if (writer == RecordWriter::OtherInstaller) {
        // Where a 32-bit installer's writes land, then where a 64-bit one's do.
        return {{key, KEY_WOW64_32KEY}, {key, KEY_WOW64_64KEY}};
    }
    // Without a view flag this 64-bit program reads the 64-bit view, where its own installer
    // writes the record.
    return {{key, 0}};
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

LSTATUS OpenKey(HKEY root, const wchar_t* subKey, REGSAM access, HKEY* key) {
    return ::RegOpenKeyExW(root, subKey, 0, access, key);
}

RecordRead ReadRecordValueOpeningWith(const win32::RegistryOpenRoutine& open,
                                      const RecordLocation& location, const std::string& key,
                                      std::string& value) {
    const std::wstring subKey = Widen(location.path);
    RegistryKey opened;
    LSTATUS status = policy::OpenWithReadMasks([&](std::uint32_t mask) {
        return static_cast<std::int32_t>(
            open(HKEY_LOCAL_MACHINE, subKey.c_str(), mask | location.view, opened.Receive()));
    });
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

} // namespace

RecordRead ReadRecordValue(const RecordLocation& location, const std::string& key,
                           std::string& value) {
    return ReadRecordValueOpeningWith(OpenKey, location, key, value);
}

void EndProcessGroup(std::int64_t group) {
    // The value is the handle of the job object the console runner put the command into.
    if (group != 0) {
        ::TerminateJobObject(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(group)), 1);
    }
}

} // namespace larkspan::platform::os

namespace larkspan::platform {

void EndWithThreadsRunning(int status) {
    std::fflush(nullptr);
    // No library's detach code runs, so none can wait for a lock that a thread stopped by the
    // exit still holds. Should it fail, the normal exit follows.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
}

} // namespace larkspan::platform

namespace larkspan::platform::win32 {

os::RecordReader RecordReaderOpeningWith(RegistryOpenRoutine open) {
    return [open = std::move(open)](const os::RecordLocation& location, const std::string& key,
                                    std::string& value) {
        return os::ReadRecordValueOpeningWith(open, location, key, value);
    };
}

} // namespace larkspan::platform::win32

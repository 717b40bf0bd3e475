#include "support/StagedRecords.h"

#include "support/TestFiles.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#ifdef _WIN32
#include "platform/win32/Win32.h"
#endif

namespace larkspan::testsupport {

namespace {

// Where a program started by the test finds the records (Windows: the key's path).
constexpr const char* kPlaceVariable = "LARKSPAN_TEST_RECORDS";

#ifdef _WIN32
using platform::win32::Narrow;
using platform::win32::Widen;

std::string GetVariable(const char* name, bool& set) {
    wchar_t value[32768];
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(Widen(name).c_str(), value, 32768);
    set = length > 0 || ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    return length > 0 && length < 32768 ? Narrow(std::wstring_view(value, length)) : "";
}

void SetVariable(const char* name, const std::string* value) {
    ::SetEnvironmentVariableW(Widen(name).c_str(),
                              value != nullptr ? Widen(*value).c_str() : nullptr);
}

void Redirect(const std::string& place) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, Widen(place).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr) != ERROR_SUCCESS ||
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, key) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot redirect HKEY_LOCAL_MACHINE to " + place);
    }
    ::RegCloseKey(key); // the redirection keeps its own handle
}
#else
std::string GetVariable(const char* name, bool& set) {
    const char* value = std::getenv(name);
    set = value != nullptr;
    return value != nullptr ? value : "";
}

void SetVariable(const char* name, const std::string* value) {
    if (value != nullptr) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}
#endif

} // namespace

#ifdef _WIN32

StagedRecords::StagedRecords() {
    static std::atomic<int> count{0};
    place_ = "Software\\LarkspanTestRecords\\" + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(count++);
    previous_ = GetVariable(kPlaceVariable, hadPrevious_);
    Redirect(place_);
    SetVariable(kPlaceVariable, &place_);
}

StagedRecords::~StagedRecords() {
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Widen(place_).c_str());
    SetVariable(kPlaceVariable, hadPrevious_ ? &previous_ : nullptr);
}

void StagedRecords::Set(const std::string& vendor, const std::string& product,
                        const std::string& key, const std::string& value) {
    HKEY record = nullptr;
    const std::wstring path = Widen("Software\\" + vendor + "\\" + product);
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &record, nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create the record of " + product);
    }
    const std::wstring text = Widen(value);
    const LSTATUS status = ::RegSetValueExW(
        record, Widen(key).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(record);
    if (status != ERROR_SUCCESS) {
        throw std::runtime_error("cannot write " + key + " into the record of " + product);
    }
}

void AdoptStagedRecords() {
    bool set = false;
    const std::string place = GetVariable(kPlaceVariable, set);
    if (!place.empty()) {
        Redirect(place);
    }
}

#else

StagedRecords::StagedRecords() : place_(MakeTempFolder("records")) {
    previous_ = GetVariable("XDG_CONFIG_DIRS", hadPrevious_);
    SetVariable("XDG_CONFIG_DIRS", &place_);
}

StagedRecords::~StagedRecords() {
    SetVariable("XDG_CONFIG_DIRS", hadPrevious_ ? &previous_ : nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(place_, ignored);
}

void StagedRecords::Set(const std::string& vendor, const std::string& product,
                        const std::string& key, const std::string& value) {
    const std::filesystem::path folder = std::filesystem::path(place_) / vendor;
    std::filesystem::create_directories(folder);
    std::ofstream record(folder / (product + ".conf"), std::ios::app);
    record << key << '=' << value << '\n';
    if (!record) {
        throw std::runtime_error("cannot write the record of " + product);
    }
}

void AdoptStagedRecords() {}

#endif

} // namespace larkspan::testsupport

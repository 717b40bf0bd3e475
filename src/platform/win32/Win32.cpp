#include "platform/win32/Win32.h"

#include <climits>

namespace larkspan::platform::win32 {

std::wstring Widen(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
    }
    return wide;
}

std::string Narrow(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr,
                              nullptr);
    }
    return narrow;
}

bool WidePath(const std::string& path, std::wstring& wide) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return false;
    }
    wide = Widen(path);
    return true;
}

std::string ErrorText(DWORD code, const std::string& subject) {
    wchar_t* buffer = nullptr;
    // Inserts are left as they are: a message may name more of them than any caller could
    // supply, and FormatMessageW would read past the arguments given.
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr) {
        text = Narrow(std::wstring_view(buffer, length));
    }
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        return "System error " + std::to_string(code);
    }
    const auto insert = text.find("%1");
    if (!subject.empty() && insert != std::string::npos) {
        text.replace(insert, 2, subject);
    }
    return text;
}

} // namespace larkspan::platform::win32

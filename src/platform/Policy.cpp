#include "platform/Policy.h"

#include <cstring>

namespace larkspan::platform::policy {

std::string ChooseTemporaryFolder(const std::vector<std::optional<std::string>>& candidates,
                                  std::string fallback, char separator) {
    std::string folder = std::move(fallback);
    for (const std::optional<std::string>& candidate : candidates) {
        if (candidate && !candidate->empty()) {
            folder = *candidate;
            break;
        }
    }
    while (folder.size() > 1 && folder.back() == separator) {
        folder.pop_back();
    }
    return folder;
}

std::string ToolSearchPath(const std::optional<std::string>& inheritedPath,
                           std::string_view defaultPath) {
    return ".:" + (inheritedPath ? *inheritedPath : std::string(defaultPath));
}

std::vector<std::string> XdgConfigFolders(const std::optional<std::string>& variable) {
    const std::string list = variable && !variable->empty() ? *variable : "/etc/xdg";
    std::vector<std::string> folders;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string folder = list.substr(start, end - start);
        if (!folder.empty() && folder.front() == '/') {
            folders.push_back(std::move(folder));
        }
        start = end + 1;
    }
    return folders;
}

bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string_view::npos;
}

void AppendConsoleRead(std::string& output, const char* data, std::size_t size) {
    const void* zero = std::memchr(data, '\0', size);
    output.append(data, zero != nullptr ? static_cast<const char*>(zero) - data : size);
}

} // namespace larkspan::platform::policy

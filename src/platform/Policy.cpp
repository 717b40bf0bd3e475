#include "platform/Policy.h"

#include <algorithm>
#include <chrono>
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

bool WaitInSlices(int timeoutMs, int sliceMs, const std::function<bool(int ms)>& waitFor,
                  const std::function<void()>& between) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int slice = sliceMs;
        if (timeoutMs > 0) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                return false;
            }
            slice = static_cast<int>(std::min<std::int64_t>(left, slice));
        }
        if (waitFor(slice)) {
            return true;
        }
        between();
    }
}

bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string_view::npos;
}

namespace {

constexpr std::string_view kPartialPrefix = ".larkspan-partial-";
constexpr std::string_view kPartialSuffix = ".tmp";
constexpr std::size_t kPartialDigits = 16;

} // namespace

std::string PartialFileName(std::uint64_t random) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string name(kPartialPrefix);
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += digits[(random >> shift) & 0xF];
    }
    return name += kPartialSuffix;
}

bool IsPartialFileName(std::string_view name) {
    if (name.size() != kPartialPrefix.size() + kPartialDigits + kPartialSuffix.size() ||
        !name.starts_with(kPartialPrefix) || !name.ends_with(kPartialSuffix)) {
        return false;
    }
    const std::string_view hex = name.substr(kPartialPrefix.size(), kPartialDigits);
    return hex.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

namespace {

void AppendWindowsArgument(std::string& line, std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        line += argument;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only in front of a double quote: there each one is doubled and
        // the quote itself escaped.
        line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, '\\'); // in front of the closing quote
    line += '"';
}

} // namespace

std::string WindowsCommandLine(const std::vector<std::string>& argv) {
    std::string line;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        if (i == 0) {
            const bool blank = argv[0].empty() || argv[0].find_first_of(" \t") != std::string::npos;
            line += blank ? '"' + argv[0] + '"' : argv[0];
        } else {
            line += ' ';
            AppendWindowsArgument(line, argv[i]);
        }
    }
    return line;
}

std::string WindowsInterpreterCommand(std::string_view commandLine) {
    return "cmd.exe /D /V:OFF /C " + std::string(commandLine);
}

std::int32_t OpenWithReadMasks(const std::function<std::int32_t(std::uint32_t mask)>& open) {
    std::int32_t status = -1;
    for (const std::uint32_t mask : kRegistryReadMasks) {
        status = open(mask);
        if (status == 0) {
            break;
        }
    }
    return status;
}

void AppendConsoleRead(std::string& output, const char* data, std::size_t size) {
    const void* zero = std::memchr(data, '\0', size);
    output.append(data, zero != nullptr ? static_cast<const char*>(zero) - data : size);
}

CapturedOutput::CapturedOutput(std::size_t limit, const Sink* sink, std::string& output,
                               std::string& error, std::size_t errorLimit)
    : limit_(limit), sink_(sink), output_(output), error_(error), errorLimit_(errorLimit) {}

bool CapturedOutput::TakeOutput(std::string_view piece) {
    if (cut_) {
        return false;
    }
    bool passed = false;
    if (limit_ != 0 && piece.size() > limit_ - taken_) {
        piece = piece.substr(0, limit_ - taken_);
        passed = true;
    }
    taken_ += piece.size();
    if (!piece.empty()) {
        if (sink_ == nullptr) {
            output_.append(piece);
        } else if (!(*sink_)(piece)) {
            passed = true;
        }
    }
    cut_ = passed;
    return !cut_;
}

void CapturedOutput::TakeError(std::string_view piece) {
    error_.append(piece.substr(0, errorLimit_ - std::min(errorLimit_, error_.size())));
}

std::string WrittenFileProblem(bool named, bool sameFile, std::uint64_t size,
                               std::uint64_t written) {
    if (!named) {
        return "It was deleted while it was being written";
    }
    if (!sameFile) {
        return "Another file took its place while it was being written";
    }
    if (size != written) {
        return "It holds " + std::to_string(size) + " bytes instead of the " +
               std::to_string(written) + " written: something else changed it meanwhile";
    }
    return {};
}

} // namespace larkspan::platform::policy

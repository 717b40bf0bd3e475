// The platform layer's shared part: every facility here is policy over the primitives each OS
// supplies (Primitives.h).

#include "platform/Platform.h"

#include "platform/Policy.h"
#include "platform/Primitives.h"

#include <algorithm>

namespace larkspan::platform {

std::optional<std::string> os::LookUpRecordText(const RecordReader& read, const std::string& vendor,
                                                const std::string& product, const std::string& key,
                                                RecordWriter writer) {
    // The names become part of a path or key; one that could leave the vendor's place has no
    // record.
    if (!policy::IsPlainName(vendor) || !policy::IsPlainName(product) || key.empty()) {
        return std::string();
    }
    for (const RecordLocation& location : RecordLocations(vendor, product, writer)) {
        std::string value;
        switch (read(location, key, value)) {
        case RecordRead::NotThere:
            continue;
        case RecordRead::Failed:
            // A record further down the list is not the one that counts.
            return std::string();
        case RecordRead::Read:
            return value;
        case RecordRead::NotText:
            return std::nullopt;
        }
    }
    return std::string();
}

std::optional<std::string> ReadInstallRecordText(const std::string& vendor,
                                                 const std::string& product, const std::string& key,
                                                 RecordWriter writer) {
    return os::LookUpRecordText(os::ReadRecordValue, vendor, product, key, writer);
}

std::string ReadInstallRecordValue(const std::string& vendor, const std::string& product,
                                   const std::string& key) {
    return ReadInstallRecordText(vendor, product, key).value_or("");
}

void CommandStopper::Stop() {
    const std::lock_guard lock(mutex_);
    stopRequested_ = true;
    if (processGroup_ != 0) {
        // Ended under the lock: the runner detaches only after it has waited for the group's
        // leader, so the group's number cannot have been given to other processes meanwhile.
        os::EndProcessGroup(processGroup_);
    }
}

bool CommandStopper::StopRequested() const {
    const std::lock_guard lock(mutex_);
    return stopRequested_;
}

bool CommandStopper::Attach(std::int64_t processGroup) {
    const std::lock_guard lock(mutex_);
    processGroup_ = processGroup;
    return !stopRequested_;
}

void CommandStopper::Detach() {
    const std::lock_guard lock(mutex_);
    processGroup_ = 0;
}

std::string GetEnvironment(const std::string& name) {
    return os::Environment(name).value_or("");
}

void SetEnvironment(const std::string& name, const std::string& value) {
    os::SetEnvironment(name, value);
}

std::string FindProgram(const std::string& name) {
    return name.empty() ? std::string() : os::FindProgram(name);
}

std::string ExecutableFolder() {
    const std::string path = os::ExecutablePath();
    const auto separator = path.rfind(os::PathSeparator());
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

unsigned UsableProcessors() {
    return std::max(os::UsableProcessors(), 1u);
}

std::uint64_t AvailableMemory() {
    return os::AvailableMemory();
}

std::string TemporaryFolder() {
    std::vector<std::optional<std::string>> candidates;
    for (const std::string& variable : os::TemporaryFolderVariables()) {
        candidates.push_back(os::Environment(variable));
    }
    return policy::ChooseTemporaryFolder(candidates, os::DefaultTemporaryFolder(),
                                         os::PathSeparator());
}

std::string TemporaryFile(const std::string& name) {
    std::string folder = TemporaryFolder();
    if (folder.empty()) {
        return {};
    }
    // A root folder keeps its separator; doubling it would name another place on Windows
    // ("\\Setup.exe" is a network path).
    if (folder.back() != os::PathSeparator()) {
        folder += os::PathSeparator();
    }
    return folder + name;
}

std::string CannotCreateFile(const std::string& path, const std::string& reason) {
    return "Cannot create file \"" + path + "\". " + reason;
}

bool WriteFileNoFollow(const std::string& path, const std::vector<std::string_view>& pieces,
                       FileMode mode, std::string& error) {
    FileWriter file;
    std::string reason;
    bool written = file.Open(path, mode, reason);
    for (auto piece = pieces.begin(); written && piece != pieces.end(); ++piece) {
        written = file.Write(*piece, reason);
    }
    if (written && file.Commit(reason)) {
        return true;
    }
    error = CannotCreateFile(path, reason);
    return false;
}

bool WriteFileNoFollow(const std::string& path, const std::string& data, std::string& error) {
    return WriteFileNoFollow(path, {std::string_view(data)}, FileMode::UserReadWrite, error);
}

} // namespace larkspan::platform

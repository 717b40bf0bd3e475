#include "platform/RegistryAccess.h"

#include "core/text/GeneralError.h"
#include "platform/Platform.h"

namespace larkspan {

namespace {

constexpr const char* vendor = "Oxbeck";

std::string ReadProductValue(const std::string& product, const std::string& key) {
    return platform::ReadInstallRecordValue(vendor, product, key);
}

} // namespace

std::string ReadInstallVersion(const std::string& product) {
    return ReadProductValue(product, "Version");
}

std::string ReadInstallWebsite(const std::string& product) {
    return ReadProductValue(product, "Website");
}

std::string ReadSiblingInstallPath() {
    const std::optional<std::string> path = platform::ReadInstallRecordText(
        vendor, "Tarnwell", "InstallPath", platform::RecordWriter::OtherInstaller);
    if (!path) {
        throw GeneralError("Invalid data type for 'InstallPath'");
    }
    return *path;
}

} // namespace larkspan

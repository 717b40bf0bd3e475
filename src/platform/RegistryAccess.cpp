#include "platform/RegistryAccess.h"

#include "core/text/GeneralError.h"

namespace larkspan {

namespace {

constexpr const char* vendor = "Oxbeck";

std::string ReadProductValue(const std::string& product, const std::string& key,
                             const RecordLookup& lookup) {
    return lookup(vendor, product, key, platform::RecordWriter::OurInstaller).value_or("");
}

} // namespace

std::string ReadInstallVersion(const std::string& product, const RecordLookup& lookup) {
    return ReadProductValue(product, "Version", lookup);
}

std::string ReadInstallWebsite(const std::string& product, const RecordLookup& lookup) {
    return ReadProductValue(product, "Website", lookup);
}

std::string ReadSiblingInstallPath(const RecordLookup& lookup) {
    const std::optional<std::string> path =
        lookup(vendor, "Tarnwell", "InstallPath", platform::RecordWriter::OtherInstaller);
    if (!path) {
        throw GeneralError("Invalid data type for 'InstallPath'");
    }
    return *path;
}

} // namespace larkspan

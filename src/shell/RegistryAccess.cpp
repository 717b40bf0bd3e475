#include "shell/RegistryAccess.h"

#include "platform/Platform.h"

namespace larkspan {

namespace {

constexpr const char* vendorFolder = "Oxbeck/";

std::string ReadProductValue(const std::string& product, const std::string& key) {
    // The product name becomes part of a path; a name that could leave the vendor's folder
    // has no record.
    if (product.empty() || product.find('/') != std::string::npos) {
        return {};
    }
    return platform::ReadInstallRecordValue(vendorFolder + product + ".conf", key);
}

} // namespace

std::string ReadInstallVersion(const std::string& product) {
    return ReadProductValue(product, "Version");
}

std::string ReadInstallWebsite(const std::string& product) {
    return ReadProductValue(product, "Website");
}

std::string ReadSiblingInstallPath() {
    return ReadProductValue("Tarnwell", "InstallPath");
}

} // namespace larkspan

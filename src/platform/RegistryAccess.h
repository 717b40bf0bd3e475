#pragma once

// Read-only access to the installation records the installers leave behind. Every read returns
// the stored text, or "" whatever goes wrong; the caller decides what an empty text means.

#include <string>

namespace larkspan {

// The "Version" value of the record of `product` (such as "Larkspan"), or "".
std::string ReadInstallVersion(const std::string& product);

// The "Website" value of the record of `product`, or "".
std::string ReadInstallWebsite(const std::string& product);

// The "InstallPath" value of the paid sibling product's record: the full path of its program
// file, or "" when it is not installed. Throws GeneralError ("Invalid data type for
// 'InstallPath'") when the value is there but is not text: the caller then does nothing at all.
std::string ReadSiblingInstallPath();

} // namespace larkspan

#pragma once

// Read-only access to the installation records the installers leave behind. Every read returns
// the stored text, or "" whatever goes wrong; the caller decides what an empty text means.

#include "platform/Platform.h"

#include <functional>
#include <optional>
#include <string>

namespace larkspan {

// How a value of a record is looked up: platform::ReadInstallRecordText in the program; tests
// pass a lookup of their own.
using RecordLookup = std::function<std::optional<std::string>(
    const std::string& vendor, const std::string& product, const std::string& key,
    platform::RecordWriter writer)>;

// The "Version" value of the record of `product` (such as "Larkspan"), or "".
std::string ReadInstallVersion(const std::string& product,
                               const RecordLookup& lookup = platform::ReadInstallRecordText);

// The "Website" value of the record of `product`, or "".
std::string ReadInstallWebsite(const std::string& product,
                               const RecordLookup& lookup = platform::ReadInstallRecordText);

// The "InstallPath" value of the paid sibling product's record: the full path of its program
// file, or "" when it is not installed. Throws GeneralError ("Invalid data type for
// 'InstallPath'") when the value is there but is not text: the caller then does nothing at all.
std::string ReadSiblingInstallPath(const RecordLookup& lookup = platform::ReadInstallRecordText);

} // namespace larkspan

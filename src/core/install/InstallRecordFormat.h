#pragma once

// The text form of an installation record: a small INI file written by the installer.

#include <string>
#include <string_view>

namespace larkspan {

// The value of `key` in the INI text `text`, "" when absent. Keys count at the top level and in
// [General]; lines whose first non-blank is "#" or ";" are comments. The value is the text after
// the first "=" without surrounding blanks, tabs or CR, otherwise as stored ("%NAME%", "$NAME",
// backslashes, quotes). As in the registry, names compare without regard to ASCII case and a
// value ends at a NUL. The last of repeated keys counts; a leading UTF-8 BOM is skipped.
std::string FindInstallRecordValue(std::string_view text, std::string_view key);

} // namespace larkspan

#pragma once

// The text form of an installation record: a small INI file written by the installer.

#include <string>
#include <string_view>

namespace larkspan {

// Returns the value of `key` in the INI text `text`, or "" when the key is absent.
//
// Keys count at the top level and in the section [General]; keys of any other section are
// ignored. Lines whose first non-blank character is "#" or ";" are comments. The value is the
// text after the first "=", with surrounding blanks and tabs (and a CR of a CR LF line end)
// removed; nothing else is interpreted, so "%NAME%", "$NAME", backslashes and quotes come back
// as stored. Key and section names compare without regard to ASCII case, as registry value
// names do. When a key occurs more than once, the last occurrence counts. A value is cut at an
// embedded zero byte, as a registry string ends at its first NUL, and a UTF-8 byte-order mark
// at the start of the text is skipped.
std::string FindInstallRecordValue(std::string_view text, std::string_view key);

} // namespace larkspan

#pragma once

// Text rules shared by every subsystem. All text is UTF-8 bytes in std::string; "characters"
// below are bytes, and a multi-byte character is never split because no rule here cuts at a
// byte of 0x80 or above.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan {

// Removes every leading and trailing byte with a code up to 32 (blanks and control characters).
std::string Trim(std::string_view text);

// Strict conversion to a 32-bit signed number: leading blanks (code 32) skipped, optional sign,
// "$", "x", "X", "0x" or "0X" for hexadecimal, digits to the end. Anything else, including a
// value outside the 32-bit range, throws GeneralError("'<text>' is not a valid integer value").
std::int32_t TextToInteger(std::string_view text);

// Cuts text into items at CR, LF and the given separators, skipping CR, LF and `whitespace`
// before each item, with quote grouping (a double quote or apostrophe opens a quote that only
// the same character or the end closes). Empty items are never produced.
std::vector<std::string> SplitItems(std::string_view separators, std::string_view whitespace,
                                    std::string_view text);

// ASCII A-Z to a-z, everything else unchanged.
std::string LowerAscii(std::string_view text);

// The characters that end a path's folder part. POSIX knows only "/". Windows also ends it at
// "\" and at the ":" of a drive ("C:name.pdf"), and takes "/" as well, which Qt's dialogs return.
inline constexpr std::string_view kPosixPathSeparators = "/";
inline constexpr std::string_view kWindowsPathSeparators = "\\/:";
#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = kWindowsPathSeparators;
#else
inline constexpr std::string_view kPathSeparators = kPosixPathSeparators;
#endif

// Path pieces: the folder part runs up to and including the last separator, the name part is
// what follows it, and the extension is the part from the last "." of the name part (empty when
// there is none). The separators default to those of the system the program is built for.
std::string FolderPart(std::string_view path, std::string_view separators = kPathSeparators);
std::string NamePart(std::string_view path, std::string_view separators = kPathSeparators);
std::string ExtensionOf(std::string_view path, std::string_view separators = kPathSeparators);

} // namespace larkspan

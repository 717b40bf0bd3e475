#pragma once

// The vendor server's answer about an installer ("product=<name>&installer=<url>"), and the two
// text rules it is read with.

#include <string>
#include <string_view>
#include <vector>

namespace larkspan::online {

inline constexpr char kInstallerInfoPath[] = "/requests/getsmartinstallerinfo.php";
// Form line of the installer-information request: "smartname=" followed by the identifier.
inline constexpr char kSmartNameField[] = "smartname=";
inline constexpr char kFreeProductIdentifier[] = "FreeLarkspan";
inline constexpr char kProProductIdentifier[] = "TarnwellPro";

// Splits text into fields at `delimiter`: reading stops at a NUL byte; bytes 1 to 32 before a
// field are skipped; a field that begins with a double quote runs to the closing quote (a
// doubled quote stands for one, an unclosed quote runs to the end); any other field ends at a
// byte of 32 or less or at the delimiter, so a blank inside an unquoted value starts a new
// field. A delimiter that is the very last byte adds an empty field.
std::vector<std::string> SplitDelimitedText(std::string_view text, char delimiter = '&');

// Every "+" becomes a blank; then "%" and two hexadecimal digits become that byte (%00 gives
// nothing), "%" followed by anything else drops itself and the two bytes after it, and at the
// end of the text "%" with one byte after it decodes that byte alone.
std::string UrlDecode(std::string_view text);

struct InstallerInfo {
    int state = 0;       // the download state: 0 usable, 2 missing or unusable
    std::string caption; // product name followed by " Setup"; "" when the name was not read
    std::string url;     // the installer's URL; "" unless state is 0
};

// Reads the answer: "" or "false" give state 2; field 0 after its first 8 bytes, decoded, with
// every "+" made a blank, followed by " Setup" is the caption; field 1 after its first 10 bytes,
// decoded, is the URL. Fewer than two fields give state 2 (with the caption set when there was
// a field 0).
InstallerInfo ParseInstallerInfo(std::string_view answer);

} // namespace larkspan::online

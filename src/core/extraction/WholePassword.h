#pragma once

// The poppler tools take at most 32 bytes of a password (-opw, -upw) and silently cut the rest,
// so a longer one (AES-256 allows 127 bytes, and password managers make long ones) is always
// reported as wrong. For such a password the adapters open the document themselves with the
// whole password and hand the tools a decrypted copy. These are the rules of when and how; the
// opening is the adapters'.

#include <cstddef>
#include <string>
#include <vector>

namespace larkspan {

inline constexpr std::size_t kPopplerPasswordBytes = 32;

// The passwords of a command line's -opw and -upw options (given as option, value pairs; the
// last of each kind counts, as with the poppler tools).
struct DocumentPasswords {
    std::string owner;
    std::string user;
};
DocumentPasswords ReadPasswords(const std::vector<std::string>& passwordOptions);

// Whether a poppler tool would cut one of the passwords.
bool LongerThanPopplerTakes(const DocumentPasswords& passwords);

// pdfi.bin's command line as far as a long password needs to know it: only pdfinfo's own
// options (-f, -l, -enc with a value, the report switches), -opw/-upw with a value, and one
// input file. A command line that is not `understood` runs as it stands.
struct PdfiRequest {
    bool understood = false;
    std::vector<std::string> passwordOptions; // -opw/-upw with their values
    std::vector<std::string> otherOptions;    // everything else but the file, in order
    std::string inputPath;
};
PdfiRequest ReadPdfiArguments(const std::vector<std::string>& arguments);

// The tool's arguments on a decrypted copy of the document at `document`: `options` (with no
// password, which the copy does not need) and the copy.
std::vector<std::string> DecryptedDocumentArguments(const std::vector<std::string>& options,
                                                    const std::string& document);

// One rule for passwords of any length: the password given opens the document as its user or
// as its owner password. libqpdf tries both by itself; the poppler tools try their -opw first,
// so a -upw given alone is given as -opw too (a password of each kind stays as it is).
std::vector<std::string> EitherPassword(const std::vector<std::string>& passwordOptions);

} // namespace larkspan

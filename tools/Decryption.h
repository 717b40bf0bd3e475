#pragma once

// A document opened with libqpdf, which takes a password of any length, for a password the
// poppler tools would cut (core/extraction/WholePassword.h). The decrypted document stays in
// memory: the tools read it on standard input, and no decrypted copy ever lands on disk.

#include "core/extraction/WholePassword.h"

#include <optional>
#include <string>

namespace larkspan::tools {

// The document at `path` without its encryption, opened with the user or the owner password.
// Nothing when it is not encrypted, when neither password opens it or when libqpdf cannot read
// it: the poppler tools then read the file as it is and say what they find, in their own words
// (a wrong password too, since the part of it they read is wrong as well).
std::optional<std::string> DecryptedDocument(const std::string& path,
                                             const DocumentPasswords& passwords);

} // namespace larkspan::tools

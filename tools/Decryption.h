#pragma once

// A document opened with libqpdf, which takes a password of any length, for a password the
// poppler tools would cut (core/extraction/WholePassword.h). The decrypted document stays in
// memory: the tools read it on standard input, and no decrypted copy ever lands on disk.

#include "core/extraction/WholePassword.h"

#include <string>

namespace larkspan::tools {

struct DecryptedDocument {
    enum class Outcome {
        NotEncrypted,  // nothing to decrypt: the poppler tools read the file as it is
        Decrypted,     // `bytes` holds the document without its encryption
        WrongPassword, // neither password opens it
        Unreadable,    // libqpdf cannot read it (damaged, missing): the poppler tools will say why
    };
    Outcome outcome = Outcome::Unreadable;
    std::string bytes;
};

DecryptedDocument Decrypt(const std::string& path, const DocumentPasswords& passwords);

} // namespace larkspan::tools

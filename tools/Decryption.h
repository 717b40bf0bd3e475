#pragma once

// A document opened with libqpdf, which takes a password of any length, for a password the
// poppler tools would cut (core/extraction/WholePassword.h). Decrypted once, into a private
// document of the job's that every tool then opens (platform::CreatePrivateDocument): only
// this user can read it, and it is gone with the job.

#include "core/extraction/WholePassword.h"
#include "platform/Platform.h"

#include <memory>
#include <string>

namespace larkspan::tools {

// The document at `path` without its encryption, opened with the user or the owner password.
// Without `pictures`, every picture's data is left out: pdftotext and pdfinfo never decode one,
// and in a scan or a photo book the pictures are nearly all of the bytes to decrypt.
// Nothing when it is not encrypted, when neither password opens it, when libqpdf cannot read it
// or when the copy cannot be written: the poppler tools then read the file as it is and say what
// they find, in their own words (a wrong password too, since the part of it they read is wrong
// as well).
std::unique_ptr<platform::JobDocument> DecryptedDocument(const std::string& path,
                                                         const DocumentPasswords& passwords,
                                                         bool pictures = true);

} // namespace larkspan::tools

#include "Decryption.h"

#include <qpdf/Constants.h>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>

namespace larkspan::tools {

std::optional<std::string> DecryptedDocument(const std::string& path,
                                             const DocumentPasswords& passwords) {
    for (const std::string* password : {&passwords.user, &passwords.owner}) {
        if (password->empty()) {
            continue;
        }
        try {
            QPDF pdf;
            // Its warnings about a damaged file would be printed, and the program takes anything
            // printed for a failure; poppler reports what matters when it reads the document.
            pdf.setSuppressWarnings(true);
            pdf.processFile(path.c_str(), password->c_str());
            if (!pdf.isEncrypted()) {
                return std::nullopt;
            }
            std::string bytes;
            Pl_String memory("decrypted document", nullptr, bytes);
            QPDFWriter writer(pdf);
            writer.setOutputPipeline(&memory);
            writer.setPreserveEncryption(false);
            // The streams as they are, only decrypted: the tools see the document's own data.
            writer.setStreamDataMode(qpdf_s_preserve);
            writer.write();
            return bytes;
        } catch (const std::exception&) {
            // A wrong password (try the other one), or a file libqpdf cannot read.
        }
    }
    return std::nullopt;
}

} // namespace larkspan::tools

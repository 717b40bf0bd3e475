#include "Decryption.h"

#include <qpdf/Constants.h>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <vector>

namespace larkspan::tools {

DecryptedDocument Decrypt(const std::string& path, const DocumentPasswords& passwords) {
    DecryptedDocument document;
    std::vector<std::string> tried;
    for (const std::string* password : {&passwords.user, &passwords.owner}) {
        if (!password->empty()) {
            tried.push_back(*password);
        }
    }
    for (const std::string& password : tried) {
        try {
            QPDF pdf;
            // Its warnings about a damaged file would be printed, and the program takes anything
            // printed for a failure; poppler reports what matters when it reads the document.
            pdf.setSuppressWarnings(true);
            pdf.processFile(path.c_str(), password.c_str());
            if (!pdf.isEncrypted()) {
                document.outcome = DecryptedDocument::Outcome::NotEncrypted;
                return document;
            }
            Pl_String memory("decrypted document", nullptr, document.bytes);
            QPDFWriter writer(pdf);
            writer.setOutputPipeline(&memory);
            writer.setPreserveEncryption(false);
            // The streams as they are, only decrypted: the tools see the document's own data.
            writer.setStreamDataMode(qpdf_s_preserve);
            writer.write();
            document.outcome = DecryptedDocument::Outcome::Decrypted;
            return document;
        } catch (const QPDFExc& error) {
            document.bytes.clear();
            if (error.getErrorCode() != qpdf_e_password) {
                document.outcome = DecryptedDocument::Outcome::Unreadable;
                return document;
            }
            document.outcome = DecryptedDocument::Outcome::WrongPassword;
        } catch (const std::exception&) {
            document.bytes.clear();
            document.outcome = DecryptedDocument::Outcome::Unreadable;
            return document;
        }
    }
    return document;
}

} // namespace larkspan::tools

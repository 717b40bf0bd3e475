#include "Decryption.h"

#include <qpdf/Constants.h>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <stdexcept>

namespace larkspan::tools {

namespace {

// libqpdf's writer writes into the private document.
class DocumentPipeline final : public Pipeline {
public:
    explicit DocumentPipeline(platform::JobDocument& document)
        : Pipeline("decrypted document", nullptr), document_(document) {}
    void write(unsigned char const* data, size_t length) override {
        std::string error;
        if (!document_.Write(std::string_view(reinterpret_cast<const char*>(data), length),
                             error)) {
            throw std::runtime_error(error);
        }
    }
    void finish() override {}

private:
    platform::JobDocument& document_;
};

} // namespace

std::unique_ptr<platform::JobDocument>
DecryptedDocument(const std::string& path, const DocumentPasswords& passwords, bool pictures) {
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
                return nullptr;
            }
            std::string error;
            std::unique_ptr<platform::JobDocument> document =
                platform::CreatePrivateDocument(error);
            if (!document) {
                return nullptr;
            }
            if (!pictures) {
                for (QPDFObjectHandle& object : pdf.getAllObjects()) {
                    if (object.isStream() &&
                        object.getDict().getKey("/Subtype").isNameAndEquals("/Image")) {
                        object.replaceStreamData(std::string(), QPDFObjectHandle::newNull(),
                                                 QPDFObjectHandle::newNull());
                    }
                }
            }
            DocumentPipeline into(*document);
            QPDFWriter writer(pdf);
            writer.setOutputPipeline(&into);
            writer.setPreserveEncryption(false);
            // The streams as they are, only decrypted: the tools see the document's own data.
            writer.setStreamDataMode(qpdf_s_preserve);
            writer.write();
            return document;
        } catch (const std::exception&) {
            // A wrong password (try the other one), a file libqpdf cannot read, or a copy that
            // could not be written (a full temporary folder).
        }
    }
    return nullptr;
}

} // namespace larkspan::tools

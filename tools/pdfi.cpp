// pdfi.bin: pdfinfo with the answers the program relies on (see ToolContract.h), also for a
// password longer than pdfinfo takes (Decryption.h). LARKSPAN_PDFINFO in the environment names
// another pdfinfo to run.

#include "Decryption.h"
#include "PopplerAdapter.h"

namespace larkspan::tools {

int AdapterMain(const std::vector<std::string>& arguments, std::string_view remedy) {
    static const AdapterDescription pdfinfo{"pdfinfo", LARKSPAN_CONFIGURED_TOOL, "LARKSPAN_PDFINFO",
                                            &PdfiAnswer};
    const PdfiRequest request = ReadPdfiArguments(arguments);
    const DocumentPasswords passwords = ReadPasswords(request.passwordOptions);
    if (request.understood && LongerThanPopplerTakes(passwords)) {
        const DecryptedDocument document = Decrypt(request.inputPath, passwords);
        switch (document.outcome) {
        case DecryptedDocument::Outcome::Decrypted:
            return PrintAnswer(
                PdfiAnswer(RunPopplerTool(pdfinfo, StandardInputArguments(request.otherOptions),
                                          document.bytes),
                           remedy));
        case DecryptedDocument::Outcome::WrongPassword:
            return PrintAnswer(PdfiAnswer(WrongPasswordRun(), remedy));
        case DecryptedDocument::Outcome::NotEncrypted:
        case DecryptedDocument::Outcome::Unreadable:
            break; // pdfinfo reads it as it is, and says what is wrong with it
        }
    }
    return RunAdapter(pdfinfo, arguments, remedy);
}

} // namespace larkspan::tools

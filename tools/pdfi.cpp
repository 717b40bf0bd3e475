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
    if (!request.understood) {
        return RunAdapter(pdfinfo, arguments, remedy);
    }
    const DocumentPasswords passwords = ReadPasswords(request.passwordOptions);
    if (LongerThanPopplerTakes(passwords)) {
        if (const auto document = DecryptedDocument(request.inputPath, passwords, false)) {
            return PrintAnswer(
                PdfiAnswer(RunPopplerTool(pdfinfo, DecryptedDocumentArguments(
                                                       request.otherOptions, document->ToolPath())),
                           remedy));
        }
    }
    std::vector<std::string> either = request.otherOptions;
    for (const std::string& option : EitherPassword(request.passwordOptions)) {
        either.push_back(option);
    }
    either.push_back(request.inputPath);
    return RunAdapter(pdfinfo, either, remedy);
}

} // namespace larkspan::tools

// pdfi.bin: pdfinfo with the answers the program relies on (see ToolContract.h).
// LARKSPAN_PDFINFO in the environment names another pdfinfo to run.

#include "PopplerAdapter.h"

namespace larkspan::tools {

int AdapterMain(const std::vector<std::string>& arguments, std::string_view remedy) {
    static const AdapterDescription pdfinfo{"pdfinfo", LARKSPAN_CONFIGURED_TOOL, "LARKSPAN_PDFINFO",
                                            &PdfiAnswer};
    return RunAdapter(pdfinfo, arguments, remedy);
}

} // namespace larkspan::tools

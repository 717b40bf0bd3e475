// pdfi.bin: pdfinfo with the answers the program relies on (see ToolContract.h).
// LARKSPAN_PDFINFO in the environment names another pdfinfo to run.

#include "PopplerAdapter.h"

namespace larkspan::tools {

const AdapterDescription kThisAdapter{"pdfinfo", LARKSPAN_CONFIGURED_TOOL, "LARKSPAN_PDFINFO",
                                      &PdfiAnswer};

} // namespace larkspan::tools

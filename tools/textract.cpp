// textract.bin: pdftotext with the answers the program relies on (see ToolContract.h).
// LARKSPAN_PDFTOTEXT in the environment names another pdftotext to run.

#include "PopplerAdapter.h"

namespace larkspan::tools {

const AdapterDescription kThisAdapter{"pdftotext", LARKSPAN_CONFIGURED_TOOL, "LARKSPAN_PDFTOTEXT",
                                      &TextractAnswer};

} // namespace larkspan::tools

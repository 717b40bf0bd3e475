// pdfi.bin: pdfinfo with the answers the program relies on (see ToolContract.h).
// LARKSPAN_PDFINFO in the environment names another pdfinfo to run.

#include "PopplerAdapter.h"

int main(int argc, char** argv) {
    return larkspan::tools::RunAdapter(
        {"pdfinfo", LARKSPAN_CONFIGURED_TOOL, "LARKSPAN_PDFINFO", &larkspan::PdfiAnswer}, argc,
        argv);
}

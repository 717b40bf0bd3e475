// textract.bin: pdftotext with the answers the program relies on (see ToolContract.h).
// LARKSPAN_PDFTOTEXT in the environment names another pdftotext to run.

#include "PopplerAdapter.h"

int main(int argc, char** argv) {
    return larkspan::tools::RunAdapter(
        {"pdftotext", LARKSPAN_CONFIGURED_TOOL, "LARKSPAN_PDFTOTEXT", &larkspan::TextractAnswer},
        argc, argv);
}

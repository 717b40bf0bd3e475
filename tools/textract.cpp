// textract.bin: pdftotext with the answers the program relies on (see ToolContract.h), and text
// recognised on pages without a text layer where an OCR engine is installed
// (TextRecognition.h). LARKSPAN_PDFTOTEXT in the environment names another pdftotext to run;
// LARKSPAN_TESSERACT, LARKSPAN_PDFTOPPM and LARKSPAN_PDFINFO the other programs.

#include "TextRecognition.h"

namespace larkspan::tools {

int AdapterMain(const std::vector<std::string>& arguments, std::string_view remedy) {
    static const AdapterDescription pdftotext{"pdftotext", LARKSPAN_CONFIGURED_TOOL,
                                              "LARKSPAN_PDFTOTEXT", &TextractAnswer};
    static const RecognitionTools tools{LARKSPAN_CONFIGURED_PDFINFO, LARKSPAN_CONFIGURED_PDFTOPPM};
    return RunTextract(pdftotext, tools, arguments, remedy);
}

} // namespace larkspan::tools

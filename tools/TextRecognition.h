#pragma once

// textract.bin's extraction. For the program's command line pdftotext writes the text to the
// adapter, which writes the file itself and checks every write; where tesseract is installed,
// each page that came out blank is rendered (pdftoppm) and recognised in its place while the
// rest streams on. The adapter also reports progress (LARKSPAN_PROGRESS_FILE), refuses a
// document that is not the probed one or changes during the job (LARKSPAN_INPUT_FINGERPRINT),
// and opens a document whose password the poppler tools would cut itself. Any other command
// line runs pdftotext unchanged.

#include "PopplerAdapter.h"

namespace larkspan::tools {

// Where the poppler tools besides pdftotext were found when the program was built (may be "";
// a bare file name is a file in the adapter's own folder).
struct RecognitionTools {
    const char* pdfinfo;
    const char* pdftoppm;
};

int RunTextract(const AdapterDescription& pdftotext, const RecognitionTools& tools,
                const std::vector<std::string>& arguments, std::string_view remedy);

} // namespace larkspan::tools

#pragma once

// textract.bin's extraction. For a command line it understands (the program's), pdftotext writes
// the text to the adapter, which writes the file itself and checks every write; where an OCR
// engine (tesseract) is installed, each page of the range that came out blank is rendered
// (pdftoppm) and recognised, and its text put in that page's place, while the rest of the text
// streams on. The adapter also reports the job's progress (LARKSPAN_PROGRESS_FILE), refuses a
// document that is not the one the program probed or that changes during the job
// (LARKSPAN_INPUT_FINGERPRINT), and opens a document whose password the poppler tools would cut
// itself. Any other command line runs pdftotext exactly as it always has.

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

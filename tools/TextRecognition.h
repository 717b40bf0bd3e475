#pragma once

// textract.bin's extraction with text recognition: pdftotext first, then, where an OCR engine
// (tesseract) is installed, each page of the range that came out blank is rendered (pdftoppm)
// and recognised, and its text put in that page's place. Without the engine, or for a command
// line it does not understand, the adapter runs pdftotext exactly as it always has.

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

// e2e-make-pdf PATH [columns | pages N]: writes a three-page PDF with known words to PATH, for the
// end-to-end tests of the extraction (see extraction_lib.sh, which checks the extracted text
// against them). Page i reads "Page i of 3", "Larkspan known words page i" and "Grüße aus Köln",
// the last so that the text file shows whether it came out as UTF-8. With "columns", a one-page
// PDF instead whose two columns are stored right one first: the layout order reads "Left column"
// first, the content-stream (raw) order "Right column". With "pages N", N numbered pages (a
// document long enough to be stopped while it is extracted).

#include "support/TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    const bool columns = argc == 3 && std::string(argv[2]) == "columns";
    const bool pages = argc == 4 && std::string(argv[2]) == "pages";
    if (argc != 2 && !columns && !pages) {
        std::fprintf(stderr, "usage: e2e-make-pdf PATH [columns | pages N]\n");
        return 2;
    }
    using namespace larkspan::testsupport;
    PdfContent content = pages ? NumberedPages(std::atoi(argv[3])) : PdfContent{};
    if (columns) {
        content.pages.emplace_back(
            "", std::vector<PlacedText>{{330, 700, "Right column"}, {72, 700, "Left column"}});
    }
    for (int page = 1; page <= 3 && !columns && !pages; ++page) {
        const std::string n = std::to_string(page);
        content.pages.emplace_back("Page " + n + " of 3\nLarkspan known words page " + n +
                                   "\nGrüße aus Köln");
    }
    try {
        WritePdf(argv[1], content);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "e2e-make-pdf: %s\n", error.what());
        return 1;
    }
    return 0;
}

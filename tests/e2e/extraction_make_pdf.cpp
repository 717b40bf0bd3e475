// e2e-make-pdf PATH [columns | pages N | overlapping]: writes a three-page PDF with known words to
// PATH, for the end-to-end tests of the extraction (see extraction_lib.sh, which checks the
// extracted text against them). Page i reads "Page i of 3", "Larkspan known words page i" and
// "Grüße aus Köln", the last so that the text file shows whether it came out as UTF-8. With
// "columns", a one-page PDF instead whose two columns are stored right one first: the layout order
// reads "Left column" first, the content-stream (raw) order "Right column". With "pages N", N
// numbered pages (a document long enough to be stopped while it is extracted). With "overlapping",
// a page of 6 pt lines closer together than their type is high, in two columns with ragged starts:
// the layout then holds many lines and words that its sorting takes for equal.

#include "support/TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    const bool columns = argc == 3 && std::string(argv[2]) == "columns";
    const bool pages = argc == 4 && std::string(argv[2]) == "pages";
    const bool overlapping = argc == 3 && std::string(argv[2]) == "overlapping";
    if (argc != 2 && !columns && !pages && !overlapping) {
        std::fprintf(stderr, "usage: e2e-make-pdf PATH [columns | pages N | overlapping]\n");
        return 2;
    }
    using namespace larkspan::testsupport;
    PdfContent content = pages ? NumberedPages(std::atoi(argv[3])) : PdfContent{};
    if (columns) {
        content.pages.emplace_back(
            "", std::vector<PlacedText>{{330, 700, "Right column"}, {72, 700, "Left column"}});
    }
    if (overlapping) {
        content.fontSize = 6;
        const char* const words[] = {"Larkspan", "known", "words", "overlap", "here",   "in",
                                     "small",    "type",  "and",   "lines",   "closer", "than"};
        const double steps[] = {3.0, 4.0, 6.5, 2.0};
        const double starts[] = {0, 0, 1.5, 3};
        std::vector<PlacedText> placed;
        int next = 0;
        double y = 760;
        for (int line = 0; y > 40; y -= steps[line % 4], ++line) {
            for (int column = 0; column < 2; ++column) {
                std::string text;
                for (int word = 0; word < 5 + (line * 7 + column * 3) % 8; ++word) {
                    text += std::string(word == 0 ? "" : " ") + words[next++ % 12];
                }
                placed.push_back({40.0 + 260 * column + starts[(line + column) % 4], y, text});
            }
        }
        content.pages.emplace_back("", std::move(placed));
    }
    for (int page = 1; page <= 3 && !columns && !pages && !overlapping; ++page) {
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

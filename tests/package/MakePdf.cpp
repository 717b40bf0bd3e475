// Writes a PDF of numbered pages for the package tests, which run the installed program on it:
//   package-test-pdf <path> <pages>
// Page i reads "Page i of n" and "Larkspan known words page i".

#include "support/TestFiles.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: package-test-pdf <path> <pages>\n", stderr);
        return 2;
    }
    try {
        const int pages = std::stoi(argv[2]);
        larkspan::testsupport::WritePdf(argv[1], larkspan::testsupport::NumberedPages(pages));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "package-test-pdf: %s\n", error.what());
        return 1;
    }
    return 0;
}

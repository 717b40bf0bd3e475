#pragma once

// A small PDF writer for the tests: real documents with known text, so that the real poppler
// tools can be run on them. Plain C++, no files: see TestFiles.h for writing them.

#include <string>
#include <utility>
#include <vector>

namespace larkspan::testsupport {

// Text drawn at a given point (in points from the lower left corner of a US-letter page).
struct PlacedText {
    double x = 72;
    double y = 720;
    std::string text;
};

struct PdfPage {
    PdfPage(std::string lines = {}, std::vector<PlacedText> placed = {})
        : lines(std::move(lines)), placed(std::move(placed)) {}
    // Written from the top left margin down; "\n" starts a new line.
    std::string lines;
    // Drawn after `lines`, each in the order given: the content-stream order, which need not
    // be the reading order.
    std::vector<PlacedText> placed;
    // Content-stream operators drawn last, such as "0 0 1 rg 72 72 200 100 re f".
    std::string drawing;
};

struct PdfContent {
    // One entry per page. Text is UTF-8; characters outside Windows-1252 are written as "?".
    std::vector<PdfPage> pages;
    // Helvetica's size in points for all the text; the leading stays 7/6 of it (14 at 12).
    double fontSize = 12;
    // Info dictionary. An empty value leaves the entry out. The default title holds an
    // apostrophe on purpose: it is what a report line with a lone quote character looks like.
    std::string title = "Bob's report";
    std::string author = "Robert Tables";
    std::string subject = "Known text (for tests)";
    std::string creator = "Larkspan test PdfWriter";
    // A ToUnicode map for the font, each byte to the character its glyph is said to be: the
    // text layer then reads otherwise than the page shows. Empty: none.
    std::vector<std::pair<unsigned char, char32_t>> toUnicode;
};

// The complete PDF file: Helvetica text, one content stream per page, an exact
// cross-reference table. The catalog and the page tree are written last, so that a copy cut
// short loses them and cannot be repaired.
std::string BuildPdf(const PdfContent& content);

// `pageCount` pages; page i (1-based) reads "Page i of n" on its first line and
// "Larkspan known words page i" on its second, so each page's text can be recognised.
PdfContent NumberedPages(int pageCount);

} // namespace larkspan::testsupport

#pragma once

// The rules by which textract.bin fills pages that have no text layer (scanned pages) with text
// recognised by an OCR engine: which command lines it may do that for, how the text pdftotext
// wrote is cut into pages, which pages count as blank, how a page is rendered for the engine and
// how the engine's text is written back in the form the options asked for. The running of the
// programs is the tool's (tools/TextRecognition.cpp).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan {

// pdftotext's command line as far as recognition needs to know it. Only a command line made of
// the options the program itself writes is `understood`; any other is run as it stands.
struct TextractRequest {
    bool understood = false;
    bool layout = false;          // -layout
    bool raw = false;             // -raw
    bool pageBreaks = true;       // no -nopgbrk
    std::int32_t firstPage = 1;   // -f
    std::int32_t lastPage = 0;    // -l; 0 (or out of range) means the last page of the document
    std::string endOfLine = "\n"; // -eol unix (pdftotext's default), dos or mac
    std::vector<std::string>
        passwordOptions; // -opw/-upw with their values, for pdfinfo and pdftoppm
    std::string inputPath;
    std::string outputPath;
    std::vector<std::string> options; // every option with its value, in order; no file
    // What the tools open instead of inputPath: the job's own open document, or a copy of it
    // without its encryption (`decrypted`: a password longer than the poppler tools take), which
    // they open with no password. "" for inputPath itself.
    std::string documentPath;
    bool decrypted = false;
    // Where the decrypted copy lacks its pictures: the path of a copy with them for the
    // renderer, made on its first call (thread-safe); "" when it could not be made.
    std::function<std::string()> documentWithPictures;
};

// Understood: only -f/-l with a whole number, -layout, -raw, -nopgbrk, -q, -enc UTF-8 (also
// pdftotext's default), -eol unix|dos|mac, -opw/-upw with a value, then exactly an input and an
// output file ("-", standard output, is not a file to rewrite).
TextractRequest ReadTextractArguments(const std::vector<std::string>& arguments);

// pdftotext's arguments for the request's text on standard output ("-" as the output file):
// the options as given, without -nopgbrk when `pageBreaks` (page ends are what tells the pages
// apart), and the document (without a password when it is decrypted).
std::vector<std::string> StreamingArguments(const TextractRequest& request, bool pageBreaks);

// The text of each page, in order: pdftotext ends every page with a form feed and never writes
// one inside a page's text (it takes U+000C for a space between words). Text after the last form
// feed (none is expected) is not a page.
std::vector<std::string_view> SplitAtPageEnds(std::string_view text);

// A page whose extracted text is only blanks and line ends has no text layer to speak of.
bool IsBlankPage(std::string_view pageText);

// How many pages pdftotext writes for -f first -l last of a document of pageCount pages: it
// takes the first page for anything below 1 and the last one for 0, negative or too large.
std::int32_t PagesWritten(std::int32_t firstPage, std::int32_t lastPage, std::int32_t pageCount);

// A page's size in points from pdfinfo's report for that page ("Page    3 size: 612 x 792
// pts"); nothing when the report has no such line.
struct PageSize {
    double width = 0;
    double height = 0;
};
std::optional<PageSize> ReadPageSize(std::string_view report, std::int32_t page);

// The resolution a page is rendered at for the engine: 300 dpi, which recognises 10 pt text
// well, less for a page so large that its image would hold more than kMaxPagePixels pixels or
// pass kMaxPageSide on a side (the engine's coordinates are 16-bit). A large page is drawn
// smaller instead of ever larger: its type is read where it is large enough at that size. 0 for
// a page too large to be drawn within those bounds even at 1 dpi: it is not drawn at all.
inline constexpr int kRecognitionDpi = 300;
inline constexpr double kMaxPagePixels = 40'000'000;
inline constexpr double kMaxPageSide = 30'000;
int RecognitionResolution(const PageSize& size);

// The pixels of a page's image at `dpi` (as pdftoppm rounds its sides, up).
double PagePixels(const PageSize& size, int dpi);

// Tells which of a stream of grey images in binary PGM form (P5, as `pdftoppm -gray` writes one
// page after another) are blank: every pixel within kBlankTolerance grey levels of every other.
// At a small size each mark on a page, even a full stop, still darkens a pixel past that, while
// an empty page renders as one even tone.
inline constexpr int kBlankTolerance = 2;
class BlankImageReader {
public:
    // Takes the next bytes of the stream. False once they are not such images: the rest is not
    // looked at.
    bool Feed(std::string_view bytes);
    // One entry per whole image read so far, in order: true for a blank one.
    const std::vector<bool>& Blank() const { return blank_; }
    // The stream read so far ends where an image ends (and was valid throughout).
    bool AtImageEnd() const { return valid_ && state_ == State::Header && header_.empty(); }

private:
    enum class State { Header, Pixels };
    bool ReadHeader();
    State state_ = State::Header;
    bool valid_ = true;
    std::string header_;
    std::uint64_t pixelsLeft_ = 0;
    int lowest_ = 255;
    int highest_ = 0;
    std::vector<bool> blank_;
};

// Runs of consecutive pages (first and last place in the range, inclusive) that cover `pages`
// (places in the range, ascending) for rendering several in one go: pages at most `gap` places
// apart share a run, the pages between them included, and no run holds more than `most` pages.
struct PageRun {
    std::size_t first = 0;
    std::size_t last = 0;
};
std::vector<PageRun> PageRuns(const std::vector<std::size_t>& pages, std::size_t gap,
                              std::size_t most);

// The engine's text for a page written as pdftotext writes a page: each line ended by
// `endOfLine`, no blanks at line ends, no empty lines before or after the text and no run of
// them inside. In layout mode the engine's spacing between words is kept and an empty line
// stays between paragraphs; otherwise (raw and reading order) words are single-spaced and, in
// raw mode, paragraphs are not set apart. Form feeds and other control characters are dropped,
// and each byte that is not part of valid UTF-8 becomes U+FFFD.
std::string FormatRecognisedText(std::string_view engineText, const TextractRequest& request);

} // namespace larkspan

#include "core/extraction/TextRecognition.h"
#include "core/extraction/TextStream.h"

#include <gtest/gtest.h>

namespace larkspan {
namespace {

using Args = std::vector<std::string>;

TEST(TextRecognition, UnderstandsOnlyTheCommandLinesItCanRewrite) {
    // What the program writes: every option it uses, the password with shell characters.
    const TextractRequest program =
        ReadTextractArguments({"-enc", "UTF-8", "-eol", "dos", "-raw", "-nopgbrk", "-f", "2", "-l",
                               "9", "-upw", "a b&-l", "in.pdf", "out.txt"});
    ASSERT_TRUE(program.understood);
    EXPECT_TRUE(program.raw);
    EXPECT_FALSE(program.layout);
    EXPECT_FALSE(program.pageBreaks);
    EXPECT_EQ(program.firstPage, 2);
    EXPECT_EQ(program.lastPage, 9);
    EXPECT_EQ(program.endOfLine, "\r\n");
    EXPECT_EQ(program.passwordOptions, (Args{"-upw", "a b&-l"}));
    EXPECT_EQ(program.inputPath, "in.pdf");
    EXPECT_EQ(program.outputPath, "out.txt");
    // The text on standard output: the options in their order, page ends when they tell the
    // pages apart, the job's own document, and no password for a decrypted one.
    EXPECT_EQ(StreamingArguments(program, false),
              (Args{"-enc", "UTF-8", "-eol", "dos", "-raw", "-nopgbrk", "-f", "2", "-l", "9",
                    "-upw", "a b&-l", "in.pdf", "-"}));
    TextractRequest decrypted = program;
    decrypted.documentPath = "/proc/7/fd/3";
    decrypted.decrypted = true;
    EXPECT_EQ(
        StreamingArguments(decrypted, true),
        (Args{"-enc", "UTF-8", "-eol", "dos", "-raw", "-f", "2", "-l", "9", "/proc/7/fd/3", "-"}));

    const TextractRequest plain = ReadTextractArguments({"-layout", "a.pdf", "a.txt"});
    ASSERT_TRUE(plain.understood);
    EXPECT_TRUE(plain.pageBreaks);
    EXPECT_EQ(plain.endOfLine, "\n");
    EXPECT_EQ(plain.lastPage, 0);

    // Anything else is run as it stands, never rewritten.
    for (const Args& other :
         {Args{"-enc", "Latin1", "a.pdf", "a.txt"}, Args{"-layout", "a.pdf", "-"},
          Args{"-layout", "a.pdf"}, Args{"a.pdf", "b.pdf", "a.txt"},
          Args{"-f", "x", "a.pdf", "a.txt"}, Args{"-f", "1234567890", "a.pdf", "a.txt"},
          Args{"-eol", "vms", "a.pdf", "a.txt"}, Args{"-htmlmeta", "a.pdf", "a.txt"},
          Args{"a.pdf", "a.txt", "-upw"}}) {
        EXPECT_FALSE(ReadTextractArguments(other).understood) << ::testing::PrintToString(other);
    }
}

TEST(TextRecognition, PagesAreCutAtPageEndsAsTheyStreamAndKeptInOrder) {
    const std::string written = "one\r\n\f \r\n\r\n\f\fthree\r\n\ffour";
    const std::vector<std::string_view> pages = SplitAtPageEnds(written);
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_FALSE(IsBlankPage(pages[0]));
    EXPECT_TRUE(IsBlankPage(pages[1]));
    EXPECT_TRUE(IsBlankPage(pages[2]));
    // However the text arrives, the same pages come out, and what follows the last page end
    // is no page.
    for (const std::size_t size :
         {std::size_t{1}, std::size_t{2}, std::size_t{7}, written.size()}) {
        PageCutter cutter;
        std::vector<std::string> cut;
        for (std::size_t at = 0; at < written.size(); at += size) {
            cutter.Feed(std::string_view(written).substr(at, size),
                        [&](std::string_view page) { cut.emplace_back(page); });
        }
        EXPECT_EQ(cut, std::vector<std::string>(pages.begin(), pages.end())) << size;
        EXPECT_EQ(cutter.Pages(), 4u);
        EXPECT_EQ(cutter.Rest(), "four");
    }

    // Pages behind a page that waits for the engine wait too; each comes out once, in order.
    PageOrder order;
    std::string out;
    const auto take = [&] {
        order.TakeReady([&](std::string_view page) { out += page; });
    };
    EXPECT_EQ(order.Add("one|", false), 0u);
    EXPECT_EQ(order.Add("", true), 1u);
    EXPECT_EQ(order.Add("", true), 2u);
    EXPECT_EQ(order.Add("four|", false), 3u);
    take();
    EXPECT_EQ(out, "one|");
    EXPECT_EQ(order.HeldPages(), 3u);
    EXPECT_EQ(order.HeldBytes(), 5u);
    order.Recognised(2, std::string("three|")); // the later page first: still held
    EXPECT_FALSE(order.HasReady());
    order.Recognised(1, std::nullopt);         // nothing found: the page keeps its own text
    order.Recognised(1, std::string("late|")); // a page already done is not done again
    take();
    EXPECT_EQ(out, "one|three|four|");
    EXPECT_TRUE(order.AnyRecognised());
    EXPECT_EQ(order.Taken(), 4u);
    EXPECT_EQ(order.HeldBytes(), 0u);
    EXPECT_EQ(ProgressLine(37, 300), "37 300\n");

    // pdftotext takes 1 for a first page below it, and the last page for a last page of 0,
    // below 1 or past the end.
    EXPECT_EQ(PagesWritten(1, 0, 7), 7);
    EXPECT_EQ(PagesWritten(-3, 2, 7), 2);
    EXPECT_EQ(PagesWritten(5, 99, 7), 3);
    EXPECT_EQ(PagesWritten(6, -1, 7), 2);
    EXPECT_EQ(PagesWritten(8, 0, 7), 0);
}

TEST(TextRecognition, EngineTextIsWrittenAsTheModeWritesAPage) {
    const std::string engine = "\n  Title   of\tit\n\n\n\nFirst  para\x0c line\n\nSecond\n\n";
    TextractRequest request;
    request.endOfLine = "\r\n";
    request.layout = true; // the engine's spacing kept, one empty line between paragraphs
    EXPECT_EQ(FormatRecognisedText(engine, request),
              "  Title   of it\r\n\r\nFirst  para line\r\n\r\nSecond\r\n");
    request.layout = false; // reading order: single spaces
    EXPECT_EQ(FormatRecognisedText(engine, request),
              "Title of it\r\n\r\nFirst para line\r\n\r\nSecond\r\n");
    request.raw = true; // and in raw order no empty lines
    request.endOfLine = "\n";
    EXPECT_EQ(FormatRecognisedText(engine, request), "Title of it\nFirst para line\nSecond\n");
    EXPECT_EQ(FormatRecognisedText(" \n\n", request), "");
    // What is not UTF-8 becomes U+FFFD, byte by byte; what is stays as it is.
    EXPECT_EQ(
        FormatRecognisedText("caf\xC3\xA9 \xFF\xC0\xAF \xED\xA0\x80 \xF0\x9F\x98\x80 \xE2\x82",
                             request),
        "caf\xC3\xA9 \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD "
        "\xF0\x9F\x98\x80 \xEF\xBF\xBD\xEF\xBF\xBD\n");
}

TEST(TextRecognition, PagesAreRenderedSoTheirTextCanBeRead) {
    const std::string report = "Title:           Page 2 size: 1 x 1 pts\n"
                               "Pages:           40\n"
                               "Page    2 size:  612 x 792 pts (letter)\n"
                               "Page   22 size:  9000 x 9000 pts\n"
                               "Page    2 rot:   0\n";
    const std::optional<PageSize> letter = ReadPageSize(report, 2);
    ASSERT_TRUE(letter.has_value());
    EXPECT_EQ(letter->width, 612);
    EXPECT_EQ(letter->height, 792);
    EXPECT_FALSE(ReadPageSize(report, 3).has_value());
    EXPECT_EQ(RecognitionResolution(*letter), 300);
    // Large pages are drawn smaller, never past kMaxPagePixels (a 14,400 pt page, the largest
    // PDF page, and a 40,000 pt one, which poppler takes) nor kMaxPageSide on a side.
    for (const PageSize& size : {PageSize{2550, 3300}, PageSize{14400, 14400},
                                 PageSize{40000, 40000}, PageSize{14400, 72}}) {
        const int dpi = RecognitionResolution(size);
        EXPECT_LE(PagePixels(size, dpi), kMaxPagePixels * 1.01) << size.width;
        EXPECT_LE(std::max(size.width, size.height) / 72 * dpi, kMaxPageSide) << size.width;
        // and no smaller than that
        EXPECT_TRUE(PagePixels(size, dpi + 1) > kMaxPagePixels ||
                    std::max(size.width, size.height) / 72 * (dpi + 1) > kMaxPageSide)
            << size.width;
    }
    EXPECT_EQ(RecognitionResolution(*ReadPageSize(report, 22)), 50);
    EXPECT_EQ(RecognitionResolution(PageSize{14400, 14400}), 31);
    EXPECT_EQ(RecognitionResolution(PageSize{40000, 40000}), 11);
    EXPECT_EQ(RecognitionResolution(PageSize{14400, 72}), 150);
    EXPECT_EQ(RecognitionResolution(PageSize{400000, 400000}), 1);
    EXPECT_EQ(RecognitionResolution(PageSize{2e6, 2e6}), 0); // too large to draw at all

    // The orientation ("osd") and equation ("equ") models are no languages.
    EXPECT_EQ(RecognitionLanguages("List of available languages in \"/usr/share/tessdata/\" (4):\n"
                                   "deu\nosd\neng\nequ\nchi_sim\nscript/Latin\nx -c y\n\r\x06\n"),
              "eng+deu+chi_sim+script/Latin");
    EXPECT_EQ(RecognitionLanguages("List of available languages in \"x\" (1):\r\nosd\r\n"), "");
}

TEST(TextRecognition, BlankImagesAreToldFromImagesWithAnyMark) {
    // pdftoppm's headers, a comment and a two-digit grey maximum as other writers put them.
    const std::string stream = "P5\n3 2\n255\n" + std::string(6, '\xff') +      // blank
                               "P5 2 2 # made by hand\n255\n\xfd\xff\xff\xff" + // within tolerance
                               "P5\n2 1\n255\n\xff\xfc" +                       // a faint mark
                               "P5\n1 1\n99\t";                                 // the pixel follows
    BlankImageReader whole;
    EXPECT_TRUE(whole.Feed(stream));
    EXPECT_EQ(whole.Blank(), (std::vector<bool>{true, true, false}));
    EXPECT_FALSE(whole.AtImageEnd());
    EXPECT_TRUE(whole.Feed("\x07"));
    EXPECT_TRUE(whole.AtImageEnd());
    // The same, a byte at a time, as a pipe may hand it on.
    BlankImageReader bytes;
    for (const char c : stream + "\x07") {
        ASSERT_TRUE(bytes.Feed(std::string_view(&c, 1)));
    }
    EXPECT_EQ(bytes.Blank(), (std::vector<bool>{true, true, false, true}));

    for (const std::string bad : {"P6\n1 1\n255\n\xff", "P5\n0 1\n255\n", "P5\n1 1\n256\n\xff",
                                  "P5\n1x 1\n255\n", "P5\n1 1\n255x", "Syntax Error"}) {
        BlankImageReader reader;
        EXPECT_FALSE(reader.Feed(bad)) << bad;
        EXPECT_FALSE(reader.AtImageEnd());
    }
}

TEST(TextRecognition, PagesAreRenderedInRunsOfNearbyPages) {
    const std::vector<std::size_t> pages = {0, 1, 2, 10, 11, 40};
    const auto runs = [](const std::vector<PageRun>& found) {
        std::vector<std::pair<std::size_t, std::size_t>> pairs;
        for (const PageRun& run : found) {
            pairs.emplace_back(run.first, run.last);
        }
        return pairs;
    };
    using Runs = std::vector<std::pair<std::size_t, std::size_t>>;
    EXPECT_EQ(runs(PageRuns(pages, 8, 100)), (Runs{{0, 11}, {40, 40}}));
    EXPECT_EQ(runs(PageRuns(pages, 8, 5)), (Runs{{0, 2}, {10, 11}, {40, 40}}));
    EXPECT_EQ(runs(PageRuns(pages, 0, 100)),
              (Runs{{0, 0}, {1, 1}, {2, 2}, {10, 10}, {11, 11}, {40, 40}}));
    EXPECT_TRUE(PageRuns({}, 8, 5).empty());
}

} // namespace
} // namespace larkspan

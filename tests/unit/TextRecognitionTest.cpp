#include "core/extraction/TextRecognition.h"
#include "core/extraction/PageImage.h"
#include "core/extraction/PageTriage.h"
#include "core/extraction/ScriptChoice.h"
#include "core/extraction/TextStream.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

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

TEST(ScriptChoice, EachScriptGetsItsOwnModelElseTheBestThereIsAndANote) {
    const std::vector<std::string> models = InstalledModels(
        "List of available languages in \"/usr/share/tessdata/\" (8):\r\neng\r\nosd\r\n"
        "script/Cyrillic\r\nHanT\r\ndeu\r\nLatin\r\nchi_sim\r\nx -c y\r\n\x06\r\n");
    EXPECT_EQ(models, (Args{"eng", "osd", "script/Cyrillic", "HanT", "deu", "Latin", "chi_sim"}));
    const auto choice = [&](const char* script) {
        const ModelChoice chosen = ModelForScript(script, models);
        return chosen.model + "|" + chosen.withoutModel;
    };
    EXPECT_EQ(choice("Cyrillic"), "script/Cyrillic|");
    EXPECT_EQ(choice("Han"), "HanT|"); // no HanS: the other Han model before a language's
    EXPECT_EQ(choice("Latin"), "eng|");
    EXPECT_EQ(choice(""), "eng|");
    EXPECT_EQ(choice("Greek"), "eng|Greek");
    EXPECT_EQ(choice("Korean"), "eng|Korean");
    EXPECT_EQ(ModelForScript("Arabic", {"osd", "equ", "chi_sim"}).model, "chi_sim");
    EXPECT_EQ(ModelForScript("Thai", {"Thai", "eng"}).model, "Thai");

    // A Latin-script page read with English first, then with its language's model.
    const std::string german = "Die Datei wurde nicht gefunden, und der Ordner ist fur den "
                               "Benutzer nicht lesbar. Bitte die Rechte auf dem Server pruefen.";
    EXPECT_EQ(LatinRereadModel(german, models), "deu");
    EXPECT_EQ(LatinRereadModel("The file was not found, and the folder is not readable by the "
                               "user. Check the rights on the server.",
                               models),
              "");
    const std::string polish = "Nie mozna otworzyc pliku, poniewaz jest on uzywany przez inny "
                               "program lub nie ma do niego dostepu.";
    EXPECT_EQ(LatinRereadModel(polish, models), "Latin");
    EXPECT_EQ(LatinRereadModel(polish, {"eng", "pol"}), "pol");
    EXPECT_EQ(LatinRereadModel(polish, {"eng", "osd"}), ""); // nothing better to read it with
    EXPECT_EQ(LatinRereadModel("Die und der", models), "");  // too little to tell

    EXPECT_EQ(AsWrittenIn("script/Greek", "\xC2\xB5\xCE\xB7 \xC2\xB5"),
              "\xCE\xBC\xCE\xB7 \xCE\xBC");
    EXPECT_EQ(AsWrittenIn("eng", "5 \xC2\xB5m"), "5 \xC2\xB5m");
    EXPECT_FALSE(KeepsEngineSpacing("Hebrew"));
    EXPECT_TRUE(KeepsEngineSpacing("Latin"));
}

TEST(ScriptChoice, OrientationReportsAndReadingsAreTakenAsTheEngineWritesThem) {
    const char* report = "Page number: 0\nOrientation in degrees: 90\nRotate: 270\n"
                         "Orientation confidence: 23.86\nScript: Cyrillic\nScript confidence: 6\n";
    const std::optional<OrientationReport> read = ReadOrientationReport(report);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->rotate, 270);
    EXPECT_DOUBLE_EQ(read->orientationConfidence, 23.86);
    EXPECT_EQ(read->script, "Cyrillic");
    EXPECT_FALSE(ReadOrientationReport("Rotate: 45\nOrientation confidence: 9\nScript: Latin\n"));
    EXPECT_FALSE(ReadOrientationReport("Rotate: 90\nScript: Latin\n"));
    // A sure turn is taken alone, one below the engine's own margin is tried against the page as
    // it is, and no report turns nothing.
    EXPECT_EQ(ChooseTurn(read).degrees, 270);
    EXPECT_TRUE(ChooseTurn(read).sure);
    EXPECT_FALSE(ChooseTurn(OrientationReport{180, 3.5, "Latin"}).sure);
    EXPECT_EQ(ChooseTurn(OrientationReport{0, 30, "Latin"}).degrees, 0);
    EXPECT_EQ(ChooseTurn(std::nullopt).degrees, 0);

    // The words' table and the text on one output; long words weigh more, blank words and the
    // table's other levels not at all.
    const EngineReading reading = ReadEngineOutput(
        "level\tpage_num\tblock_num\tpar_num\tline_num\tword_num\tleft\ttop\twidth\theight\t"
        "conf\ttext\n4\t1\t1\t1\t1\t0\t0\t0\t9\t9\t-1\t\n"
        "5\t1\t1\t1\t1\t1\t0\t0\t9\t9\t90.0\tLarkspan\n5\t1\t1\t1\t1\t2\t0\t0\t9\t9\t30\tab\n"
        "5\t1\t1\t1\t1\t3\t0\t0\t9\t9\t0\t \nLarkspan ab\n\nsecond\tline\n");
    EXPECT_EQ(reading.text, "Larkspan ab\n\nsecond\tline\n");
    EXPECT_EQ(reading.words, 2u);
    EXPECT_DOUBLE_EQ(reading.confidence, (90.0 * 8 + 30 * 2) / 10);
    EXPECT_TRUE(BetterReading(reading, EngineReading{"", 70, 9}));
    EXPECT_FALSE(BetterReading(EngineReading{"", 95, 0}, reading));
}

// Lines of dashes, like words of text, turned clockwise by `degrees`; across the image when
// `sideways`.
GreyImage TextLines(double degrees, bool sideways) {
    GreyImage image{1200, 1000, std::vector<std::uint8_t>(1200 * 1000, 255)};
    const double slope = std::tan(degrees * std::numbers::pi / 180);
    for (int line = 0; line < 18; ++line) {
        for (int along = 100; along < 900; ++along) {
            if (along % 60 > 45) {
                continue; // between words
            }
            for (int thick = 0; thick < 8; ++thick) {
                const double across = 120 + line * 40 + thick + (along - 500) * slope;
                const auto x = static_cast<std::size_t>(sideways ? across : along + 150);
                const auto y = static_cast<std::size_t>(sideways ? 1000 - along : across);
                image.pixels[y * image.width + x] = 0;
            }
        }
    }
    return image;
}

TEST(PageImage, PagesAreTurnedInQuarterTurnsAndStraightenedFromAFewDegrees) {
    const std::string pgm = "P5\n3 2\n255\n\x01\x02\x03\x04\x05\x06";
    const std::optional<GreyImage> image = ReadGreyImage(pgm);
    ASSERT_TRUE(image);
    EXPECT_EQ(WriteGreyImage(*image), pgm);
    for (const std::string bad : {"P5\n3 2\n65535\n\x01\x02", "P2\n1 1\n255\n1",
                                  "P5\n3 2\n255\n\x01\x02\x03", "P5\n3 2\n255"}) {
        EXPECT_FALSE(ReadGreyImage(bad)) << bad;
    }
    // 1 2 3     clockwise:  4 1    180:  6 5 4    270:  3 6
    // 4 5 6                 5 2          3 2 1          2 5
    //                       6 3                         1 4
    const auto turned = [&](int degrees) {
        const GreyImage turn = TurnClockwise(*image, degrees);
        return std::to_string(turn.width) + "x" + std::to_string(turn.height) + ":" +
               std::string(turn.pixels.begin(), turn.pixels.end());
    };
    EXPECT_EQ(turned(90), "2x3:\x04\x01\x05\x02\x06\x03");
    EXPECT_EQ(turned(180), "3x2:\x06\x05\x04\x03\x02\x01");
    EXPECT_EQ(turned(270), "2x3:\x03\x06\x02\x05\x01\x04");
    const GreyImage half = Halved(GreyImage{3, 3, {0, 255, 9, 255, 255, 9, 9, 9, 9}});
    EXPECT_EQ(half.width * 10 + half.height, 11u);
    EXPECT_EQ(half.pixels, std::vector<std::uint8_t>{191});

    for (const bool sideways : {false, true}) {
        for (const double degrees : {-5.0, 2.0, 0.0}) {
            const GreyImage askew = TextLines(degrees, sideways);
            const double found = EstimateSkew(askew);
            EXPECT_NEAR(found, degrees, 0.1) << degrees << (sideways ? " sideways" : "");
            EXPECT_NEAR(EstimateSkew(Straighten(askew, found)), 0, 0.1) << degrees;
        }
    }
    EXPECT_EQ(EstimateSkew(GreyImage{900, 900, std::vector<std::uint8_t>(810000, 250)}), 0);
}

TEST(PageTriage, GarbledLayersAreToldFromTextInAnyScript) {
    // Real text, each a few lines: German, Polish, Russian, Chinese, leader dots, code,
    // formulas.
    for (const char* text :
         {"Alle Menschen sind frei und gleich an W\u00fcrde und Rechten geboren. Sie sind mit "
          "Vernunft und Gewissen begabt und sollen einander im Geist der Br\u00fcderlichkeit "
          "begegnen.",
          "Wszyscy ludzie rodz\u0105 si\u0119 wolni i r\u00f3wni pod wzgl\u0119dem swej "
          "godno\u015bci i swych praw. S\u0105 oni obdarzeni rozumem i sumieniem.",
          "\u0412\u0441\u0435 \u043b\u044e\u0434\u0438 \u0440\u043e\u0436\u0434\u0430\u044e"
          "\u0442\u0441\u044f \u0441\u0432\u043e\u0431\u043e\u0434\u043d\u044b\u043c\u0438 "
          "(Windows-\u0432\u0435\u0440\u0441\u0438\u044f, 2024 \u0433.)",
          "\u4eba\u4eba\u751f\u800c\u81ea\u7531\uff0c\u5728\u5c0a\u4e25\u548cPDF\u6743\u5229"
          "\u4e0a\u4e00\u5f8b\u5e73\u7b49\u3002\n\u4ed6\u4eec\u8d4b\u6709\u7406\u6027\u548c"
          "\u826f\u5fc3\u3002",
          "1 Introduction ........ 3\n2 Getting started ........ 7\n3 Reference ........ 12",
          "int main(int argc, char **argv) { printf(\"%d\\n\", argv[0][1]); return 0; }",
          "\u2211 x\u1d62\u00b2 \u2264 \u222b\u2080\u00b9 f(x) dx, \u03b1\u2192\u03b2, \u0394="
          "\u221a(b\u00b2\u22124ac) \u25a0 \u2605\u2605\u2605 \u00a7 12 \u00a9 2024 \uf0b7 "
          "item"}) {
        EXPECT_FALSE(LooksGarbled(text)) << text;
    }
    // What broken maps make of "Everyone has the right to life, liberty and security..."
    // repeated: private-use code points, control characters, letters of several scripts and
    // box drawing mixed in each word.
    const auto repeated = [](const std::string& words) {
        std::string text;
        for (int i = 0; i < 4; ++i) {
            text += words + "\n";
        }
        return text;
    };
    for (const std::string& garbled :
         {repeated("\uf045\uf076\uf065\uf072 \uf068\uf061\uf073 \uf074\uf068\uf065 \uf072"
                   "\uf069\uf067\uf068\uf074"),
          repeated("\x01\x02\x03\x04 \x05\x06\x07 \x08\x0b\x0e"),
          repeated("\u0415\u00f6\u0435\u2552 \u00e8\u0430\u00f3 \u0442\u00e8\u0435 "
                   "\u0440\u00e9\u0433\u00e8"),
          repeated("\xff\xfe\xfd \xc3( \xed\xa0\x80 plain words here")}) {
        EXPECT_TRUE(LooksGarbled(garbled)) << garbled;
    }

    // The engine's reading takes a garbled layer's place only where it is text that shares
    // hardly a word with the layer.
    const std::string read = "Everyone has the right to life, liberty and security of person.";
    EXPECT_TRUE(ReplacesLayer(repeated("\u0415\u00f6\u0435\u2552 \u00e8\u0430\u00f3"), read));
    EXPECT_FALSE(ReplacesLayer("EVERYONE has the right to life, liberty and security", read));
    EXPECT_FALSE(
        ReplacesLayer("\uf045", repeated("\u0415\u00f6\u0435\u2552 \u00e8\u0430 \u0442\u00e8")));
    EXPECT_FALSE(ReplacesLayer("\uf045\uf076", " \r\n"));
}

// A white page of `width` by `height` pixels with dark boxes (left, top, width, height) on it;
// a box `hollow` is an outline, as a letter's strokes leave paper inside.
std::string Pgm(std::size_t width, std::size_t height,
                const std::vector<std::array<std::size_t, 4>>& boxes, bool hollow) {
    std::string pixels(width * height, '\xF0');
    for (const auto& [left, top, w, h] : boxes) {
        for (std::size_t y = top; y < top + h; ++y) {
            for (std::size_t x = left; x < left + w; ++x) {
                const bool edge =
                    x < left + 2 || x + 2 >= left + w || y < top + 2 || y + 2 >= top + h;
                if (!hollow || edge) {
                    pixels[y * width + x] = '\x10';
                }
            }
        }
    }
    return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + pixels;
}

TEST(PageTriage, TypeIsToldFromDrawingsInASmallRender) {
    // A word: six letters of 8 by 11 pixels on one baseline, 3 pixels apart.
    std::vector<std::array<std::size_t, 4>> word;
    for (std::size_t i = 0; i < 6; ++i) {
        word.push_back({100 + 11 * i, 200, 8, 11});
    }
    EXPECT_TRUE(MayHoldText(Pgm(600, 400, word, true)));
    // In a chart's frame, the same shapes standing at random heights, or as far apart as a
    // chart's marks, or solid; a frame and a rule; an even grey: no type. (A few small marks
    // alone, such as a page number, count as type.)
    std::vector<std::array<std::size_t, 4>> scattered = word;
    std::vector<std::array<std::size_t, 4>> apart = word;
    for (std::size_t i = 0; i < word.size(); ++i) {
        scattered[i][1] += (i % 2) * 7;
        apart[i][0] = 50 + 40 * i;
    }
    EXPECT_TRUE(MayHoldText(Pgm(600, 400, scattered, true)));
    for (auto* shapes : {&scattered, &apart, &word}) {
        shapes->push_back({10, 10, 580, 380});
    }
    EXPECT_TRUE(MayHoldText(Pgm(600, 400, word, true)));
    EXPECT_FALSE(MayHoldText(Pgm(600, 400, scattered, true)));
    EXPECT_FALSE(MayHoldText(Pgm(600, 400, apart, true)));
    EXPECT_FALSE(MayHoldText(Pgm(600, 400, word, false)));
    EXPECT_FALSE(MayHoldText(Pgm(600, 400, {{20, 20, 560, 360}, {40, 300, 500, 3}}, true)));
    EXPECT_FALSE(MayHoldText(Pgm(600, 400, {}, true)));
    // What is no image the tool knows counts as type: the engine then reads it.
    EXPECT_TRUE(MayHoldText("P6\n1 1\n255\n\xff\xff\xff"));
}

TEST(PageTriage, WorkersFollowTheProcessorsTheMemoryAndTheOverride) {
    EXPECT_EQ(RecognitionWorkers(8, 0, ""), 8u);
    EXPECT_EQ(RecognitionWorkers(8, 2 * kWorkerMemory + 1, ""), 2u);
    EXPECT_EQ(RecognitionWorkers(8, kWorkerMemory / 2, ""), 1u);
    EXPECT_EQ(RecognitionWorkers(0, 0, ""), 1u);
    EXPECT_EQ(RecognitionWorkers(500, 0, ""), kMostWorkers);
    EXPECT_EQ(RecognitionWorkers(2, kWorkerMemory, "12"), 12u);
    for (const char* ignored : {"0", "65", "07", "x", "-1", "123"}) {
        EXPECT_EQ(RecognitionWorkers(3, 0, ignored), 3u) << ignored;
    }
}

} // namespace
} // namespace larkspan

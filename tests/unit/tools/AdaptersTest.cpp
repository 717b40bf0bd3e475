// The built adapters over the real poppler tools, on documents written by the tests.

#include "core/extraction/JobOutcome.h"
#include "core/extraction/PageTriage.h"
#include "core/extraction/TextRecognition.h"
#include "platform/Platform.h"
#include "support/TestFiles.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <thread>

namespace larkspan {
namespace {

using platform::CapturedRun;
using namespace testsupport;

const std::string kTextract = LARKSPAN_BIN_DIR "/textract.bin";
const std::string kPdfi = LARKSPAN_BIN_DIR "/pdfi.bin";
// A user password holding blanks and every character a shell would act on.
const std::string kPassword = "pa ss\"'$x&|;<>*` %^(";
const std::string kPasswordText = "Encrypted PDF: Password required for loading";

class Adapters : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = MakeTempFolder("adapters");
        PdfContent content = NumberedPages(3);
        content.pages[1].lines += "\nEscapes: (paren) back\\slash caf\xC3\xA9 \xE2\x82\xAC";
        WritePdf(Path("good.pdf"), content);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    std::string Encrypted() {
        WriteEncryptedCopy(Path("good.pdf"), Path("enc.pdf"), kPassword, "owner secret");
        return Path("enc.pdf");
    }

    // The adapter's whole answer goes to its standard output.
    static CapturedRun Run(const std::string& adapter, std::vector<std::string> args,
                           const std::vector<std::string>& environment = {}) {
        std::vector<std::string> argv{"env"};
        for (const std::string& variable : environment) {
            if (!variable.empty()) {
                argv.push_back(variable);
            }
        }
        argv.push_back(adapter);
        argv.insert(argv.end(), args.begin(), args.end());
        CapturedRun run = platform::RunCaptured(argv);
        EXPECT_TRUE(run.started) << run.startError;
        EXPECT_EQ(run.standardError, "");
        return run;
    }
    CapturedRun Extract(std::vector<std::string> options, const std::string& input) {
        options.insert(options.begin(), {"-enc", "UTF-8", "-eol", "dos"});
        options.insert(options.end(), {input, Path("out.txt")});
        return Run(kTextract, options);
    }
    std::string Text() { return ReadFileBytes(Path("out.txt")); }
    // pdftotext's own output for the same options, which the adapter's must equal byte for byte.
    std::string Pdftotext(std::vector<std::string> options, const std::string& input) {
        options.insert(options.begin(), {"pdftotext", "-enc", "UTF-8", "-eol", "dos"});
        options.insert(options.end(), {input, Path("direct.txt")});
        EXPECT_EQ(platform::RunCaptured(options).exitCode, 0);
        return ReadFileBytes(Path("direct.txt"));
    }
    // A stand-in for pdftotext: a shell script that does `action` while the job runs, then
    // what `then` says (by default, writes the text "one", a page end, "two" and a page end).
    std::string StandInDoing(const std::string& action,
                             const std::string& then = "printf 'one\\ftwo\\f'") {
        const std::string script = Path("pdftotext-standin");
        WriteFileBytes(script, "#!/bin/sh\n" + action + "\n" + then + "\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        return "LARKSPAN_PDFTOTEXT=" + script;
    }

    std::string folder_;
};

// The tests' documents stay byte for byte what they were before the size could be chosen.
TEST(PdfWriter, DefaultTextIsTwelvePointAndOtherSizesScaleTheLeading) {
    PdfContent content;
    content.pages.push_back(PdfPage("One\nTwo", {{100, 200, "Placed"}}));
    EXPECT_NE(BuildPdf(content).find("<< /Length 98 >>\nstream\nBT\n/F1 12 Tf\n14 TL\n72 740 "
                                     "Td\n(One) Tj\nT*\n(Two) Tj\nET\nBT\n/F1 12 Tf\n100.00 "
                                     "200.00 Td\n(Placed) Tj\nET\nendstream"),
              std::string::npos);
    content.fontSize = 10;
    const std::string ten = BuildPdf(content);
    EXPECT_NE(ten.find("stream\nBT\n/F1 10 Tf\n11.67 TL\n"), std::string::npos) << ten;
    EXPECT_NE(ten.find("BT\n/F1 10 Tf\n100.00 200.00 Td\n(Placed)"), std::string::npos);
}

TEST_F(Adapters, TextractWritesUtf8TextWithCrLfAndPrintsNothing) {
    const CapturedRun run = Extract({"-layout"}, Path("good.pdf"));
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(run.exitCode, 0);
    const std::string text = Text();
    EXPECT_NE(text.find("Page 1 of 3\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Larkspan known words page 3\r\n"), std::string::npos);
    EXPECT_NE(text.find("(paren) back\\slash caf\xC3\xA9 \xE2\x82\xAC"), std::string::npos);
    EXPECT_NE(text.find("\f"), std::string::npos); // page breaks by default
    for (std::size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1)) {
        ASSERT_EQ(text[i - 1], '\r') << "bare line feed at " << i;
    }
}

TEST_F(Adapters, TextractHonoursPageRangeAndNoPageBreaks) {
    ASSERT_EQ(Extract({"-raw", "-nopgbrk", "-f", "2", "-l", "3"}, Path("good.pdf")).exitCode, 0);
    const std::string text = Text();
    EXPECT_EQ(text.find("page 1"), std::string::npos);
    EXPECT_NE(text.find("page 2"), std::string::npos);
    EXPECT_NE(text.find("page 3"), std::string::npos);
    EXPECT_EQ(text.find('\f'), std::string::npos);

    // Nothing to write is still a text file: an empty one, as pdftotext leaves.
    PdfContent empty;
    empty.pages.push_back(PdfPage());
    WritePdf(Path("empty.pdf"), empty);
    std::filesystem::remove(Path("out.txt"));
    const CapturedRun run = Extract({"-raw", "-nopgbrk"}, Path("empty.pdf"));
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(Path("out.txt")));
    EXPECT_EQ(Text(), "");
}

TEST_F(Adapters, TextractLayoutFollowsThePageRawFollowsTheContentStream) {
    PdfContent content;
    // Drawn right column first, so stream order and reading order differ.
    content.pages.push_back(PdfPage("Top", {{400, 600, "RIGHTWORD"}, {72, 600, "LEFTWORD"}}));
    WritePdf(Path("columns.pdf"), content);
    ASSERT_EQ(Extract({"-layout"}, Path("columns.pdf")).standardOutput, "");
    EXPECT_NE(Text().find("LEFTWORD "), std::string::npos);
    EXPECT_LT(Text().find("LEFTWORD"), Text().find("RIGHTWORD"));
    ASSERT_EQ(Extract({"-raw"}, Path("columns.pdf")).standardOutput, "");
    EXPECT_LT(Text().find("RIGHTWORD"), Text().find("LEFTWORD"));
}

TEST_F(Adapters, MissingOrWrongPasswordGivesThePasswordAnswers) {
    const std::string enc = Encrypted();
    for (const std::vector<std::string>& password :
         {std::vector<std::string>{}, {"-upw", "pa ss"}, {"-upw", "wrong"}}) {
        CapturedRun run = Extract(password, enc);
        EXPECT_EQ(run.standardOutput, kPasswordText);
        EXPECT_EQ(run.exitCode, 1);
        std::vector<std::string> args = password;
        args.push_back(enc);
        run = Run(kPdfi, args);
        EXPECT_EQ(run.standardOutput, "Command Line Error: Incorrect password\n");
        EXPECT_EQ(run.exitCode, 1);
    }
    EXPECT_FALSE(std::filesystem::exists(Path("out.txt")));
}

TEST_F(Adapters, PasswordWithBlanksAndShellCharactersOpensTheDocument) {
    const std::string enc = Encrypted();
    CapturedRun run = Extract({"-upw", kPassword}, enc);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_NE(Text().find("Larkspan known words page 2"), std::string::npos);
    run = Run(kPdfi, {"-upw", kPassword, enc});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.standardOutput.find("\nPages:           3\n"), std::string::npos);
}

TEST_F(Adapters, GoodFileReportIsPdfinfosOwn) {
    const CapturedRun run = Run(kPdfi, {Path("good.pdf")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.standardOutput.rfind("Title:           Bob's report\n", 0), 0u);
    EXPECT_NE(run.standardOutput.find("\nPages:           3\n"), std::string::npos);
}

TEST_F(Adapters, TruncatedFileGivesPopplersMessages) {
    WriteTruncatedCopy(Path("good.pdf"), Path("cut.pdf"));
    CapturedRun run = Extract({}, Path("cut.pdf"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.standardOutput.find("Syntax Error: Couldn't read xref table\n"),
              std::string::npos)
        << run.standardOutput;
    run = Run(kPdfi, {Path("cut.pdf")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.standardOutput.rfind("Syntax Error:", 0), 0u) << run.standardOutput;
    EXPECT_EQ(run.standardOutput.find("Pages:"), std::string::npos);
}

TEST_F(Adapters, RepairedFileCountsAsSuccessWithoutTheWarnings) {
    WriteRepairableCopy(Path("good.pdf"), Path("bent.pdf"));
    // Only meaningful while poppler does warn about this file.
    const CapturedRun direct = platform::RunCaptured({"pdfinfo", Path("bent.pdf")});
    ASSERT_NE(direct.standardError.find("try to reconstruct"), std::string::npos);
    ASSERT_EQ(direct.exitCode, 0);

    CapturedRun run = Run(kPdfi, {Path("bent.pdf")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.standardOutput, direct.standardOutput);
    run = Extract({}, Path("bent.pdf"));
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(Text().find("Larkspan known words page 1"), std::string::npos);
}

TEST_F(Adapters, RefusedCommandLineGivesUsageNamingPdftotext) {
    // An unknown word is taken as one more file name, which is one too many.
    const CapturedRun run = Extract({"-nosuchoption"}, Path("good.pdf"));
    EXPECT_EQ(run.exitCode, 99);
    EXPECT_NE(run.standardOutput.find("Usage: pdftotext [options]"), std::string::npos);
}

TEST_F(Adapters, MissingPopplerToolIsNamedInOneLine) {
    CapturedRun run = Run(kTextract, {Path("good.pdf"), Path("out.txt")},
                          {"LARKSPAN_PDFTOTEXT=" + Path("no/pdftotext")});
    EXPECT_EQ(run.standardOutput, "The poppler text extractor could not be started: No such file "
                                  "or directory. Install poppler-utils.\n");
    EXPECT_EQ(run.exitCode, 127);
    run = Run(kPdfi, {Path("good.pdf")}, {"LARKSPAN_PDFINFO=" + Path("no/pdfinfo")});
    EXPECT_EQ(run.standardOutput,
              "pdfinfo could not be started: No such file or directory. Install poppler-utils.\n");
    EXPECT_EQ(run.exitCode, 127);
}

TEST_F(Adapters, ABogusReasonForAnInputThatCannotBeOpenedGivesWayToTheRealOne) {
    // What poppler built for Windows prints, as the C library's errno was never set.
    const std::string standIn = Path("bogus-reason");
    WriteFileBytes(standIn, "#!/bin/sh\nprintf \"I/O Error: Couldn't open file '%s': %s\\n\" "
                            "\"$IN\" \"$REASON\" >&2\nexit 1\n");
    std::filesystem::permissions(standIn, std::filesystem::perms::owner_all);
    const std::string missing = Path("missing.pdf");
    for (const std::string bogus : {"Success.", "No error."}) {
        for (const bool textract : {true, false}) {
            const CapturedRun run =
                textract
                    ? Run(kTextract, {missing, Path("out.txt")},
                          {"LARKSPAN_PDFTOTEXT=" + standIn, "IN=" + missing, "REASON=" + bogus})
                    : Run(kPdfi, {missing},
                          {"LARKSPAN_PDFINFO=" + standIn, "IN=" + missing, "REASON=" + bogus});
            EXPECT_NE(run.standardOutput.find("Couldn't open file '" + missing +
                                              "': No such file or directory.\n"),
                      std::string::npos)
                << run.standardOutput;
        }
    }
}

TEST_F(Adapters, ToolKilledWithoutAWordIsStillAFailureWithText) {
    const std::string standIn = Path("crashing-tool");
    WriteFileBytes(standIn, "#!/bin/sh\nkill -SEGV $$\n");
    std::filesystem::permissions(standIn, std::filesystem::perms::owner_all);
    const CapturedRun run =
        Run(kTextract, {Path("good.pdf"), Path("out.txt")}, {"LARKSPAN_PDFTOTEXT=" + standIn});
    EXPECT_EQ(run.exitCode, 128 + 11);
    EXPECT_EQ(run.standardOutput,
              "The poppler text extractor failed with exit status 139 and printed no message.\n");
}

TEST_F(Adapters, WriteErrorsFailTheExtractionNamingTheProblemAndTheFile) {
    // A device that is always full, and a folder that is not there.
    CapturedRun run = Run(kTextract, {"-layout", Path("good.pdf"), "/dev/full"});
    EXPECT_EQ(run.standardOutput,
              "I/O Error: Couldn't write text file '/dev/full': No space left on device.\n");
    EXPECT_EQ(run.exitCode, 2);
    run = Run(kTextract, {Path("good.pdf"), Path("gone/out.txt")});
    EXPECT_EQ(run.standardOutput, "I/O Error: Couldn't open text file '" + Path("gone/out.txt") +
                                      "': No such file or directory.\n");

    // A file that cannot grow past a limit, with the engine (page by page) and without it: the
    // file there before is left exactly as it was.
    WritePdf(Path("long.pdf"), NumberedPages(300));
    WriteFileBytes(Path("out.txt"), "yesterday");
    for (const char* engine : {"", "LARKSPAN_TESSERACT=none"}) {
        run = Run(
            "/bin/sh",
            {"-c", "ulimit -f 4; exec \"$@\"", "sh", kTextract, Path("long.pdf"), Path("out.txt")},
            {engine});
        EXPECT_EQ(run.standardOutput, "I/O Error: Couldn't write text file '" + Path("out.txt") +
                                          "': File too large.\n")
            << engine;
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(Text(), "yesterday");
    }
    // Until the text is whole, the output's name keeps what it held, seen from inside the job.
    run = Run(kTextract, {Path("good.pdf"), Path("out.txt")},
              {StandInDoing("cp \"$OUT\" \"$SEEN\""), "OUT=" + Path("out.txt"),
               "SEEN=" + Path("seen.txt"), "LARKSPAN_TESSERACT=none"});
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(ReadFileBytes(Path("seen.txt")), "yesterday");
    EXPECT_EQ(Text(), "one\ftwo\f");
}

// The output is replaced by a new file, never written through: a link there is replaced and its
// target, like another name of the file replaced, keeps the old text; the permissions and the
// group of the file replaced stay. The input itself, under any name, is refused.
TEST_F(Adapters, TextractReplacesTheOutputKeepingItsPermissionsAndNeverWritesTheInput) {
    const std::string old =
        "the old text, longer than the new one will be, by far: " + std::string(10000, 'x');
    WriteFileBytes(Path("kept.txt"), old);
    const auto mode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                      std::filesystem::perms::group_read;
    std::filesystem::permissions(Path("kept.txt"), mode);
    std::filesystem::create_symlink(Path("kept.txt"), Path("link.txt"));
    std::filesystem::create_hard_link(Path("kept.txt"), Path("second.txt"));
    for (const char* output : {"link.txt", "second.txt"}) {
        ASSERT_EQ(Run(kTextract, {"-raw", Path("good.pdf"), Path(output)}).exitCode, 0);
        EXPECT_EQ(ReadFileBytes(Path(output)),
                  Pdftotext({"-raw", "-eol", "unix"}, Path("good.pdf")));
        EXPECT_FALSE(std::filesystem::is_symlink(Path(output)));
        EXPECT_EQ(std::filesystem::status(Path(output)).permissions(), mode) << output;
        EXPECT_EQ(ReadFileBytes(Path("kept.txt")), old);
    }

    const std::string pdf = ReadFileBytes(Path("good.pdf"));
    std::filesystem::create_symlink(Path("good.pdf"), Path("pdf-link.txt"));
    std::filesystem::create_hard_link(Path("good.pdf"), Path("pdf-name.txt"));
    for (const char* output : {"pdf-link.txt", "pdf-name.txt", "good.pdf"}) {
        const CapturedRun run = Run(kTextract, {"-layout", Path("good.pdf"), Path(output)});
        EXPECT_EQ(run.standardOutput, OutputIsInputMessage(Path(output)) + "\n");
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(ReadFileBytes(Path("good.pdf")), pdf) << output;
    }
}

TEST_F(Adapters, ADocumentChangedSinceItWasProbedOrWrittenToWhileItIsReadGivesNoText) {
    const std::string input = Path("good.pdf");
    const std::string probed = "LARKSPAN_INPUT_FINGERPRINT=" + platform::FileFingerprint(input);
    ASSERT_EQ(Run(kTextract, {input, Path("out.txt")}, {probed}).standardOutput, "");
    EXPECT_NE(Text().find("Larkspan known words page 3"), std::string::npos);
    std::filesystem::remove(Path("out.txt"));

    // Another document under the same name since the probe: refused before anything is read.
    WritePdf(Path("new.pdf"), NumberedPages(5));
    std::filesystem::rename(Path("new.pdf"), input);
    CapturedRun run = Run(kTextract, {input, Path("out.txt")}, {probed});
    EXPECT_EQ(run.standardOutput, InputChangedMessage(input) + "\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(Path("out.txt")));

    // Renamed over while the job runs: every tool reads the document the job opened, so the
    // text is all of that one. Written to in place, it may mix two versions: refused.
    WriteFileBytes(Path("original.pdf"), ReadFileBytes(input));
    WritePdf(Path("other.pdf"), NumberedPages(2));
    const std::string current = "LARKSPAN_INPUT_FINGERPRINT=" + platform::FileFingerprint(input);
    run = Run(kTextract, {input, Path("out.txt")},
              {StandInDoing("mv \"$OTHER\" \"$IN\"", "exec pdftotext \"$@\""), "IN=" + input,
               "OTHER=" + Path("other.pdf"), current});
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(Text(), Pdftotext({"-eol", "unix"}, Path("original.pdf")));
    std::filesystem::remove(Path("out.txt"));
    run = Run(kTextract, {input, Path("out.txt")},
              {StandInDoing("printf x >>\"$IN\"", "exec pdftotext \"$@\""), "IN=" + input});
    EXPECT_EQ(run.standardOutput, InputChangedMessage(input) + "\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(Path("out.txt")));
}

TEST_F(Adapters, ProgressLinesCountThePagesAsTheyAreWrittenAndChangeNothingElse) {
    WritePdf(Path("long.pdf"), NumberedPages(3000));
    const std::string progress = Path("progress");
    struct Case {
        std::vector<std::string> options;
        std::string engine;
        int total; // the pages of the range, as pdftotext clamps it
    };
    const std::vector<Case> cases = {
        {{"-layout"}, "", 3000},
        {{"-raw", "-nopgbrk", "-f", "5", "-l", "999999"}, "", 2996},
        {{"-layout", "-nopgbrk", "-l", "2000"}, "LARKSPAN_TESSERACT=none", 2000}};
    for (const auto& [options, engine, total] : cases) {
        WriteFileBytes(progress, "");
        std::vector<std::string> args{"-enc", "UTF-8", "-eol", "dos"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {Path("long.pdf"), Path("out.txt")});
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(Run(kTextract, args, {"LARKSPAN_PROGRESS_FILE=" + progress, engine}).exitCode, 0);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(Text(), Pdftotext(options, Path("long.pdf")));

        std::vector<std::pair<int, int>> lines;
        std::istringstream in(ReadFileBytes(progress));
        for (int done = 0, of = 0; in >> done >> of;) {
            lines.emplace_back(done, of);
        }
        ASSERT_GE(lines.size(), 2u) << ReadFileBytes(progress);
        EXPECT_EQ(lines.front(), std::make_pair(0, total));
        EXPECT_EQ(lines.back(), std::make_pair(total, total));
        for (std::size_t i = 1; i < lines.size(); ++i) {
            EXPECT_LE(lines[i - 1].first, lines[i].first);
            EXPECT_EQ(lines[i].second, total);
        }
        // At most a line every 100 ms, and the last.
        EXPECT_LE(lines.size(),
                  2 + std::chrono::duration_cast<std::chrono::milliseconds>(took).count() / 100);
    }
    // A pdftotext that writes more pages than the range holds never counts past its total.
    const std::string more = Path("pdftotext-more");
    WriteFileBytes(more, "#!/bin/sh\nfor p in 1 2 3; do printf 'page\\f'; sleep 0.3; done\n");
    std::filesystem::permissions(more, std::filesystem::perms::owner_all);
    WriteFileBytes(progress, "");
    ASSERT_EQ(Run(kTextract, {"-l", "1", Path("good.pdf"), Path("out.txt")},
                  {"LARKSPAN_PROGRESS_FILE=" + progress, "LARKSPAN_PDFTOTEXT=" + more,
                   "LARKSPAN_TESSERACT=none"})
                  .exitCode,
              0);
    std::istringstream in(ReadFileBytes(progress));
    for (int done = 0, of = 0; in >> done >> of;) {
        EXPECT_LE(done, of) << ReadFileBytes(progress);
    }

    // A variable that names no file changes nothing, and makes none.
    const CapturedRun run = Run(kTextract, {Path("good.pdf"), Path("out.txt")},
                                {"LARKSPAN_PROGRESS_FILE=" + Path("none/progress")});
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_FALSE(std::filesystem::exists(Path("none")));
}

// Passwords longer than the 32 bytes the poppler tools take, as AES-256 allows, with blanks,
// shell characters and letters beyond ASCII.
TEST_F(Adapters, PasswordsLongerThanPopplerTakesOpenTheDocumentInBothTools) {
    const std::string expected = Pdftotext({"-layout", "-nopgbrk", "-f", "2"}, Path("good.pdf"));
    for (const std::size_t length : {33u, 64u, 127u}) {
        std::string password = kPassword + "Gr\xC3\xBC\xC3\x9F"
                                           "e \xE2\x82\xAC";
        password.resize(length, 'k');
        WriteEncryptedCopy(Path("good.pdf"), Path("long.pdf"), password, "owner secret");

        CapturedRun run = Run(kPdfi, {"-upw", password, Path("long.pdf")});
        EXPECT_EQ(run.exitCode, 0) << length;
        EXPECT_NE(run.standardOutput.find("\nPages:           3\n"), std::string::npos);
        run = Extract({"-layout", "-nopgbrk", "-f", "2", "-upw", password}, Path("long.pdf"));
        EXPECT_EQ(run.standardOutput, "") << length;
        EXPECT_EQ(Text(), expected);

        // A wrong one, even one that only differs past what poppler would read, gets the
        // answers of a wrong short password.
        std::filesystem::remove(Path("out.txt"));
        for (const std::string& wrong :
             {password.substr(0, length - 1) + "?", password.substr(0, 32) + "?"}) {
            run = Run(kPdfi, {"-upw", wrong, Path("long.pdf")});
            EXPECT_EQ(run.standardOutput, "Command Line Error: Incorrect password\n");
            EXPECT_EQ(run.exitCode, 1);
            run = Extract({"-upw", wrong}, Path("long.pdf"));
            EXPECT_EQ(run.standardOutput, kPasswordText);
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_FALSE(std::filesystem::exists(Path("out.txt")));
        }
    }
    // One rule at any length: the owner password opens the document as the user's does.
    for (const std::size_t length : {7u, 40u}) {
        const std::string owner = std::string(length, 'o');
        WriteEncryptedCopy(Path("good.pdf"), Path("owned.pdf"), kPassword, owner);
        CapturedRun run = Run(kPdfi, {"-upw", owner, Path("owned.pdf")});
        EXPECT_NE(run.standardOutput.find("\nPages:           3\n"), std::string::npos) << length;
        run = Extract({"-layout", "-nopgbrk", "-f", "2", "-upw", owner}, Path("owned.pdf"));
        EXPECT_EQ(run.standardOutput, "") << length;
        EXPECT_EQ(Text(), expected);
    }
}

// Scanned pages: a document whose pages 2 and 4 are pictures of the text of NumberedPages(4),
// between two pages with a text layer. Needs tesseract with English (tesseract-ocr-eng).
class ScannedPages : public Adapters {
protected:
    void SetUp() override {
        Adapters::SetUp();
        WritePdf(Path("text.pdf"), NumberedPages(4));
        WriteScannedCopy(Path("text.pdf"), Path("scan.pdf"), {2, 4});
        const CapturedRun merge = platform::RunCaptured(
            {"qpdf", "--empty", "--pages", Path("text.pdf"), "1", Path("scan.pdf"), "1",
             Path("text.pdf"), "3", Path("scan.pdf"), "2", "--", Path("mixed.pdf")});
        ASSERT_EQ(merge.exitCode, 0) << merge.standardError;
    }
    std::vector<std::string> Pages() {
        const std::string text = Text();
        std::vector<std::string> pages;
        for (const std::string_view page : SplitAtPageEnds(text)) {
            pages.emplace_back(page);
        }
        return pages;
    }
};

TEST_F(ScannedPages, ScannedPagesAreRecognisedAndTextPagesKeptByteForByte) {
    const std::string plain = Pdftotext({"-layout"}, Path("mixed.pdf"));
    ASSERT_EQ(plain.substr(plain.find('\f')), "\f\f" + plain.substr(plain.find("Page 3 of 4")));

    ASSERT_EQ(Extract({"-layout"}, Path("mixed.pdf")).standardOutput, "");
    const std::vector<std::string> pages = Pages();
    ASSERT_EQ(pages.size(), 4u) << Text();
    const std::vector<std::string> plainPages = {plain.substr(0, plain.find('\f')), "",
                                                 plain.substr(plain.find("Page 3 of 4"))};
    EXPECT_EQ(pages[0], plainPages[0]);
    EXPECT_EQ(pages[2] + "\f\f", plainPages[2]);
    for (const int page : {2, 4}) {
        const std::string words = "Larkspan known words page " + std::to_string(page) + "\r\n";
        EXPECT_NE(pages[page - 1].find(words), std::string::npos) << pages[page - 1];
    }
    for (std::size_t i = Text().find('\n'); i != std::string::npos; i = Text().find('\n', i + 1)) {
        ASSERT_EQ(Text()[i - 1], '\r') << "bare line feed at " << i;
    }

    // A range in raw order without page breaks: the scanned page 2, then page 3's own text. The
    // progress counts the range's two pages, the recognised one among them.
    WriteFileBytes(Path("progress"), "");
    ASSERT_EQ(Run(kTextract,
                  {"-enc", "UTF-8", "-eol", "dos", "-raw", "-nopgbrk", "-f", "2", "-l", "3",
                   Path("mixed.pdf"), Path("out.txt")},
                  {"LARKSPAN_PROGRESS_FILE=" + Path("progress")})
                  .exitCode,
              0);
    const std::string progress = ReadFileBytes(Path("progress"));
    EXPECT_TRUE(progress.starts_with("0 2\n") && progress.ends_with("\n2 2\n")) << progress;
    const std::string page3 =
        Pdftotext({"-raw", "-nopgbrk", "-f", "3", "-l", "3"}, Path("mixed.pdf"));
    EXPECT_EQ(Text().find('\f'), std::string::npos);
    EXPECT_EQ(Text().rfind("Page 2 of 4\r\nLarkspan known words page 2\r\n", 0), 0u) << Text();
    EXPECT_EQ(Text().substr(Text().size() - page3.size()), page3);
    EXPECT_EQ(Text().find("page 1"), std::string::npos);
    EXPECT_EQ(Text().find("page 4"), std::string::npos);

    // Without the engine the adapter is pdftotext as it was, for every form of the command.
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-layout"}, {"-raw", "-nopgbrk", "-f", "2", "-l", "3"}}) {
        std::vector<std::string> args{"-enc", "UTF-8", "-eol", "dos"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {Path("mixed.pdf"), Path("out.txt")});
        ASSERT_EQ(Run(kTextract, args, {"LARKSPAN_TESSERACT=" + Path("none")}).exitCode, 0);
        EXPECT_EQ(Text(), Pdftotext(options, Path("mixed.pdf")));
    }

    // A page count the text does not match (here one page too many) puts no recognised page in
    // a place it may not be: the file stays as pdftotext writes it.
    const std::string counter = Path("pdfinfo-one-more");
    WriteFileBytes(counter, "#!/bin/sh\npdfinfo \"$@\" | awk '/^Pages:/ { $2 += 1 } { print }'\n");
    std::filesystem::permissions(counter, std::filesystem::perms::owner_all);
    ASSERT_EQ(Run(kTextract,
                  {"-enc", "UTF-8", "-eol", "dos", "-layout", Path("mixed.pdf"), Path("out.txt")},
                  {"LARKSPAN_PDFINFO=" + counter})
                  .exitCode,
              0);
    EXPECT_EQ(Text(), plain);
}

TEST_F(ScannedPages, EncryptedScanIsRecognisedWithItsPasswordAndStopEndsTheEngine) {
    WriteEncryptedCopy(Path("mixed.pdf"), Path("enc.pdf"), kPassword, "owner secret");
    ASSERT_EQ(Extract({"-raw", "-upw", kPassword, "-f", "4", "-l", "4"}, Path("enc.pdf")).exitCode,
              0);
    EXPECT_EQ(Text(), "Page 4 of 4\r\nLarkspan known words page 4\r\n\f");
    // With a password longer than the poppler tools take, the page reaches them decrypted.
    const std::string longPassword = kPassword + std::string(40, '#');
    WriteEncryptedCopy(Path("mixed.pdf"), Path("long.pdf"), longPassword, "owner secret");
    ASSERT_EQ(Extract({"-raw", "-upw", longPassword, "-f", "4", "-l", "4"}, Path("long.pdf"))
                  .standardOutput,
              "");
    EXPECT_EQ(Text(), "Page 4 of 4\r\nLarkspan known words page 4\r\n\f");

    // A Stop ends the extraction's process group, and the engine with it, though the engine
    // runs in a group of its own: here one that would recognise for a minute.
    const std::string engine = Path("engine.sh");
    // The pid file appears whole (renamed into place), so the stop never reads it half written.
    WriteFileBytes(engine, "#!/bin/sh\n[ \"$1\" = stdin ] && echo $$ >\"$0.tmp\" && mv \"$0.tmp\" "
                           "\"$0.pid\" && exec sleep 60\nexec tesseract \"$@\"\n");
    std::filesystem::permissions(engine, std::filesystem::perms::owner_all);
    platform::CommandStopper stopper;
    std::thread stopLater([&] {
        // The page is drawn first, which a machine busy with other work may take minutes for.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);
        while (!std::filesystem::exists(engine + ".pid") &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stopper.Stop();
    });
    const auto stopped =
        platform::RunConsoleCapture("LARKSPAN_TESSERACT='" + engine + "' ./textract.bin -layout '" +
                                        Path("scan.pdf") + "' '" + Path("out.txt") + "'",
                                    LARKSPAN_BIN_DIR, &stopper);
    stopLater.join();
    EXPECT_TRUE(stopped.stopped);
    const pid_t recognising = std::stoi(ReadFileBytes(engine + ".pid"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ProcessAlive(recognising) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(ProcessAlive(recognising)) << "the engine outlived the stop";
}

TEST_F(ScannedPages, PagesScannedSidewaysOrUpsideDownAreReadUpright) {
    // Pages 2, 3 and 4 turned by 90, 180 and 270 degrees before they are scanned: the pixels
    // lie sideways or upside down on an upright page, as a sheet fed the wrong way leaves them.
    const CapturedRun turn =
        platform::RunCaptured({"qpdf", "--rotate=+90:2", "--rotate=+180:3", "--rotate=+270:4",
                               Path("text.pdf"), Path("turned.pdf")});
    ASSERT_EQ(turn.exitCode, 0) << turn.standardError;
    WriteScannedCopy(Path("turned.pdf"), Path("sideways.pdf"), {2, 3, 4});
    ASSERT_EQ(Extract({"-layout"}, Path("sideways.pdf")).standardOutput, "");
    const std::vector<std::string> pages = Pages();
    ASSERT_EQ(pages.size(), 3u) << Text();
    for (const int page : {2, 3, 4}) {
        const std::string words = "Larkspan known words page " + std::to_string(page) + "\r\n";
        EXPECT_NE(pages[page - 2].find(words), std::string::npos) << pages[page - 2];
    }
}

// An engine that writes "page" into "<its path>.calls" for each reading of a page with its own
// orientation step (once a page of English), then does as asked.
std::string CountingEngine(const std::string& path) {
    WriteFileBytes(path, "#!/bin/sh\ncase \"$*\" in *'--psm 1'*) echo page >>\"$0.calls\";; esac\n"
                         "exec tesseract \"$@\"\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

TEST_F(ScannedPages, PagesWithNothingDrawnNeverReachTheEngine) {
    // An empty page, a scan of an empty page, a scan of a page that holds one small word in a
    // corner, a scanned page of text and a page with a text layer.
    // Then drawn pages without type, which the engine never sees either: a chart of lines and
    // coloured areas, a scan of it, and a photograph-like picture.
    PdfContent sparse;
    sparse.pages = {PdfPage(""), PdfPage("", {{520, 40, "p. 7"}}), PdfPage("")};
    sparse.pages[2].drawing = "1 0 0 rg 72 400 120 200 re f 0 0.6 0 rg 220 400 120 300 re f "
                              "0 0 0 RG 3 w 72 380 m 540 380 l S 72 380 m 300 700 l 540 420 l S";
    WritePdf(Path("sparse.pdf"), sparse);
    WriteScannedCopy(Path("sparse.pdf"), Path("sparse-scan.pdf"), {1, 2, 3});
    const CapturedRun photo = platform::RunCaptured(
        {"sh", "-c",
         "convert -seed 7 -size 1275x1650 plasma:fractal -colorspace gray \"$0.png\" "
         "&& img2pdf --imgsize 150dpi -o \"$0\" \"$0.png\"",
         Path("photo.pdf")});
    ASSERT_EQ(photo.exitCode, 0) << photo.standardError;
    const CapturedRun merge = platform::RunCaptured(
        {"qpdf", "--empty", "--pages", Path("sparse.pdf"), "1", Path("sparse-scan.pdf"), "1-2",
         Path("scan.pdf"), "1", Path("text.pdf"), "3", Path("sparse.pdf"), "3",
         Path("sparse-scan.pdf"), "3", Path("photo.pdf"), "--", Path("blanks.pdf")});
    ASSERT_EQ(merge.exitCode, 0) << merge.standardError;

    const std::string engine = CountingEngine(Path("engine.sh"));
    const CapturedRun run = Run(
        kTextract, {"-enc", "UTF-8", "-eol", "dos", "-layout", Path("blanks.pdf"), Path("out.txt")},
        {"LARKSPAN_TESSERACT=" + engine});
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<std::string> pages = Pages();
    ASSERT_EQ(pages.size(), 8u) << Text();
    EXPECT_EQ(pages[0], "");
    EXPECT_EQ(pages[1], "");
    EXPECT_NE(pages[3].find("Larkspan known words page 2\r\n"), std::string::npos) << pages[3];
    EXPECT_NE(pages[4].find("Larkspan known words page 3"), std::string::npos) << pages[4];
    EXPECT_EQ(pages[5] + pages[6] + pages[7], "");
    // The engine saw the page with the small word and the page of text, and only those.
    EXPECT_EQ(ReadFileBytes(engine + ".calls"), "page\npage\n");
}

TEST_F(ScannedPages, BrokenToolsFailTheJobSayingHowAndPagesTheyFailOnAreNamed) {
    struct StandIn {
        const char* name;
        const char* tool;            // the variable naming the program it stands in for
        std::string script;          // what it does
        std::string answer;          // what the adapter prints: the job fails
        std::string page = {};       // or, when the job succeeds, what each scanned page holds
        std::string unread = {};     // and the note on pages that could not be read
        const char* seconds = "180"; // the time limit of each run
    };
    const std::string engineFails = "The scanned pages could not be recognised: the OCR engine "
                                    "(tesseract) ";
    const std::string remedy =
        ". Reinstall tesseract-ocr and a language pack such as tesseract-ocr-eng.\n";
    const std::string langs = "if [ \"$1\" = --list-langs ]; then\n  printf 'List of available "
                              "languages in \"x\" (1):\\neng\\n'; exit 0\nfi\n";
    // An engine that hangs (its own check too), one that writes without end, one without
    // models; one that writes bytes that are no UTF-8, and one that fails on a page's image
    // but reads its own small check image; a renderer that crashes.
    const std::vector<StandIn> standIns = {
        // 30 s: time enough for the page to be drawn, under the same limit, before the engine
        // hangs, also on a machine that other work keeps busy.
        {"hangs", "LARKSPAN_TESSERACT", langs + "echo $$ >>\"$0.pid\"; exec sleep 120",
         engineFails + "did not finish within 30 seconds" + remedy, "", "", "30"},
        {"floods", "LARKSPAN_TESSERACT", langs + "exec yes 'Larkspan known words page 2'",
         engineFails + "wrote more than a page can hold" + remedy},
        {"no-models", "LARKSPAN_TESSERACT", "printf 'List of available languages in \"x\" (0):\\n'",
         engineFails + "has no recognition models" + remedy},
        {"invalid", "LARKSPAN_TESSERACT",
         langs + "cat >/dev/null; printf 'Larkspan \\377\\300 words\\n'", "",
         "Larkspan \xEF\xBF\xBD\xEF\xBF\xBD words\r\n"},
        {"fails-on-pages", "LARKSPAN_TESSERACT",
         langs + "[ \"$(wc -c)\" -lt 100000 ] || { echo 'Error in pixReadStream' >&2; exit 1; }",
         "", "", "unread 2 2 4\n"},
        {"renderer-crashes", "LARKSPAN_PDFTOPPM", "kill -SEGV $$",
         "The scanned pages could not be recognised: the page renderer (pdftoppm) ended with "
         "exit status 139. Install poppler-utils.\n"},
    };
    for (const StandIn& standIn : standIns) {
        const std::string program = Path(standIn.name);
        WriteFileBytes(program, "#!/bin/sh\n" + standIn.script + "\n");
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        WriteFileBytes(Path("progress"), "");
        const auto start = std::chrono::steady_clock::now();
        const CapturedRun run =
            Run(kTextract,
                {"-enc", "UTF-8", "-eol", "dos", "-layout", Path("mixed.pdf"), Path("out.txt")},
                {std::string(standIn.tool) + "=" + program,
                 std::string("LARKSPAN_OCR_SECONDS=") + standIn.seconds,
                 "LARKSPAN_PROGRESS_FILE=" + Path("progress")});
        // Each page costs one time limit at most, and the tool's check another.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(150))
            << standIn.name;
        EXPECT_EQ(run.standardOutput, standIn.answer) << standIn.name;
        EXPECT_EQ(run.exitCode, standIn.answer.empty() ? 0 : 2) << standIn.name;
        if (standIn.answer.empty()) {
            // The text pages are there, the scanned pages hold what the engine could give.
            const std::vector<std::string> pages = Pages();
            ASSERT_EQ(pages.size(), 4u) << standIn.name << Text();
            EXPECT_NE(pages[0].find("Larkspan known words page 1"), std::string::npos);
            EXPECT_EQ(pages[1], standIn.page) << standIn.name;
            EXPECT_EQ(pages[3], standIn.page) << standIn.name;
            const std::string progress = ReadFileBytes(Path("progress"));
            EXPECT_EQ(progress.find("unread") == std::string::npos, standIn.unread.empty())
                << standIn.name << progress;
            EXPECT_NE(progress.find(standIn.unread), std::string::npos) << progress;
        }
    }
    // Every run of the hanging engine was ended when its time ran out.
    std::istringstream pids(ReadFileBytes(Path("hangs.pid")));
    for (int pid = 0; pids >> pid;) {
        EXPECT_FALSE(ProcessAlive(pid)) << pid;
    }
}

TEST_F(ScannedPages, GarbledTextLayersAreRecognisedAndTextInAnyScriptIsKept) {
    // A page of real text whose font's Unicode map is rewritten: to private-use code points,
    // and to letters of Latin and Cyrillic script and box drawing mixed (mojibake).
    const std::string words =
        "All human beings are born free and equal in dignity and rights.\nThey are endowed with "
        "reason and conscience and should act towards\none another in a spirit of "
        "brotherhood.\nEveryone has the right to life, liberty and security of person.";
    PdfContent content;
    content.pages.push_back(PdfPage(words));
    const std::string engine = CountingEngine(Path("engine.sh"));
    for (const char* map : {"private", "mojibake"}) {
        content.toUnicode.clear();
        for (int code = 'A'; code <= 'z'; ++code) {
            const char32_t mojibake = code % 3 == 0   ? 0x410 + code % 32
                                      : code % 3 == 1 ? 0xC0 + code % 32
                                                      : 0x2550 + code % 32;
            content.toUnicode.emplace_back(code, map[0] == 'p' ? 0xE000 + code : mojibake);
        }
        WritePdf(Path("garbled.pdf"), content);
        ASSERT_TRUE(LooksGarbled(Pdftotext({"-layout"}, Path("garbled.pdf")))) << map;
        ASSERT_EQ(Run(kTextract, {"-layout", Path("garbled.pdf"), Path("out.txt")},
                      {"LARKSPAN_TESSERACT=" + engine})
                      .standardOutput,
                  "");
        EXPECT_GE(WordF1(words, Text()), 0.95) << map << ": " << Text();
    }
    EXPECT_EQ(ReadFileBytes(engine + ".calls"), "page\npage\n");

    // Real text in several scripts, leader dots, code and formulas, typeset with the system's
    // fonts: the text is pdftotext's, and the engine reads none of it.
    const std::string texts[] = {
        "Alle Menschen sind frei und gleich an W\u00fcrde und Rechten geboren. Sie sind mit "
        "Vernunft\nund Gewissen begabt und sollen einander im Geist der Br\u00fcderlichkeit "
        "begegnen.",
        "Wszyscy ludzie rodz\u0105 si\u0119 wolni i r\u00f3wni pod wzgl\u0119dem swej "
        "godno\u015bci i swych praw.\nS\u0105 oni obdarzeni rozumem i sumieniem i powinni "
        "post\u0119powa\u0107 wobec innych w duchu braterstwa.",
        "\u4eba\u4eba\u751f\u800c\u81ea\u7531\uff0c\u5728\u5c0a\u4e25\u548c\u6743\u5229\u4e0a"
        "\u4e00\u5f8b\u5e73\u7b49\u3002\u4ed6\u4eec\u8d4b\u6709\u7406\u6027\u548c\u826f\u5fc3"
        "\uff0c\n\u5e76\u5e94\u4ee5\u5144\u5f1f\u5173\u7cfb\u7684\u7cbe\u795e\u76f8\u5bf9"
        "\u5f85\u3002",
        "\u0412\u0441\u0435 \u043b\u044e\u0434\u0438 \u0440\u043e\u0436\u0434\u0430\u044e\u0442"
        "\u0441\u044f \u0441\u0432\u043e\u0431\u043e\u0434\u043d\u044b\u043c\u0438 \u0438 "
        "\u0440\u0430\u0432\u043d\u044b\u043c\u0438.\n\u0388\u03bb\u03bb\u03b7\u03bd\u03b5"
        "\u03c2 \u03ba\u03b1\u03b9 \u03bb\u03b1\u03c4\u03af\u03bd\u03bf\u03b9.",
        "Contents\n1 Introduction ................................ 3\n2 Getting started "
        "............................. 7\n3 Lorem ipsum dolor sit amet ................... 12",
        "int main(int argc, char **argv) {\n    for (int i = 0; i < argc; ++i) "
        "printf(\"%s\\n\", argv[i]);\n    return argc > 1 ? EXIT_SUCCESS : EXIT_FAILURE;\n}",
        "\u2200\u03b5>0 \u2203\u03b4>0: |x\u2212y|<\u03b4 \u21d2 |f(x)\u2212f(y)|<\u03b5\n"
        "\u2211\u1d62 x\u1d62\u00b2 \u2264 \u222b\u2080\u00b9 f(x) dx, \u0394 = \u221a(b\u00b2 "
        "\u2212 4ac)"};
    std::vector<std::string> merge{"qpdf", "--empty", "--pages"};
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        const std::string name = Path("script-" + std::to_string(i));
        WriteFileBytes(name + ".txt", texts[i]);
        const CapturedRun typeset =
            platform::RunCaptured({"pango-view", "--no-display", "-q", "--font=Sans 11",
                                   "--width=1000", "-o", name + ".pdf", name + ".txt"});
        ASSERT_EQ(typeset.exitCode, 0) << typeset.standardError;
        merge.push_back(name + ".pdf");
    }
    merge.insert(merge.end(), {"--", Path("scripts.pdf")});
    ASSERT_EQ(platform::RunCaptured(merge).exitCode, 0);
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-layout"}, std::vector<std::string>{"-raw"}}) {
        std::vector<std::string> args{"-enc", "UTF-8", "-eol", "dos"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {Path("scripts.pdf"), Path("out.txt")});
        ASSERT_EQ(Run(kTextract, args, {"LARKSPAN_TESSERACT=" + engine}).exitCode, 0);
        EXPECT_EQ(Text(), Pdftotext(options, Path("scripts.pdf")));
    }
    EXPECT_EQ(ReadFileBytes(engine + ".calls"), "page\npage\n");
}

TEST_F(ScannedPages, EachPageIsReadInItsOwnScriptAndLanguageStraightAndUpright) {
    // One document of pages in six scripts and five languages, two of them askew: each page is
    // read with the model of its script (and language), with nothing set. Needs the models of
    // scripts/debian-packages.txt.
    const std::vector<std::string> references =
        WriteScriptSamples(ScriptSamples(), Path("scripts.pdf"));
    ASSERT_EQ(Extract({"-layout"}, Path("scripts.pdf")).standardOutput, "");
    const std::vector<std::string> pages = Pages();
    ASSERT_EQ(pages.size(), references.size()) << Text();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const double f1 = WordF1(references[i], pages[i]);
        std::printf("%-28s F1 %.3f\n", ScriptSamples()[i].name.c_str(), f1);
        EXPECT_GE(f1, 0.95) << ScriptSamples()[i].name << ":\n" << pages[i];
    }

    // With the models of English and of orientation alone, a Russian page is read with English
    // and the job notes it; a model put into the folder afterwards is used from the next job on.
    const std::string models = Path("tessdata");
    std::filesystem::create_directory(models);
    const std::string installed = "/usr/share/tesseract-ocr/5/tessdata/";
    for (const char* model : {"eng", "osd"}) {
        std::filesystem::create_symlink(installed + model + ".traineddata",
                                        models + "/" + model + ".traineddata");
    }
    const std::vector<std::string> russian = {
        "-enc", "UTF-8", "-eol", "dos", "-f", "5", "-l", "5", Path("scripts.pdf"), Path("out.txt")};
    WriteFileBytes(Path("progress"), "");
    const std::vector<std::string> environment = {"TESSDATA_PREFIX=" + models,
                                                  "LARKSPAN_PROGRESS_FILE=" + Path("progress")};
    ASSERT_EQ(Run(kTextract, russian, environment).exitCode, 0);
    EXPECT_LT(WordF1(references[4], Text()), 0.5) << Text();
    EXPECT_NE(ReadFileBytes(Path("progress")).find("\nnomodel Cyrillic 1 5\n"), std::string::npos)
        << ReadFileBytes(Path("progress"));
    std::filesystem::create_symlink(installed + "Cyrillic.traineddata",
                                    models + "/Cyrillic.traineddata");
    WriteFileBytes(Path("progress"), "");
    ASSERT_EQ(Run(kTextract, russian, environment).exitCode, 0);
    EXPECT_GE(WordF1(references[4], Text()), 0.95) << Text();
    EXPECT_EQ(ReadFileBytes(Path("progress")).find("nomodel"), std::string::npos);
}

TEST_F(ScannedPages, HugePagesAreDrawnWithinBoundsAndStillRead) {
    // The largest page PDF allows and one far past it, which poppler takes all the same. Each
    // holds a scan of a page of text spread over it, its type so large that the page drawn at
    // the bounded size reads as well as a letter page at 300 dpi. (Memory and time are
    // measured by scripts/bench-ocr.sh.)
    for (const int side : {14400, 40000}) {
        const std::string huge = Path("huge-" + std::to_string(side) + ".pdf");
        WriteHugeScan(Path("text.pdf"), huge, side);
        ASSERT_EQ(Extract({"-layout"}, huge).standardOutput, "");
        EXPECT_NE(Text().find("Larkspan known words page 1\r\n"), std::string::npos)
            << side << ": " << Text();
    }
}

TEST_F(ScannedPages, LayoutKeepsTheGapBetweenColumnsAndPageZeroIsPageOne) {
    PdfContent columns;
    columns.pages.push_back(PdfPage("", {{72, 700, "Leftmost"}, {400, 700, "Rightmost"}}));
    WritePdf(Path("columns.pdf"), columns);
    WriteScannedCopy(Path("columns.pdf"), Path("columns-scan.pdf"), {1});
    ASSERT_EQ(Extract({"-layout"}, Path("columns-scan.pdf")).standardOutput, "");
    EXPECT_NE(Text().find("Leftmost    "), std::string::npos) << Text();
    ASSERT_EQ(Extract({"-raw"}, Path("columns-scan.pdf")).standardOutput, "");
    EXPECT_NE(Text().find("Leftmost Rightmost"), std::string::npos) << Text();

    // pdftotext takes a first page of 0 as page 1; so does the recognition of page 2.
    ASSERT_EQ(Extract({"-raw", "-f", "0", "-l", "2"}, Path("mixed.pdf")).standardOutput, "");
    const std::vector<std::string> pages = Pages();
    ASSERT_EQ(pages.size(), 2u) << Text();
    EXPECT_NE(pages[1].find("Larkspan known words page 2"), std::string::npos) << pages[1];
}

TEST(PdfWriter, FiveHundredPagesMakeAValidDocument) {
    const std::string folder = MakeTempFolder("writer");
    WritePdf(folder + "/big.pdf", NumberedPages(500));
    // qpdf exits with 0 only when it found nothing to repair, the cross-reference included.
    const CapturedRun check = platform::RunCaptured({"qpdf", "--check", folder + "/big.pdf"});
    EXPECT_EQ(check.exitCode, 0) << check.standardOutput << check.standardError;
    const CapturedRun info = platform::RunCaptured({kPdfi, "-f", "500", folder + "/big.pdf"});
    EXPECT_NE(info.standardOutput.find("\nPages:           500\n"), std::string::npos);
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace larkspan

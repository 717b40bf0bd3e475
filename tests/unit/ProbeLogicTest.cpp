#include "core/extraction/ProbeLogic.h"
#include "core/text/GeneralError.h"

#include <gtest/gtest.h>

#include <string>

using namespace larkspan;

namespace {

ProbeReportKind KindOf(const std::string& output) {
    return ReadProbeReport(output).kind;
}

std::string ReadError(const std::string& output) {
    try {
        ReadProbeReport(output);
    } catch (const GeneralError& error) {
        return error.what();
    }
    return "no error";
}

} // namespace

TEST(ProbeName, AcceptsOnlyAPdfExtensionInAnyLetterCase) {
    EXPECT_TRUE(IsPdfName("/docs/Report.pdf"));
    EXPECT_TRUE(IsPdfName("/docs/Report.PDF"));
    EXPECT_TRUE(IsPdfName("a.b.Pdf"));
    EXPECT_FALSE(IsPdfName(""));
    EXPECT_FALSE(IsPdfName("/docs/Report.pdf "));
    EXPECT_FALSE(IsPdfName("/docs/Report.pdfx"));
    EXPECT_FALSE(IsPdfName("/docs/x.pdf.txt"));
    EXPECT_FALSE(IsPdfName("/docs/folder.pdf/readme"));
}

TEST(OutputFieldName, AcceptsOnlyATxtExtensionInAnyLetterCase) {
    EXPECT_TRUE(IsTextName("/docs/Notes.TXT"));
    EXPECT_FALSE(IsTextName("/docs/notes.txt.bak"));
    EXPECT_FALSE(IsTextName("/docs/notes.txt "));
    EXPECT_FALSE(IsTextName("/docs/folder.txt/notes"));
}

TEST(ProbeCommand, MatchesTheToolContractForHarmlessValues) {
    EXPECT_EQ(BuildProbeCommand("", "/docs/My Report.pdf"), "pdfi.bin \"/docs/My Report.pdf\"");
    EXPECT_EQ(BuildProbeCommand("Secret9", "/d/x.pdf"), "pdfi.bin -upw Secret9 \"/d/x.pdf\"");
    EXPECT_EQ(BuildProbeCommand("ab", "C:\\x.pdf", CommandInterpreter::WindowsCmd),
              "pdfi.bin -upw ab ^\"C:\\x.pdf^\"");
}

TEST(ProbeReport, FindsThePageCountAfterATitleWithAnApostrophe) {
    const ProbeReport report = ReadProbeReport("Title:          Bob's file\r\n"
                                               "Author:         O'Brien\r\n"
                                               "Pages:          12\r\n"
                                               "Encrypted:      no\r\n");
    EXPECT_EQ(report.kind, ProbeReportKind::PageCount);
    EXPECT_EQ(report.pageCount, 12);
}

TEST(ProbeReport, ReadsTheTrimmedPagesLineAndTheLastOneWins) {
    EXPECT_EQ(ReadProbeReport("  \tPages:     7   \n").pageCount, 7);
    EXPECT_EQ(ReadProbeReport("Pages: 3\nTitle: x\n Pages:\t5\r\n").pageCount, 5);
    EXPECT_EQ(KindOf("pages: 12\n"), ProbeReportKind::NoPageCount);
    EXPECT_EQ(KindOf("Page count: 12\nSyntax Error: broken xref\n"), ProbeReportKind::NoPageCount);
}

TEST(ProbeReport, IncorrectPasswordOnlyAsTheExactFirstLine) {
    EXPECT_EQ(KindOf("Command Line Error: Incorrect password\n"),
              ProbeReportKind::IncorrectPassword);
    EXPECT_EQ(KindOf("\r\n\nCommand Line Error: Incorrect password"),
              ProbeReportKind::IncorrectPassword);
    EXPECT_EQ(KindOf("Command Line Error: Incorrect password \n"), ProbeReportKind::NoPageCount);
    EXPECT_EQ(KindOf(" Command Line Error: Incorrect password\n"), ProbeReportKind::NoPageCount);
    EXPECT_EQ(KindOf("Title: x\nCommand Line Error: Incorrect password\nPages: 2\n"),
              ProbeReportKind::PageCount);
}

TEST(ProbeReport, NothingButLineEndsIsItsOwnResult) {
    EXPECT_EQ(KindOf(""), ProbeReportKind::NoLines);
    EXPECT_EQ(KindOf("\r\n\n\r"), ProbeReportKind::NoLines);
    EXPECT_EQ(KindOf(" \r\n"), ProbeReportKind::NoPageCount);
}

TEST(ProbeReport, AValueThatIsNoWholeNumberFailsWithTheTrimmedValue) {
    EXPECT_EQ(ReadError("Pages:   1 2  \n"), "'1 2' is not a valid integer value");
    EXPECT_EQ(ReadError("Pages:\n"), "'' is not a valid integer value");
    EXPECT_EQ(ReadError("Pages: 3000000000\n"), "'3000000000' is not a valid integer value");
}

TEST(PasswordLoop, ErrorBoxOnlyAfterATypedPasswordAndBlankAnswersEndTheProbe) {
    EXPECT_FALSE(ShouldShowWrongPasswordBox(""));
    EXPECT_FALSE(ShouldShowWrongPasswordBox(" \t"));
    EXPECT_TRUE(ShouldShowWrongPasswordBox(" x "));

    EXPECT_TRUE(AnswerEndsProbe(false, "typed"));
    EXPECT_TRUE(AnswerEndsProbe(true, ""));
    EXPECT_TRUE(AnswerEndsProbe(true, "  \t"));
    EXPECT_FALSE(AnswerEndsProbe(true, " pw "));
}

TEST(OutputName, ReplacesTheLastFourCharactersOfTheName) {
    EXPECT_EQ(ProposeOutputName("/docs/Report.PDF"), "/docs/Report.txt");
    EXPECT_EQ(ProposeOutputName("a.b.pdf"), "a.b.txt");
    EXPECT_EQ(ProposeOutputName("/my.pdf.files/x.pdf"), "/my.pdf.files/x.txt");
    EXPECT_EQ(ProposeOutputName("/docs/.pdf"), "/docs/.txt");
}

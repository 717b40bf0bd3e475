#include "core/extraction/ToolContract.h"

#include <gtest/gtest.h>

namespace larkspan {
namespace {

PopplerRun Ran(int exitCode, std::string out, std::string err) {
    PopplerRun run;
    run.started = true;
    run.exitCode = exitCode;
    run.standardOutput = std::move(out);
    run.standardError = std::move(err);
    return run;
}

PopplerRun NotStarted(std::string reason) {
    PopplerRun run;
    run.startError = std::move(reason);
    return run;
}

const std::string kRepairWarning =
    "Internal Error: xref num 3 not found but needed, try to reconstruct<0a>\n";
const std::string kUsage = "pdftotext version 22.12.0\nUsage: pdftotext [options] <PDF-file> "
                           "[<text-file>]\n  -f <int>             : first page to convert\n";

TEST(TextractAnswer, SuccessPrintsNothingEvenAfterRecoveryWarnings) {
    const AdapterAnswer answer = TextractAnswer(Ran(0, "", kRepairWarning));
    EXPECT_EQ(answer.text, "");
    EXPECT_EQ(answer.exitStatus, 0);
}

TEST(TextractAnswer, IncorrectPasswordBecomesTheExactPasswordTextWithoutLineEnd) {
    for (const std::string& err : {std::string("Command Line Error: Incorrect password\n"),
                                   kRepairWarning + "Command Line Error: Incorrect password\r\n"}) {
        const AdapterAnswer answer = TextractAnswer(Ran(1, "", err));
        EXPECT_EQ(answer.text, "Encrypted PDF: Password required for loading");
        EXPECT_EQ(answer.exitStatus, 1);
    }
    // Only the whole line counts.
    EXPECT_EQ(JudgePdfToText(Ran(1, "", "Command Line Error: Incorrect password x\n")),
              ExtractVerdict::Failed);
}

TEST(TextractAnswer, RefusedCommandLineGivesTheUsageTextUnchanged) {
    EXPECT_EQ(JudgePdfToText(Ran(99, "", kUsage)), ExtractVerdict::CommandLineRejected);
    const AdapterAnswer answer = TextractAnswer(Ran(99, "", kUsage));
    EXPECT_EQ(answer.text, kUsage);
    EXPECT_EQ(answer.exitStatus, 99);
}

TEST(TextractAnswer, OtherFailuresGiveTheToolsMessagesErrorStreamFirst) {
    const std::string range = "Command Line Error: Wrong page range given: the first page (5) "
                              "can not be after the last page (3).\n";
    EXPECT_EQ(JudgePdfToText(Ran(99, "", range)), ExtractVerdict::Failed);
    EXPECT_EQ(TextractAnswer(Ran(99, "", range)).text, range);

    const AdapterAnswer answer =
        TextractAnswer(Ran(2, "partial\n", "I/O Error: Couldn't open text file '/x/y.txt'\n"));
    EXPECT_EQ(answer.text, "I/O Error: Couldn't open text file '/x/y.txt'\npartial\n");
    EXPECT_EQ(answer.exitStatus, 2);
}

TEST(TextractAnswer, SilentFailureStillPrintsAMessage) {
    // Killed by SIGSEGV without a word: the program must not take the silence for success.
    const AdapterAnswer answer = TextractAnswer(Ran(139, "", " \n"));
    EXPECT_NE(answer.text.find("exit status 139"), std::string::npos) << answer.text;
    EXPECT_EQ(answer.exitStatus, 139);
}

TEST(TextractAnswer, ToolNotStartedNamesWhatIsMissingButNotPdftotext) {
    const AdapterAnswer answer = TextractAnswer(NotStarted("No such file or directory"));
    EXPECT_EQ(answer.text, "The poppler text extractor could not be started: No such file or "
                           "directory. Install poppler-utils.\n");
    EXPECT_EQ(answer.exitStatus, kToolNotStartedStatus);
    // The program shows any output naming pdftotext as "Settings error!".
    EXPECT_EQ(answer.text.find("pdftotext"), std::string::npos);
}

TEST(PdfiAnswer, SuccessGivesTheReportAloneWithoutWarnings) {
    const AdapterAnswer answer = PdfiAnswer(Ran(0, "Title: x\nPages:    3\n", kRepairWarning));
    EXPECT_EQ(answer.text, "Title: x\nPages:    3\n");
    EXPECT_EQ(answer.exitStatus, 0);
}

TEST(PdfiAnswer, FailureGivesErrorStreamThenOutputUnchanged) {
    AdapterAnswer answer = PdfiAnswer(Ran(1, "", "Command Line Error: Incorrect password\n"));
    EXPECT_EQ(answer.text, "Command Line Error: Incorrect password\n");
    EXPECT_EQ(answer.exitStatus, 1);
    answer = PdfiAnswer(Ran(3, "out\n", "err\n"));
    EXPECT_EQ(answer.text, "err\nout\n");
    EXPECT_EQ(answer.exitStatus, 3);
}

TEST(PdfiAnswer, SilentFailureAndMissingToolGiveMessages) {
    AdapterAnswer answer = PdfiAnswer(Ran(137, "", ""));
    EXPECT_EQ(answer.text, "pdfinfo failed with exit status 137 and printed no message.\n");
    EXPECT_EQ(answer.exitStatus, 137);
    answer = PdfiAnswer(NotStarted("Permission denied"));
    EXPECT_EQ(answer.text,
              "pdfinfo could not be started: Permission denied. Install poppler-utils.\n");
    EXPECT_EQ(answer.exitStatus, kToolNotStartedStatus);
    // Where the tools ship with the program, the advice is the program's; a reason that ends
    // in a full stop (the Windows system texts do) gets no second one.
    answer = PdfiAnswer(NotStarted("File not found."), "Reinstall Larkspan.");
    EXPECT_EQ(answer.text, "pdfinfo could not be started: File not found. Reinstall Larkspan.\n");
}

TEST(RepairOpenFailureReasons, ReplacesOnlyTheBogusReasonOfAnOpenFailure) {
    std::vector<std::string> asked;
    const auto reason = [&asked](const std::string& path) {
        asked.push_back(path);
        return path == "C:\\fine.pdf" ? std::string() : std::string("File not found.");
    };
    const std::string text = "Syntax Warning: x\r\n"
                             "I/O Error: Couldn't open file 'C:\\it's here.pdf': Success.\r\n"
                             "I/O Error: Couldn't open file 'C:\\b.pdf': No error.\n"
                             "I/O Error: Couldn't open file 'C:\\fine.pdf': Success.\n"
                             "I/O Error: Couldn't open file '/x.pdf': No such file or directory.\n"
                             "I/O Error: Couldn't open text file 'C:\\out.txt'";
    EXPECT_EQ(RepairOpenFailureReasons(text, reason),
              "Syntax Warning: x\r\n"
              "I/O Error: Couldn't open file 'C:\\it's here.pdf': File not found.\r\n"
              "I/O Error: Couldn't open file 'C:\\b.pdf': File not found.\n"
              "I/O Error: Couldn't open file 'C:\\fine.pdf': Success.\n"
              "I/O Error: Couldn't open file '/x.pdf': No such file or directory.\n"
              "I/O Error: Couldn't open text file 'C:\\out.txt'");
    EXPECT_EQ(asked, (std::vector<std::string>{"C:\\it's here.pdf", "C:\\b.pdf", "C:\\fine.pdf"}));
}

TEST(ToolCandidates, OverrideAloneElseConfiguredPathThenPath) {
    using V = std::vector<std::string>;
    EXPECT_EQ(ToolCandidates("/opt/p/pdfinfo", "/usr/bin/pdfinfo", "pdfinfo", "/a/"),
              V{"/opt/p/pdfinfo"});
    EXPECT_EQ(ToolCandidates("", "/usr/bin/pdfinfo", "pdfinfo", "/a/"),
              (V{"/usr/bin/pdfinfo", "pdfinfo"}));
    EXPECT_EQ(ToolCandidates("", "", "pdfinfo", "/a/"), V{"pdfinfo"});
    // A bare file name is the copy beside the adapter, never one found by searching.
    EXPECT_EQ(ToolCandidates("", "pdfinfo.exe", "pdfinfo", "C:\\Larkspan\\"),
              (V{"C:\\Larkspan\\pdfinfo.exe", "pdfinfo"}));
    EXPECT_EQ(ToolCandidates("", "pdfinfo.exe", "pdfinfo", ""), V{"pdfinfo"});
    EXPECT_EQ(ToolCandidates("", "C:\\p\\pdfinfo.exe", "pdfinfo", "C:\\L\\"),
              (V{"C:\\p\\pdfinfo.exe", "pdfinfo"}));
}

} // namespace
} // namespace larkspan

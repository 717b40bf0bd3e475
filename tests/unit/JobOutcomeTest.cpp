#include "core/extraction/JobOutcome.h"

#include <gtest/gtest.h>

#include <string>

using namespace larkspan;

namespace {

struct Expected {
    std::string message;
    bool clear;
    bool open;
    bool succeeded;
};

void ExpectOutcome(const JobOutcome& outcome, const Expected& expected) {
    EXPECT_EQ(outcome.message, expected.message);
    EXPECT_EQ(outcome.clearInputFields, expected.clear);
    EXPECT_EQ(outcome.openOutput, expected.open);
    EXPECT_EQ(outcome.succeeded, expected.succeeded);
}

} // namespace

TEST(JobOutcome, SilentRunSucceedsAndOpensOnlyWhenAsked) {
    ExpectOutcome(JudgeExtraction(true, "", false, true), {"", false, true, true});
    ExpectOutcome(JudgeExtraction(true, "", false, false), {"", false, false, true});
}

TEST(JobOutcome, StopRequestFailsWithoutAMessage) {
    ExpectOutcome(JudgeExtraction(true, "", true, true), {"", false, false, false});
}

TEST(JobOutcome, BlanksAndLineEndsAloneFailWithoutAMessage) {
    ExpectOutcome(JudgeExtraction(true, "\r\n", false, true), {"", false, false, false});
    ExpectOutcome(JudgeExtraction(true, " \t", true, true), {"", false, false, false});
}

TEST(JobOutcome, UsageTextIsReportedAsASettingsError) {
    for (const bool stop : {false, true}) {
        ExpectOutcome(JudgeExtraction(true, "Usage: pdftotext [options] <PDF-file>\n", stop, true),
                      {"Settings error!", false, false, false});
    }
    ExpectOutcome(JudgeExtraction(true, "xpdftotextx", false, true),
                  {"Settings error!", false, false, false});
}

TEST(JobOutcome, OnlyTheExactPasswordTextClearsTheInputFields) {
    ExpectOutcome(
        JudgeExtraction(true, "Encrypted PDF: Password required for loading", false, true),
        {"Wrong password! Please try it again!", true, false, false});
    ExpectOutcome(
        JudgeExtraction(true, "Encrypted PDF: Password required for loading\r\n", false, true),
        {"Encrypted PDF: Password required for loading\r\n", false, false, false});
}

TEST(JobOutcome, OtherTextIsShownUnchanged) {
    ExpectOutcome(JudgeExtraction(true, "\r\nI/O Error: Couldn't open file\r\n", true, true),
                  {"\r\nI/O Error: Couldn't open file\r\n", false, false, false});
}

TEST(JobOutcome, AnExtractorThatCouldNotStartFailsWithItsOwnMessage) {
    for (const bool stop : {false, true}) {
        ExpectOutcome(JudgeExtraction(false, "", stop, true),
                      {"Could not start the text extractor.", false, false, false});
    }
}

TEST(JobOutcome, OnlyTheReportThatThisInputChangedClearsTheInputFields) {
    const std::string report = InputChangedMessage("/d/in.pdf");
    ExpectOutcome(JudgeExtraction(true, report + "\n", false, true, "/d/in.pdf"),
                  {report, true, false, false});
    ExpectOutcome(JudgeExtraction(true, report, false, true, "/d/other.pdf"),
                  {report, false, false, false});
    ExpectOutcome(JudgeExtraction(true, "x" + report, false, true, "/d/in.pdf"),
                  {"x" + report, false, false, false});
}

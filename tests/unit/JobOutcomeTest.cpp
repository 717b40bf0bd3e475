#include "core/extraction/JobOutcome.h"

#include <gtest/gtest.h>

#include <string>

using namespace larkspan;

namespace {

struct Expected {
    std::string message;
    bool clear;
    bool remove;
    bool open;
    bool succeeded;
};

void ExpectOutcome(const JobOutcome& outcome, const Expected& expected) {
    EXPECT_EQ(outcome.message, expected.message);
    EXPECT_EQ(outcome.clearInputFields, expected.clear);
    EXPECT_EQ(outcome.deleteOutput, expected.remove);
    EXPECT_EQ(outcome.openOutput, expected.open);
    EXPECT_EQ(outcome.succeeded, expected.succeeded);
}

} // namespace

TEST(JobOutcome, SilentRunSucceedsAndOpensOnlyWhenAsked) {
    ExpectOutcome(JudgeExtraction(true, "", false, true), {"", false, false, true, true});
    ExpectOutcome(JudgeExtraction(true, "", false, false), {"", false, false, false, true});
}

TEST(JobOutcome, StopRequestDeletesTheOutputWithoutAMessage) {
    ExpectOutcome(JudgeExtraction(true, "", true, true), {"", false, true, false, false});
}

TEST(JobOutcome, BlanksAndLineEndsAloneDeleteWithoutAMessage) {
    ExpectOutcome(JudgeExtraction(true, "\r\n", false, true), {"", false, true, false, false});
    ExpectOutcome(JudgeExtraction(true, " \t", true, true), {"", false, true, false, false});
}

TEST(JobOutcome, UsageTextIsReportedAsASettingsError) {
    for (const bool stop : {false, true}) {
        ExpectOutcome(JudgeExtraction(true, "Usage: pdftotext [options] <PDF-file>\n", stop, true),
                      {"Settings error!", false, true, false, false});
    }
    ExpectOutcome(JudgeExtraction(true, "xpdftotextx", false, true),
                  {"Settings error!", false, true, false, false});
}

TEST(JobOutcome, OnlyTheExactPasswordTextClearsTheInputFields) {
    ExpectOutcome(
        JudgeExtraction(true, "Encrypted PDF: Password required for loading", false, true),
        {"Wrong password! Please try it again!", true, true, false, false});
    ExpectOutcome(
        JudgeExtraction(true, "Encrypted PDF: Password required for loading\r\n", false, true),
        {"Encrypted PDF: Password required for loading\r\n", false, true, false, false});
}

TEST(JobOutcome, OtherTextIsShownUnchangedAndTheOutputDeleted) {
    ExpectOutcome(JudgeExtraction(true, "\r\nI/O Error: Couldn't open file\r\n", true, true),
                  {"\r\nI/O Error: Couldn't open file\r\n", false, true, false, false});
}

TEST(JobOutcome, AnExtractorThatCouldNotStartFailsAndDeletesNothing) {
    for (const bool stop : {false, true}) {
        ExpectOutcome(JudgeExtraction(false, "", stop, true),
                      {"Could not start the text extractor.", false, false, false, false});
    }
}

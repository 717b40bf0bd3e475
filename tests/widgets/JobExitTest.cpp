// Ending the program while an extraction job lives: the program ends at once, with status 0,
// whatever the job was doing. Each case runs the scenario program (JobExitScenario.cpp), since
// the application object of a test cannot be destroyed and made again; and the same for a
// thread that ends just as the program does (ProgramEndScenario.cpp).

#include "widgets/JobFixture.h"

namespace larkspan::test {
namespace {

struct ExitCase {
    const char* when;
    bool extractorWaits;
    std::string printed;
};

void PrintTo(const ExitCase& scenario, std::ostream* out) {
    *out << scenario.when;
}

class JobAtExitTest : public ::testing::TestWithParam<ExitCase> {};

TEST_P(JobAtExitTest, ProgramEndsCleanlyWithoutWaitingForTheJob) {
    const ExitCase& scenario = GetParam();
    const StagedRecord record{std::string(TestVersion), std::string(TestWebsite)};
    const std::string folder = testsupport::MakeTempFolder("job-exit");
    const StandInExtractor standIn(folder, scenario.extractorWaits);
    standIn.Reply(scenario.printed);
    testsupport::WriteFileBytes(folder + "/in.pdf", "%PDF-1.4\n");

    const platform::CapturedRun run =
        platform::RunCaptured({JOB_EXIT_SCENARIO, folder, scenario.when});

    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.exitCode, 0) << run.standardOutput << run.standardError;
    EXPECT_NE(run.standardOutput.find("loop ended"), std::string::npos) << run.standardOutput;
    EXPECT_EQ(run.standardError.find("QThread"), std::string::npos) << run.standardError;
    EXPECT_EQ(run.standardOutput.find("opened"), std::string::npos) << run.standardOutput;
    if (scenario.extractorWaits) {
        EXPECT_NE(run.standardOutput.find("abandoned 1"), std::string::npos) << run.standardOutput;
        EXPECT_EQ(run.standardOutput.find("box"), std::string::npos) << run.standardOutput;
    }

    // The extractor was left to finish on its own.
    standIn.Release();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return standIn.Ended() || standIn.Runs() == 0; }, JobDeadlineMs));
    // The job's progress file did not outlive the program.
    if (standIn.Runs() > 0) {
        ASSERT_NE(standIn.ProgressFile(), "");
        EXPECT_FALSE(FileExists(standIn.ProgressFile())) << standIn.ProgressFile();
    }
}

INSTANTIATE_TEST_SUITE_P(When, JobAtExitTest,
                         ::testing::Values(ExitCase{"starting", true, ""},
                                           ExitCase{"running", true, ""},
                                           ExitCase{"box", false, "Some failure\n"}),
                         [](const ::testing::TestParamInfo<ExitCase>& info) {
                             return std::string(info.param.when);
                         });

TEST(ProgramEnd, AThreadEndingJustThenDoesNotHoldUpTheEnd) {
    const platform::CapturedRun run = platform::RunCaptured(
        {PROGRAM_END_SCENARIO}, std::nullopt, platform::CaptureLimits{0, std::chrono::seconds(20)});
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_FALSE(run.timedOut) << "the program did not end";
    EXPECT_EQ(run.exitCode, 0) << run.standardError;
    EXPECT_NE(run.standardOutput.find("ending"), std::string::npos) << run.standardOutput;
}

} // namespace
} // namespace larkspan::test

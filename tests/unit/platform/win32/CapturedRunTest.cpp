#include "platform/Platform.h"

#include "WindowsTest.h"

#include <gtest/gtest.h>

using larkspan::platform::CapturedRun;
using larkspan::platform::RunCaptured;
using larkspan::test::ChildProgram;

namespace {

CapturedRun Child(std::vector<std::string> args,
                  std::optional<std::string_view> input = std::nullopt) {
    args.insert(args.begin(), ChildProgram());
    return RunCaptured(args, input);
}

TEST(RunCapturedWindows, KeepsTheStreamsApartAndReturnsTheExitStatus) {
    const CapturedRun run = Child({"streams", "out:to out", "err:to err", "out: more", "code:3"});
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.standardOutput, "to out more");
    EXPECT_EQ(run.standardError, "to err");
    EXPECT_EQ(run.exitCode, 3);
}

TEST(RunCapturedWindows, DrainsBothPipesSoNeitherCanFillUp) {
    // Far more than a pipe holds on each stream, the error stream written first.
    const CapturedRun run = Child({"flood", "700000", "1000000"});
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.standardError.size(), 1000000u);
    EXPECT_EQ(run.standardOutput.size(), 700000u);
    EXPECT_EQ(run.exitCode, 0);
}

TEST(RunCapturedWindows, PassesEachArgumentIntact) {
    // The program's path holds a blank; the arguments hold what the command line's quoting
    // rules are about, and text outside any 8-bit code page.
    larkspan::test::ScratchFolder scratch;
    const std::string program = larkspan::test::CopyChildProgram(scratch / "with blank/child.exe");
    const std::vector<std::string> args = {"a b",
                                           "%PATH%",
                                           "\"q\" 'x'",
                                           "&|;<>*^",
                                           "",
                                           "C:\\dir\\",
                                           "C:\\my dir\\",
                                           "a\\\"b",
                                           "\\\\server\\share",
                                           "\xCE\xA9 \xE6\x96\x87\xE4\xBB\xB6"};
    std::vector<std::string> argv = {program, "args"};
    argv.insert(argv.end(), args.begin(), args.end());
    const CapturedRun run = RunCaptured(argv);
    ASSERT_TRUE(run.started) << run.startError;
    std::string expected;
    for (const std::string& arg : args) {
        expected += "[" + arg + "]";
    }
    EXPECT_EQ(run.standardOutput, expected);
}

TEST(RunCapturedWindows, FeedsTheGivenInputWhileDrainingTheOutput) {
    // More than a pipe holds each way at once: the child cannot read on until we read.
    std::string input(3'000'000, 'x');
    input[1234] = '\0';
    const CapturedRun copy = Child({"stdin"}, input);
    EXPECT_EQ(copy.exitCode, 0);
    EXPECT_TRUE(copy.standardOutput == input) << copy.standardOutput.size();
    // A child that never reads its input ends the feed, and the run ends.
    EXPECT_EQ(Child({"streams", "code:4"}, input).exitCode, 4);
    EXPECT_FALSE(larkspan::platform::FindProgram("cmd").empty());
    EXPECT_EQ(larkspan::platform::FindProgram("larkspan-no-such-tool"), "");
}

TEST(RunCapturedWindows, LooksUpABareName) {
    const CapturedRun run = RunCaptured({"cmd", "/C", "exit 4"});
    EXPECT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.exitCode, 4);
}

TEST(RunCapturedWindows, AProgramThatCannotStartIsNotAnExitStatus) {
    larkspan::test::ScratchFolder scratch;
    const std::string notAProgram = scratch.Write("Setup.exe", "plain text, not a program\r\n");
    for (const std::string& program :
         {scratch / "missing.exe", std::string("larkspan-no-such-tool"), notAProgram}) {
        const CapturedRun run = RunCaptured({program, "x"});
        EXPECT_FALSE(run.started) << program;
        EXPECT_FALSE(run.startError.empty()) << program;
        EXPECT_EQ(run.exitCode, -1) << program;
        EXPECT_EQ(run.standardOutput + run.standardError, "");
    }
}

} // namespace

#include "platform/Platform.h"

#include "WindowsTest.h"

#include <chrono>
#include <gtest/gtest.h>

using larkspan::platform::CapturedRun;
using larkspan::platform::RunCaptured;
using larkspan::test::ChildProgram;

namespace {

CapturedRun Child(std::vector<std::string> args,
                  std::optional<std::string_view> input = std::nullopt,
                  const larkspan::platform::CaptureLimits& limits = {}) {
    args.insert(args.begin(), ChildProgram());
    return RunCaptured(args, input, limits);
}

TEST(RunCapturedWindows, KeepsTheStreamsApartAndReturnsTheExitStatus) {
    const CapturedRun run = Child({"streams", "out:to out", "err:to err", "out: more", "code:3"});
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.standardOutput, "to out more");
    EXPECT_EQ(run.standardError, "to err");
    EXPECT_EQ(run.exitCode, 3);
}

TEST(RunCapturedWindows, DrainsBothPipesSoNeitherCanFillUp) {
    // Far more than a pipe holds on each stream, the error stream written first: it is read to
    // its end and its first part kept.
    const CapturedRun run = Child({"flood", "700000", "1000000"});
    ASSERT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.standardError, std::string(larkspan::platform::kCapturedErrorBytes, 'e'));
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

TEST(RunCapturedWindows, BoundsEndTheChildAndEverythingItStarted) {
    // Time enough for the child to have started its own under a loaded wine.
    larkspan::test::ScratchFolder scratch;
    const std::string pidFile = scratch / "grandchild.pid";
    const auto begin = std::chrono::steady_clock::now();
    const CapturedRun slow = Child({"tree", pidFile}, std::nullopt, {0, std::chrono::seconds(5)});
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
    EXPECT_TRUE(slow.started) << slow.startError;
    EXPECT_TRUE(slow.timedOut);
    EXPECT_FALSE(slow.outputCut);
    EXPECT_EQ(slow.standardOutput, "");
    const std::string pid = larkspan::test::ReadWholeFile(pidFile);
    ASSERT_FALSE(pid.empty());
    EXPECT_TRUE(larkspan::test::ProcessEnded(static_cast<DWORD>(std::stoul(pid))))
        << "the child's own child outlived the time limit";

    const CapturedRun flood = Child({"endless"}, std::nullopt, {100'000, {}});
    EXPECT_TRUE(flood.outputCut);
    EXPECT_FALSE(flood.timedOut);
    EXPECT_EQ(flood.standardOutput, std::string(100'000, 'y'));
}

TEST(RunStreamedWindows, HandsTheOutputOnPieceByPieceAndASinkCanEndTheChild) {
    const std::string input(3'000'000, 'x');
    std::string streamed;
    const CapturedRun copy = larkspan::platform::RunStreamed({ChildProgram(), "stdin"}, input,
                                                             [&](std::string_view piece) {
                                                                 streamed.append(piece);
                                                                 return true;
                                                             });
    EXPECT_EQ(copy.exitCode, 0);
    EXPECT_TRUE(streamed == input) << streamed.size();
    EXPECT_EQ(copy.standardOutput, "");

    std::size_t seen = 0;
    const CapturedRun refused = larkspan::platform::RunStreamed(
        {ChildProgram(), "endless"}, std::nullopt, [&](std::string_view piece) {
            seen += piece.size();
            return seen < 1'000'000;
        });
    EXPECT_TRUE(refused.outputCut);
    EXPECT_GE(seen, 1'000'000u);
}

} // namespace

#include "platform/Platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace larkspan::platform {
namespace {

CapturedRun Sh(const std::string& script, std::vector<std::string> args = {}) {
    std::vector<std::string> argv{"/bin/sh", "-c", script, "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCaptured(argv);
}

TEST(RunCaptured, KeepsTheStreamsApartAndReturnsTheExitStatus) {
    const CapturedRun run = Sh("printf 'to out'; printf 'to err' >&2; printf ' more'; exit 3");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.standardOutput, "to out more");
    EXPECT_EQ(run.standardError, "to err");
    EXPECT_EQ(run.exitCode, 3);
}

TEST(RunCaptured, DrainsBothPipesSoNeitherCanFillUp) {
    // Far more than a pipe holds on each stream, the error stream written first.
    const CapturedRun run = Sh("head -c 1000000 /dev/zero >&2; head -c 700000 /dev/zero");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.standardError.size(), 1000000u);
    EXPECT_EQ(run.standardOutput.size(), 700000u);
    EXPECT_EQ(run.exitCode, 0);
}

TEST(RunCaptured, ReportsAKillingSignalAs128PlusItsNumber) {
    EXPECT_EQ(Sh("kill -KILL $$").exitCode, 128 + 9);
}

TEST(RunCaptured, PassesEachArgumentIntactWithoutAShell) {
    const CapturedRun run =
        Sh("printf '[%s]' \"$@\"", {"a b", "$HOME", "\"q\" 'x'", "&|;<>*`", ""});
    EXPECT_EQ(run.standardOutput, "[a b][$HOME][\"q\" 'x'][&|;<>*`][]");
}

TEST(RunCaptured, LooksUpABareNameOnPath) {
    const CapturedRun run = RunCaptured({"sh", "-c", "exit 0"});
    EXPECT_TRUE(run.started) << run.startError;
    EXPECT_EQ(run.exitCode, 0);
    // FindProgram names the very file that would run, and nothing for what would not start.
    const std::string sh = FindProgram("sh");
    EXPECT_EQ(RunCaptured({"/bin/sh", "-c", "command -v sh"}).standardOutput, sh + "\n");
    EXPECT_EQ(FindProgram("larkspan-no-such-tool"), "");
    EXPECT_EQ(FindProgram("/etc/passwd"), ""); // there, but not a program
    EXPECT_EQ(FindProgram(sh), sh);
}

TEST(RunCaptured, FeedsTheGivenInputWhileDrainingTheOutput) {
    // More than a pipe holds each way at once: the child cannot read on until we read.
    std::string input(3'000'000, 'x');
    input[1234] = '\0';
    const CapturedRun copy = RunCaptured({"cat"}, input);
    EXPECT_EQ(copy.exitCode, 0);
    EXPECT_TRUE(copy.standardOutput == input) << copy.standardOutput.size();
    EXPECT_EQ(RunCaptured({"wc", "-c"}, "").standardOutput, "0\n");
    // A child that stops reading early ends the feed, not this program (SIGPIPE).
    const CapturedRun quits =
        RunCaptured({"/bin/sh", "-c", "head -c 10 >/dev/null; exit 4"}, input);
    EXPECT_EQ(quits.exitCode, 4);
}

TEST(RunCaptured, AProgramThatCannotStartIsNotAnExitStatus) {
    for (const std::string& program :
         {std::string("/nonexistent/larkspan-tool"), std::string("larkspan-no-such-tool")}) {
        const CapturedRun run = RunCaptured({program, "x"});
        EXPECT_FALSE(run.started) << program;
        EXPECT_EQ(run.startError, "No such file or directory");
        EXPECT_EQ(run.standardOutput + run.standardError, "");
    }
    const CapturedRun folder = RunCaptured({"/"});
    EXPECT_FALSE(folder.started);
    EXPECT_EQ(folder.startError, "Permission denied");
}

TEST(RunCaptured, TheChildInheritsNoOtherDescriptor) {
    // Opened without close-on-exec, as code elsewhere in the program might.
    const int planted = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(planted, 3);
    const CapturedRun run =
        Sh("[ -e /proc/self/fd/" + std::to_string(planted) + " ] && echo leaked; exit 0");
    ::close(planted);
    EXPECT_EQ(run.standardOutput, "");
}

} // namespace
} // namespace larkspan::platform

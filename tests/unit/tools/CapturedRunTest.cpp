#include "platform/Platform.h"
#include "support/TestFiles.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace larkspan::platform {
namespace {

CapturedRun Sh(const std::string& script, std::vector<std::string> args = {},
               const CaptureLimits& limits = {}) {
    std::vector<std::string> argv{"/bin/sh", "-c", script, "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCaptured(argv, std::nullopt, limits);
}

// A script that starts a grandchild writing its process id to `pidFile` (and holding the output
// pipe open) before it does `then`.
std::string WithGrandchild(const std::string& pidFile, const std::string& then) {
    return "sleep 60 & echo $! >'" + pidFile + "'; " + then;
}

// Whether the process written to `pidFile` is gone by a generous deadline (it is ended at once;
// the deadline is for a loaded machine).
bool EndedSoon(const std::string& pidFile) {
    const int pid = std::stoi(testsupport::ReadFileBytes(pidFile));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (testsupport::ProcessAlive(pid) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !testsupport::ProcessAlive(pid);
}

TEST(RunCaptured, KeepsTheStreamsApartAndReturnsTheExitStatus) {
    const CapturedRun run = Sh("printf 'to out'; printf 'to err' >&2; printf ' more'; exit 3");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.standardOutput, "to out more");
    EXPECT_EQ(run.standardError, "to err");
    EXPECT_EQ(run.exitCode, 3);
}

TEST(RunCaptured, DrainsBothPipesSoNeitherCanFillUp) {
    // Far more than a pipe holds on each stream, the error stream written first: it is read to
    // its end and its first part kept.
    const CapturedRun run = Sh("head -c 1000000 /dev/zero >&2; head -c 700000 /dev/zero");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.standardError, std::string(kCapturedErrorBytes, '\0'));
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

TEST(RunCaptured, AnEmptyPathEntryIsTheCurrentFolder) {
    const std::string folder = testsupport::MakeTempFolder("path");
    testsupport::WriteFileBytes(folder + "/larkspan-here", "#!/bin/sh\necho here\n");
    std::filesystem::permissions(folder + "/larkspan-here", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    for (const char* entries : {":/nonexistent", "/nonexistent::/nonexistent2", "/nonexistent:"}) {
        ::setenv("PATH", entries, 1);
        EXPECT_EQ(FindProgram("larkspan-here"), "./larkspan-here") << entries;
        EXPECT_EQ(RunCaptured({"larkspan-here"}).standardOutput, "here\n") << entries;
    }
    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(FindProgram("larkspan-here"), "");
    ::setenv("PATH", path.c_str(), 1);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
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

TEST(RunCaptured, TimeLimitEndsTheChildAndEverythingItStarted) {
    const std::string folder = testsupport::MakeTempFolder("captured");
    // Output read before the end is kept; a child that closed its output is still timed.
    // Time enough for the script to have started its grandchild on a busy machine.
    for (const std::string& rest : {std::string("printf early; sleep 60"),
                                    std::string("printf early; exec >&- 2>&-; sleep 60")}) {
        const auto start = std::chrono::steady_clock::now();
        const CapturedRun run =
            Sh(WithGrandchild(folder + "/pid", rest), {}, {0, std::chrono::seconds(2)});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << rest;
        EXPECT_TRUE(run.started);
        EXPECT_TRUE(run.timedOut) << rest;
        EXPECT_FALSE(run.outputCut);
        EXPECT_EQ(run.exitCode, 128 + 9);
        EXPECT_EQ(run.standardOutput, "early");
        EXPECT_TRUE(EndedSoon(folder + "/pid")) << "the grandchild outlived the limit: " << rest;
    }
    // Within its time a run is untouched.
    const CapturedRun quick = Sh("printf done", {}, {0, std::chrono::seconds(30)});
    EXPECT_FALSE(quick.timedOut);
    EXPECT_EQ(quick.exitCode, 0);
    std::filesystem::remove_all(folder);
}

TEST(RunCaptured, OutputIsKeptWithinItsBound) {
    const std::string folder = testsupport::MakeTempFolder("captured");
    const CapturedRun flood = Sh(WithGrandchild(folder + "/pid", "exec yes"), {}, {100'000, {}});
    EXPECT_TRUE(flood.outputCut);
    EXPECT_FALSE(flood.timedOut);
    EXPECT_EQ(flood.standardOutput.size(), 100'000u);
    EXPECT_EQ(flood.standardOutput.substr(0, 4), "y\ny\n");
    EXPECT_TRUE(EndedSoon(folder + "/pid")) << "the grandchild outlived the bound";
    // Exactly the bound is not past it.
    const CapturedRun exact = Sh("printf 12345", {}, {5, {}});
    EXPECT_FALSE(exact.outputCut);
    EXPECT_EQ(exact.standardOutput, "12345");
    EXPECT_EQ(exact.exitCode, 0);
    std::filesystem::remove_all(folder);
}

TEST(RunStreamed, HandsTheOutputOnPieceByPieceAndASinkCanEndTheChild) {
    const std::string input(3'000'000, 'x');
    std::string streamed;
    std::size_t pieces = 0;
    const CapturedRun copy = RunStreamed({"cat"}, input, [&](std::string_view piece) {
        streamed.append(piece);
        ++pieces;
        return true;
    });
    EXPECT_EQ(copy.exitCode, 0);
    EXPECT_TRUE(streamed == input) << streamed.size();
    EXPECT_GT(pieces, 1u);
    EXPECT_EQ(copy.standardOutput, "");

    std::size_t seen = 0;
    const CapturedRun refused = RunStreamed({"yes"}, std::nullopt, [&](std::string_view piece) {
        seen += piece.size();
        return seen < 1'000'000;
    });
    EXPECT_TRUE(refused.outputCut);
    EXPECT_EQ(refused.exitCode, 128 + 9);
    // The bound holds for a sink too: it is handed exactly that much.
    seen = 0;
    const CapturedRun bounded = RunStreamed({"yes"}, std::nullopt,
                                            [&](std::string_view piece) {
                                                seen += piece.size();
                                                return true;
                                            },
                                            {70'001, {}});
    EXPECT_TRUE(bounded.outputCut);
    EXPECT_EQ(seen, 70'001u);
}

} // namespace
} // namespace larkspan::platform

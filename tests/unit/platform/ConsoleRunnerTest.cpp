#include "platform/Platform.h"

#include "ScratchFolder.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

using larkspan::platform::RunConsoleCapture;
using larkspan::test::ScratchFolder;

namespace {

class ConsoleRunner : public ::testing::Test {
protected:
    ScratchFolder scratch_;
};

TEST_F(ConsoleRunner, CommandThatPrintsNothingStartedWithEmptyOutput) {
    const auto result = RunConsoleCapture("true", scratch_.path());
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.output, "");
}

TEST_F(ConsoleRunner, FailedStartIsToldApartFromSilence) {
    const auto result = RunConsoleCapture("echo never", scratch_ / "no-such-folder");
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.output, "");
}

TEST_F(ConsoleRunner, LongOutputComesBackWhole) {
    std::ostringstream expected;
    for (int i = 1; i <= 170000; ++i) {
        expected << i << '\n';
    }
    ASSERT_GT(expected.str().size(), 1000000u);
    const auto result = RunConsoleCapture("seq 1 170000", scratch_.path());
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.output.size(), expected.str().size());
    EXPECT_TRUE(result.output == expected.str()) << "the reads were not joined without gaps";
}

TEST_F(ConsoleRunner, StandardErrorAndOutputKeepTheirOrder) {
    const auto result =
        RunConsoleCapture("echo one >&2; echo two; echo three >&2; echo four", scratch_.path());
    EXPECT_EQ(result.output, "one\ntwo\nthree\nfour\n");
}

TEST_F(ConsoleRunner, ZeroByteDropsTheRestOfItsReadOnly) {
    // 300 bytes in one write, which a pipe delivers at once (less than PIPE_BUF), so the first
    // read takes exactly 255 bytes and the second the remaining 45, whatever the timing.
    std::string bytes = std::string(10, 'A') + '\0' + std::string(244, 'B') + std::string(20, 'C') +
                        '\0' + std::string(24, 'D');
    ASSERT_EQ(bytes.size(), 300u);
    scratch_.Write("bytes", bytes);
    const auto result = RunConsoleCapture("cat bytes", scratch_.path());
    EXPECT_EQ(result.output, std::string(10, 'A') + std::string(20, 'C'));
}

TEST_F(ConsoleRunner, MissingToolYieldsTheShellsReport) {
    const auto result = RunConsoleCapture("no-such-tool.bin \"x.pdf\"", scratch_.path());
    EXPECT_TRUE(result.started);
    EXPECT_NE(result.output.find("no-such-tool.bin"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("not found"), std::string::npos) << result.output;
}

TEST_F(ConsoleRunner, CommandTextReachesTheShellUnchanged) {
    const auto result =
        RunConsoleCapture("printf '%s|' \"a  b\" 'c\"d' \"e'f\" g\\ h", scratch_.path());
    EXPECT_EQ(result.output, "a  b|c\"d|e'f|g h|");
}

TEST_F(ConsoleRunner, BareToolNamesResolveInTheWorkingFolderBeforeAnyOther) {
    // A program folder whose name holds PATH's separator, and a tool of the same name in a
    // folder that comes first on PATH: the working folder's own tool must still win.
    scratch_.Write("odd:dir/app/tool.bin", "#!/bin/sh\necho \"tool in $(pwd)\"\n", 0755);
    scratch_.Write("elsewhere/tool.bin", "#!/bin/sh\necho impostor\n", 0755);
    const std::string path = larkspan::platform::GetEnvironment("PATH");
    ::setenv("PATH", (scratch_ / "elsewhere:" + path).c_str(), 1);
    // The program's folder comes with a trailing "/"; the child still runs inside it.
    const auto result = RunConsoleCapture("tool.bin", scratch_ / "odd:dir/app/");
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.output, "tool in " + scratch_ / "odd:dir/app" + "\n");
}

TEST_F(ConsoleRunner, ChildGetsTheProgramsStandardInputAndEnvironment) {
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    ASSERT_EQ(::write(input[1], "typed ahead\n", 12), 12);
    ::close(input[1]);
    const int savedInput = ::dup(STDIN_FILENO);
    ::dup2(input[0], STDIN_FILENO);
    ::close(input[0]);
    ::setenv("LARKSPAN_RUNNER_MARK", "from the program", 1);
    ::setenv("LARKSPAN_RUNNER_SET", "the program's", 1);

    // Variables given for the child alone replace the program's of the same name.
    const auto result = RunConsoleCapture(
        "cat; echo \"$LARKSPAN_RUNNER_MARK\"; echo \"$LARKSPAN_RUNNER_SET|$LARKSPAN_RUNNER_NEW\"; "
        "env | grep -c '^LARKSPAN_RUNNER_SET='",
        scratch_.path(), nullptr,
        {{"LARKSPAN_RUNNER_SET", "the child's"}, {"LARKSPAN_RUNNER_NEW", "a b=c"}});

    EXPECT_STREQ(::getenv("LARKSPAN_RUNNER_SET"), "the program's");
    EXPECT_EQ(::getenv("LARKSPAN_RUNNER_NEW"), nullptr);
    ::unsetenv("LARKSPAN_RUNNER_MARK");
    ::unsetenv("LARKSPAN_RUNNER_SET");
    ::dup2(savedInput, STDIN_FILENO);
    ::close(savedInput);
    EXPECT_EQ(result.output, "typed ahead\nfrom the program\nthe child's|a b=c\n1\n");
}

// True while the process exists and has not ended (a zombie has ended).
TEST_F(ConsoleRunner, StopEndsTheCommandAndEveryProcessItStarted) {
    larkspan::platform::CommandStopper stopper;
    std::thread stopLater([&] {
        // Stopped once the command has started its background process and printed its number.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!std::filesystem::exists(scratch_ / "started") &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stopper.Stop();
    });
    const auto begin = std::chrono::steady_clock::now();
    const auto result = RunConsoleCapture("sleep 30 & echo $!; touch started; sleep 30; echo never",
                                          scratch_.path(), &stopper);
    const auto took = std::chrono::steady_clock::now() - begin;
    stopLater.join();

    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.stopped);
    EXPECT_LT(took, std::chrono::seconds(5));
    ASSERT_FALSE(result.output.empty());
    EXPECT_EQ(result.output.find("never"), std::string::npos);
    const pid_t background = std::stoi(result.output);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (larkspan::testsupport::ProcessAlive(background) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(larkspan::testsupport::ProcessAlive(background))
        << "the command's background process survived the stop";

    // A stop asked for before the start ends the command as soon as it runs, not when it ends.
    larkspan::platform::CommandStopper early;
    early.Stop();
    const auto earlyBegin = std::chrono::steady_clock::now();
    const auto stoppedEarly = RunConsoleCapture("sleep 30", scratch_.path(), &early);
    EXPECT_TRUE(stoppedEarly.stopped);
    EXPECT_LT(std::chrono::steady_clock::now() - earlyBegin, std::chrono::seconds(15));
}

TEST_F(ConsoleRunner, ChildGetsNoDescriptorOfTheProgram) {
    // Opened without close-on-exec, as a careless library might.
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 3);
    // Only the watchdog besides the standard streams: a pipe, named by its variable.
    const auto result = RunConsoleCapture(
        "echo \"$LARKSPAN_WATCHDOG_FD\"; [ -p /proc/$$/fd/3 ] && echo pipe; ls /proc/$$/fd",
        scratch_.path());
    ::close(stray);
    ASSERT_TRUE(result.started);
    std::istringstream lines(result.output);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "3");
    std::getline(lines, line);
    EXPECT_EQ(line, "pipe");
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_LE(std::stoi(line), 3) << "descriptor " << line << " leaked into the child";
    }
    EXPECT_GE(count, 3); // standard output and error, and the watchdog
}

} // namespace

#include "platform/Platform.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
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

TEST_F(ConsoleRunner, BareToolNamesResolveInTheWorkingFolder) {
    scratch_.Write("app/tool.bin", "#!/bin/sh\necho \"tool in $(pwd)\"\n", 0755);
    // The program's folder comes with a trailing "/"; the child still runs inside it.
    const auto result = RunConsoleCapture("tool.bin", scratch_ / "app/");
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.output, "tool in " + scratch_ / "app" + "\n");
}

TEST_F(ConsoleRunner, ChildGetsNoDescriptorOfTheProgram) {
    // Opened without close-on-exec, as a careless library might.
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 3);
    const auto result = RunConsoleCapture("ls /proc/$$/fd", scratch_.path());
    ::close(stray);
    ASSERT_TRUE(result.started);
    std::istringstream lines(result.output);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_LE(std::stoi(line), 2) << "descriptor " << line << " leaked into the child";
    }
    EXPECT_GE(count, 2); // standard output and error at least
}

} // namespace

#include "platform/Platform.h"

#include "WindowsTest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

using larkspan::platform::RunConsoleCapture;
using larkspan::test::ChildProgram;
using larkspan::test::ScratchFolder;

namespace {

class ConsoleRunnerWindows : public ::testing::Test {
protected:
    // Runs the child program by its bare name in its own folder, as the program runs its tools
    // (a command line that begins with a double quote would lose it: cmd.exe /C takes off the
    // first and last double quote of such a line).
    static larkspan::platform::ConsoleResult
    RunChild(const std::string& arguments, larkspan::platform::CommandStopper* stopper = nullptr) {
        return RunConsoleCapture("platform_test_child " + arguments,
                                 larkspan::platform::ExecutableFolder(), stopper);
    }

    ScratchFolder scratch_;
};

TEST_F(ConsoleRunnerWindows, CommandThatPrintsNothingStartedWithEmptyOutput) {
    const auto result = RunConsoleCapture("rem nothing", scratch_.path());
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.output, "");
}

TEST_F(ConsoleRunnerWindows, FailedStartIsToldApartFromSilence) {
    const auto result = RunConsoleCapture("echo never", scratch_ / "no-such-folder");
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.output, "");
}

TEST_F(ConsoleRunnerWindows, LongOutputComesBackWhole) {
    std::ostringstream expected;
    for (int i = 1; i <= 170000; ++i) {
        expected << i << "\r\n";
    }
    ASSERT_GT(expected.str().size(), 1000000u);
    scratch_.Write("lines.txt", expected.str());
    const auto result = RunConsoleCapture("type lines.txt", scratch_.path());
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.output.size(), expected.str().size());
    EXPECT_TRUE(result.output == expected.str()) << "the reads were not joined without gaps";
}

TEST_F(ConsoleRunnerWindows, StandardErrorAndOutputKeepTheirOrder) {
    const auto result = RunChild("streams err:one, out:two, err:three, out:four");
    EXPECT_EQ(result.output, "one,two,three,four");
}

TEST_F(ConsoleRunnerWindows, ZeroByteDropsTheRestOfItsReadOnly) {
    // 300 bytes in one write: the first read takes exactly 255 bytes, the second the other 45.
    const auto result = RunChild("bytes");
    EXPECT_EQ(result.output, std::string(10, 'A') + std::string(20, 'C'));
}

TEST_F(ConsoleRunnerWindows, MissingToolYieldsTheInterpretersReport) {
    const auto result = RunConsoleCapture("no-such-tool.bin \"x.pdf\"", scratch_.path());
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.output.empty());
}

TEST_F(ConsoleRunnerWindows, CommandTextReachesTheInterpreterUnchanged) {
    const auto result = RunChild("args \"a  b\" c\\\"d \"e f\\\\\"");
    EXPECT_EQ(result.output, "[a  b][c\"d][e f\\]");
}

TEST_F(ConsoleRunnerWindows, InterpreterRunsNoAutoRunAndNoDelayedExpansion) {
    // Wine's cmd.exe reads neither setting from the registry; Windows' does, and prints the
    // banner before the command and expands !TEMP! unless told not to.
    const larkspan::test::CommandProcessorSettings settings;
    EXPECT_EQ(RunChild("parent").output, "cmd.exe /D /V:OFF /C platform_test_child parent");
    EXPECT_EQ(RunChild("args \"a !TEMP! b\" c!TEMP!").output, "[a !TEMP! b][c!TEMP!]");
}

TEST_F(ConsoleRunnerWindows, ToolInTheWorkingFolderRunsByItsBareName) {
    // A ".bin" tool in a folder whose name lies outside any 8-bit code page; the folder comes
    // with a trailing separator, as the program's own folder does.
    const std::string folder = scratch_ / "app \xE6\x96\x87\xE4\xBB\xB6 \xCE\xA9";
    larkspan::test::CopyChildProgram(folder + "/tool.bin");
    const auto result = RunConsoleCapture("tool.bin args \"x y.pdf\"", folder + "\\");
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.output, "[x y.pdf]");
}

TEST_F(ConsoleRunnerWindows, ChildGetsTheProgramsStandardInputAndEnvironment) {
    HANDLE inputRead = nullptr;
    HANDLE inputWrite = nullptr;
    ASSERT_TRUE(::CreatePipe(&inputRead, &inputWrite, nullptr, 0));
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(inputWrite, "typed ahead\r\n", 13, &written, nullptr));
    ::CloseHandle(inputWrite);
    const HANDLE savedInput = ::GetStdHandle(STD_INPUT_HANDLE);
    ::SetStdHandle(STD_INPUT_HANDLE, inputRead);
    larkspan::test::ScopedVariable mark("LARKSPAN_RUNNER_MARK", "from the program");
    larkspan::test::ScopedVariable set("Larkspan_Runner_Set", "the program's");

    // Variables given for the child alone replace the program's of the same name, whatever
    // its letter case, as Windows compares names.
    const auto result = RunConsoleCapture(
        "platform_test_child stdin & echo %LARKSPAN_RUNNER_MARK% & "
        "echo %LARKSPAN_RUNNER_SET%^|%LARKSPAN_RUNNER_NEW% & set LARKSPAN_RUNNER_S",
        larkspan::platform::ExecutableFolder(), nullptr,
        {{"LARKSPAN_RUNNER_SET", "the child's"}, {"LARKSPAN_RUNNER_NEW", "a b=c"}});

    ::SetStdHandle(STD_INPUT_HANDLE, savedInput);
    ::CloseHandle(inputRead);
    EXPECT_EQ(result.output, "typed ahead\r\nfrom the program \r\nthe child's|a b=c \r\n"
                             "LARKSPAN_RUNNER_SET=the child's\r\n");
    EXPECT_EQ(larkspan::platform::GetEnvironment("LARKSPAN_RUNNER_SET"), "the program's");
    EXPECT_EQ(larkspan::platform::GetEnvironment("LARKSPAN_RUNNER_NEW"), "");
}

TEST_F(ConsoleRunnerWindows, StopEndsTheCommandAndEveryProcessItStarted) {
    larkspan::platform::CommandStopper stopper;
    const std::string pidFile = scratch_ / "grandchild.pid";
    std::thread stopLater([&] {
        // Stopped once the command has started a process of its own, which holds the output.
        larkspan::test::AwaitFile(pidFile, std::chrono::seconds(10));
        stopper.Stop();
    });
    const auto begin = std::chrono::steady_clock::now();
    const auto result = RunChild("tree \"" + pidFile + "\"", &stopper);
    const auto took = std::chrono::steady_clock::now() - begin;
    stopLater.join();

    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.stopped);
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_EQ(result.output.find("never"), std::string::npos);
    const std::string pid = larkspan::test::ReadWholeFile(pidFile);
    ASSERT_FALSE(pid.empty());
    EXPECT_TRUE(larkspan::test::ProcessEnded(static_cast<DWORD>(std::stoul(pid))))
        << "the command's own child survived the stop";

    // A stop asked for before the start ends the command as soon as it runs.
    larkspan::platform::CommandStopper early;
    early.Stop();
    const auto stoppedEarly = RunChild("sleep 30000", &early);
    EXPECT_TRUE(stoppedEarly.started);
    EXPECT_TRUE(stoppedEarly.stopped);
}

// The ids in a "nested" child's pid file: the tool's and its helper's.
std::vector<DWORD> NestedIds(const std::string& pidFile) {
    std::istringstream ids(larkspan::test::ReadWholeFile(pidFile));
    std::vector<DWORD> found;
    for (DWORD id = 0; ids >> id;) {
        found.push_back(id);
    }
    return found;
}

TEST_F(ConsoleRunnerWindows, StopReturnsOnlyOnceTheToolsHelpersHaveEndedToo) {
    // A tool's helper runs in a job of the tool's own with pipes of its own, as textract.bin
    // runs the OCR engine: the command's output ends before the helper does.
    larkspan::platform::CommandStopper stopper;
    const std::string pidFile = scratch_ / "nested.pid";
    std::thread stopLater([&] {
        larkspan::test::AwaitFile(pidFile);
        stopper.Stop();
    });
    const auto result = RunChild("nested \"" + pidFile + "\"", &stopper);
    stopLater.join();
    ASSERT_TRUE(result.stopped);
    const std::vector<DWORD> ids = NestedIds(pidFile);
    ASSERT_EQ(ids.size(), 2u);
    for (const DWORD id : ids) {
        EXPECT_TRUE(larkspan::test::ProcessEnded(id, 0)) << "process " << id << " still runs";
    }
}

TEST_F(ConsoleRunnerWindows, StopReturnsOnlyWhenNoProcessOfTheCommandHoldsItsOutput) {
    // The tool writes its output file with its console output closed, so the pipe ends as soon
    // as cmd.exe has gone, while on Windows the tool may still be on its way out holding the
    // file. (Wine's server lets go of a terminated process's handles at once.)
    const std::string output = scratch_ / "out.txt";
    const std::string marker = scratch_ / "holding";
    larkspan::platform::CommandStopper stopper;
    std::thread stopLater([&] {
        larkspan::test::AwaitFile(marker);
        stopper.Stop();
    });
    const auto result = RunChild("hold \"" + output + "\" \"" + marker + "\"", &stopper);
    stopLater.join();
    ASSERT_TRUE(result.stopped);
    // What the extraction job does next: the partial output goes at once.
    const std::wstring wide = larkspan::platform::win32::Widen(output);
    EXPECT_TRUE(::DeleteFileW(wide.c_str())) << "still held open: error " << ::GetLastError();
    EXPECT_EQ(::GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ConsoleRunnerWindows, ChildInheritsNoOtherHandleOfTheProgram) {
    // An inheritable handle of the program's, as careless code elsewhere may leave one, and as
    // another run's copy of its pipe for its own child is at the moment that child starts.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
    const std::string marker = scratch_ / "running";
    std::thread run([&] { RunChild("sleep 3000 \"" + marker + "\""); });
    const bool running = larkspan::test::AwaitFile(marker);

    // End-of-data comes at once, unless the command holds a copy of the write end.
    ::CloseHandle(writeEnd);
    const auto begin = std::chrono::steady_clock::now();
    char byte = 0;
    DWORD count = 0;
    ::ReadFile(readEnd, &byte, 1, &count, nullptr);
    const auto took = std::chrono::steady_clock::now() - begin;
    run.join();
    ::CloseHandle(readEnd);
    ASSERT_TRUE(running);
    EXPECT_LT(took, std::chrono::milliseconds(1500)) << "the command inherited the handle";
}

} // namespace

// The command texts of both tools, run through the real /bin/sh: whatever a path or password
// holds reaches the tool as one argument and never runs as a command.

#include "core/extraction/ExtractCommand.h"
#include "core/extraction/ProbeLogic.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace larkspan;
namespace fs = std::filesystem;

namespace {

using Args = std::vector<std::string>;

// A folder under TMPDIR holding stand-ins for both tools that print each argument they receive
// followed by a NUL byte, so the arguments come back exactly as the tool saw them.
class ShellRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/quoting-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        for (const char* tool : {"textract.bin", "pdfi.bin"}) {
            const fs::path script = folder_ / tool;
            std::ofstream(script) << "#!/bin/sh\nprintf '%s\\0' \"$@\"\n";
            fs::permissions(script, fs::perms::owner_all);
        }
    }

    void TearDown() override { fs::remove_all(folder_); }

    // Runs `command` as /bin/sh -c does for the program: in the tools' folder, with that folder
    // first on PATH. Returns the arguments the tool printed.
    Args Run(const std::string& command) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        const std::string pathVariable = "PATH=" + folder_.string() + ":/usr/bin:/bin";
        char* const environment[] = {const_cast<char*>(pathVariable.c_str()), nullptr};
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            if (chdir(folder_.c_str()) == 0) {
                execle("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr),
                       environment);
            }
            _exit(127);
        }
        close(fds[1]);
        std::string output;
        char buffer[4096];
        ssize_t count;
        while ((count = read(fds[0], buffer, sizeof buffer)) > 0) {
            output.append(buffer, static_cast<std::size_t>(count));
        }
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
        Args args;
        for (std::size_t start = 0, end; (end = output.find('\0', start)) != std::string::npos;
             start = end + 1) {
            args.push_back(output.substr(start, end - start));
        }
        return args;
    }

    // Only the two tools: nothing that a hostile name tried to run has left a file behind.
    void ExpectNothingRan() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"pdfi.bin", "textract.bin"}));
    }

    fs::path folder_;
};

const std::vector<std::string> kHostilePaths = {
    "$(touch pwned).pdf",      "a`touch pwned`b.pdf",           "say \"hi\"; touch pwned.pdf",
    "back\\slash\\.pdf",       "ends in backslash\\",           "$HOME and ${PATH}.pdf",
    "it's; touch pwned &.pdf", "line\nbreak | touch pwned.pdf", "* ?.pdf",
};

const std::vector<std::string> kHostilePasswords = {
    "pass word", "it's", "''", "\"", "$(touch pwned)", "`touch pwned`", "a;touch pwned",
    "&|<>^%",    "\\",   "*",  "~",  "#comment",       "tab\there",     "new\nline",
    "-f 1",
};

} // namespace

TEST_F(ShellRoundTrip, HostilePathsReachTheExtractorIntactAndNothingRuns) {
    for (const std::string& path : kHostilePaths) {
        EXPECT_EQ(
            Run(BuildExtractCommand(true, false, "3", "", "", path, path + ".txt")),
            (Args{"-enc", "UTF-8", "-eol", "dos", "-layout", "-nopgbrk", path, path + ".txt"}))
            << "path: " << path;
    }
    ExpectNothingRan();
}

TEST_F(ShellRoundTrip, HostilePasswordsReachBothToolsAsOneArgument) {
    for (const std::string& password : kHostilePasswords) {
        EXPECT_EQ(Run(BuildExtractCommand(false, true, "3", "2-3", password, "in.pdf", "o.txt")),
                  (Args{"-enc", "UTF-8", "-eol", "dos", "-raw", "-f", "2", "-l", "3", "-upw",
                        password, "in.pdf", "o.txt"}))
            << "password: " << password;
        EXPECT_EQ(Run(BuildProbeCommand(password, "$(touch pwned).pdf")),
                  (Args{"-upw", password, "$(touch pwned).pdf"}))
            << "password: " << password;
    }
    ExpectNothingRan();
}

TEST_F(ShellRoundTrip, HarmlessPasswordIsOneArgumentAsTyped) {
    EXPECT_EQ(Run(BuildProbeCommand("p@ss-w.rd:1,2+3%=/\xc3\xb6", "a.pdf")),
              (Args{"-upw", "p@ss-w.rd:1,2+3%=/\xc3\xb6", "a.pdf"}));
    EXPECT_EQ(Run(BuildProbeCommand("", "a.pdf")), (Args{"a.pdf"}));
}

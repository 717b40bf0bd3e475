// Quoting for /bin/sh: whatever the password and the paths hold, the shell must see each of
// them as one argument equal to it, and expand or run nothing. Checked twice: against a model
// of the POSIX word rules (quick, and it names the byte that goes wrong), and by letting the
// real /bin/sh print the arguments of the extractor's and the probe's command lines.
// Byte 0 steers the switches; the rest is cut at NUL bytes into password, input and output.

#include "FuzzCheck.h"
#include "core/extraction/ExtractCommand.h"
#include "core/extraction/ProbeLogic.h"
#include "core/extraction/ShellQuoting.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace larkspan;

namespace {

// The words /bin/sh makes of `command`, or nothing when it would expand, glob, redirect or run
// something (an unquoted "$", "`", "*", ";", ...), or a quote is left open.
std::optional<std::vector<std::string>> ShellWords(std::string_view command) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
            continue;
        }
        if (!inWord && (c == '#' || c == '~')) {
            return std::nullopt; // a comment or a home-folder expansion
        }
        inWord = true;
        if (c == '\'') {
            const auto close = command.find('\'', i + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            word.append(command.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i == command.size()) {
                    return std::nullopt;
                }
                const char d = command[i];
                if (d == '"') {
                    break;
                }
                if (d == '$' || d == '`') {
                    return std::nullopt;
                }
                if (d == '\\' && i + 1 < command.size() &&
                    std::string_view("$`\"\\\n").find(command[i + 1]) != std::string_view::npos) {
                    ++i;
                    if (command[i] != '\n') {
                        word += command[i];
                    }
                    continue;
                }
                word += d;
            }
        } else if (c == '\\') {
            if (i + 1 == command.size()) {
                return std::nullopt;
            }
            ++i;
            if (command[i] != '\n') {
                word += command[i];
            }
        } else if (std::string_view("|&;<>()$`*?[").find(c) != std::string_view::npos) {
            return std::nullopt;
        } else {
            word += c;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

// Runs `command` with its first word replaced by printf, which prints each argument followed
// by a NUL byte; returns the arguments, or nothing when the shell failed.
std::optional<std::vector<std::string>> RealShellWords(std::string_view command) {
    const auto firstBlank = command.find(' ');
    std::string script = "printf '%s\\0'" + std::string(command.substr(firstBlank));
    int out[2];
    if (pipe(out) != 0) {
        return std::nullopt;
    }
    // posix_spawn, not fork: copying the address space of a sanitized process costs far more
    // than the shell itself.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::string shArg = "sh", cArg = "-c";
    char* argv[] = {shArg.data(), cArg.data(), script.data(), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawn(&child, "/bin/sh", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        close(out[0]);
        close(out[1]);
        return std::nullopt;
    }
    close(out[1]);
    std::string printed;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        printed.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    std::vector<std::string> words;
    for (std::size_t start = 0; start < printed.size();) {
        const auto nul = printed.find('\0', start);
        FUZZ_CHECK(nul != std::string::npos);
        words.push_back(printed.substr(start, nul - start));
        start = nul + 1;
    }
    return words;
}

void CheckCommand(const std::string& command, const std::vector<std::string>& expected,
                  bool withRealShell) {
    const auto model = ShellWords(command);
    FUZZ_CHECK(model.has_value());
    FUZZ_CHECK(*model == expected);
    if (!withRealShell) {
        return;
    }
    const auto real = RealShellWords(command);
    FUZZ_CHECK(real.has_value());
    // printf stands where the program's name stood.
    FUZZ_CHECK(std::vector<std::string>(expected.begin() + 1, expected.end()) == *real);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The real shell costs a process start, so it checks the model on one input in eight
    // (chosen by the bytes, so a run can be repeated); the model checks every input.
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    const bool withRealShell = hash % 8 == 0;

    larkspan::fuzz::Input input(data, size);
    const std::uint8_t switches = input.Byte();
    const std::string password(input.Part('\0'));
    const std::string inputPath(input.Part('\0'));
    const std::string outputPath(input.Part('\0'));

    const std::string quotedPassword = QuotePassword(password, CommandInterpreter::PosixShell);
    if (!password.empty()) {
        FUZZ_CHECK(ShellWords(quotedPassword) == std::vector<std::string>{password});
    }
    const std::string quotedPath = QuotePath(inputPath, CommandInterpreter::PosixShell);
    FUZZ_CHECK(ShellWords(quotedPath) == std::vector<std::string>{inputPath});

    const bool layout = (switches & 1) != 0;
    const bool pageBreaks = (switches & 2) != 0;
    std::vector<std::string> expected = {"textract.bin", "-enc", "UTF-8",
                                         "-eol",         "dos",  layout ? "-layout" : "-raw"};
    if (!pageBreaks) {
        expected.emplace_back("-nopgbrk");
    }
    expected.insert(expected.end(), {"-f", "2", "-l", "3"});
    if (!password.empty()) {
        expected.insert(expected.end(), {"-upw", password});
    }
    expected.insert(expected.end(), {inputPath, outputPath});
    CheckCommand(
        BuildExtractCommand(layout, pageBreaks, "5", "2-3", password, inputPath, outputPath),
        expected, withRealShell);

    std::vector<std::string> probe = {"pdfi.bin"};
    if (!password.empty()) {
        probe.insert(probe.end(), {"-upw", password});
    }
    probe.push_back(inputPath);
    CheckCommand(BuildProbeCommand(password, inputPath), probe, withRealShell);
    return 0;
}

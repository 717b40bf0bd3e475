#pragma once

// The platform layer's decisions as plain functions of plain values, so that they are written
// once and tested without touching the system: which folder is the temporary folder, where a
// child looks for a bare tool name, which configuration folders are searched, what a console
// read keeps.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace larkspan::platform::policy {

// The first candidate that is set and not empty, else `fallback`; trailing separators are cut,
// but a lone root separator stays.
std::string ChooseTemporaryFolder(const std::vector<std::optional<std::string>>& candidates,
                                  std::string fallback, char separator);

// PATH for the child that runs a tool command line. The working folder is searched first, as
// cmd.exe searches its current folder: written as the relative entry ".", since the child runs
// in that folder and a folder's own path may hold the list separator ":" and would be split.
// Without an inherited PATH the shell's default folders follow.
std::string ToolSearchPath(const std::optional<std::string>& inheritedPath,
                           std::string_view defaultPath);

// The system configuration folders of the XDG base-directory rules: the ":"-separated list, or
// /etc/xdg when it is unset or empty. Relative entries are dropped: they would depend on the
// current folder of whoever started the program.
std::vector<std::string> XdgConfigFolders(const std::optional<std::string>& variable);

// Waits with `waitFor` (given the milliseconds to wait; true once the wait is over) in slices
// of `sliceMs`, calling `between` after each slice that ends without it, so that a cancel can be
// noticed; a `timeoutMs` above 0 also counts the time spent in `between`. False when it ran out.
bool WaitInSlices(int timeoutMs, int sliceMs, const std::function<bool(int ms)>& waitFor,
                  const std::function<void()>& between);

// A vendor or product name that can become part of a path or registry key: not empty, no
// separator of either kind, not "." or "..".
bool IsPlainName(std::string_view name);

// The command line that CreateProcess hands a program, written so that the Microsoft C
// runtime splits it back into exactly `argv`. An argument without blank, tab, line break or
// double quote goes in as it is; any other, and an empty one, goes in double quotes, with each
// double quote written as \" and the backslashes just before a double quote, or before the
// closing quote, doubled (elsewhere backslashes are plain). The program name is split by
// simpler rules, under which backslashes are always plain: it is put in quotes whole when it
// holds a blank or tab (a Windows file name cannot hold a double quote).
std::string WindowsCommandLine(const std::vector<std::string>& argv);

// The entries ("NAME=value") of a child's environment: `inherited` with `added` set on top.
// Inherited entries of an added name are left out (names compared ignoring ASCII case where the
// system does, as on Windows) and the added ones follow in order. An entry's name ends at the
// first "=" after its first character: Windows keeps entries such as "=C:=C:\work".
template <class String>
std::vector<String> EnvironmentWith(std::vector<String> inherited,
                                    const std::vector<std::pair<String, String>>& added,
                                    bool namesIgnoreCase) {
    const auto sameName = [namesIgnoreCase](const String& entry, const String& name) {
        const auto equals = entry.find(typename String::value_type('='), 1);
        if (equals == String::npos || equals != name.size()) {
            return false;
        }
        for (std::size_t i = 0; i < equals; ++i) {
            auto a = entry[i];
            auto b = name[i];
            if (namesIgnoreCase) {
                a = (a >= 'a' && a <= 'z') ? static_cast<decltype(a)>(a - 'a' + 'A') : a;
                b = (b >= 'a' && b <= 'z') ? static_cast<decltype(b)>(b - 'a' + 'A') : b;
            }
            if (a != b) {
                return false;
            }
        }
        return true;
    };
    std::vector<String> entries;
    entries.reserve(inherited.size() + added.size());
    for (String& entry : inherited) {
        bool replaced = false;
        for (const auto& [name, value] : added) {
            replaced = replaced || sameName(entry, name);
        }
        if (!replaced) {
            entries.push_back(std::move(entry));
        }
    }
    for (const auto& [name, value] : added) {
        String entry = name;
        entry += typename String::value_type('=');
        entry += value;
        entries.push_back(std::move(entry));
    }
    return entries;
}
// What went wrong with a file once it is written and in place, for the user: "" when `path`
// still names the file written (`named`, `sameFile`) and it holds the `written` bytes (`size`).
// Writes to a file deleted or renamed over meanwhile succeed and go nowhere anybody will look.
std::string WrittenFileProblem(bool named, bool sameFile, std::uint64_t size,
                               std::uint64_t written);

// The name of a file being written before it is put in place (see FileWriter), made from a
// random number: ".larkspan-partial-" followed by 16 lower-case hexadecimal digits and ".tmp".
// Names of this form are the program's own, so what a killed run left can be told at the next
// start from anything else in a shared folder.
std::string PartialFileName(std::uint64_t random);
bool IsPartialFileName(std::string_view name);

// The command line that starts cmd.exe on `commandLine`. /D: the user's AutoRun commands
// (HKCU/HKLM "Software\Microsoft\Command Processor\AutoRun", which console tools like to install)
// do not run first, so no banner of theirs reaches the text the tools are judged by. /V:OFF: a
// registry setting that turns delayed expansion on cannot make "!NAME!" in a file name or
// password expand. The caller's text follows /C unchanged.
std::string WindowsInterpreterCommand(std::string_view commandLine);

// The access masks a read-only registry key is opened with, tried in this order: KEY_READ; then
// STANDARD_RIGHTS_READ with KEY_QUERY_VALUE and KEY_ENUMERATE_SUB_KEYS; then KEY_QUERY_VALUE
// alone, so a key whose rights allow no more than querying values is still read.
inline constexpr std::uint32_t kRegistryReadMasks[] = {0x20019, 0x20009, 0x0001};

// Calls `open` with each of kRegistryReadMasks in turn until one gives the status 0 (success),
// and returns that status, or the status of the last attempt when none succeeded.
std::int32_t OpenWithReadMasks(const std::function<std::int32_t(std::uint32_t mask)>& open);

// Appends one read of console output: a zero byte the child wrote ends the text of that read
// (the bytes after it, up to the end of the read, are dropped); the next read is taken whole.
void AppendConsoleRead(std::string& output, const char* data, std::size_t size);

// What a captured run keeps of its child's output as it is read (RunCaptured, RunStreamed):
// standard output goes to the sink, or without one onto `output`, up to `limit` bytes in all (0:
// no bound); standard error onto `error` up to `errorLimit` bytes, the rest dropped. The two
// streams may be taken on two threads.
class CapturedOutput {
public:
    using Sink = std::function<bool(std::string_view)>;
    CapturedOutput(std::size_t limit, const Sink* sink, std::string& output, std::string& error,
                   std::size_t errorLimit);

    // False once the child is to be ended: the piece passed the bound (what fitted was taken)
    // or the sink refused it. Nothing more is taken after that.
    bool TakeOutput(std::string_view piece);
    void TakeError(std::string_view piece);
    bool Cut() const { return cut_; }

private:
    std::size_t limit_;
    const Sink* sink_;
    std::string& output_;
    std::string& error_;
    std::size_t errorLimit_;
    std::size_t taken_ = 0;
    bool cut_ = false;
};

} // namespace larkspan::platform::policy

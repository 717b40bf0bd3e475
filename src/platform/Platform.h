#pragma once

// The operating-system facilities the program needs, declared once. Each OS has its own
// implementation folder (posix/ today); nothing above this layer calls the OS directly.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan::platform {

// ---- Single-instance guard -------------------------------------------------------------

// Held for as long as the object lives; the OS drops it when the process dies.
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
};

// Takes the per-user lock called `name`: an exclusive lock on the file `name` in
// $XDG_RUNTIME_DIR, or /tmp/<name>-<uid> without one. Programs started while it is held do not
// inherit it. Returns nullptr when another copy holds it or when the lock cannot be taken at all
// (a lock path that is not a lockable file, say): both mean "do not run".
std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name);

// ---- Installation records ---------------------------------------------------------------

// Reads `key` from the record `relativePath` (such as "Oxbeck/Larkspan.conf") found in the
// system configuration folders ($XDG_CONFIG_DIRS, else /etc/xdg), first folder first; the first
// file found is the record, even when it cannot be read. Keys count at the top level or in
// [General]. Returns the stored text unexpanded, or "" on any failure (no folder, no file,
// unreadable file, no such key, empty value).
std::string ReadInstallRecordValue(const std::string& relativePath, const std::string& key);

// ---- Desktop shell ------------------------------------------------------------------------

// Hands a URL, a "mailto:" link or a file path to the desktop's "open" action (xdg-open, found
// on PATH), fully detached: the opener inherits no descriptor and leaves no zombie. Returns at
// once; failures are not reported. Callable from any thread.
void OpenWithShell(const std::string& target);

// ---- Processes ------------------------------------------------------------------------------

struct ConsoleResult {
    bool started = false; // false: the command interpreter could not be started at all
    std::string output;   // standard output and standard error, merged in arrival order
};

// Runs `commandLine` unchanged through the system command interpreter (/bin/sh -c) with
// `workingFolder` as the current folder and also first on the child's PATH, so that bare tool
// names resolve there as they do in cmd.exe's current folder. The child gets the program's own
// standard input and environment and no other descriptor of the program. Waits until the output
// has ended and the interpreter has exited; never kills the child. Each read takes at most 255
// bytes, and a zero byte in the output drops the rest of the read it arrived in. `started` is
// false when the interpreter could not be started (including a missing working folder).
ConsoleResult RunConsoleCapture(const std::string& commandLine, const std::string& workingFolder);

struct CapturedRun {
    bool started = false;
    int exitCode = -1;      // the child's exit status; 128 + signal number when it was killed
    std::string startError; // why it could not be started, when !started: the system's text,
                            // such as "No such file or directory"
    std::string standardOutput;
    std::string standardError;
};

// Runs a program directly (no shell) with the given arguments (argv[0] included), collecting
// its standard output and standard error apart, and waits for its end. A program without "/"
// is looked up on PATH. The child gets the caller's standard input and environment and no other
// descriptor of the caller. A program that cannot be started (missing, not executable) gives
// started = false, never an exit status.
CapturedRun RunCaptured(const std::vector<std::string>& argv);

// ---- Files and environment ------------------------------------------------------------------

bool RegularFileExists(const std::string& path); // a folder does not count
bool FolderExists(const std::string& path);
void DeleteFileQuietly(const std::string& path); // failures ignored

// Creates or replaces `path` with `data` without following a symbolic link at that path (a link
// there is replaced, its target left alone). The file is readable and writable by the user only.
// Returns false (with `error` filled, such as "Cannot create file \"<path>\". <reason>") when
// the file cannot be written; a partly written file is never left at `path`.
bool WriteFileNoFollow(const std::string& path, const std::string& data, std::string& error);
// The same with the data in pieces, written one after another (a downloaded body's blocks,
// saved without joining them into one more copy in memory).
bool WriteFileNoFollow(const std::string& path, std::span<const std::string_view> pieces,
                       std::string& error);

// "" when the variable is not set.
std::string GetEnvironment(const std::string& name);

// Folder of the running executable, with a trailing "/"; "" when it cannot be determined.
std::string ExecutableFolder();

// Folder for temporary files: $TEMP, else $TMPDIR, else /tmp (no trailing "/").
std::string TemporaryFolder();

// ---- Network --------------------------------------------------------------------------------

} // namespace larkspan::platform

namespace larkspan::online {
class Connection; // online/Transport.h: the byte pipe the HTTP client reads and writes
} // namespace larkspan::online

namespace larkspan::platform {

// Opens a TCP connection for the HTTP client; it matches online::Connector, so a client is
// made with `online::TIdHTTP http(platform::ConnectTcp)`. `host` is resolved to IPv4:
// "localhost" in any letter case is 127.0.0.1, a dotted address is used as it is, any other name
// takes the first address found. Waits at most timeoutMs (0 or less: no limit) for the
// connection. Failures throw online::EIdSocketError ("Socket Error # <errno>\r\n<text>", for
// example "Connection refused."); a connect that runs out of time reports ETIMEDOUT.
std::unique_ptr<online::Connection> ConnectTcp(const std::string& host, std::uint16_t port,
                                               int timeoutMs);

} // namespace larkspan::platform

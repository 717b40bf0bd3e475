#pragma once

// The operating-system facilities the program needs, declared once. What is policy (the order
// in which places are searched, which variable wins, how a bare tool name is found) is written
// once in Platform.cpp on top of a few primitives per OS (Primitives.h); each OS folder (posix/,
// win32/) holds only system calls. Nothing above this layer calls the OS directly. Text is UTF-8
// throughout, file names included; the Windows layer converts it at every system call.

#include "core/extraction/ShellQuoting.h"
#include "core/online/Transport.h"
#include "platform/RecordWriter.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace larkspan::platform {

// ---- Single-instance guard -------------------------------------------------------------

// Held for as long as the object lives; the OS drops it when the process dies.
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
};

// Takes the per-user lock called `name` (POSIX: an exclusive lock on the file `name` in
// $XDG_RUNTIME_DIR, or /tmp/<name>-<uid> without one; Windows: the named mutex `name` in the
// logon session's namespace). Programs started while it is held do not inherit it. Returns
// nullptr when another copy holds it or when the lock cannot be taken at all (a lock path that
// is not a lockable file, a name taken by another kind of object): both mean "do not run".
std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name);

// ---- Installation records ---------------------------------------------------------------

// Reads `key` from the installation record of `product` by `vendor` (POSIX: the INI file
// "<vendor>/<product>.conf" in the system configuration folders, $XDG_CONFIG_DIRS else /etc/xdg,
// first folder first; Windows: the value `key` of HKEY_LOCAL_MACHINE\Software\<vendor>\<product>,
// REG_SZ or REG_EXPAND_SZ, up to its first NUL, in the registry views of `writer`, each key
// opened read-only with the access masks of policy::kRegistryReadMasks tried in turn). The first
// record found is the record, even when it cannot be read. Returns the stored text unexpanded, or
// "" on any failure (no record, unreadable record, no such key, empty value, a value of another
// type, a vendor or product name that is not a plain name).
std::string ReadInstallRecordValue(const std::string& vendor, const std::string& product,
                                   const std::string& key);

// The same, but a value that is there and is not text (a registry number, say) gives nothing
// instead of "", for a reader that must tell it from a missing value.
std::optional<std::string> ReadInstallRecordText(const std::string& vendor,
                                                 const std::string& product, const std::string& key,
                                                 RecordWriter writer = RecordWriter::OurInstaller);

// ---- Desktop shell and programs ------------------------------------------------------------

// Whether this session has a graphical display to show windows on (POSIX: $DISPLAY or
// $WAYLAND_DISPLAY names one; Windows: always, every interactive session has its desktop).
bool DisplayAvailable();

// Hands a URL, a "mailto:" link or a document to the desktop's "open" action (POSIX: xdg-open,
// found on PATH, fully detached: the opener inherits no descriptor and leaves no zombie;
// Windows: the shell's "open" verb, which also runs a program). Returns at once; failures are
// not reported. Callable from any thread. Programs are started with StartProgram instead:
// desktop openers on POSIX do not run them.
void OpenWithShell(const std::string& target);

// Starts the program file `path` (a full path) itself: no arguments, detached (it outlives
// this program and leaves no zombie), in the program's own folder; on POSIX with no shell and
// no descriptor of this program but /dev/null as its standard streams, on Windows through the
// shell's "open" verb. Returns true once the system has started it; false (with `error` set to
// the system's text, such as "Exec format error") when it could not: missing, not executable,
// not a program the system can run.
bool StartProgram(const std::string& path, std::string& error);

// ---- Processes ------------------------------------------------------------------------------

struct ConsoleResult {
    bool started = false; // false: the command interpreter could not be started at all
    bool stopped = false; // the command was ended by CommandStopper::Stop
    std::string output;   // standard output and standard error, merged in arrival order
};

// Lets another thread end a command that RunConsoleCapture runs: the command interpreter and
// every process it started (on POSIX, its process group; on Windows, its job object). Stop
// before the command has started ends it as soon as it starts. Thread-safe.
class CommandStopper {
public:
    CommandStopper() = default;
    CommandStopper(const CommandStopper&) = delete;
    CommandStopper& operator=(const CommandStopper&) = delete;

    void Stop();
    bool StopRequested() const;

    // For RunConsoleCapture: `processGroup` (a process group id, or on Windows the job
    // object's handle) runs from Attach to Detach. Attach returns false when a stop was asked
    // for already (the caller then ends the group itself).
    bool Attach(std::int64_t processGroup);
    void Detach();

private:
    mutable std::mutex mutex_;
    bool stopRequested_ = false;
    std::int64_t processGroup_ = 0; // 0: nothing running
};

// The command interpreter that RunConsoleCapture hands its command lines to, and so the quoting
// rules they are written in.
CommandInterpreter ConsoleInterpreter();

// Variables set for one child on top of the program's own environment: name and value.
using EnvironmentVariables = std::vector<std::pair<std::string, std::string>>;

// Runs `commandLine` unchanged through the system command interpreter (/bin/sh -c; Windows:
// cmd.exe /D /V:OFF /C, hidden: no AutoRun command, no delayed expansion; it takes off the first
// and last double quote of a line that begins with one) with `workingFolder` as the current folder,
// where bare tool names are found first (as cmd.exe finds them in its current folder). The child
// gets the program's own standard input and environment, with `environment` set on top for it
// alone (replacing variables of the same names), and no other descriptor or handle of the
// program but its watchdog (POSIX: kWatchdogVariable names it; see EndWithStartingProgram). Waits
// until the output has ended and the interpreter has exited, or until `stopper` ends the command
// (then until every process of the command has ended, so none holds a file the caller deletes
// next). Each read takes at most 255 bytes, and a zero byte in the output drops the rest of the
// read it arrived in. `started` is false when the interpreter could not be started (including a
// missing working folder).
ConsoleResult RunConsoleCapture(const std::string& commandLine, const std::string& workingFolder,
                                CommandStopper* stopper = nullptr,
                                const EnvironmentVariables& environment = {});

// The variable through which RunConsoleCapture tells its command where its watchdog is (POSIX:
// a descriptor; the program holds the other end while the command runs).
inline constexpr const char* kWatchdogVariable = "LARKSPAN_WATCHDOG_FD";

// For a program that RunConsoleCapture runs: ends this process, with what it started through
// RunCaptured, as soon as the program that ran the command is gone, however that ended (killed
// included). Does nothing for a process started any other way, and on Windows, where the
// command's job object ends it. Call it first, before other threads start.
void EndWithStartingProgram();

struct CapturedRun {
    bool started = false;
    int exitCode = -1;      // the child's exit status; 128 + signal number when it was killed
                            // (on Windows 1 when a bound ended it)
    std::string startError; // why it could not be started, when !started: the system's text,
                            // such as "No such file or directory"
    std::string standardOutput;
    std::string standardError; // its first kCapturedErrorBytes; the rest is read and dropped
    bool timedOut = false;     // ended because CaptureLimits::time ran out
    bool outputCut = false;    // ended because the output passed its bound or the sink refused it
};

// How much of a child's standard error a captured run keeps: enough for any message, while a
// child that floods it cannot fill the memory.
inline constexpr std::size_t kCapturedErrorBytes = 64 * 1024;

// Bounds on a captured run. Past either, the child and every process it started are ended,
// and the run says which bound it met. Zero means no bound.
struct CaptureLimits {
    std::size_t outputBytes = 0;       // standard output kept (or handed to a sink) at most
    std::chrono::milliseconds time{0}; // wall-clock time allowed
};

// Runs a program directly (no shell) with the given arguments (argv[0] included), collecting
// its standard output and standard error apart, and waits for its end. A program without "/"
// is looked up on PATH (Windows: as CreateProcessW looks up a command line's first word; the
// arguments reach the program's C runtime intact). The child gets the caller's standard input
// and environment and no other descriptor of the caller; given `standardInput`, it reads those
// bytes and then end-of-data instead (a child that stops reading early is no error of ours). A
// program that cannot be started (missing, not executable) gives started = false, never an exit
// status.
// The child runs in a process group of its own (Windows: a job object), so that a bound ends
// everything it started, and it does not outlive this program: when the thread that started it
// ends (this program killed, say), the child is killed (POSIX: the child itself, not what it
// started; Windows: the whole job). Past a bound the output read so far is kept (at most
// outputBytes) and the run ends as soon as the child is gone, without waiting for the pipes of
// processes that left the group.
CapturedRun RunCaptured(const std::vector<std::string>& argv,
                        std::optional<std::string_view> standardInput = std::nullopt,
                        const CaptureLimits& limits = {});

// Like RunCaptured, but standard output goes to `sink` piece by piece as it arrives and is not
// kept (standardOutput stays empty). A sink that returns false ends the child (outputCut set).
using OutputSink = std::function<bool(std::string_view piece)>;
CapturedRun RunStreamed(const std::vector<std::string>& argv,
                        std::optional<std::string_view> standardInput, const OutputSink& sink,
                        const CaptureLimits& limits = {});

// The program file that RunCaptured would start for `name`: a name with a folder if that file
// is there, a bare name as found on PATH (Windows: by SearchPathW, ".exe" added). "" when there
// is none, so a missing optional program can be told before anything is run.
std::string FindProgram(const std::string& name);

// Ends the program with `status` while threads of its own may still be running, once nothing is
// left to do but return from main. Windows' own exit (ExitProcess, which exit() and _exit() end
// in) first stops every other thread wherever it is and then runs each library's clean-up, which
// waits for ever on any lock that a stopped thread held: the C++ runtime's thread library holds
// one of its own while a thread starts and while it ends. So on Windows the C library's buffers
// are written out and the process ends at once, without that clean-up, and this does not return.
// POSIX runs the exit code while the other threads go on and let go of what they hold: there
// this returns, and the caller returns from main.
void EndWithThreadsRunning(int status);

// Called as the program's main window closes, before the window is hidden. Windows: output is
// written out and the process ends at once, its window still up (the system takes the window
// away): hiding a window under wine waits for a window manager to withdraw it, up to 2 s with
// none, and nothing of the toolkit's own end is needed. POSIX returns, and the program ends the
// usual way.
void EndAsTheMainWindowCloses(int status);

// ---- Files and environment ------------------------------------------------------------------

bool RegularFileExists(const std::string& path); // a folder does not count

// Why the file `path` cannot be opened for reading, in the system's words (such as "No such file
// or directory"); "" when it can be.
std::string OpenForReadingError(const std::string& path);
bool FolderExists(const std::string& path);
void DeleteFileQuietly(const std::string& path); // failures ignored

// What tells this version of a file from another at the same path: which file it is on its
// volume (device and inode; volume serial and file index), its size and the time of its last
// write. A file replaced (renamed over, deleted and made again) or written to in between gives
// another fingerprint; reading it does not, and neither does what indexers, backup tools and
// attribute changes do to a file without touching its content. "" when it is no regular file or
// cannot be examined. The text is only to be compared; every program that asks about the same
// file gets the same.
std::string FileFingerprint(const std::string& path);

// Whether the two paths name one file (the same device and inode; volume serial and file ID),
// links and ".." followed. False when either is missing.
bool SameFile(const std::string& first, const std::string& second);

// Whether something other than a regular file is at `path`, links followed: a folder, a FIFO, a
// socket, a device. False when nothing is there.
bool OtherThanFileAt(const std::string& path);

// The document of one job, opened once, so that every tool of the job reads this very file
// through ToolPath() whatever is renamed, replaced or swapped at its path meanwhile (Linux: the
// open descriptor as /proc shows it; Windows: the file held so that nobody may write, rename or
// delete it, named by its final path).
class JobDocument {
public:
    virtual ~JobDocument() = default;
    // What the tools are given to open.
    virtual const std::string& ToolPath() const = 0;
    // FileFingerprint of the file as it is now, whatever its path names meanwhile.
    virtual std::string Fingerprint() const = 0;
    // Whether `path`, links followed, names this very file.
    virtual bool IsAt(const std::string& path) const = 0;
    // Appends to a private document (CreatePrivateDocument); fails on an opened one.
    virtual bool Write(std::string_view bytes, std::string& error) = 0;
};

// The regular file at `path`, opened for reading. Nothing when it cannot be opened or is no
// regular file: the tools then open the path themselves and say what they find.
std::unique_ptr<JobDocument> OpenJobDocument(const std::string& path);

// A new, empty document in the temporary folder that only this user can read, gone once the
// object is (Linux: a file that never has a name; Windows: a partial-file name, held while it
// lives and deleted then, or by RemoveStalePartialFiles after a kill). Nothing, with the
// system's reason in `error`, when none can be made.
std::unique_ptr<JobDocument> CreatePrivateDocument(std::string& error);

// Creates a new, empty file in the temporary folder whose name begins with `prefix` and ends in
// an unguessable part, which nothing there could have taken before (POSIX: mode 0600; Windows:
// the temporary folder's access rules, the user's own) and returns its path; "" when it cannot
// be created.
std::string CreatePrivateTemporaryFile(const std::string& prefix);

// At most the last `maxBytes` bytes of the file `path`, as it stands now; "" when it is missing or
// cannot be read. Never waits: not for a writer that holds the file open (on Windows every kind
// of sharing is granted), nor for a FIFO planted at the path.
std::string ReadFileTail(const std::string& path, std::size_t maxBytes);

// True when this user may write the existing file `path` (its permissions and the file system
// allow it); false for a missing file.
bool UserCanWrite(const std::string& path);

enum class FileMode {
    UserReadWrite, // 0600: data only the user reads
    UserExecute,   // 0700: a program only the user may run
    // A document of the user's: the permissions a new file of the user's gets, or those of the
    // file it replaces (and its group, where the user may give it). An existing file the user may
    // not write is refused, as writing it would be. A device or a pipe at the path is written as
    // it stands, as any program writes one.
    Document,
};

// A file created or replaced without following a symbolic link (on Windows any reparse point)
// planted at its path: the bytes go to a fresh file beside it, which Commit moves over the path
// (a link there is replaced, its target left alone; the other names of a file replaced keep its
// old bytes). Until then the path keeps what it held. Destroyed without a Commit, or after a
// failure, the fresh file is removed: a partly written file is never left at the path. Nor is
// one left beside it when the process is killed meanwhile, where the system can see to that
// (Linux: a file without a name until Commit; Windows: a file deleted when its handle closes);
// elsewhere the fresh file has a partial-file name (policy::IsPartialFileName) that stays locked
// while it is written, for RemoveStalePartialFiles. Commit asks the file system whether all of
// it arrived: the data stored on the device, the path naming that very file with every byte
// written. Failures fill `error` with the reason, in the system's words ("No space left on
// device") or saying what happened to the file.
class FileWriter {
public:
    FileWriter();
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    bool Open(const std::string& path, FileMode mode, std::string& error);
    bool IsOpen() const;
    // Whether the bytes go to a fresh file; false for a device or pipe written as it stands.
    bool IsFreshFile() const;
    bool Write(std::string_view bytes, std::string& error);
    // Empties the fresh file, for its bytes to be written again from the start.
    bool Restart(std::string& error);
    bool Commit(std::string& error);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// "Cannot create file \"<path>\". <reason>": a failed FileWriter as the downloads report it.
std::string CannotCreateFile(const std::string& path, const std::string& reason);

// Removes from `folder` what a run killed while writing a file there left behind: files with a
// partial-file name, owned by this user, that no running program holds (POSIX: nobody holds the
// writer's lock on it; Windows: nobody has it open). Anything else stays; failures are ignored.
void RemoveStalePartialFiles(const std::string& folder);

// Removes the files of this user's in the temporary folder whose names begin with `prefix` (a
// killed run's, found at the next start while the instance lock is held, when none of them can
// be in use by a job of the user's). Links and other users' files stay; on Windows also any
// file another program still has open. Failures are ignored.
void RemoveOwnTemporaryFiles(const std::string& prefix);

// Creates or replaces `path` with the bytes of `pieces`, in order (a downloaded body's blocks are
// saved without joining them into one more copy in memory), without following a symbolic link
// (on Windows any reparse point) at that path: a link there is replaced, its target left alone.
// Returns false (with `error` filled, such as "Cannot create file \"<path>\". <reason>") when
// the file cannot be written; a partly written file is never left at `path`.
bool WriteFileNoFollow(const std::string& path, const std::vector<std::string_view>& pieces,
                       FileMode mode, std::string& error);
bool WriteFileNoFollow(const std::string& path, const std::string& data, std::string& error);

// A file that another program reads while this one appends lines to it. Opened only when it
// exists (it is the reader's file); on Windows shared, so the reader can open it meanwhile.
// Appending is best effort: the lines are news for the reader, not data.
class AppendingFile {
public:
    virtual ~AppendingFile() = default;
    virtual void Append(std::string_view bytes) = 0;
};
std::unique_ptr<AppendingFile> OpenForAppending(const std::string& path);

// "" when the variable is not set.
std::string GetEnvironment(const std::string& name);

// Sets a variable for this process and the programs it starts from then on. Call it before
// other threads start: the C library's environment is not guarded against a reader meanwhile.
void SetEnvironment(const std::string& name, const std::string& value);

// Folder of the running executable, with a trailing separator; "" when it cannot be determined.
std::string ExecutableFolder();

// The processors this process may run on, at least 1: Linux, those of its CPU affinity;
// Windows, those of its processor group in its affinity, fewer where a job caps its CPU rate.
unsigned UsableProcessors();

// Physical memory free for use now, in bytes, within a job's limit on Windows; 0 when the
// system does not tell.
std::uint64_t AvailableMemory();

// Folder for temporary files, without a trailing separator (a root keeps its own). POSIX: the
// first of $TEMP and $TMPDIR that is set, else /tmp. Windows: the system's rule (GetTempPathW:
// the first of TMP, TEMP and USERPROFILE that is set, made a full path, else the Windows folder);
// "" only when the system names none.
std::string TemporaryFolder();

// `name` in the temporary folder, joined with the OS's separator; "" when there is no temporary
// folder, so that writing there fails instead of landing somewhere else.
std::string TemporaryFile(const std::string& name);

// ---- Start-up ------------------------------------------------------------------------------

// Loads the system's font configuration ahead of the toolkit, which would otherwise load it on
// the main thread when the first text is measured (on Linux, fontconfig's configuration and
// caches: several milliseconds before the main window can be shown). Safe on any thread, at any
// time, also before the application object exists; does nothing where the toolkit needs no
// such step.
void PrepareFontConfiguration();

// The font of the system's own message boxes, where the system names one (Windows: the message
// font of SystemParametersInfoW(SPI_GETNONCLIENTMETRICS), which follows the user's display
// settings); nothing elsewhere.
struct SystemFont {
    std::string family;
    int pixelSize = 0; // the height of the characters in pixels; 0: the face's usual size
    int weight = 400;  // 100 to 900: 400 regular, 700 bold
    bool italic = false;
};
std::optional<SystemFont> MessageFont();

// ---- Network --------------------------------------------------------------------------------

// Opens a TCP connection for the HTTP client; it matches online::Connector, so a client is
// made with `online::TIdHTTP http(platform::ConnectTcp)`. `host` is resolved to IPv4:
// "localhost" in any letter case is 127.0.0.1, a dotted address is used as it is, any other name
// takes the first address found. Waits at most timeoutMs (0 or less: no limit) for the
// connection. Failures throw online::EIdSocketError ("Socket Error # <errno>\r\n<text>", for
// example "Connection refused."; on Windows the Winsock error number); a connect that runs out
// of time reports ETIMEDOUT (WSAETIMEDOUT). `wait`, when set, is called every
// online::kWaitSliceMs while the connection is being made (not while the name is resolved);
// what it throws gives the connection up.
std::unique_ptr<online::Connection> ConnectTcp(const std::string& host, std::uint16_t port,
                                               int timeoutMs, const online::WaitHook& wait = {});

} // namespace larkspan::platform

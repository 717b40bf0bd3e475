#pragma once

// The outside world as the program's decisions see it: a few narrow interfaces that the
// controllers are handed. The program passes implementations over the real system and the real
// dialogs (platform/SystemPorts.h and the windows); tests pass scripted stand-ins that record what
// they were asked.

#include "core/extraction/ShellQuoting.h"
#include "core/layout/MessageLayout.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace larkspan {

// Message boxes: shows `text` and returns the modal result (mrOk, mrCancel, mrYes, mrNo).
// Called on the main thread.
class MessagePort {
public:
    virtual ~MessagePort() = default;
    virtual int Show(const std::string& text, MessageKind kind, MessageButtons buttons,
                     const std::vector<std::string>& buttonsWithoutTabStop = {}) = 0;
};

// The masked one-line password question. Returns the typed text for OK (possibly empty) and
// nothing for Cancel. Called on the main thread.
class PasswordPort {
public:
    virtual ~PasswordPort() = default;
    virtual std::optional<std::string> AskPassword(const std::string& caption,
                                                   const std::string& prompt) = 0;
};

// The desktop: documents and links go to its "open" action, which reports nothing; programs
// are started directly, and whether that worked is known. Callable from any thread.
class DesktopPort {
public:
    virtual ~DesktopPort() = default;
    virtual void Open(const std::string& target) = 0;
    virtual bool StartProgram(const std::string& path) = 0;
};

// A file being written: the bytes go to a fresh file beside its path, which Commit puts in place
// (replacing, never following, whatever was there); dropped without a Commit, nothing is left.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual bool Write(std::string_view bytes, std::string& error) = 0;
    virtual bool Commit(std::string& error) = 0;
};

// Files as the decisions need them. Callable from any thread.
class FileSystemPort {
public:
    virtual ~FileSystemPort() = default;
    virtual bool FileExists(const std::string& path) = 0;   // a regular file; a folder is not one
    virtual bool UserCanWrite(const std::string& path) = 0; // false for a missing file
    // Whether the two paths name one file, links and second names followed.
    virtual bool SameFile(const std::string& first, const std::string& second) = 0;
    // Whether something other than a regular file (a folder, a FIFO, a device) is at `path`.
    virtual bool OtherThanFileAt(const std::string& path) = 0;
    virtual void DeleteFile(const std::string& path) = 0; // failures ignored
    // Starts writing `path` (see OutputFile); `executable`: a program only the user may run.
    // Nothing (and `error`) when the file cannot be created.
    virtual std::unique_ptr<OutputFile> CreateFile(const std::string& path, bool executable,
                                                   std::string& error) = 0;
    // `name` in the user's temporary folder; "" when there is none, so that creating it fails.
    virtual std::string TemporaryFile(const std::string& name) = 0;
    // Creates a new, empty file in the user's temporary folder under a fresh, unguessable name
    // that begins with `prefix`, which only the user may read and write, and returns its path;
    // "" when none can be made.
    virtual std::string CreatePrivateTemporaryFile(const std::string& prefix) = 0;
    // At most the last `maxBytes` bytes of the file, read without waiting for its writer; ""
    // when it is missing or cannot be read.
    virtual std::string ReadTail(const std::string& path, std::size_t maxBytes) = 0;
    // What tells this version of the file from another at the same path (see
    // platform::FileFingerprint); "" when it is no regular file or cannot be examined.
    virtual std::string Fingerprint(const std::string& path) = 0;
};

// The installation records that installers leave behind; "" for anything missing. The sibling's
// path throws GeneralError when its value is there but is not text.
class RecordsPort {
public:
    virtual ~RecordsPort() = default;
    virtual std::string InstalledVersion() = 0;
    virtual std::string InstalledWebsite() = 0;
    virtual std::string SiblingInstallPath() = 0;
};

// A request to stop work running on another thread. The work registers how it is ended while
// it runs; a request made before that ends it as soon as it registers. Thread-safe.
class StopRequest {
public:
    void Request();
    bool Requested() const;
    // Runs `end` now when a stop was requested already, otherwise on the request. Cleared by
    // Unregister, which the work calls before `end` becomes invalid.
    void Register(std::function<void()> end);
    void Unregister();

private:
    mutable std::mutex mutex_;
    bool requested_ = false;
    std::function<void()> end_;
};

// Variables set for one command and what it starts, on top of the program's own environment:
// name and value.
using ToolEnvironment = std::vector<std::pair<std::string, std::string>>;

// One run of a tool command line.
struct ToolRun {
    bool started = false; // false: the command interpreter could not be started
    bool stopped = false; // ended early through the StopRequest
    std::string output;   // everything it printed, standard output and error merged
};

// Runs the two tools through the command interpreter in their folder and returns what they
// printed. `stop` (optional) ends the command and everything it started; `environment` is set for
// that command alone. Callable from any thread; one run per call.
class ToolRunner {
public:
    virtual ~ToolRunner() = default;
    // The interpreter the command lines go to, whose quoting rules they must follow.
    virtual CommandInterpreter Interpreter() const = 0;
    virtual ToolRun Run(const std::string& commandLine, const std::string& workingFolder,
                        StopRequest* stop = nullptr, const ToolEnvironment& environment = {}) = 0;
};

} // namespace larkspan

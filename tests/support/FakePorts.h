#pragma once

// Stand-ins for the ports of core/ports/Ports.h, for unit tests of the controllers: scripted
// answers, a tool runner that keeps the exact command lines it was given, files in memory, and a
// desktop that records what it was handed. No widget, no process, no file is touched.

#include "core/ports/Ports.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace larkspan::testing {

struct ShownMessage {
    std::string text;
    MessageKind kind;
    MessageButtons buttons;
};

// Answers from a queue; a box beyond it is a failure and answers mrCancel.
class ScriptedMessagePort final : public MessagePort {
public:
    explicit ScriptedMessagePort(std::deque<int> answers = {}) : answers_(std::move(answers)) {}
    ~ScriptedMessagePort() override { EXPECT_TRUE(answers_.empty()) << "unused answers"; }

    int Show(const std::string& text, MessageKind kind, MessageButtons buttons,
             const std::vector<std::string>&) override {
        shown.push_back({text, kind, buttons});
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected message box: " << text;
            return mrCancel;
        }
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    std::vector<ShownMessage> shown;

private:
    std::deque<int> answers_;
};

// The password question: each entry answers one question (nothing for Cancel).
class ScriptedPasswordPort final : public PasswordPort {
public:
    explicit ScriptedPasswordPort(std::deque<std::optional<std::string>> answers = {})
        : answers_(std::move(answers)) {}

    std::optional<std::string> AskPassword(const std::string&, const std::string&) override {
        ++asked;
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected password question";
            return std::nullopt;
        }
        auto answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    int asked = 0;

private:
    std::deque<std::optional<std::string>> answers_;
};

// Prints the scripted outputs in order and keeps every command line and folder it was given.
// With `runUntilStopped` a run lasts until its StopRequest ends it, like an extractor working
// on a long document.
class RecordingToolRunner final : public ToolRunner {
public:
    explicit RecordingToolRunner(std::deque<std::string> outputs = {})
        : outputs_(std::move(outputs)) {}

    CommandInterpreter Interpreter() const override { return CommandInterpreter::PosixShell; }

    ToolRun Run(const std::string& commandLine, const std::string& workingFolder, StopRequest* stop,
                const ToolEnvironment& environment) override {
        std::unique_lock lock(mutex_);
        commands.push_back(commandLine);
        folders.push_back(workingFolder);
        environments.push_back(environment);
        if (duringRun) {
            duringRun(environment);
        }
        if (runUntilStopped) {
            if (stop == nullptr) {
                ADD_FAILURE() << "a run that only a stop ends was given no StopRequest";
                return {true, false, {}};
            }
            running_ = true;
            changed_.notify_all();
            lock.unlock();
            stop->Register([this] {
                const std::lock_guard inner(mutex_);
                ended_ = true;
                changed_.notify_all();
            });
            lock.lock();
            changed_.wait(lock, [this] { return ended_; });
            lock.unlock();
            stop->Unregister();
            return {true, true, "Killed\n"};
        }
        if (outputs_.empty()) {
            return {true, false, {}};
        }
        std::string output = outputs_.front();
        outputs_.pop_front();
        return {true, false, output};
    }

    // Waits until a run that only a stop ends has begun.
    void AwaitRunning() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return running_; });
    }

    bool runUntilStopped = false;
    std::vector<std::string> commands;
    std::vector<std::string> folders;
    std::vector<ToolEnvironment> environments;
    // Runs while the tool "runs", with the variables it was given.
    std::function<void(const ToolEnvironment&)> duringRun;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool running_ = false;
    bool ended_ = false;
    std::deque<std::string> outputs_;
};

// Files in memory: path -> contents, and whether the user may write it.
class MemoryFiles final : public FileSystemPort {
public:
    struct File {
        std::string contents;
        bool writable = true;
        bool executable = false;
    };

    bool FileExists(const std::string& path) override { return files.count(path) != 0; }
    bool UserCanWrite(const std::string& path) override {
        return FileExists(path) && files[path].writable;
    }
    bool SameFile(const std::string& first, const std::string& second) override {
        const auto name = [this](const std::string& path) {
            const auto alias = aliases.find(path);
            return alias != aliases.end() ? alias->second : path;
        };
        return FileExists(name(first)) && name(first) == name(second);
    }
    bool OtherThanFileAt(const std::string& path) override { return nonFiles.count(path) != 0; }
    void DeleteFile(const std::string& path) override {
        deleted.push_back(path);
        files.erase(path);
    }
    // Written files appear at their path only once committed.
    std::unique_ptr<OutputFile> CreateFile(const std::string& path, bool executable,
                                           std::string& error) override {
        if (refuseWrites) {
            error = "Cannot create file \"" + path + "\". Permission denied";
            return nullptr;
        }
        return std::make_unique<Output>(*this, path, executable);
    }
    std::string TemporaryFile(const std::string& name) override { return "/temp/" + name; }
    // Numbered in order: "/temp/<prefix>1", "/temp/<prefix>2", ...
    std::string CreatePrivateTemporaryFile(const std::string& prefix) override {
        if (refuseWrites) {
            return {};
        }
        const std::string path = TemporaryFile(prefix + std::to_string(++created));
        files[path] = {};
        return path;
    }
    std::string ReadTail(const std::string& path, std::size_t maxBytes) override {
        const auto file = files.find(path);
        if (file == files.end()) {
            return {};
        }
        const std::string& bytes = file->second.contents;
        return bytes.substr(bytes.size() > maxBytes ? bytes.size() - maxBytes : 0);
    }
    // The contents stand in for the fingerprint: a change of either is a change of both.
    std::string Fingerprint(const std::string& path) override {
        return FileExists(path) ? "fp:" + files[path].contents : std::string();
    }

    std::map<std::string, File> files;
    std::map<std::string, std::string> aliases; // a second name (a link) -> the file's name
    std::set<std::string> nonFiles;             // a folder, a FIFO or a device at these paths
    std::vector<std::string> deleted;
    bool refuseWrites = false;
    int created = 0;

private:
    class Output final : public OutputFile {
    public:
        Output(MemoryFiles& files, std::string path, bool executable)
            : files_(files), path_(std::move(path)), file_{{}, true, executable} {}
        bool Write(std::string_view bytes, std::string&) override {
            file_.contents += bytes;
            return true;
        }
        bool Commit(std::string&) override {
            files_.files[path_] = file_;
            return true;
        }

    private:
        MemoryFiles& files_;
        std::string path_;
        File file_;
    };
};

class RecordingDesktop final : public DesktopPort {
public:
    void Open(const std::string& target) override { opened.push_back(target); }
    bool StartProgram(const std::string& path) override {
        started.push_back(path);
        return startSucceeds;
    }

    bool startSucceeds = true;
    std::vector<std::string> opened;
    std::vector<std::string> started;
};

} // namespace larkspan::testing

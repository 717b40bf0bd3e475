#include "platform/SystemPorts.h"

#include "core/help/HelpTexts.h"
#include "platform/Platform.h"
#include "platform/RegistryAccess.h"

namespace larkspan::platform {

void SystemDesktop::Open(const std::string& target) {
    OpenWithShell(target);
}

bool SystemDesktop::StartProgram(const std::string& path) {
    std::string error;
    return platform::StartProgram(path, error);
}

bool SystemFiles::FileExists(const std::string& path) {
    return RegularFileExists(path);
}

bool SystemFiles::UserCanWrite(const std::string& path) {
    return platform::UserCanWrite(path);
}

bool SystemFiles::SameFile(const std::string& first, const std::string& second) {
    return platform::SameFile(first, second);
}

bool SystemFiles::OtherThanFileAt(const std::string& path) {
    return platform::OtherThanFileAt(path);
}

void SystemFiles::DeleteFile(const std::string& path) {
    DeleteFileQuietly(path);
}

namespace {

class SystemOutputFile final : public OutputFile {
public:
    bool Open(const std::string& path, bool executable, std::string& error) {
        path_ = path;
        return Report(
            file_.Open(path, executable ? FileMode::UserExecute : FileMode::UserReadWrite, error),
            error);
    }
    bool Write(std::string_view bytes, std::string& error) override {
        return Report(file_.Write(bytes, error), error);
    }
    bool Commit(std::string& error) override { return Report(file_.Commit(error), error); }

private:
    bool Report(bool done, std::string& error) const {
        if (!done) {
            error = CannotCreateFile(path_, error);
        }
        return done;
    }

    std::string path_;
    FileWriter file_;
};

} // namespace

std::unique_ptr<OutputFile> SystemFiles::CreateFile(const std::string& path, bool executable,
                                                    std::string& error) {
    auto file = std::make_unique<SystemOutputFile>();
    if (!file->Open(path, executable, error)) {
        return nullptr;
    }
    return file;
}

std::string SystemFiles::TemporaryFile(const std::string& name) {
    return platform::TemporaryFile(name);
}

std::string SystemFiles::CreatePrivateTemporaryFile(const std::string& prefix) {
    return platform::CreatePrivateTemporaryFile(prefix);
}

std::string SystemFiles::ReadTail(const std::string& path, std::size_t maxBytes) {
    return ReadFileTail(path, maxBytes);
}

std::string SystemFiles::Fingerprint(const std::string& path) {
    return FileFingerprint(path);
}

std::string SystemRecords::InstalledVersion() {
    return ReadInstallVersion(std::string(help::ProductName));
}

std::string SystemRecords::InstalledWebsite() {
    return ReadInstallWebsite(std::string(help::ProductName));
}

std::string SystemRecords::SiblingInstallPath() {
    return ReadSiblingInstallPath();
}

CommandInterpreter ConsoleTools::Interpreter() const {
    return ConsoleInterpreter();
}

ToolRun ConsoleTools::Run(const std::string& commandLine, const std::string& workingFolder,
                          StopRequest* stop, const ToolEnvironment& environment) {
    CommandStopper stopper;
    if (stop != nullptr) {
        stop->Register([&stopper] { stopper.Stop(); });
    }
    const ConsoleResult result =
        RunConsoleCapture(commandLine, workingFolder, &stopper, environment);
    if (stop != nullptr) {
        stop->Unregister();
    }
    return {result.started, result.stopped, result.output};
}

} // namespace larkspan::platform

#pragma once

// The ports of core/ports/Ports.h over the real system: the desktop, files, the installation
// records and the console runner. The program's Services hand these to the windows (with the
// message and password ports, which need the GUI); tests that must see a real effect use them
// directly.

#include "core/ports/Ports.h"

namespace larkspan::platform {

class SystemDesktop final : public DesktopPort {
public:
    void Open(const std::string& target) override;
    bool StartProgram(const std::string& path) override;
};

class SystemFiles final : public FileSystemPort {
public:
    bool FileExists(const std::string& path) override;
    bool UserCanWrite(const std::string& path) override;
    bool SameFile(const std::string& first, const std::string& second) override;
    bool OtherThanFileAt(const std::string& path) override;
    void DeleteFile(const std::string& path) override;
    std::unique_ptr<OutputFile> CreateFile(const std::string& path, bool executable,
                                           std::string& error) override;
    std::string TemporaryFile(const std::string& name) override;
    std::string CreatePrivateTemporaryFile(const std::string& prefix) override;
    std::string ReadTail(const std::string& path, std::size_t maxBytes) override;
    std::string Fingerprint(const std::string& path) override;
};

// The records of Larkspan and of its paid sibling.
class SystemRecords final : public RecordsPort {
public:
    std::string InstalledVersion() override;
    std::string InstalledWebsite() override;
    std::string SiblingInstallPath() override;
};

// The tools run through the command interpreter; a StopRequest ends the command and all it
// started.
class ConsoleTools final : public ToolRunner {
public:
    CommandInterpreter Interpreter() const override;
    ToolRun Run(const std::string& commandLine, const std::string& workingFolder, StopRequest* stop,
                const ToolEnvironment& environment) override;
};

} // namespace larkspan::platform

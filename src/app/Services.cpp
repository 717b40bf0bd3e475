// The ports over the real system, the only place above the platform layer that calls it.

#include "app/Services.h"

#include "app/MessageBox.h"
#include "extraction/PasswordInputQuery.h"
#include "help/HelpTexts.h"
#include "platform/Platform.h"
#include "shell/RegistryAccess.h"

namespace larkspan {

namespace {

class BoxMessages final : public MessagePort {
public:
    int Show(const std::string& text, MessageKind kind, MessageButtons buttons,
             const std::vector<std::string>& buttonsWithoutTabStop) override {
        return ShowCenteredMessage(text, kind, buttons, buttonsWithoutTabStop);
    }
};

class PromptPasswords final : public PasswordPort {
public:
    std::optional<std::string> AskPassword(const std::string& caption,
                                           const std::string& prompt) override {
        QString answer;
        TMyInputQuery query;
        if (!query.Execute(QString::fromStdString(caption), QString::fromStdString(prompt),
                           answer)) {
            return std::nullopt;
        }
        return answer.toStdString();
    }
};

class SystemDesktop final : public DesktopPort {
public:
    void Open(const std::string& target) override { platform::OpenWithShell(target); }
    bool StartProgram(const std::string& path) override {
        std::string error;
        return platform::StartProgram(path, error);
    }
};

class SystemFiles final : public FileSystemPort {
public:
    bool FileExists(const std::string& path) override { return platform::RegularFileExists(path); }
    bool UserCanWrite(const std::string& path) override { return platform::UserCanWrite(path); }
    void DeleteFile(const std::string& path) override { platform::DeleteFileQuietly(path); }
    bool WriteFile(const std::string& path, const std::vector<std::string_view>& pieces,
                   bool executable, std::string& error) override {
        return platform::WriteFileNoFollow(path, pieces,
                                           executable ? platform::FileMode::UserExecute
                                                      : platform::FileMode::UserReadWrite,
                                           error);
    }
    std::string TemporaryFile(const std::string& name) override {
        return platform::TemporaryFile(name);
    }
};

class SystemRecords final : public RecordsPort {
public:
    std::string InstalledVersion() override {
        return ReadInstallVersion(std::string(help::ProductName));
    }
    std::string InstalledWebsite() override {
        return ReadInstallWebsite(std::string(help::ProductName));
    }
    std::string SiblingInstallPath() override { return ReadSiblingInstallPath(); }
};

class ConsoleTools final : public ToolRunner {
public:
    CommandInterpreter Interpreter() const override { return platform::ConsoleInterpreter(); }
    ToolRun Run(const std::string& commandLine, const std::string& workingFolder,
                StopRequest* stop) override {
        platform::CommandStopper stopper;
        if (stop != nullptr) {
            stop->Register([&stopper] { stopper.Stop(); });
        }
        const platform::ConsoleResult result =
            platform::RunConsoleCapture(commandLine, workingFolder, &stopper);
        if (stop != nullptr) {
            stop->Unregister();
        }
        return {result.started, result.stopped, result.output};
    }
};

} // namespace

const Services& SystemServices() {
    static BoxMessages messages;
    static PromptPasswords passwords;
    static SystemDesktop desktop;
    static SystemFiles files;
    static SystemRecords records;
    static ConsoleTools tools;
    static const Services services{messages,
                                   passwords,
                                   desktop,
                                   files,
                                   records,
                                   tools,
                                   platform::ConnectTcp,
                                   platform::ExecutableFolder()};
    return services;
}

} // namespace larkspan

// The services over the real system: the platform layer's ports, and the GUI's own message and
// password ports. The only place above the platform layer that names it.

#include "app/SystemServices.h"

#include "gui/shell/MessageBox.h"
#include "gui/extraction/PasswordInputQuery.h"
#include "platform/Platform.h"
#include "platform/SystemPorts.h"

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

} // namespace

const Services& SystemServices() {
    static BoxMessages messages;
    static PromptPasswords passwords;
    static platform::SystemDesktop desktop;
    static platform::SystemFiles files;
    static platform::SystemRecords records;
    static platform::ConsoleTools tools;
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

#include "core/extraction/WholePassword.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace larkspan {

DocumentPasswords ReadPasswords(const std::vector<std::string>& passwordOptions) {
    DocumentPasswords passwords;
    for (std::size_t i = 0; i + 1 < passwordOptions.size(); i += 2) {
        (passwordOptions[i] == "-opw" ? passwords.owner : passwords.user) = passwordOptions[i + 1];
    }
    return passwords;
}

bool LongerThanPopplerTakes(const DocumentPasswords& passwords) {
    return passwords.owner.size() > kPopplerPasswordBytes ||
           passwords.user.size() > kPopplerPasswordBytes;
}

PdfiRequest ReadPdfiArguments(const std::vector<std::string>& arguments) {
    constexpr std::array<std::string_view, 10> kSwitches = {
        "-box",         "-meta",     "-custom",   "-js",    "-struct",
        "-struct-text", "-isodates", "-rawdates", "-dests", "-url"};
    PdfiRequest request;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool takesValue = argument == "-f" || argument == "-l" || argument == "-enc" ||
                                argument == "-opw" || argument == "-upw";
        if (takesValue) {
            if (i + 1 == arguments.size()) {
                return {};
            }
            auto& into = argument == "-opw" || argument == "-upw" ? request.passwordOptions
                                                                  : request.otherOptions;
            into.push_back(argument);
            into.push_back(arguments[++i]);
        } else if (std::find(kSwitches.begin(), kSwitches.end(), argument) != kSwitches.end()) {
            request.otherOptions.push_back(argument);
        } else if (argument.empty() || argument.front() == '-') {
            return {}; // "-" (standard input already), -v, -h, -listenc or unknown
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 1) {
        return {};
    }
    request.inputPath = files.front();
    request.understood = true;
    return request;
}

std::vector<std::string> DecryptedDocumentArguments(const std::vector<std::string>& options,
                                                    const std::string& document) {
    std::vector<std::string> arguments = options;
    arguments.push_back(document);
    return arguments;
}

std::vector<std::string> EitherPassword(const std::vector<std::string>& passwordOptions) {
    const DocumentPasswords passwords = ReadPasswords(passwordOptions);
    std::vector<std::string> options = passwordOptions;
    bool ownerGiven = false;
    for (std::size_t i = 0; i + 1 < passwordOptions.size(); i += 2) {
        ownerGiven = ownerGiven || passwordOptions[i] == "-opw";
    }
    if (!ownerGiven && !passwords.user.empty()) {
        options.insert(options.end(), {"-opw", passwords.user});
    }
    return options;
}

} // namespace larkspan

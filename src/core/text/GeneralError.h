#pragma once

#include <stdexcept>
#include <string>

namespace larkspan {

// A failure that carries a message meant for the user. Code that expects one catches it and
// either shows the text or drops it; nothing lets it escape into the event loop unhandled.
class GeneralError : public std::runtime_error {
public:
    explicit GeneralError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace larkspan

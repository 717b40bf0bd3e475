#pragma once

#include "online/HttpErrors.h"

#include <string>

namespace larkspan::testing {

// The message of the client error `f` throws, or "(no error)", so a test can compare the text
// the client reports.
template <typename F> std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const online::EIdException& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace larkspan::testing

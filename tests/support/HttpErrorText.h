#pragma once

#include "core/online/HttpErrors.h"

#include <string>

namespace larkspan::testing {

// What the client reports for the socket errors the tests provoke: the system's error number
// (errno on POSIX, the Winsock code on Windows) and its text.
#ifdef _WIN32
inline constexpr const char* kRefusedText = "Socket Error # 10061\r\nConnection refused.";
inline constexpr const char* kTimedOutText = "Socket Error # 10060\r\nConnection timed out.";
inline constexpr const char* kResetText = "Socket Error # 10054\r\nConnection reset by peer.";
#else
inline constexpr const char* kRefusedText = "Socket Error # 111\r\nConnection refused.";
inline constexpr const char* kTimedOutText = "Socket Error # 110\r\nConnection timed out.";
inline constexpr const char* kResetText = "Socket Error # 104\r\nConnection reset by peer.";
#endif

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

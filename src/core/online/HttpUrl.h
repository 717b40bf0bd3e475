#pragma once

// Splitting a request URL into the parts the client needs: protocol, host, port and target.

#include <cstdint>
#include <string>
#include <string_view>

namespace larkspan::online {

struct ParsedUrl {
    std::string protocol; // lower case: "http" or "https"
    std::string host;     // as written (may be empty for a malformed URL)
    std::uint16_t port = 80;
    std::string target; // the request target exactly as written, "/" when the URL ends at the host
    std::string path;   // the target up to a "?" (for cookie matching)
};

// Backslashes become slashes and a "#" fragment is dropped; an empty protocol means "http";
// a missing port is 80 for http and 443 for https; "user:password@" before the host is ignored.
// Throws EIdException for any other protocol or a port that is not a number from 1 to 65535.
ParsedUrl SplitUrl(std::string_view url);

} // namespace larkspan::online

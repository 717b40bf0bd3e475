#include "core/online/HttpUrl.h"

#include "core/online/HttpErrors.h"
#include "core/online/HttpText.h"
#include "core/text/TextRules.h"

#include <algorithm>

namespace larkspan::online {

ParsedUrl SplitUrl(std::string_view urlText) {
    std::string url(urlText);
    std::replace(url.begin(), url.end(), '\\', '/');
    if (const auto hash = url.find('#'); hash != std::string::npos) {
        url.resize(hash);
    }

    ParsedUrl result;
    std::string rest;
    if (const auto sep = url.find("://"); sep != std::string::npos) {
        result.protocol = LowerAscii(std::string_view(url).substr(0, sep));
        rest = url.substr(sep + 3);
    } else {
        // No "://" at all: the whole text is a path and there is no host.
        result.target = url;
    }
    if (result.protocol.empty()) {
        result.protocol = "http";
    }
    if (result.protocol != "http" && result.protocol != "https") {
        throw EIdException("Unknown Protocol");
    }

    const auto authorityEnd = rest.find_first_of("/?");
    std::string authority = rest.substr(0, authorityEnd);
    if (authorityEnd != std::string::npos) {
        result.target = rest.substr(authorityEnd);
    }
    if (const auto at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    const auto colon = authority.find(':');
    result.host = authority.substr(0, colon);
    const std::string portText = colon == std::string::npos ? "" : authority.substr(colon + 1);
    if (portText.empty()) {
        result.port = result.protocol == "https" ? 443 : 80;
    } else {
        const auto port = ParseDecimal(portText, 65535);
        if (!port || *port == 0) {
            throw EIdException("Invalid port number '" + portText + "'");
        }
        result.port = static_cast<std::uint16_t>(*port);
    }

    if (result.target.empty() || result.target.front() != '/') {
        result.target.insert(0, "/");
    }
    result.path = result.target.substr(0, result.target.find('?'));
    return result;
}

} // namespace larkspan::online

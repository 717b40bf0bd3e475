#include "core/online/HttpRequestHead.h"

#include "core/online/HttpText.h"

namespace larkspan::online {

namespace {

constexpr std::array<std::string_view, static_cast<std::size_t>(HeadField::Count)> kHeadNames = {
    "Connection",   "Content-Version", "Content-Encoding",    "Content-Language",
    "Content-Type", "Content-Length",  "Cache-control",       "Date",
    "Expires",      "Pragma",          "Proxy-Connection",    "Host",
    "Accept",       "Accept-Charset",  "Accept-Encoding",     "Accept-Language",
    "From",         "Referer",         "User-Agent",          "If-Modified-Since",
    "Range",        "Authorization",   "Proxy-Authorization", "Cookie"};

} // namespace

std::string FoldHeaderLine(std::string_view line) {
    std::string out;
    std::string rest(line);
    while (rest.size() > kFoldLength) {
        std::size_t cut = std::string::npos;
        bool atComma = false;
        // The first line keeps at most kFoldLength bytes: it ends before a blank (which then
        // starts the continuation) or after a comma (and the continuation gets a blank).
        for (std::size_t p = kFoldLength; p > 0; --p) {
            if (IsBlank(rest[p])) {
                cut = p;
                break;
            }
            if (p >= 2 && rest[p - 1] == ',') {
                cut = p;
                atComma = true;
                break;
            }
        }
        if (cut == std::string::npos) {
            break; // no place to fold: the line stays long
        }
        out += rest.substr(0, cut);
        out += "\r\n";
        rest = (atComma ? " " : "") + rest.substr(cut);
    }
    out += rest;
    return out;
}

std::string BuildRequestHead(std::string_view method, std::string_view target,
                             std::string_view version, const HeadFields& fields) {
    std::string head;
    head.reserve(512);
    head.append(method).append(" ").append(target).append(" HTTP/").append(version);
    head += "\r\n";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].empty()) {
            continue;
        }
        head += FoldHeaderLine(std::string(kHeadNames[i]) + ": " + fields[i]);
        head += "\r\n";
    }
    head += "\r\n";
    return head;
}

} // namespace larkspan::online

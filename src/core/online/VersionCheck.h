#pragma once

// The pure part of the background check: the two requests' forms and how their answers are
// judged, reading and comparing version numbers and the text of the upgrade offer.

#include <optional>
#include <string>
#include <string_view>

namespace larkspan::online {

inline constexpr char kTutorialPath[] = "/requests/getytvideoid.php";
inline constexpr char kVersionPath[] = "/requests/checkversionid.php";
// The product's number on the vendor server, as the form line of both requests.
inline constexpr char kProductFormLine[] = "product_id=10";

// "http://" + host + path. The host may carry a ":port".
std::string VendorUrl(std::string_view websiteHost, std::string_view path);

// Any answer but exactly "false" (byte for byte: "False", "false\r\n" and "" all count) means a
// tutorial video exists.
bool TutorialAvailable(std::string_view answer);

// A version text as a 32-bit float: optional spaces, an optional sign, digits with at most one
// "." among them (at least one digit), an optional exponent ("E" or "e", an optional sign,
// digits), optional spaces. Nothing for any other text ("1,4", "1.4a", "", "1.4\r\n", a tab)
// or a value beyond the float range. The same in every locale.
std::optional<float> ParseVersionNumber(std::string_view text);

// The value with the pattern "###.00": integer digits without leading zeros (none below 1), a
// ".", two decimals rounded half away from zero: 2.1 gives "2.10", 3 "3.00", 0.9 ".90".
std::string FormatVersionNumber(float value);

// "A newer Larkspan is available!\r\nVersion number: <server version>\r\n\r\nWould you like to
// upgrade now?"
std::string UpgradeMessage(float serverVersion);

// Judges the version answer against the installed version: the upgrade message when the
// server's version is the larger 32-bit value, nothing when the answer is "false" or not newer.
// An installed version or answer that is not a valid number throws GeneralError
// ("'<text>' is not a valid floating point value").
std::optional<std::string> UpgradeMessageFor(std::string_view installedVersion,
                                             std::string_view answer);

} // namespace larkspan::online

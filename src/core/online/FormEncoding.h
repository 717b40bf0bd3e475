#pragma once

// HTML form bodies ("application/x-www-form-urlencoded") as the vendor server expects them.

#include <string>
#include <string_view>
#include <vector>

namespace larkspan::online {

// Letters and digits stay, a space becomes "+", every other byte becomes "%" and two upper-case
// hexadecimal digits ("-" is %2D, "." is %2E).
std::string EncodeFormValue(std::string_view value);

// Rewrites, in place, the value of every "name=value" line with a non-empty value into its
// encoded form. Names, the "=" and lines without "=" stay as they are.
void EncodeFormLines(std::vector<std::string>& lines);

// The body of a post. The lines are joined as text, each followed by CR LF; with two or more
// lines every CR LF then becomes "&" (so the body ends in "&": a=1&b=2&). Finally bytes 0 to 32
// are trimmed from both ends, which also drops the line break of a single line.
std::string JoinFormLines(const std::vector<std::string>& lines);

} // namespace larkspan::online

#pragma once

// The command line of one extraction: the extractor's options from the user's choices, the page
// range bounded by the document's page count, the password and the two quoted paths.

#include "core/extraction/ShellQuoting.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace larkspan {

struct PageRange {
    std::int32_t first = 1; // 1-based, inclusive
    std::int32_t last = 1;
};

// Turns the trimmed, non-empty page-range text into a range of `pageCount` pages. Items are cut
// at "-" (blanks stay inside them); one item is a single page, or an open range when the text
// ends in "-"; otherwise the first two items are the bounds. A range that does not fit the
// document becomes the whole document. Throws GeneralError for an item that is not a whole
// number and "List index out of bounds (0)" for a text made only of dashes.
PageRange ParsePageRange(std::string_view trimmedText, std::int32_t pageCount);

// The pages a job takes: the range of the page-range text, or the whole document when it is
// blank. Throws GeneralError as BuildExtractCommand does.
PageRange JobPageRange(std::string_view pageCountText, std::string_view pageRangeText);

// "textract.bin -enc UTF-8 -eol dos " + options + quoted input + " " + quoted output. Throws
// GeneralError, checking the page count (even without a range, so an empty one fails) before the
// range, and the range's first item before its second.
std::string BuildExtractCommand(bool layout, bool pageBreaks, std::string_view pageCountText,
                                std::string_view pageRangeText, std::string_view password,
                                std::string_view inputPath, std::string_view outputPath,
                                CommandInterpreter interpreter = CommandInterpreter::PosixShell);

} // namespace larkspan

#include "core/extraction/ExtractCommand.h"

#include "core/text/GeneralError.h"
#include "core/text/TextRules.h"

namespace larkspan {

PageRange ParsePageRange(std::string_view trimmedText, std::int32_t pageCount) {
    PageRange range{1, pageCount};
    const std::vector<std::string> items = SplitItems("-", "", trimmedText);
    if (items.size() == 1) {
        range.first = TextToInteger(items[0]);
        // "3-" is open to the end; "3" and also "-3" are the single page.
        const bool openEnd = !trimmedText.empty() && trimmedText.back() == '-';
        range.last = openEnd ? pageCount : range.first;
    } else {
        if (items.empty()) {
            throw GeneralError("List index out of bounds (0)");
        }
        range.first = TextToInteger(items[0]);
        range.last = TextToInteger(items[1]);
    }
    // A range that does not fit is never refused: the whole document is taken instead.
    if (range.first <= 0 || range.last <= 0 || range.first > pageCount || range.last > pageCount ||
        range.first > range.last) {
        range = PageRange{1, pageCount};
    }
    return range;
}

PageRange JobPageRange(std::string_view pageCountText, std::string_view pageRangeText) {
    const std::int32_t pageCount = TextToInteger(pageCountText);
    const std::string rangeText = Trim(pageRangeText);
    return rangeText.empty() ? PageRange{1, pageCount} : ParsePageRange(rangeText, pageCount);
}

std::string BuildExtractCommand(bool layout, bool pageBreaks, std::string_view pageCountText,
                                std::string_view pageRangeText, std::string_view password,
                                std::string_view inputPath, std::string_view outputPath,
                                CommandInterpreter interpreter) {
    std::string options = layout ? "-layout " : "-raw ";
    if (!pageBreaks) {
        options += "-nopgbrk ";
    }
    const PageRange range = JobPageRange(pageCountText, pageRangeText);
    if (!Trim(pageRangeText).empty()) {
        options += "-f " + std::to_string(range.first) + " -l " + std::to_string(range.last) + " ";
    }
    if (!password.empty()) {
        options += "-upw " + QuotePassword(password, interpreter) + " ";
    }
    return "textract.bin -enc UTF-8 -eol dos " + options + QuotePath(inputPath, interpreter) + " " +
           QuotePath(outputPath, interpreter);
}

} // namespace larkspan

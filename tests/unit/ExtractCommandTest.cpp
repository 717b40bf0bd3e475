#include "core/extraction/ExtractCommand.h"
#include "core/text/GeneralError.h"

#include <gtest/gtest.h>

#include <string>

using namespace larkspan;

namespace {

const std::string kFixed = "textract.bin -enc UTF-8 -eol dos ";

// The command for a 10-page document with layout and page breaks on, no password.
std::string CommandForRange(const std::string& range, const std::string& pageCount = "10") {
    return BuildExtractCommand(true, true, pageCount, range, "", "/in.pdf", "/out.txt");
}

std::string BuildError(const std::string& pageCount, const std::string& range) {
    try {
        CommandForRange(range, pageCount);
    } catch (const GeneralError& error) {
        return error.what();
    }
    return "no error";
}

} // namespace

TEST(ExtractCommand, MatchesTheToolContractByteForByte) {
    EXPECT_EQ(BuildExtractCommand(true, true, "10", "3-7", "", "/docs/in.pdf", "/docs/out.txt"),
              kFixed + "-layout -f 3 -l 7 \"/docs/in.pdf\" \"/docs/out.txt\"");
}

TEST(ExtractCommand, KeepsTheOptionOrder) {
    EXPECT_EQ(
        BuildExtractCommand(false, false, "10", " 2-4 ", "Secret_1", "/a b/in.pdf", "/a b/out.txt"),
        kFixed + "-raw -nopgbrk -f 2 -l 4 -upw Secret_1 \"/a b/in.pdf\" \"/a b/out.txt\"");
    EXPECT_EQ(BuildExtractCommand(false, true, "10", "", "pw", "in.pdf", "out.txt"),
              kFixed + "-raw -upw pw \"in.pdf\" \"out.txt\"");
}

TEST(ExtractCommand, WindowsFormKeepsThePasswordOneArgumentThatCmdNeverRuns) {
    EXPECT_EQ(BuildExtractCommand(true, false, "5", "", "a b&c", "C:\\d\\in.pdf", "C:\\d\\o.txt",
                                  CommandInterpreter::WindowsCmd),
              kFixed + "-layout -nopgbrk -upw ^\"a b^&c^\" ^\"C:\\d\\in.pdf^\" ^\"C:\\d\\o.txt^\"");
}

TEST(PageRange, ResultsForATenPageDocument) {
    const struct {
        const char* range;
        const char* options;
    } cases[] = {
        {"", ""},
        {" \t\r\n", ""},
        {"3", "-f 3 -l 3 "},
        {"3-", "-f 3 -l 10 "},
        {"3-7", "-f 3 -l 7 "},
        {" 3-7\r\n", "-f 3 -l 7 "},
        {"-7", "-f 7 -l 7 "},
        {"3--7", "-f 3 -l 7 "},
        {"3-5-7", "-f 3 -l 5 "},
        {"1- 5", "-f 1 -l 5 "},
        {"7-3", "-f 1 -l 10 "},
        {"0-5", "-f 1 -l 10 "},
        {"5-12", "-f 1 -l 10 "},
        {"12", "-f 1 -l 10 "},
        {"-3-", "-f 3 -l 10 "},
        {"$A", "-f 10 -l 10 "},
        {"10-10", "-f 10 -l 10 "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CommandForRange(c.range),
                  kFixed + "-layout " + c.options + "\"/in.pdf\" \"/out.txt\"")
            << "range: [" << c.range << "]";
    }
}

TEST(PageRange, BlankRangeAddsNoPageOptionsWhateverThePageCount) {
    EXPECT_EQ(CommandForRange("  ", "-3"), kFixed + "-layout \"/in.pdf\" \"/out.txt\"");
}

TEST(PageRange, TheFirstFailingConversionDecidesTheMessage) {
    const char* const cases[][3] = {
        // Blanks on both sides of the dash fail on the first item.
        {"10", "1 - 5", "'1 ' is not a valid integer value"},
        {"10", "a-5", "'a' is not a valid integer value"},
        {"10", "\"3-4\"", "'\"3-4\"' is not a valid integer value"},
        {"10", "-", "List index out of bounds (0)"},
        {"10", "--", "List index out of bounds (0)"},
        // The page count first, then the first item, then the second.
        {"", "", "'' is not a valid integer value"},
        {"", "a-5", "'' is not a valid integer value"},
        {"1 0", "-", "'1 0' is not a valid integer value"},
        {"10", "a-b", "'a' is not a valid integer value"},
        {"10", "3-b", "'b' is not a valid integer value"},
        {"10", "3-5-x", "no error"}, // items after the second are ignored
    };
    for (const auto& [pageCount, range, message] : cases) {
        EXPECT_EQ(BuildError(pageCount, range), message) << pageCount << " / " << range;
    }
}

TEST(PageRange, ParsesTheTrimmedTextDirectly) {
    const PageRange open = ParsePageRange("4-", 6);
    EXPECT_EQ(open.first, 4);
    EXPECT_EQ(open.last, 6);
    const PageRange whole = ParsePageRange("0", 6);
    EXPECT_EQ(whole.first, 1);
    EXPECT_EQ(whole.last, 6);
}

#include "core/text/TextRules.h"
#include "core/layout/Arithmetic.h"
#include "core/text/GeneralError.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace larkspan;

namespace {

// The message of the GeneralError that converting `text` raises, or "no error".
std::string ConversionError(const std::string& text) {
    try {
        TextToInteger(text);
    } catch (const GeneralError& error) {
        return error.what();
    }
    return "no error";
}

using Items = std::vector<std::string>;

} // namespace

TEST(Trim, RemovesBlanksAndControlCharactersOnlyAtTheEnds) {
    EXPECT_EQ(Trim(" \t\r\n a b \x01\x1f "), "a b");
    EXPECT_EQ(Trim("\x7f"), "\x7f");          // DEL is above 32
    EXPECT_EQ(Trim("\xc3\xa9 "), "\xc3\xa9"); // UTF-8 bytes are not control characters
    EXPECT_EQ(Trim(" \r\n"), "");
}

TEST(TextToInteger, AcceptsDecimalAndEveryHexadecimalForm) {
    EXPECT_EQ(TextToInteger("12"), 12);
    EXPECT_EQ(TextToInteger("   +007"), 7);
    EXPECT_EQ(TextToInteger("-42"), -42);
    EXPECT_EQ(TextToInteger("$A"), 10);
    EXPECT_EQ(TextToInteger("x1f"), 31);
    EXPECT_EQ(TextToInteger("X1F"), 31);
    EXPECT_EQ(TextToInteger("0x10"), 16);
    EXPECT_EQ(TextToInteger("-0X10"), -16);
    EXPECT_EQ(TextToInteger("0"), 0);
    EXPECT_EQ(TextToInteger("00000000000000000000001"), 1);
}

TEST(TextToInteger, AcceptsExactlyTheSignedThirtyTwoBitRange) {
    EXPECT_EQ(TextToInteger("2147483647"), 2147483647);
    EXPECT_EQ(TextToInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(TextToInteger("$7FFFFFFF"), 2147483647);
    EXPECT_EQ(TextToInteger("-$80000000"), INT32_MIN);
    EXPECT_EQ(ConversionError("2147483648"), "'2147483648' is not a valid integer value");
    EXPECT_EQ(ConversionError("-2147483649"), "'-2147483649' is not a valid integer value");
    EXPECT_EQ(ConversionError("$80000000"), "'$80000000' is not a valid integer value");
    EXPECT_EQ(ConversionError("99999999999999999999999"),
              "'99999999999999999999999' is not a valid integer value");
}

TEST(TextToInteger, RefusesAnythingElseQuotingTheWholeText) {
    for (const std::string text : {"", " ", "+", "-", "$", "x", "0x", " 0X", "1 ", " 1 ", "\t1",
                                   "- 1", "+-1", "1a", "$G", "0x-1", "1.0", "\xc2\xb9", "1\r\n"}) {
        EXPECT_EQ(ConversionError(text), "'" + text + "' is not a valid integer value")
            << "text: [" << text << "]";
    }
}

TEST(SplitItems, CutsAtSeparatorsAndLineEndsAndDropsEmptyItems) {
    EXPECT_EQ(SplitItems("-", "", ""), Items{});
    EXPECT_EQ(SplitItems("-", "", "--"), Items{});
    EXPECT_EQ(SplitItems("-", "", "-3--7-"), (Items{"3", "7"}));
    EXPECT_EQ(SplitItems("-", "", "1 - 5"), (Items{"1 ", " 5"}));
    EXPECT_EQ(SplitItems("\r", "", "a\r\n\r\nb\nc\r"), (Items{"a", "b", "c"}));
    EXPECT_EQ(SplitItems("\r", "", "  \r\n x "), (Items{"  ", " x "}));
    EXPECT_EQ(SplitItems(",", " ", "  a b, ,c"), (Items{"a b", "c"}));
}

TEST(SplitItems, QuotesGroupUpToTheSameQuoteOrTheEnd) {
    EXPECT_EQ(SplitItems("-", "", "\"1-2\"-3"), (Items{"\"1-2\"", "3"}));
    EXPECT_EQ(SplitItems("-", "", "a'b\"-c'-d"), (Items{"a'b\"-c'", "d"}));
    EXPECT_EQ(SplitItems("\r", "", "Title: Bob's\r\nPages: 3\r\nx"),
              (Items{"Title: Bob's\r\nPages: 3\r\nx"}));
    EXPECT_EQ(SplitItems("\r", "", "it's\r\nyes'\r\nno"), (Items{"it's\r\nyes'", "no"}));
}

TEST(SplitItems, TreatsUtf8BytesAsPlainBytes) {
    EXPECT_EQ(SplitItems("-", "", "\xc3\xa9-\xe2\x82\xac"), (Items{"\xc3\xa9", "\xe2\x82\xac"}));
}

TEST(PathPieces, UseSlashAsTheOnlySeparator) {
    constexpr std::string_view posix = kPosixPathSeparators;
    EXPECT_EQ(FolderPart("/docs/Report.PDF", posix), "/docs/");
    EXPECT_EQ(NamePart("/docs/Report.PDF", posix), "Report.PDF");
    EXPECT_EQ(ExtensionOf("/docs/Report.PDF", posix), ".PDF");
    EXPECT_EQ(ExtensionOf("/docs/a.b.pdf", posix), ".pdf");
    EXPECT_EQ(ExtensionOf("/docs.pdf/readme", posix), "");
    EXPECT_EQ(ExtensionOf("C:\\docs\\x.pdf", posix), ".pdf"); // a backslash is just a character
    EXPECT_EQ(FolderPart("C:\\docs\\x.pdf", posix), "");
    EXPECT_EQ(FolderPart("name.pdf", posix), "");
    EXPECT_EQ(NamePart("/docs/", posix), "");
    EXPECT_EQ(LowerAscii("AbZ\xc3\x84"), "abz\xc3\x84");
}

TEST(PathPieces, WindowsPathsEndTheFolderAtBackslashSlashOrDriveColon) {
    constexpr std::string_view windows = kWindowsPathSeparators;
    EXPECT_EQ(FolderPart("C:\\My Docs\\Report.PDF", windows), "C:\\My Docs\\");
    EXPECT_EQ(NamePart("C:\\My Docs\\Report.PDF", windows), "Report.PDF");
    EXPECT_EQ(ExtensionOf("C:\\docs.v2\\readme", windows), "");
    EXPECT_EQ(FolderPart("C:/docs/a.pdf", windows), "C:/docs/");
    EXPECT_EQ(NamePart("D:report.pdf", windows), "report.pdf");
    EXPECT_EQ(FolderPart("\\\\server\\share\\a.pdf", windows), "\\\\server\\share\\");
}

TEST(MulDiv, RoundsHalvesAwayFromZeroLikeWin32) {
    EXPECT_EQ(MulDiv(14, 13, 8), 23); // 22.75
    EXPECT_EQ(MulDiv(5, 1, 2), 3);
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(5, -1, 2), -3);
    EXPECT_EQ(MulDiv(7, 1, 4), 2);                  // 1.75
    EXPECT_EQ(MulDiv(5, 1, 4), 1);                  // 1.25
    EXPECT_EQ(MulDiv(65536, 65536, 2), -1);         // 2^31 does not fit
    EXPECT_EQ(MulDiv(65536, 65536, 4), 1073741824); // the product exceeds 32 bits
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MulDiv(65536, 65536, 1), -1);
}

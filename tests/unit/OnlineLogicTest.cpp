// The pure rules of the online part: form bodies, the installer answer's field splitting and
// URL decoding, reading, comparing and showing version numbers, and the download window's pace.

#include "core/online/FormEncoding.h"
#include "core/online/InstallerInfo.h"
#include "core/online/ProgressPacing.h"
#include "core/online/TransferRate.h"
#include "core/online/VersionCheck.h"
#include "core/text/GeneralError.h"

#include <gtest/gtest.h>

using namespace larkspan;
using namespace larkspan::online;

namespace {

using Lines = std::vector<std::string>;

std::string FormBody(Lines lines) {
    EncodeFormLines(lines);
    return JoinFormLines(lines);
}

} // namespace

// ---- Form bodies ------------------------------------------------------------------------------

TEST(FormBody, ProductRequestIsThirteenBytes) {
    const std::string body = FormBody({"product_id=10"});
    EXPECT_EQ(body, "product_id=10");
    EXPECT_EQ(body.size(), 13u);
    EXPECT_EQ(FormBody({std::string("smartname=") + kFreeProductIdentifier}),
              "smartname=FreeLarkspan");
}

TEST(FormBody, ValuesArePercentEncodedLinesJoinedAndOuterBlanksTrimmed) {
    const std::pair<Lines, std::string> cases[] = {
        // Values are encoded, names are not.
        {{"a b=a b.c"}, "a b=a+b%2Ec"},
        {{"x=-_~\xE9/"}, "x=%2D%5F%7E%E9%2F"},
        {{"empty="}, "empty="},
        {{"noequals"}, "noequals"},
        // Two or more lines each end in an ampersand.
        {{"a=1", "b=2"}, "a=1&b=2&"},
        {{"a=1", "b=2", "c="}, "a=1&b=2&c=&"},
        {{}, ""},
        {{"  a=1"}, "a=1"},
        {{"\ta=1", "b=x "}, "a=1&b=x+&"},
        // A lookup by name would encode the first line twice and send the second one raw.
        {{"a=x y", "A=z w"}, "a=x+y&A=z+w&"},
    };
    for (const auto& [lines, body] : cases) {
        EXPECT_EQ(FormBody(lines), body) << body;
    }
    Lines lines = {"q=a b", "r=c"};
    EncodeFormLines(lines);
    EXPECT_EQ(lines, (Lines{"q=a+b", "r=c"})) << "the caller's lines are rewritten";
}

// ---- Installer answer -----------------------------------------------------------------------

TEST(DelimitedText, SplitsAtAmpersandsAndBlanksKeepingQuotedFields) {
    using V = std::vector<std::string>;
    const std::pair<std::string_view, V> cases[] = {
        {"a&b", {"a", "b"}},
        {"a b&c", {"a", "b", "c"}},
        {"a\r\nb", {"a", "b"}},
        {"a&&b", {"a", "", "b"}},
        {"&a", {"", "a"}},
        // Leading and trailing blanks add nothing; a trailing "&" adds an empty field only as
        // the last byte.
        {"  \r\n\ta&b \r\n", {"a", "b"}},
        {" \r\n ", {}},
        {"", {}},
        {"a&", {"a", ""}},
        {"a& ", {"a"}},
        // Quoted fields keep their delimiters and undouble their quotes.
        {"\"x&y z\"&w", {"x&y z", "w"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"\"\"&b", {"", "b"}},
        {"\"ab\"cd&e", {"ab", "cd", "e"}},
        {"\"open", {"open"}},
        // A NUL ends the text.
        {std::string_view("a&b\0&c", 6), {"a", "b"}},
        {std::string_view("\"a\0b\"", 5), {"a"}},
    };
    for (const auto& [text, fields] : cases) {
        EXPECT_EQ(SplitDelimitedText(text), fields) << text;
    }
}

TEST(UrlDecoding, PlusFirstThenPercentCodes) {
    EXPECT_EQ(UrlDecode("Sample+Tool"), "Sample Tool");
    EXPECT_EQ(UrlDecode("C%2B%2B+Kit"), "C++ Kit");
    EXPECT_EQ(UrlDecode("http%3A%2F%2Fhost%2fa"), "http://host/a");
    EXPECT_EQ(UrlDecode("%e9"), "\xE9");
}

TEST(UrlDecoding, MalformedCodes) {
    EXPECT_EQ(UrlDecode("a%00b"), "ab");
    EXPECT_EQ(UrlDecode("a%zzb"), "ab");
    EXPECT_EQ(UrlDecode("a%4"), "a\x04");
    EXPECT_EQ(UrlDecode("a%"), "a");
    EXPECT_EQ(UrlDecode("%g"), "");
}

TEST(InstallerAnswer, FalseOrEmptyIsUnusable) {
    for (const char* answer : {"false", ""}) {
        const auto info = ParseInstallerInfo(answer);
        EXPECT_EQ(info.state, 2) << answer;
        EXPECT_EQ(info.caption, "") << answer;
    }
    const auto blanks = ParseInstallerInfo(" \r\n ");
    EXPECT_EQ(blanks.state, 2);
    EXPECT_EQ(blanks.caption, "");
}

TEST(InstallerAnswer, NameAndUrlAreDecoded) {
    const auto info = ParseInstallerInfo(
        "product=Sample+Tool&installer=http%3A%2F%2F127.0.0.1%3A8080%2Fget%2Fa+b%2Bc.bin");
    EXPECT_EQ(info.state, 0);
    EXPECT_EQ(info.caption, "Sample Tool Setup");
    EXPECT_EQ(info.url, "http://127.0.0.1:8080/get/a b+c.bin");
}

TEST(InstallerAnswer, EncodedPlusInTheNameAlsoBecomesABlank) {
    EXPECT_EQ(ParseInstallerInfo("12345678C%2B%2B+Kit&1234567890u").caption, "C   Kit Setup");
}

TEST(InstallerAnswer, OneFieldSetsTheCaptionButIsUnusable) {
    const auto info = ParseInstallerInfo("product=Sample+Tool");
    EXPECT_EQ(info.state, 2);
    EXPECT_EQ(info.caption, "Sample Tool Setup");
    EXPECT_EQ(info.url, "");
    EXPECT_EQ(ParseInstallerInfo("False").caption, " Setup");
}

TEST(InstallerAnswer, ALiteralBlankInTheNameShiftsTheUrlField) {
    const auto info = ParseInstallerInfo("product=Sample Tool&installer=http://h/x");
    EXPECT_EQ(info.caption, "Sample Setup");
    EXPECT_EQ(info.url, ""); // "Tool" is shorter than the 10-byte prefix
}

// ---- Version check ----------------------------------------------------------------------------

TEST(VersionNumber, AcceptedForms) {
    EXPECT_EQ(ParseVersionNumber("1.4"), 1.4f);
    EXPECT_EQ(ParseVersionNumber("  1.4  "), 1.4f);
    EXPECT_EQ(ParseVersionNumber("+2"), 2.0f);
    EXPECT_EQ(ParseVersionNumber("-0.5"), -0.5f);
    EXPECT_EQ(ParseVersionNumber(".5"), 0.5f);
    EXPECT_EQ(ParseVersionNumber("5."), 5.0f);
    EXPECT_EQ(ParseVersionNumber("1.5E1"), 15.0f);
    EXPECT_EQ(ParseVersionNumber("15e-1"), 1.5f);
}

TEST(VersionNumber, RejectedForms) {
    for (const char* text : {"1,4", "1.4a", "", " ", "1.4\r\n", "\t1.4", "1.2.3", ".", "e5", "1e",
                             "1e+", "inf", "nan", "0x10", "1 .4", "--1", "1e39"}) {
        EXPECT_FALSE(ParseVersionNumber(text).has_value()) << '"' << text << '"';
    }
}

TEST(VersionNumber, ShownWithTwoDecimalsAndNoLeadingZero) {
    EXPECT_EQ(FormatVersionNumber(2.1f), "2.10");
    EXPECT_EQ(FormatVersionNumber(3.0f), "3.00");
    EXPECT_EQ(FormatVersionNumber(0.9f), ".90");
    EXPECT_EQ(FormatVersionNumber(1.31f), "1.31");
    EXPECT_EQ(FormatVersionNumber(0.0f), ".00");
    EXPECT_EQ(FormatVersionNumber(12.5f), "12.50");
    EXPECT_EQ(FormatVersionNumber(-1.5f), "-1.50");
    EXPECT_EQ(FormatVersionNumber(-0.001f), ".00");
}

TEST(VersionNumber, RoundsHalfAwayFromZero) {
    EXPECT_EQ(FormatVersionNumber(0.125f), ".13"); // exactly halfway as a float
    EXPECT_EQ(FormatVersionNumber(9.999f), "10.00");
    EXPECT_EQ(FormatVersionNumber(1.005f), "1.00"); // 1.00499999... as a float
}

TEST(UpgradeOffer, NewerServerVersionGivesTheMessage) {
    EXPECT_EQ(UpgradeMessageFor("1.3", "1.31"),
              "A newer Larkspan is available!\r\nVersion number: 1.31\r\n\r\nWould you like to "
              "upgrade now?");
    EXPECT_EQ(UpgradeMessageFor("1.3", "2"),
              "A newer Larkspan is available!\r\nVersion number: 2.00\r\n\r\nWould you like to "
              "upgrade now?");
    EXPECT_EQ(UpgradeMessageFor("1.3", " 2.1 "),
              "A newer Larkspan is available!\r\nVersion number: 2.10\r\n\r\nWould you like to "
              "upgrade now?");
}

TEST(UpgradeOffer, EqualOlderOrFalseGiveNothing) {
    EXPECT_EQ(UpgradeMessageFor("1.3", "1.3"), std::nullopt);
    EXPECT_EQ(UpgradeMessageFor("1.3", "1.30"), std::nullopt);
    EXPECT_EQ(UpgradeMessageFor("1.3", "0.9"), std::nullopt);
    EXPECT_EQ(UpgradeMessageFor("not a number", "false"), std::nullopt);
}

TEST(UpgradeOffer, VersionsEqualAsFloatsAreNotNewer) {
    EXPECT_EQ(UpgradeMessageFor("1.00000001", "1.00000002"), std::nullopt);
}

TEST(UpgradeOffer, InvalidNumbersAreErrors) {
    EXPECT_THROW(UpgradeMessageFor("1.3", "1,4"), GeneralError);
    EXPECT_THROW(UpgradeMessageFor("1.3", "1.4\r\n"), GeneralError);
    EXPECT_THROW(UpgradeMessageFor("1.3", ""), GeneralError);
    EXPECT_THROW(UpgradeMessageFor("", "2"), GeneralError);
    try {
        UpgradeMessageFor("1.3", "1.4a");
        FAIL() << "no error";
    } catch (const GeneralError& e) {
        EXPECT_STREQ(e.what(), "'1.4a' is not a valid floating point value");
    }
}

TEST(TutorialAnswer, OnlyExactlyFalseMeansNone) {
    EXPECT_FALSE(TutorialAvailable("false"));
    EXPECT_TRUE(TutorialAvailable("False"));
    EXPECT_TRUE(TutorialAvailable("false\r\n"));
    EXPECT_TRUE(TutorialAvailable(""));
    EXPECT_TRUE(TutorialAvailable("abc123"));
}

TEST(VendorRequests, UrlsJoinHostAndPath) {
    EXPECT_EQ(VendorUrl("larkspan.example", kVersionPath),
              "http://larkspan.example/requests/checkversionid.php");
    EXPECT_EQ(VendorUrl("127.0.0.1:8080", kTutorialPath),
              "http://127.0.0.1:8080/requests/getytvideoid.php");
}

// ---- Download progress pacing -----------------------------------------------------------------

TEST(ProgressPacing, DueFirstThenOncePerIntervalAndAtTheEndOfALongUnit) {
    using namespace std::chrono_literals;
    struct Case {
        const char* what;
        std::optional<PacingClock::duration> sinceRepaint;
        PacingClock::duration unitLasted;
        std::int64_t count;
        std::int64_t expected;
        bool due;
    };
    const Case cases[] = {
        {"the first event", std::nullopt, 0ms, 0, 1000, true},
        {"within the interval", 1ms, 5s, 500, 1000, false},
        {"just before it ends", 29ms, 5s, 500, 1000, false},
        {"once it has passed", 30ms, 5s, 500, 1000, true},
        {"the end of a long unit", 1ms, 5s, 1000, 1000, true},
        {"the end of a short unit (a chunk)", 1ms, 29ms, 1000, 1000, false},
        {"no size known, so no end to show", 1ms, 5s, 1000, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProgressRepaintDue(c.sinceRepaint, c.unitLasted, c.count, c.expected), c.due)
            << c.what;
    }
}

TEST(RateFloor, HoldsUntilAWholeWindowBringsTooLittleAndSlidesWithTheTransfer) {
    using namespace std::chrono_literals;
    const RateFloor::Clock::time_point t0{};
    RateFloor floor(1000, 60s);
    floor.Start(t0, 0);
    EXPECT_TRUE(floor.Holds(t0 + 30s, 10)) << "a window has not passed yet";
    EXPECT_FALSE(floor.Holds(t0 + 60s, 999)) << "999 bytes in a whole window";

    // A fast start does not carry a transfer that has since stalled: 50000 bytes in the first
    // second, then a byte every few seconds.
    floor.Start(t0, 0);
    EXPECT_TRUE(floor.Holds(t0 + 1s, 50000));
    std::uint64_t total = 50000;
    auto at = t0 + 1s;
    while (floor.Holds(at, total) && at < t0 + 300s) {
        at += 5s;
        total += 1;
    }
    EXPECT_GE(at, t0 + 61s);
    EXPECT_LE(at, t0 + 67s);

    // Time the owner spent elsewhere (a question to the user) is not the server's.
    floor.Start(t0, 0);
    EXPECT_TRUE(floor.Holds(t0 + 50s, 900));
    floor.Exclude(120s);
    EXPECT_TRUE(floor.Holds(t0 + 175s, 950));
    EXPECT_FALSE(floor.Holds(t0 + 181s, 950));
}

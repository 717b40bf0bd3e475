// The cookie store and the cookie date format on plain values.

#include "core/online/HttpCookies.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace larkspan::online;

TEST(Cookies, HostOnlyDefaultPathAndReplacement) {
    CookieJar jar;
    const auto now = Clock::now();
    jar.Store("sid=1; HttpOnly", false, "Vendor.test", "/requests/a.php", now);
    jar.Store("lang=en; Path=/", false, "vendor.test", "/requests/a.php", now);
    jar.Store("sid=2", false, "vendor.test", "/requests/b.php", now);
    EXPECT_EQ(jar.Count(), 2u);
    EXPECT_EQ(jar.CookieHeader("vendor.test", "/requests/c.php", now), "sid=2; lang=en");
    EXPECT_EQ(jar.CookieHeader("vendor.test", "/other", now), "lang=en");
    EXPECT_EQ(jar.CookieHeader("www.vendor.test", "/requests/c.php", now), "");
    EXPECT_EQ(jar.CookieHeader("vendor.test", "/requestsx", now), "lang=en");
}

TEST(Cookies, DomainAttributeCoversSubdomainsOfTheSettingSiteOnly) {
    CookieJar jar;
    const auto now = Clock::now();
    jar.Store("a=1; Domain=.vendor.test; Path=/", false, "www.vendor.test", "/", now);
    jar.Store("b=2; Domain=other.test; Path=/", false, "www.vendor.test", "/", now);
    EXPECT_EQ(jar.CookieHeader("dl.vendor.test", "/", now), "a=1");
    EXPECT_EQ(jar.CookieHeader("other.test", "/", now), "");
    EXPECT_EQ(jar.CookieHeader("xvendor.test", "/", now), "");
}

TEST(Cookies, ExpiredSecureAndSetCookie2) {
    CookieJar jar;
    const auto now = Clock::now();
    jar.Store("a=1; Path=/", false, "h", "/", now);
    jar.Store("a=1; Path=/; Max-Age=0", false, "h", "/", now);
    jar.Store("b=2; Path=/; Expires=Thu, 01 Jan 1970 00:00:01 GMT", false, "h", "/", now);
    jar.Store("c=3; Path=/; Secure", false, "h", "/", now);
    jar.Store("d=4; Path=/; Max-Age=5", false, "h", "/", now);
    jar.Store("e=\"x,y\"; Version=1; Path=/, f=6; Version=1; Path=/", true, "h", "/", now);
    EXPECT_EQ(jar.CookieHeader("h", "/", now), "d=4; e=\"x,y\"; f=6");
    EXPECT_EQ(jar.CookieHeader("h", "/", now + std::chrono::seconds(10)), "e=\"x,y\"; f=6");
}

TEST(Cookies, ControlCharactersMakeACookieInvalid) {
    CookieJar jar;
    const auto now = Clock::now();
    jar.Store("a=1\rX-Injected: 1; Path=/", false, "h", "/", now);
    EXPECT_EQ(jar.Count(), 0u);
}

TEST(Cookies, DatesInTheUsualForms) {
    using namespace std::chrono;
    const auto expected = sys_days(year(2015) / October / 21) + hours(7) + minutes(28);
    EXPECT_EQ(ParseCookieDate("Wed, 21 Oct 2015 07:28:00 GMT"), expected);
    EXPECT_EQ(ParseCookieDate("Wednesday, 21-Oct-15 07:28:00 GMT"), expected);
    EXPECT_EQ(ParseCookieDate("Wed Oct 21 07:28:00 2015"), expected);
    // Two-digit years: 70 to 99 are 1970 to 1999, 00 to 69 are 2000 to 2069.
    for (const auto& [text, full] :
         {std::pair{"70", 1970}, {"69", 2069}, {"99", 1999}, {"00", 2000}}) {
        EXPECT_EQ(ParseCookieDate(std::string("Thu, 01-Jan-") + text + " 00:00:00 GMT"),
                  sys_days(year(full) / January / 1))
            << text;
    }
    EXPECT_FALSE(ParseCookieDate("yesterday").has_value());
    EXPECT_FALSE(ParseCookieDate("31 Feb 2015 07:28:00").has_value());
}

TEST(Cookies, FarFutureDatesAndHugeAgesNeverWrapIntoThePast) {
    using namespace std::chrono;
    EXPECT_EQ(ParseCookieDate("Fri, 31 Dec 9999 23:59:59 GMT"),
              sys_days(year(9999) / December / 31) + hours(23) + minutes(59) + seconds(59));

    CookieJar jar;
    const auto now = Clock::now();
    jar.Store("a=1; Path=/; Expires=Fri, 31 Dec 9999 23:59:59 GMT", false, "h", "/", now);
    jar.Store("b=2; Path=/; Max-Age=1099511627776", false, "h", "/", now); // 2^40 s
    // 2^64 + 3: read digit by digit in 64 bits it comes out as 3.
    jar.Store("c=3; Path=/; Max-Age=18446744073709551619", false, "h", "/", now);
    jar.Store("d=4; Path=/; Max-Age=99999999999999999999999999", false, "h", "/", now);
    EXPECT_EQ(jar.CookieHeader("h", "/", now + hours(24 * 365 * 200)), "a=1; b=2; c=3; d=4");
}

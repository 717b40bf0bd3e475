#include "core/help/HelpTexts.h"

#include <gtest/gtest.h>

using namespace larkspan::help;

namespace {

// Every message is a list of lines, each closed by CR LF; comparing line lists keeps a failure
// readable while still catching a missing or doubled line end.
std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace

TEST(HelpTexts, MessagesCarryTheirExactLinesEachClosedByCrLf) {
    EXPECT_EQ(FeedbackMessage(), Lines({"Feedback", "", "  Please click on OK button to send any",
                                        "  comments or questions you may have!"}));
    EXPECT_EQ(ImageExtractionMessage(),
              Lines({"How to extract images from PDF files?", "",
                     "  If your business need a PDF image extraction tool,",
                     "  there is a solution for this.", "", "  Oxbeck has been released a free and",
                     "  useful PDF embedded image extraction software,", "  called Cobblemoor.", "",
                     "  For further informations and download this software",
                     "  please click on OK button!"}));
}

TEST(HelpTexts, DonationMessageNamesTheProductAndCarriesTheEuroSignAsUtf8) {
    const std::string text = DonationMessage();
    EXPECT_EQ(text,
              Lines({"Donate this FREE software!", "", "  If you like Larkspan you may like to",
                     "  donate the very small sum of $15.00 or \xE2\x82\xAC"
                     "15.00 on PayPal",
                     "  to help us keep developing and updating. Thank you!", "",
                     "  Click on OK button to donate."}));
}

TEST(HelpTexts, VendorPagesAndMailLinkAreBuiltOnTheHost) {
    EXPECT_EQ(FeedbackMailtoFor("vendor.example"), "mailto:feedback@vendor.example");
    EXPECT_EQ(DonationPageUrl("vendor.example"), "http://vendor.example/donate-free-software.html");
    EXPECT_EQ(ImageExtractionPageUrl("127.0.0.1:9"), "http://127.0.0.1:9/cobblemoor.html");
}

TEST(HelpTexts, QuerySuffixesAreAppendedEvenToAnAddressWithAQuery) {
    EXPECT_EQ(TutorialVideoUrl("http://site.example/"), "http://site.example/?playvideo");
    EXPECT_EQ(SocialUrl("http://site.example/"), "http://site.example/?social=fb");
    EXPECT_EQ(TutorialVideoUrl("http://site.example/?lang=en"),
              "http://site.example/?lang=en?playvideo");
    EXPECT_EQ(SocialUrl(""), "?social=fb");
}

TEST(HelpTexts, AboutTextsAreBuiltFromNameVersionAndHost) {
    EXPECT_EQ(AboutCaption("Larkspan"), "About Larkspan");
    EXPECT_EQ(AboutSoftwareName("Larkspan", "1.3"), "Larkspan 1.3");
    EXPECT_EQ(AboutLinkText("vendor.example"), "http://vendor.example/");
    EXPECT_EQ(AboutDescription(), "This software is absolutely free for any use, in\r\n"
                                  "any environment eg. personal or business.\r\n\r\n"
                                  "Use it, share it, like it!");
}

TEST(HelpTexts, CopyrightIsOneLineNamingTheYearAndTheMaker) {
    const std::string notice = AboutCopyright();
    EXPECT_EQ(notice.find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(notice.find("2015"), std::string::npos);
    EXPECT_NE(notice.find("Oxbeck"), std::string::npos);
    EXPECT_NE(notice.find("\xC2\xA9"), std::string::npos); // the copyright sign in UTF-8
}

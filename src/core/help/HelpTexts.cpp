#include "core/help/HelpTexts.h"

namespace larkspan::help {

namespace {

std::string Join(std::string_view a, std::string_view b) {
    std::string text(a);
    text += b;
    return text;
}

} // namespace

std::string FeedbackMessage() {
    return "Feedback\r\n"
           "\r\n"
           "  Please click on OK button to send any\r\n"
           "  comments or questions you may have!\r\n";
}

std::string ImageExtractionMessage() {
    return "How to extract images from PDF files?\r\n"
           "\r\n"
           "  If your business need a PDF image extraction tool,\r\n"
           "  there is a solution for this.\r\n"
           "\r\n"
           "  Oxbeck has been released a free and\r\n"
           "  useful PDF embedded image extraction software,\r\n"
           "  called Cobblemoor.\r\n"
           "\r\n"
           "  For further informations and download this software\r\n"
           "  please click on OK button!\r\n";
}

std::string DonationMessage() {
    std::string text = "Donate this FREE software!\r\n"
                       "\r\n"
                       "  If you like ";
    text += ProductName;
    text += " you may like to\r\n"
            "  donate the very small sum of $15.00 or \u20ac15.00 on PayPal\r\n"
            "  to help us keep developing and updating. Thank you!\r\n"
            "\r\n"
            "  Click on OK button to donate.\r\n";
    return text;
}

std::string FeedbackMailtoFor(std::string_view websiteHost) {
    return Join("mailto:feedback@", websiteHost);
}

std::string DonationPageUrl(std::string_view websiteHost) {
    return Join(Join("http://", websiteHost), "/donate-free-software.html");
}

std::string ImageExtractionPageUrl(std::string_view websiteHost) {
    return Join(Join("http://", websiteHost), "/cobblemoor.html");
}

std::string TutorialVideoUrl(std::string_view websiteUrl) {
    return Join(websiteUrl, "?playvideo");
}

std::string SocialUrl(std::string_view websiteUrl) {
    return Join(websiteUrl, "?social=fb");
}

std::string AboutCaption(std::string_view productName) {
    return Join("About ", productName);
}

std::string AboutSoftwareName(std::string_view productName, std::string_view version) {
    return Join(Join(productName, " "), version);
}

std::string AboutCopyright() {
    return LARKSPAN_COPYRIGHT; // from the build, which gives the installer the same
}

std::string AboutLinkText(std::string_view websiteHost) {
    return Join(Join("http://", websiteHost), "/");
}

std::string AboutDescription() {
    return "This software is absolutely free for any use, in\r\n"
           "any environment eg. personal or business.\r\n"
           "\r\n"
           "Use it, share it, like it!";
}

} // namespace larkspan::help

#pragma once

// The texts and addresses of the Help menu and the About window, pure functions of what the main
// window reads at start (the record's web-site address, the vendor host), so the wording can be
// checked without a window. Texts are UTF-8 with CR LF line breaks, as the message boxes expect.

#include <string>
#include <string_view>

namespace larkspan::help {

// The product's name: the main window's caption, the application title and the name the
// donation message and the About window show.
inline constexpr std::string_view ProductName = "Larkspan";

// ---- Messages of the Help menu (shown with OK and Cancel; OK opens the link) ------------------

std::string FeedbackMessage();
std::string ImageExtractionMessage();
std::string DonationMessage();

// ---- Addresses -------------------------------------------------------------------------------

// "mailto:feedback@" + host.
std::string FeedbackMailtoFor(std::string_view websiteHost);
// Pages on the vendor host, always plain "http://".
std::string DonationPageUrl(std::string_view websiteHost);
std::string ImageExtractionPageUrl(std::string_view websiteHost);
// Query suffixes appended to the installed web-site address as they stand: an address that
// already carries a query ends up with a second "?", which the vendor's server accepts.
std::string TutorialVideoUrl(std::string_view websiteUrl);
std::string SocialUrl(std::string_view websiteUrl);

// ---- About window ----------------------------------------------------------------------------

std::string AboutCaption(std::string_view productName);
std::string AboutSoftwareName(std::string_view productName, std::string_view version);
std::string AboutCopyright();
std::string AboutLinkText(std::string_view websiteHost);
std::string AboutDescription();

// What the About window answers when the user clicked one of its texts or the logo.
inline constexpr std::string_view AboutGoToWeb = "gotoweb";

} // namespace larkspan::help

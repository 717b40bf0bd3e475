// The main window's help actions: messages that lead to a vendor page, and the plain links.

#include "core/help/HelpTexts.h"
#include "gui/help/UnitAboutDialog.h"
#include "gui/shell/Controls.h"
#include "gui/shell/MainWindow.h"

namespace larkspan {

namespace {

// Shows an information text with OK and Cancel and opens `target` only on OK; Cancel, Esc and
// the close box open nothing.
void OfferLink(const Services& services, const std::string& text, const std::string& target) {
    if (services.messages.Show(text, MessageKind::Information, mbOK | mbCancel) == mrOk) {
        services.desktop.Open(target);
    }
}

} // namespace

void TMainForm::Feedback1Click() {
    OfferLink(services_, help::FeedbackMessage(), installation_.feedbackMailto);
}

void TMainForm::HowToExtractImagesClick() {
    OfferLink(services_, help::ImageExtractionMessage(),
              help::ImageExtractionPageUrl(installation_.websiteHost));
}

void TMainForm::Donate1Click() {
    OfferLink(services_, help::DonationMessage(), help::DonationPageUrl(installation_.websiteHost));
}

// The menu item runs the button's handler whether or not the button is visible.
void TMainForm::Videotutorial1Click() {
    sBitBtnPlayVideo->click();
}

void TMainForm::sBitBtnPlayVideoClick() {
    services_.desktop.Open(help::TutorialVideoUrl(installation_.websiteUrl));
}

void TMainForm::Image1Click() {
    services_.desktop.Open(help::SocialUrl(installation_.websiteUrl));
}

void TMainForm::About1Click() {
    // Modal over the main window and centred on it; destroyed when the call returns, also when
    // an error passes through.
    TAboutDialog about(this);
    about.SetAboutInfo(std::string(help::ProductName), installation_.installedVersion,
                       help::AboutDescription(), help::AboutLinkText(installation_.websiteHost));
    if (about.ShowAbout() == help::AboutGoToWeb) {
        services_.desktop.Open(installation_.websiteUrl);
    }
}

} // namespace larkspan

// The main window's help actions: messages that lead to a vendor page, and the plain links.

#include "app/MessageBox.h"
#include "app/ShellOpen.h"
#include "help/HelpTexts.h"
#include "help/UnitAboutDialog.h"
#include "shell/Controls.h"
#include "shell/MainWindow.h"

namespace larkspan {

namespace {

// Shows an information text with OK and Cancel and opens `target` only on OK; Cancel, Esc and
// the close box open nothing.
void OfferLink(const std::string& text, const std::string& target) {
    if (ShowCenteredMessage(text, MessageKind::Information, mbOK | mbCancel) == mrOk) {
        OpenWithShell(target);
    }
}

} // namespace

void TMainForm::Feedback1Click() {
    OfferLink(help::FeedbackMessage(), FeedbackMailto);
}

void TMainForm::HowToExtractImagesClick() {
    OfferLink(help::ImageExtractionMessage(), help::ImageExtractionPageUrl(WebsiteHost));
}

void TMainForm::Donate1Click() {
    OfferLink(help::DonationMessage(), help::DonationPageUrl(WebsiteHost));
}

// The menu item runs the button's handler whether or not the button is visible.
void TMainForm::Videotutorial1Click() {
    sBitBtnPlayVideo->click();
}

void TMainForm::sBitBtnPlayVideoClick() {
    OpenWithShell(help::TutorialVideoUrl(WebsiteUrl));
}

void TMainForm::Image1Click() {
    OpenWithShell(help::SocialUrl(WebsiteUrl));
}

void TMainForm::About1Click() {
    // Modal over the main window and centred on it; destroyed when the call returns, also when
    // an error passes through.
    TAboutDialog about(this);
    about.SetAboutInfo(std::string(help::ProductName), InstalledVersion, help::AboutDescription(),
                       help::AboutLinkText(WebsiteHost));
    if (about.ShowAbout() == help::AboutGoToWeb) {
        OpenWithShell(WebsiteUrl);
    }
}

} // namespace larkspan

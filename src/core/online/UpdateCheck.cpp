#include "core/online/UpdateCheck.h"

#include "core/online/DownloadTransfer.h"
#include "core/online/VersionCheck.h"

#include <vector>

namespace larkspan {

UpdateCheck::UpdateCheck(online::Connector connector, std::string websiteHost,
                         std::string installedVersion, UpdateCheckView& view)
    : connector_(std::move(connector)), websiteHost_(std::move(websiteHost)),
      installedVersion_(std::move(installedVersion)), view_(view) {}

void UpdateCheck::Run() {
    online::TIdHTTP http(connector_);
    http.Request.UserAgent = online::kFormPostUserAgent;
    // One client and one list for both questions, so that cookies of the first answer go back
    // with the second request.
    std::vector<std::string> lines;
    try {
        lines.emplace_back(online::kProductFormLine);
        const std::string answer =
            http.PostForm(online::VendorUrl(websiteHost_, online::kTutorialPath), lines);
        if (online::TutorialAvailable(answer)) {
            view_.ShowTutorialControls();
        }
    } catch (const std::exception&) {
        // No tutorial controls; the version question is still asked.
    }

    try {
        if (!lines.empty()) {
            lines.erase(lines.begin());
        }
        lines.emplace_back(online::kProductFormLine);
        const std::string answer =
            http.PostForm(online::VendorUrl(websiteHost_, online::kVersionPath), lines);
        if (const auto message = online::UpgradeMessageFor(installedVersion_, answer)) {
            // The installer has been started: it replaces this program, which ends now.
            if (view_.OfferUpgrade(*message) == dsDownloaded) {
                view_.Terminate();
            }
        }
    } catch (const std::exception&) {
        // A failed request, an unreadable version number or a failed installer request: the
        // user is not told.
    }
}

} // namespace larkspan

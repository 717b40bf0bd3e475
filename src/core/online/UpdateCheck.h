#pragma once

// The background check without Qt: asks the vendor server whether a tutorial video exists and
// whether a newer version is out, shows the tutorial controls, offers the upgrade and ends the
// program once its installer runs. The user is never told about a failed check. The worker thread
// (TCheckForNewVersionProcess) runs it; UpdateCheckView runs each call on the main thread.

#include "core/online/HttpClient.h"

#include <string>

namespace larkspan {

class UpdateCheckView {
public:
    virtual ~UpdateCheckView() = default;
    virtual void ShowTutorialControls() = 0;
    // Asks `message` with Yes and No; on Yes runs the download window for the free product and
    // returns its state. Any other answer returns -1. A failure of the installer-information
    // request propagates.
    virtual int OfferUpgrade(const std::string& message) = 0;
    // Asks the program to end.
    virtual void Terminate() = 0;
};

class UpdateCheck {
public:
    UpdateCheck(online::Connector connector, std::string websiteHost, std::string installedVersion,
                UpdateCheckView& view);

    // Runs both questions. Every failure that is a std::exception (a request, an unreadable
    // version, the download window's request) is dropped; anything else (the view's signal that
    // the program is ending) passes through, so the caller stops touching anything.
    void Run();

private:
    online::Connector connector_;
    std::string websiteHost_;
    std::string installedVersion_;
    UpdateCheckView& view_;
};

} // namespace larkspan

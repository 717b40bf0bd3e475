#pragma once

// The installer download without Qt: ask the vendor server for a product's installer, save it
// as "Setup.exe" in the temporary folder and start it, or give up when the user cancels. The
// download window (TDownloadForm) owns one and drives it from its timer and Cancel button.

#include "core/online/HttpClient.h"
#include "core/ports/Ports.h"

#include <string>

namespace larkspan {

// Outcomes of a download.
inline constexpr int dsDownloaded = 0; // no failure; at the end: saved and started
inline constexpr int dsCancelled = 1;  // the user confirmed Cancel
inline constexpr int dsError = 2;      // missing or unusable answer, or the download failed

class DownloadTransfer {
public:
    // `connector` opens the connections of the information request and of the download;
    // `websiteHost` is the vendor server.
    DownloadTransfer(online::Connector connector, std::string websiteHost, FileSystemPort& files,
                     DesktopPort& desktop);

    // Asks the server for the installer of `identifier`. A missing or unusable answer sets the
    // state to dsError; a usable one sets the URL and the temporary path and removes a file left
    // there. A failure of the request itself throws the client's error, and nothing else is set.
    void Prepare(const std::string& identifier);

    // Downloads, saves and starts the installer while the state allows it. A failed step is
    // dsError (unless the user cancelled meanwhile); only a started installer gives dsDownloaded,
    // only a whole body is saved, and after any other outcome nothing is left at its path.
    void Transfer();

    // The user confirmed Cancel while the transfer ran (from inside a progress or waiting
    // event): the transfer ends as soon as the event returns, nothing is saved, a file at the
    // temporary path is removed.
    void Cancel();

    int State() const { return state_; }
    const std::string& Caption() const { return caption_; } // product name + " Setup", or ""
    const std::string& InstallerUrl() const { return installerUrl_; }
    const std::string& InstallerPath() const { return installerPath_; }

    // The download's own client: its progress events are the window's to set.
    online::TIdHTTP& Http() { return http_; }

private:
    online::Connector connector_;
    std::string websiteHost_;
    FileSystemPort& files_;
    DesktopPort& desktop_;
    online::TIdHTTP http_;
    int state_ = dsDownloaded;
    std::string caption_;
    std::string installerUrl_;
    std::string installerPath_;
};

} // namespace larkspan

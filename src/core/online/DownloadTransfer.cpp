#include "core/online/DownloadTransfer.h"

#include "core/online/HttpUrl.h"
#include "core/online/InstallerInfo.h"
#include "core/online/VersionCheck.h"

#include <vector>

namespace larkspan {

namespace {

// An installer URL without a host or a usable protocol makes the answer unusable, so the error is
// shown before an earlier Setup.exe is deleted; the client would refuse the URL only after that.
bool NamesHost(const std::string& url) {
    try {
        return !online::SplitUrl(url).host.empty();
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

DownloadTransfer::DownloadTransfer(online::Connector connector, std::string websiteHost,
                                   FileSystemPort& files, DesktopPort& desktop)
    : connector_(connector), websiteHost_(std::move(websiteHost)), files_(files), desktop_(desktop),
      http_(std::move(connector)) {}

void DownloadTransfer::Prepare(const std::string& identifier) {
    state_ = dsDownloaded;
    {
        online::TIdHTTP http(connector_);
        http.Request.UserAgent = online::kFormPostUserAgent;
        std::vector<std::string> lines{std::string(online::kSmartNameField) + identifier};
        // A failure of the request itself leaves here for the caller: nothing is shown.
        const std::string answer =
            http.PostForm(online::VendorUrl(websiteHost_, online::kInstallerInfoPath), lines);

        const online::InstallerInfo info = online::ParseInstallerInfo(answer);
        if (!info.caption.empty()) {
            caption_ = info.caption;
        }
        if (info.state != dsDownloaded) {
            state_ = dsError;
        } else {
            installerUrl_ = info.url;
            if (!NamesHost(installerUrl_)) {
                state_ = dsError;
            }
        }
    }
    if (state_ == dsDownloaded) {
        installerPath_ = files_.TemporaryFile("Setup.exe");
        if (files_.FileExists(installerPath_)) {
            files_.DeleteFile(installerPath_);
        }
    }
}

namespace {

// The download goes straight into the installer's file as it arrives: held in memory, the body
// would cost a fresh page for every byte and a second pass to write it.
class FileOutput final : public online::BodyOutput {
public:
    explicit FileOutput(OutputFile& file) : file_(file) {}
    void Write(std::string_view bytes) override {
        std::string error;
        if (!file_.Write(bytes, error)) {
            throw online::EIdException(error);
        }
    }

private:
    OutputFile& file_;
};

} // namespace

void DownloadTransfer::Transfer() {
    if (state_ != dsDownloaded) {
        return;
    }
    try {
        // Never through a link planted at the path: a fresh file is filled and, once complete,
        // renamed over it, runnable by the user only. Dropped on any failure or a Cancel, it
        // leaves nothing behind.
        std::string error;
        const std::unique_ptr<OutputFile> file = files_.CreateFile(installerPath_, true, error);
        if (!file) {
            state_ = dsError;
            return;
        }
        FileOutput output(*file);
        online::BodyBuffer body;
        body.SpillTo(output);
        http_.DownloadToStream(installerUrl_, body);
        body.Flush();
        // A confirmed Cancel always ends the transfer with an error; this only guards against
        // keeping a download the user gave up on.
        if (state_ != dsDownloaded) {
            throw online::EIdTransferAborted();
        }
        if (!file->Commit(error)) {
            state_ = dsError;
            return;
        }
    } catch (const std::exception&) {
        if (state_ != dsCancelled) {
            state_ = dsError;
        }
        return;
    }
    // A saved installer that cannot be started is no success: the program must not end as if it
    // ran, and a file the system cannot run is no installer to leave behind.
    if (!desktop_.StartProgram(installerPath_)) {
        state_ = dsError;
        files_.DeleteFile(installerPath_);
    }
}

void DownloadTransfer::Cancel() {
    state_ = dsCancelled;
    http_.RequestAbort();
    if (!installerPath_.empty() && files_.FileExists(installerPath_)) {
        files_.DeleteFile(installerPath_);
    }
}

} // namespace larkspan

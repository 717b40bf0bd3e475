// The download, the update check and Start Pro as plain classes, over scripted in-memory
// connections and recording stand-ins for files, the desktop and the window.

#include "core/help/StartPro.h"
#include "core/online/DownloadTransfer.h"
#include "core/online/UpdateCheck.h"
#include "core/text/GeneralError.h"
#include "support/FakePorts.h"
#include "support/MemoryConnection.h"

#include <gtest/gtest.h>

namespace larkspan {
namespace {

using testing::MemoryFiles;
using testing::RecordingDesktop;
using testing::ScriptedNetwork;

std::string Answer(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

constexpr const char* InstallerInfo = "product=Tarnwell+Pro&installer=http://files.example/Setup";

TEST(DownloadTransferController, TheInstallerIsSavedRunnableAndStartedOrItIsAnError) {
    for (const bool starts : {true, false}) {
        SCOPED_TRACE(starts ? "started" : "cannot start");
        ScriptedNetwork network;
        network.AddConnection({Answer(InstallerInfo)});
        network.AddConnection({Answer("#!/bin/sh\nexit 0\n")});
        MemoryFiles files;
        files.files["/temp/Setup.exe"] = {"an old installer", true, false};
        RecordingDesktop desktop;
        desktop.startSucceeds = starts;

        DownloadTransfer transfer(network.Connector(), "vendor.example", files, desktop);
        transfer.Prepare("TarnwellPro");
        EXPECT_EQ(transfer.Caption(), "Tarnwell Pro Setup");
        EXPECT_EQ(files.deleted, std::vector<std::string>{"/temp/Setup.exe"});
        transfer.Transfer();

        EXPECT_EQ(network.Script(1).host, "files.example");
        EXPECT_EQ(desktop.started, std::vector<std::string>{"/temp/Setup.exe"});
        EXPECT_EQ(transfer.State(), starts ? dsDownloaded : dsError);
        if (starts) {
            EXPECT_EQ(files.files["/temp/Setup.exe"].contents, "#!/bin/sh\nexit 0\n");
            EXPECT_TRUE(files.files["/temp/Setup.exe"].executable);
        } else {
            // A file the system cannot run is no installer to leave behind.
            EXPECT_FALSE(files.FileExists("/temp/Setup.exe"));
        }
    }
}

TEST(DownloadTransferController, ABodyNotWholeOrNotWritableIsAnErrorAndNothingIsLeft) {
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const struct {
        const char* what;
        std::string answer;
        bool refuseWrites;
    } cases[] = {
        {"short", "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n#!/bin/sh\nexit 0\n", false},
        {"overflowing chunk", chunked + "3\r\n#!/\r\nffffffffffffffffffff\r\nbin/sh\r\n", false},
        {"before the last chunk", chunked + "3\r\n#!/\r\n", false},
        {"not writable", Answer("#!/bin/sh\nexit 0\n"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedNetwork network;
        network.AddConnection({Answer(InstallerInfo)});
        network.AddConnection({c.answer});
        MemoryFiles files;
        files.refuseWrites = c.refuseWrites;
        RecordingDesktop desktop;
        DownloadTransfer transfer(network.Connector(), "vendor.example", files, desktop);
        transfer.Prepare("TarnwellPro");
        transfer.Transfer();
        EXPECT_EQ(transfer.State(), dsError);
        EXPECT_TRUE(desktop.started.empty());
        EXPECT_TRUE(files.files.empty());
    }
}

// The window as the check sees it: what it was asked, and what the download "returned".
class RecordingCheckView final : public UpdateCheckView {
public:
    void ShowTutorialControls() override { calls.push_back("tutorial"); }
    int OfferUpgrade(const std::string& message) override {
        calls.push_back("offer " + message.substr(message.find("Version number: ") + 16, 4));
        return downloadState;
    }
    void Terminate() override { calls.push_back("terminate"); }

    int downloadState = -1;
    std::vector<std::string> calls;
};

TEST(UpdateCheckController, AFailedTutorialQuestionStillAsksForTheVersion) {
    // A body cut short is a failed question as much as an error status.
    for (const char* tutorial : {"HTTP/1.1 500 Down\r\nContent-Length: 0\r\n\r\n",
                                 "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nvideo"}) {
        SCOPED_TRACE(tutorial);
        ScriptedNetwork network;
        network.AddConnection({tutorial});
        network.AddConnection({Answer("1.4")});
        RecordingCheckView view;
        view.downloadState = dsDownloaded;
        UpdateCheck(network.Connector(), "vendor.example", "1.3", view).Run();
        EXPECT_EQ(view.calls, (std::vector<std::string>{"offer 1.40", "terminate"}));
        EXPECT_NE(network.Script(1).sent.find("POST /requests/checkversionid.php"),
                  std::string::npos);
    }
}

TEST(UpdateCheckController, AVersionAnswerCutShortIsNoOffer) {
    // "1.4" of an announced "1.45": read as it came, it would offer a version that is not out.
    ScriptedNetwork network;
    network.AddConnection({Answer("false")});
    network.AddConnection({"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n1.4"});
    RecordingCheckView view;
    UpdateCheck(network.Connector(), "vendor.example", "1.3", view).Run();
    EXPECT_TRUE(view.calls.empty());
}

TEST(UpdateCheckController, OnlyAStartedInstallerEndsTheProgram) {
    for (const int state : {-1, dsCancelled, dsError}) {
        SCOPED_TRACE(state);
        ScriptedNetwork network;
        network.AddConnection({Answer("video")});
        network.AddConnection({Answer("2")});
        RecordingCheckView view;
        view.downloadState = state;
        UpdateCheck(network.Connector(), "vendor.example", "1.3", view).Run();
        EXPECT_EQ(view.calls, (std::vector<std::string>{"tutorial", "offer 2.00"}));
    }
}

// Records the program's records as Start Pro reads them.
// The sibling's record; no path at all stands for a value that is not text.
class SiblingRecord final : public RecordsPort {
public:
    explicit SiblingRecord(std::optional<std::string> path) : path_(std::move(path)) {}
    std::string InstalledVersion() override { return "1.3"; }
    std::string InstalledWebsite() override { return "http://site.example/"; }
    std::string SiblingInstallPath() override {
        if (!path_) {
            throw GeneralError("Invalid data type for 'InstallPath'");
        }
        return *path_;
    }

private:
    std::optional<std::string> path_;
};

TEST(StartProController, AnInstalledSiblingIsStartedAndOnlyAStartedInstallerStepsAside) {
    struct Case {
        const char* name;
        bool installed;
        bool siblingStarts;
        int downloadState;
        int downloads;
        bool minimized;
        bool pathIsText = true;
    };
    for (const Case& c : {Case{"installed", true, true, -1, 0, false},
                          Case{"installed, cannot start", true, false, -1, 0, false},
                          Case{"downloaded and started", false, true, dsDownloaded, 1, true},
                          Case{"download cancelled", false, true, dsCancelled, 1, false},
                          Case{"path not text", true, true, dsDownloaded, 0, false, false}}) {
        SCOPED_TRACE(c.name);
        SiblingRecord record(c.pathIsText ? std::optional<std::string>("/opt/tarnwell/tarnwell")
                                          : std::nullopt);
        MemoryFiles files;
        if (c.installed) {
            files.files["/opt/tarnwell/tarnwell"] = {"program", false, true};
        }
        RecordingDesktop desktop;
        desktop.startSucceeds = c.siblingStarts;
        int downloads = 0;
        bool minimized = false;
        StartProAction(record, files, desktop)
            .Run(
                [&] {
                    ++downloads;
                    return c.downloadState;
                },
                [&] { minimized = true; });
        EXPECT_EQ(desktop.started, c.installed && c.pathIsText
                                       ? std::vector<std::string>{"/opt/tarnwell/tarnwell"}
                                       : std::vector<std::string>{});
        EXPECT_EQ(downloads, c.downloads);
        EXPECT_EQ(minimized, c.minimized);
    }
}

} // namespace
} // namespace larkspan

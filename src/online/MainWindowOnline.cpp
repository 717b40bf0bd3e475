// The main window's online parts: the background check started at creation and
// "Start Pro version", which starts the paid sibling product or downloads its installer.

#include "app/ShellOpen.h"
#include "online/CheckForNewVersion.h"
#include "online/DownloadManager.h"
#include "online/InstallerInfo.h"
#include "platform/Platform.h"
#include "shell/Controls.h"
#include "shell/MainWindow.h"
#include "shell/RegistryAccess.h"

#include <QAction>
#include <QPointer>

#include <exception>

namespace larkspan {

void TMainForm::ConnectOnlineHandlers() {
    connect(sBitBtnGetProVersion, &QPushButton::clicked, this, &TMainForm::sBitBtnGetProClick);
    connect(GetProVersion1, &QAction::triggered, this, &TMainForm::GetProVersion1Click);
}

void TMainForm::StartBackgroundCheck() {
    // Frees itself when done; the window keeps no reference to it. Termination is asked for
    // on the main thread, and only while this window exists.
    const QPointer<TMainForm> self(this);
    auto terminate = [self] {
        if (self) {
            self->RequestTermination();
        }
    };
    (new TCheckForNewVersionProcess(this, WebsiteHost, InstalledVersion, terminate))->Start();
}

void TMainForm::GetProVersion1Click() {
    sBitBtnGetProVersion->click();
}

void TMainForm::sBitBtnGetProClick() {
    // Nothing of this action is ever reported: an unreachable server, say, just does nothing.
    try {
        const std::string installPath = ReadSiblingInstallPath();
        if (platform::RegularFileExists(installPath)) {
            OpenWithShell(installPath);
            return;
        }
        const int state = RunInstallerDownload(this, online::kProProductIdentifier);
        // The sibling's installer runs beside this program, which only steps aside.
        if (state == dsDownloaded) {
            showMinimized();
        }
    } catch (const std::exception&) {
    }
}

} // namespace larkspan

// The main window's online parts: the background check started at creation and
// "Start Pro version", which starts the paid sibling product or downloads its installer.

#include "help/StartPro.h"
#include "online/CheckForNewVersion.h"
#include "online/DownloadManager.h"
#include "online/InstallerInfo.h"
#include "shell/Controls.h"
#include "shell/MainWindow.h"

#include <QAction>

namespace larkspan {

void TMainForm::ConnectOnlineHandlers() {
    connect(sBitBtnGetProVersion, &QPushButton::clicked, this, &TMainForm::sBitBtnGetProClick);
    connect(GetProVersion1, &QAction::triggered, this, &TMainForm::GetProVersion1Click);
}

void TMainForm::StartBackgroundCheck() {
    // Frees itself when done; the window keeps no reference to it.
    (new TCheckForNewVersionProcess(*this))->Start();
}

void TMainForm::GetProVersion1Click() {
    sBitBtnGetProVersion->click();
}

void TMainForm::sBitBtnGetProClick() {
    StartProAction action(services_.records, services_.files, services_.desktop);
    action.Run([this] { return RunInstallerDownload(this, online::kProProductIdentifier); },
               [this] { showMinimized(); });
}

} // namespace larkspan

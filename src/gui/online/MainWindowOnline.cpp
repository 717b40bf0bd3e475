// The main window's online parts: the background check started at creation and
// "Start Pro version", which starts the paid sibling product or downloads its installer.

#include "core/help/StartPro.h"
#include "gui/online/CheckForNewVersion.h"
#include "gui/online/DownloadManager.h"
#include "core/online/InstallerInfo.h"
#include "gui/shell/Controls.h"
#include "gui/shell/MainWindow.h"

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

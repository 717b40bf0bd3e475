#include "core/help/StartPro.h"

#include "core/online/DownloadTransfer.h"

#include <exception>

namespace larkspan {

StartProAction::StartProAction(RecordsPort& records, FileSystemPort& files, DesktopPort& desktop)
    : records_(records), files_(files), desktop_(desktop) {}

void StartProAction::Run(const std::function<int()>& download,
                         const std::function<void()>& minimize) {
    try {
        const std::string installPath = records_.SiblingInstallPath();
        if (files_.FileExists(installPath)) {
            desktop_.StartProgram(installPath);
            return;
        }
        // The sibling's installer runs beside this program, which only steps aside.
        if (download() == dsDownloaded) {
            minimize();
        }
    } catch (const std::exception&) {
    }
}

} // namespace larkspan

#pragma once

// "Start Pro version": starts the paid sibling product when it is installed, otherwise offers
// its installer through the download window.

#include "core/ports/Ports.h"

#include <functional>

namespace larkspan {

class StartProAction {
public:
    StartProAction(RecordsPort& records, FileSystemPort& files, DesktopPort& desktop);

    // `download` runs the download window for the sibling's installer and returns its state;
    // `minimize` steps the program aside once that installer runs. Nothing of this action is
    // ever reported: an unreachable server, a sibling that does not start, just do nothing.
    void Run(const std::function<int()>& download, const std::function<void()>& minimize);

private:
    RecordsPort& records_;
    FileSystemPort& files_;
    DesktopPort& desktop_;
};

} // namespace larkspan

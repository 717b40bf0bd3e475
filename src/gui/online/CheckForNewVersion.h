#pragma once

// The background update and tutorial check's thread: once per program start it runs an
// UpdateCheck on a worker thread, with the main window as its view.

#include "core/online/UpdateCheck.h"

#include <QPointer>

#include <string>

namespace larkspan {

class TMainForm;

class TCheckForNewVersionProcess {
public:
    // Created suspended for `form`, whose services, host and installed version it takes now:
    // the worker reads no window state while it runs.
    explicit TCheckForNewVersionProcess(TMainForm& form);
    TCheckForNewVersionProcess(const TCheckForNewVersionProcess&) = delete;
    TCheckForNewVersionProcess& operator=(const TCheckForNewVersionProcess&) = delete;

    // Runs the check on its own thread. The object frees itself when the run ends; nothing
    // waits for it, so the program may end while it still waits on the server (see
    // platform/ProgramEnd.h).
    void Start();

    // Main thread, once per window: shows the tutorial button and menu item and makes room for
    // the button.
    static void ShowTutorialControls(TMainForm& form);

    // Main thread: asks `upgradeMessage` with Yes and No; on Yes runs the download window for
    // the free product over `form` and returns its state, otherwise -1. A failure of the
    // installer-information request propagates to the caller.
    static int AskToUpgrade(TMainForm& form, const std::string& upgradeMessage);

    // Number of checks started and not yet ended (for tests that wait for the worker).
    static int Running();

private:
    ~TCheckForNewVersionProcess();

    class WindowView;

    QPointer<TMainForm> form_; // read on the main thread only
    online::Connector connector_;
    std::string websiteHost_;
    std::string installedVersion_;
};

} // namespace larkspan

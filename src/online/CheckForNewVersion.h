#pragma once

// The background update and tutorial check: once per program start a worker thread asks the
// vendor server whether a tutorial video exists and whether a newer version is out. A video
// shows the tutorial button and menu item; a newer version leads to a question and, on Yes, to
// the installer download window, after which the program ends once the installer was started.
// Every failure is dropped silently.

#include <QPointer>

#include <functional>
#include <string>

namespace larkspan {

class TMainForm;

class TCheckForNewVersionProcess {
public:
    // Created suspended. The host and the installed version are copied: the worker reads no
    // shared state while it runs. `terminate` asks the program to end (main thread).
    TCheckForNewVersionProcess(TMainForm* form, std::string websiteHost,
                               std::string installedVersion, std::function<void()> terminate);
    TCheckForNewVersionProcess(const TCheckForNewVersionProcess&) = delete;
    TCheckForNewVersionProcess& operator=(const TCheckForNewVersionProcess&) = delete;

    // Runs the check on its own thread. The object frees itself when the run ends; nothing
    // waits for it, so the program may end while it still waits on the server.
    void Start();

    // Main thread, once per window: shows the tutorial button and menu item and makes room
    // for the button (input group 102 high and 4 pixels up, example label 2 down, output group
    // 4 down).
    static void ShowTutorialControls(TMainForm& form);

    // Main thread: asks `upgradeMessage` with Yes and No; on Yes runs the download window for
    // the free product over `form` and calls `terminate` when the installer was started. A
    // failure of the installer-information request propagates to the caller.
    static void AskToUpgrade(TMainForm& form, const std::string& upgradeMessage,
                             const std::function<void()>& terminate);

    // Number of checks started and not yet ended (for tests that wait for the worker).
    static int Running();

    // Written by the worker before it hands AskToUpgrade to the main thread.
    std::string UpgradeMessage;

private:
    ~TCheckForNewVersionProcess();
    void Execute();

    QPointer<TMainForm> form_; // read on the main thread only
    std::string websiteHost_;
    std::string installedVersion_;
    std::function<void()> terminate_;
};

} // namespace larkspan

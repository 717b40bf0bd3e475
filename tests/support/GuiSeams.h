#pragma once

// Stand-ins for the outside world of the widget tests: scripted answers for message boxes, a
// recorder for everything handed to the desktop shell and for the unhandled-error box, and a
// driver that acts on real modal windows.
//
// The widget test main installs failing defaults: a message box, a shell open or an
// unhandled-error box that no stand-in below expects records a test failure and returns at
// once (a box answers mrCancel), so nothing waits for a user and no browser ever opens.

#include "core/ports/Services.h"
#include "gui/shell/MessageBox.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

namespace larkspan::test {

// Installs the failing defaults described above. Called once by the widget test main.
void InstallFailingDefaults();

// The services the tests hand the windows: the real system for files, records (from
// XDG_CONFIG_DIRS), tools, password prompts and connections; message boxes through
// ShowCenteredMessage (answered by ScriptedMessages, or shown under RealBoxes); and a desktop
// that hands documents and links to the innermost RecordedShellOpens (a failure without one)
// but really starts programs. TestServicesIn runs the tools from another program folder.
const Services& TestServices();
Services TestServicesIn(const std::string& programFolder);

// Answers ShowCenteredMessage calls from a queue, in order, and records every request. A box
// beyond the queue records a failure naming its text and answers mrCancel. Answers left unused
// when the object goes out of scope are a failure too. Main thread only.
class ScriptedMessages {
public:
    explicit ScriptedMessages(std::initializer_list<int> answers = {});
    ~ScriptedMessages();
    ScriptedMessages(const ScriptedMessages&) = delete;
    ScriptedMessages& operator=(const ScriptedMessages&) = delete;

    void Answer(int result); // appends an answer to the queue
    const std::vector<MessageRequest>& Requests() const { return requests_; }
    std::vector<std::string> Texts() const;

private:
    std::deque<int> answers_;
    std::vector<MessageRequest> requests_;
    MessageHook previous_;
};

// Records the documents and links handed to the test desktop instead of opening them, and the
// programs it started (each path, followed by " (not started)" when the start failed).
// Thread-safe: the extraction worker opens its result on its own thread.
class RecordedShellOpens {
public:
    RecordedShellOpens();
    ~RecordedShellOpens();
    RecordedShellOpens(const RecordedShellOpens&) = delete;
    RecordedShellOpens& operator=(const RecordedShellOpens&) = delete;

    std::vector<std::string> Targets() const;
    std::vector<std::string> Programs() const;

    void RecordOpen(const std::string& target);
    void RecordStart(const std::string& path, bool started);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> targets_;
    std::vector<std::string> programs_;
};

// Records the texts of the unhandled-error box (after the full-stop rule) instead of showing it.
class RecordedUnhandledErrors {
public:
    RecordedUnhandledErrors();
    ~RecordedUnhandledErrors();
    RecordedUnhandledErrors(const RecordedUnhandledErrors&) = delete;
    RecordedUnhandledErrors& operator=(const RecordedUnhandledErrors&) = delete;

    const std::vector<std::string>& Texts() const { return texts_; }

private:
    std::vector<std::string> texts_;
    std::function<void(const std::string&)> previous_;
};

// Lets the real boxes show (message boxes and the unhandled-error box) for as long as it lives;
// drive them with ModalActions.
class RealBoxes {
public:
    RealBoxes();
    ~RealBoxes();
    RealBoxes(const RealBoxes&) = delete;
    RealBoxes& operator=(const RealBoxes&) = delete;

private:
    MessageHook previousMessageHook_;
    std::function<void(const std::string&)> previousErrorHook_;
};

// Runs actions on real modal windows, one action for each new modal window that becomes
// active, in order. Polls the event loop, so it works inside any modal loop (exec()).
// Failsafes, each recorded as a test failure: no window for a pending action within `timeout`;
// a window still open `timeout` after its action ran, or any modal window open that long once
// every action ran (it is then closed, so the test ends instead of hanging); actions that
// never ran when the object goes out of scope. Main thread only.
class ModalActions : public QObject {
public:
    using Action = std::function<void(QWidget* window)>;

    explicit ModalActions(std::vector<Action> actions,
                          std::chrono::milliseconds timeout = std::chrono::seconds(5));
    explicit ModalActions(Action action,
                          std::chrono::milliseconds timeout = std::chrono::seconds(5));
    ~ModalActions() override;

    int Ran() const { return ran_; }

private:
    void Poll();

    std::deque<Action> pending_;
    std::chrono::milliseconds timeout_;
    QTimer timer_;
    QElapsedTimer sinceProgress_;
    QPointer<QWidget> lastHandled_;
    QPointer<QWidget> visibleSince_;
    QElapsedTimer visibleTimer_;
    int ran_ = 0;
};

// Types a key into a window the way the keyboard does: through the window system, so that
// shortcuts, access keys and the focus widget see it as they would see a real key.
void PressKey(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Closes a window through its title bar's close box (a close event, as the window manager
// sends).
void CloseThroughCloseBox(QWidget* window);

} // namespace larkspan::test

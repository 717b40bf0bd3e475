#include "online/CheckForNewVersion.h"

#include "app/MessageBox.h"
#include "app/ThreadAnnotations.h"
#include "online/DownloadManager.h"
#include "online/HttpClient.h"
#include "online/InstallerInfo.h"
#include "online/VersionCheck.h"
#include "platform/Platform.h"
#include "shell/Controls.h"
#include "shell/MainWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMetaObject>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace larkspan {

namespace {

std::atomic<int> RunningChecks{0};

// The worker's way onto the main thread. Unlike a plain blocking queued call it copes with the
// end of the program: the worker is never waited for, so it may ask for the main thread after
// the event loop has ended or while the application object is being destroyed. The gate closes
// when the application object starts to go away; a call posted before that is discarded with
// the application's pending events, which wakes the worker instead of leaving it blocked, and
// no routine ever runs on the worker's own thread.
struct MainThreadGate {
    std::mutex mutex;
    bool open = false;
    QCoreApplication* app = nullptr;
};

// Never destroyed: a worker may still pass through it while the process runs its exit handlers.
MainThreadGate& Gate() {
    static auto* gate = new MainThreadGate;
    return *gate;
}

void CloseGate() {
    MainThreadGate& gate = Gate();
    const std::lock_guard lock(gate.mutex);
    gate.open = false;
    gate.app = nullptr;
}

// Main thread.
void OpenGate() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    MainThreadGate& gate = Gate();
    const std::lock_guard lock(gate.mutex);
    if (gate.app != app) {
        gate.app = app;
        gate.open = true;
        // Post routines run first thing in the application object's destructor.
        qAddPostRoutine(CloseGate);
    }
}

// The main thread is gone (or going): the worker has nothing left to do.
struct MainThreadGone {};

struct HandOver {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool ran = false;
    std::exception_ptr error;
};

// Owned by the posted call; wakes the worker when the call is destroyed, whether it ran or was
// discarded unrun.
struct HandOverSignal {
    std::shared_ptr<HandOver> handOver;
    explicit HandOverSignal(std::shared_ptr<HandOver> h) : handOver(std::move(h)) {}
    HandOverSignal(const HandOverSignal&) = delete;
    HandOverSignal& operator=(const HandOverSignal&) = delete;
    ~HandOverSignal() {
        const std::lock_guard lock(handOver->mutex);
        handOver->done = true;
        handOver->finished.notify_all();
    }
};

// Runs `routine` on the main thread while the worker waits; an error raised there is raised
// again here. Throws MainThreadGone when the routine could not run.
void RunOnMainThread(std::function<void()> routine) {
    auto handOver = std::make_shared<HandOver>();
    {
        auto signal = std::make_shared<HandOverSignal>(handOver);
        MainThreadGate& gate = Gate();
        const std::lock_guard lock(gate.mutex);
        if (!gate.open) {
            throw MainThreadGone();
        }
        QMetaObject::invokeMethod(gate.app, HandedOver([signal, routine = std::move(routine)] {
                                      try {
                                          routine();
                                      } catch (...) {
                                          signal->handOver->error = std::current_exception();
                                      }
                                      signal->handOver->ran = true;
                                  }),
                                  Qt::QueuedConnection);
    }
    std::unique_lock lock(handOver->mutex);
    handOver->finished.wait(lock, [&] { return handOver->done; });
    if (!handOver->ran) {
        throw MainThreadGone();
    }
    if (handOver->error) {
        std::rethrow_exception(handOver->error);
    }
}

constexpr char TutorialShownProperty[] = "tutorialControlsShown";

} // namespace

TCheckForNewVersionProcess::TCheckForNewVersionProcess(TMainForm* form, std::string websiteHost,
                                                       std::string installedVersion,
                                                       std::function<void()> terminate)
    : form_(form), websiteHost_(std::move(websiteHost)),
      installedVersion_(std::move(installedVersion)), terminate_(std::move(terminate)) {
    ++RunningChecks;
}

TCheckForNewVersionProcess::~TCheckForNewVersionProcess() {
    --RunningChecks;
}

int TCheckForNewVersionProcess::Running() {
    return RunningChecks;
}

void TCheckForNewVersionProcess::Start() {
    OpenGate();
    try {
        // A plain detached thread: it keeps nothing alive, owns no widget, and the process may
        // end while it still waits on the server.
        std::thread([this] {
            try {
                Execute();
            } catch (...) {
                // Every failure of the check is dropped.
            }
            delete this;
        }).detach();
    } catch (const std::exception&) {
        // No thread, no check: the program runs on without it.
        delete this;
    }
}

void TCheckForNewVersionProcess::Execute() {
    online::TIdHTTP http(platform::ConnectTcp);
    http.Request.UserAgent = online::kFormPostUserAgent;
    // One client and one list for both questions, so that cookies of the first answer go back
    // with the second request.
    std::vector<std::string> lines;
    const QPointer<TMainForm> form = form_;

    try {
        lines.emplace_back(online::kProductFormLine);
        const std::string answer =
            http.PostForm(online::VendorUrl(websiteHost_, online::kTutorialPath), lines);
        if (online::TutorialAvailable(answer)) {
            RunOnMainThread([form] {
                if (form) {
                    ShowTutorialControls(*form);
                }
            });
        }
    } catch (const MainThreadGone&) {
        return;
    } catch (const std::exception&) {
        // No tutorial controls; the version question is still asked.
    }

    try {
        if (!lines.empty()) {
            lines.erase(lines.begin());
        }
        lines.emplace_back(online::kProductFormLine);
        const std::string answer =
            http.PostForm(online::VendorUrl(websiteHost_, online::kVersionPath), lines);
        if (const auto message = online::UpgradeMessageFor(installedVersion_, answer)) {
            UpgradeMessage = *message;
            RunOnMainThread([this, form] {
                if (form) {
                    AskToUpgrade(*form, UpgradeMessage, terminate_);
                }
            });
        }
    } catch (const MainThreadGone&) {
        return;
    } catch (const std::exception&) {
        // A failed request, an unreadable version number or a failed installer request: the
        // user is not told.
    }
}

void TCheckForNewVersionProcess::ShowTutorialControls(TMainForm& form) {
    if (form.property(TutorialShownProperty).toBool()) {
        return;
    }
    form.setProperty(TutorialShownProperty, true);

    form.Videotutorial1->setVisible(true);
    form.sBitBtnPlayVideo->setVisible(true);
    // Room for the button below the page fields; every move is relative to where the control
    // stands now.
    const QRect input = form.sGroupBox1->geometry();
    form.sGroupBox1->setGeometry(input.x(), input.y() - 4, input.width(), 102);
    form.sLabel3->move(form.sLabel3->x(), form.sLabel3->y() + 2);
    form.sGroupBox4->move(form.sGroupBox4->x(), form.sGroupBox4->y() + 4);
}

void TCheckForNewVersionProcess::AskToUpgrade(TMainForm& form, const std::string& upgradeMessage,
                                              const std::function<void()>& terminate) {
    if (ShowCenteredMessage(upgradeMessage, MessageKind::Confirmation, mbYes | mbNo) != mrYes) {
        return;
    }
    const QPointer<TMainForm> guard(&form);
    const int state = RunInstallerDownload(&form, online::kFreeProductIdentifier);
    // The installer has been started: it replaces this program, which ends now.
    if (state == dsDownloaded && guard && terminate) {
        terminate();
    }
}

} // namespace larkspan

#include "gui/online/CheckForNewVersion.h"

#include "core/online/InstallerInfo.h"
#include "gui/online/DownloadManager.h"
#include "gui/shell/Controls.h"
#include "gui/shell/MainThread.h"
#include "gui/shell/MainWindow.h"
#include "platform/ProgramEnd.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>

#include <atomic>
#include <exception>

namespace larkspan {

namespace {

std::atomic<int> RunningChecks{0};

constexpr char TutorialShownProperty[] = "tutorialControlsShown";

} // namespace

// The window as the check sees it: every call runs on the main thread while the check waits,
// and does nothing once the window is gone.
class TCheckForNewVersionProcess::WindowView final : public UpdateCheckView {
public:
    explicit WindowView(const QPointer<TMainForm>& form) : form_(form) {}

    void ShowTutorialControls() override {
        RunOnMainThread([this] {
            if (form_) {
                TCheckForNewVersionProcess::ShowTutorialControls(*form_);
            }
        });
    }
    int OfferUpgrade(const std::string& message) override {
        int state = -1;
        RunOnMainThread([this, &message, &state] {
            if (form_) {
                state = AskToUpgrade(*form_, message);
            }
        });
        return state;
    }
    void Terminate() override {
        RunOnMainThread([this] {
            if (form_) {
                form_->RequestTermination();
            }
        });
    }

private:
    const QPointer<TMainForm>& form_;
};

TCheckForNewVersionProcess::TCheckForNewVersionProcess(TMainForm& form)
    : form_(&form), connector_(form.services().connector), websiteHost_(form.Setup().websiteHost),
      installedVersion_(form.Setup().installedVersion) {
    ++RunningChecks;
}

TCheckForNewVersionProcess::~TCheckForNewVersionProcess() {
    --RunningChecks;
}

int TCheckForNewVersionProcess::Running() {
    return RunningChecks;
}

void TCheckForNewVersionProcess::Start() {
    WatchProgramEnd();
    try {
        // It keeps nothing alive, owns no widget, and the process may end while it still waits
        // on the server.
        StartUnwaitedThread([this] {
            try {
                WindowView view(form_);
                UpdateCheck(connector_, websiteHost_, installedVersion_, view).Run();
            } catch (...) {
                // The program is ending, or the check failed in a way nobody can be told of.
            }
            delete this;
        });
    } catch (const std::exception&) {
        // No thread, no check: the program runs on without it.
        delete this;
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

int TCheckForNewVersionProcess::AskToUpgrade(TMainForm& form, const std::string& upgradeMessage) {
    if (form.services().messages.Show(upgradeMessage, MessageKind::Confirmation, mbYes | mbNo) !=
        mrYes) {
        return -1;
    }
    return RunInstallerDownload(&form, online::kFreeProductIdentifier);
}

} // namespace larkspan

#include "support/GuiSeams.h"

#include "app/SystemServices.h"
#include "gui/shell/LarkspanApplication.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <utility>

namespace larkspan::test {

namespace {

// The desktop of the widget tests: documents and links go to the innermost RecordedShellOpens,
// and without one they are a failure, so no browser ever opens; programs are really started
// (tests hand it small scripts), and recorded too.
class TestDesktop final : public DesktopPort {
public:
    void Open(const std::string& target) override {
        const std::lock_guard lock(mutex_);
        if (recorders_.empty()) {
            ADD_FAILURE() << "Unexpected shell open (no RecordedShellOpens): " << target;
            return;
        }
        recorders_.back()->RecordOpen(target);
    }
    bool StartProgram(const std::string& path) override {
        std::string error;
        const bool started = platform::StartProgram(path, error);
        const std::lock_guard lock(mutex_);
        if (!recorders_.empty()) {
            recorders_.back()->RecordStart(path, started);
        }
        return started;
    }
    void Push(RecordedShellOpens* recorder) {
        const std::lock_guard lock(mutex_);
        recorders_.push_back(recorder);
    }
    void Pop(RecordedShellOpens* recorder) {
        const std::lock_guard lock(mutex_);
        std::erase(recorders_, recorder);
    }

private:
    std::mutex mutex_;
    std::vector<RecordedShellOpens*> recorders_;
};

TestDesktop& Desktop() {
    static TestDesktop desktop;
    return desktop;
}

void CloseModal(QWidget* window) {
    if (auto* dialog = qobject_cast<QDialog*>(window)) {
        dialog->reject();
    } else {
        window->close();
    }
}

} // namespace

void InstallFailingDefaults() {
    SetMessageHook([](const MessageRequest& request) -> std::optional<int> {
        ADD_FAILURE() << "Unexpected " << MessageCaption(request.kind)
                      << " message box (no ScriptedMessages or RealBoxes): " << request.text;
        return mrCancel;
    });
    SetUnhandledErrorHook([](const std::string& text) {
        ADD_FAILURE() << "An error escaped an event handler: " << text;
    });
}

ScriptedMessages::ScriptedMessages(std::initializer_list<int> answers) : answers_(answers) {
    previous_ = SetMessageHook([this](const MessageRequest& request) -> std::optional<int> {
        requests_.push_back(request);
        if (answers_.empty()) {
            ADD_FAILURE() << "Message box without a scripted answer ("
                          << MessageCaption(request.kind) << "): " << request.text;
            return mrCancel;
        }
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
    });
}

ScriptedMessages::~ScriptedMessages() {
    SetMessageHook(std::move(previous_));
    EXPECT_TRUE(answers_.empty()) << answers_.size()
                                  << " scripted message answer(s) were never asked for";
}

void ScriptedMessages::Answer(int result) {
    answers_.push_back(result);
}

std::vector<std::string> ScriptedMessages::Texts() const {
    std::vector<std::string> texts;
    for (const MessageRequest& request : requests_) {
        texts.push_back(request.text);
    }
    return texts;
}

const Services& TestServices() {
    static const Services services = TestServicesIn(SystemServices().programFolder);
    return services;
}

Services TestServicesIn(const std::string& programFolder) {
    const Services& system = SystemServices();
    return Services{system.messages, system.passwords, Desktop(),        system.files,
                    system.records,  system.tools,     system.connector, programFolder};
}

RecordedShellOpens::RecordedShellOpens() {
    Desktop().Push(this);
}

RecordedShellOpens::~RecordedShellOpens() {
    Desktop().Pop(this);
}

void RecordedShellOpens::RecordOpen(const std::string& target) {
    const std::lock_guard lock(mutex_);
    targets_.push_back(target);
}

void RecordedShellOpens::RecordStart(const std::string& path, bool started) {
    const std::lock_guard lock(mutex_);
    programs_.push_back(path + (started ? "" : " (not started)"));
}

std::vector<std::string> RecordedShellOpens::Targets() const {
    const std::lock_guard lock(mutex_);
    return targets_;
}

std::vector<std::string> RecordedShellOpens::Programs() const {
    const std::lock_guard lock(mutex_);
    return programs_;
}

RecordedUnhandledErrors::RecordedUnhandledErrors() {
    previous_ = SetUnhandledErrorHook([this](const std::string& text) { texts_.push_back(text); });
}

RecordedUnhandledErrors::~RecordedUnhandledErrors() {
    SetUnhandledErrorHook(std::move(previous_));
}

RealBoxes::RealBoxes()
    : previousMessageHook_(SetMessageHook(nullptr)),
      previousErrorHook_(SetUnhandledErrorHook(nullptr)) {}

RealBoxes::~RealBoxes() {
    SetMessageHook(std::move(previousMessageHook_));
    SetUnhandledErrorHook(std::move(previousErrorHook_));
}

ModalActions::ModalActions(std::vector<Action> actions, std::chrono::milliseconds timeout)
    : pending_(actions.begin(), actions.end()), timeout_(timeout) {
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start(10);
    sinceProgress_.start();
}

ModalActions::ModalActions(Action action, std::chrono::milliseconds timeout)
    : ModalActions(std::vector<Action>{std::move(action)}, timeout) {}

ModalActions::~ModalActions() {
    timer_.stop();
    EXPECT_TRUE(pending_.empty()) << pending_.size() << " modal action(s) never ran";
}

void ModalActions::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        visibleSince_ = nullptr;
        if (!pending_.empty() && sinceProgress_.elapsed() > timeout_.count()) {
            ADD_FAILURE() << "No modal window appeared for modal action " << ran_ + 1;
            pending_.clear();
        }
        return;
    }
    if (visibleSince_ != modal) {
        visibleSince_ = modal;
        visibleTimer_.start();
    }
    const bool isNew = modal != lastHandled_.data();
    if (isNew && !pending_.empty()) {
        // Acting before the window is active would type into whatever had the focus before.
        if (!modal->isActiveWindow() && visibleTimer_.elapsed() < 500) {
            return;
        }
        Action action = std::move(pending_.front());
        pending_.pop_front();
        lastHandled_ = modal;
        ++ran_;
        sinceProgress_.restart();
        visibleTimer_.restart();
        // Run from a timer of its own: this poll timer is not re-entered while its slot runs,
        // and the action may open further modal windows that the poll has to see.
        QTimer::singleShot(0, this, [action = std::move(action), window = QPointer(modal)] {
            if (window) {
                action(window);
            }
        });
        return;
    }
    if (visibleTimer_.elapsed() > timeout_.count()) {
        ADD_FAILURE() << "Modal window \"" << modal->windowTitle().toStdString()
                      << "\" still open after " << timeout_.count() << " ms; closing it";
        visibleTimer_.restart();
        CloseModal(modal);
    }
}

void PressKey(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    ASSERT_NE(window, nullptr);
    QWindow* handle = window->window()->windowHandle();
    ASSERT_NE(handle, nullptr) << "the window is not shown";
    QTest::keyClick(handle, key, modifiers);
}

void CloseThroughCloseBox(QWidget* window) {
    ASSERT_NE(window, nullptr);
    window->window()->close();
}

} // namespace larkspan::test

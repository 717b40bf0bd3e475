#include "widgets/OnlineTestSupport.h"

#include "gui/online/CheckForNewVersion.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <chrono>

namespace larkspan::test {

namespace {

std::string Head(int status, const std::vector<std::string>& headers,
                 std::optional<std::uint64_t> length) {
    std::string head =
        "HTTP/1.1 " + std::to_string(status) + " " + testing::ReasonPhrase(status) + "\r\n";
    for (const std::string& line : headers) {
        head += line + "\r\n";
    }
    if (length) {
        head += "Content-Length: " + std::to_string(*length) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    return head;
}

} // namespace

// ---- FakeVendor -----------------------------------------------------------------------------

FakeVendor::FakeVendor()
    : server_(std::make_unique<testing::LoopbackServer>(
          [this](testing::ServerSide& side) { Serve(side); }, 0, true)) {}

FakeVendor::~FakeVendor() {
    Release();
    server_->Stop();
}

void FakeVendor::SetTutorial(VendorAnswer answer) {
    const std::lock_guard lock(mutex_);
    tutorial_ = std::move(answer);
}

void FakeVendor::SetVersion(VendorAnswer answer) {
    const std::lock_guard lock(mutex_);
    version_ = std::move(answer);
}

void FakeVendor::SetInstallerInfo(const std::string& identifier, VendorAnswer answer) {
    const std::lock_guard lock(mutex_);
    info_[identifier] = std::move(answer);
}

void FakeVendor::OfferInstaller(const std::string& identifier, const std::string& productName,
                                const std::string& path) {
    std::string name = productName;
    for (char& c : name) {
        if (c == ' ') {
            c = '+';
        }
    }
    // The URL is sent encoded, as the vendor server does.
    std::string url = Url(path);
    std::string encoded;
    for (const char c : url) {
        if (c == ':') {
            encoded += "%3A";
        } else if (c == '/') {
            encoded += "%2F";
        } else {
            encoded += c;
        }
    }
    SetInstallerInfo(identifier, {200, "product=" + name + "&installer=" + encoded, {}});
}

void FakeVendor::SetFile(const std::string& path, ServedFile file) {
    const std::lock_guard lock(mutex_);
    files_[path] = std::move(file);
}

void FakeVendor::HoldTutorial() {
    const std::lock_guard lock(mutex_);
    hold_ = true;
}

void FakeVendor::Release() {
    const std::lock_guard lock(mutex_);
    release_ = true;
    released_.notify_all();
}

bool FakeVendor::Holding() const {
    const std::lock_guard lock(mutex_);
    return holding_;
}

std::string FakeVendor::Host() const {
    return "127.0.0.1:" + std::to_string(server_->Port());
}

std::string FakeVendor::Url(const std::string& path) const {
    return server_->Url(path);
}

std::vector<std::string> FakeVendor::Requests() const {
    return server_->Requests();
}

std::vector<std::string> FakeVendor::RequestsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& request : server_->Requests()) {
        if (request.rfind(prefix, 0) == 0) {
            found.push_back(request);
        }
    }
    return found;
}

void FakeVendor::Serve(testing::ServerSide& side) {
    const std::string raw = side.ReadRequest();
    if (raw.empty()) {
        return;
    }
    const auto [method, target, body] = testing::SplitRequest(raw);

    auto answer = [&side](const VendorAnswer& a) {
        side.Send(Head(a.status, a.headers, a.body.size()) + a.body);
    };

    if (method == "GET") {
        ServedFile file;
        {
            const std::lock_guard lock(mutex_);
            const auto found = files_.find(target);
            if (found == files_.end()) {
                answer({404, "no such file", {}});
                return;
            }
            file = found->second;
        }
        const std::uint64_t size = file.patternSize != 0 ? file.patternSize : file.body.size();
        if (file.beforeBody) {
            file.beforeBody();
        }
        if (!file.raw.empty()) {
            side.Send(file.raw);
            while (file.trickleEveryMs > 0 && side.Send("t") &&
                   !side.WaitForClientClose(file.trickleEveryMs)) {
            }
            return;
        }
        side.Send(Head(file.status, {},
                       file.withLength ? std::optional<std::uint64_t>(size) : std::nullopt));
        if (file.patternSize != 0) {
            side.SendPattern(file.patternSize, file.bytesPerSecond);
        } else {
            side.SendThrottled(file.body, file.bytesPerSecond);
        }
        return;
    }

    VendorAnswer reply{200, "false", {}};
    {
        std::unique_lock lock(mutex_);
        if (target == "/requests/getytvideoid.php") {
            if (hold_) {
                holding_ = true;
                released_.wait_for(lock, std::chrono::seconds(20), [this] { return release_; });
            }
            reply = tutorial_;
        } else if (target == "/requests/checkversionid.php") {
            reply = version_;
        } else if (target == "/requests/getsmartinstallerinfo.php") {
            const std::string prefix = "smartname=";
            const std::string identifier =
                body.rfind(prefix, 0) == 0 ? body.substr(prefix.size()) : std::string();
            const auto found = info_.find(identifier);
            if (found != info_.end()) {
                reply = found->second;
            }
        }
    }
    answer(reply);
}

// ---- OnlineEnvironment ----------------------------------------------------------------------

OnlineEnvironment::OnlineEnvironment(const std::string& host,
                                     const std::optional<std::string>& siblingInstallPath) {
    EXPECT_TRUE(temp_.isValid());
    records_.Set("Oxbeck", "Larkspan", "Version", TestVersion);
    records_.Set("Oxbeck", "Larkspan", "Website", TestWebsite);
    if (siblingInstallPath) {
        records_.Set("Oxbeck", "Tarnwell", "InstallPath", *siblingInstallPath);
    }
    // Both variables, as Windows sets them: its rule asks TMP first.
    tempVariable_ = std::make_unique<ScopedEnvironment>("TEMP", TempFolder());
    tmpVariable_ = std::make_unique<ScopedEnvironment>("TMP", TempFolder());
    host_ = std::make_unique<ScopedEnvironment>("LARKSPAN_WEBSITE_HOST", host);
}

bool WaitForChecks(int timeoutMs) {
    return QTest::qWaitFor([] { return TCheckForNewVersionProcess::Running() == 0; }, timeoutMs);
}

// ---- AtMessage ------------------------------------------------------------------------------

AtMessage::AtMessage(std::function<void(const MessageRequest&)> look) {
    // The hook set before is read only after ours is in place; it is what ours hands on to.
    auto previous = std::make_shared<MessageHook>();
    previous_ = SetMessageHook(
        [look = std::move(look), previous](const MessageRequest& request) -> std::optional<int> {
            look(request);
            return *previous ? (*previous)(request) : std::nullopt;
        });
    *previous = previous_;
}

AtMessage::~AtMessage() {
    SetMessageHook(previous_);
}

// ---- ShownWindows ---------------------------------------------------------------------------

ShownWindows::ShownWindows() {
    qApp->installEventFilter(this);
}

ShownWindows::~ShownWindows() {
    qApp->removeEventFilter(this);
}

bool ShownWindows::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        if (auto* widget = qobject_cast<QWidget*>(watched);
            widget != nullptr && widget->isWindow()) {
            names_.push_back(widget->objectName().toStdString());
        }
    }
    return false;
}

std::string RunnableProgram() {
#ifdef _WIN32
    return testsupport::ReadFileBytes(testsupport::StandInProgram());
#else
    return "#!/bin/sh\n: > \"$0-ran\"\nexit 0\n";
#endif
}

std::string RunnableInstaller(std::size_t size) {
    std::string installer = RunnableProgram();
    for (std::size_t i = 0; installer.size() < size; ++i) {
        installer += static_cast<char>(i * 7 % 256);
    }
    return installer;
}

bool ProgramRan(const std::string& path) {
    // The program runs on its own, detached: only the file it leaves can be awaited.
    return QTest::qWaitFor(
        [&] { return QFile::exists(QString::fromStdString(path) + QStringLiteral("-ran")); },
        10000);
}

bool InstallerRan(const OnlineEnvironment& environment) {
    return ProgramRan(environment.SetupPath());
}

} // namespace larkspan::test

#pragma once

// What the online widget tests share: a scripted vendor server on 127.0.0.1, a main window
// staged against it, a look at the program's state at the moment a message box appears, and a
// record of the windows that were shown.

#include "gui/shell/MainWindow.h"
#include "gui/shell/MessageBox.h"
#include "support/LoopbackServer.h"
#include "support/StagedRecords.h"
#include "support/TestFiles.h"
#include "widgets/MainWindowFixture.h"

#include <QDir>
#include <QObject>
#include <QTemporaryDir>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace larkspan::test {

// One scripted answer: status, body and extra header lines ("Name: value").
struct VendorAnswer {
    int status = 200;
    std::string body;
    std::vector<std::string> headers;
};

// A file served by GET: either `body` as it is, or `patternSize` bytes of a pattern sent at
// most `bytesPerSecond` (0: at once).
struct ServedFile {
    int status = 200;
    std::string body;
    std::uint64_t patternSize = 0;
    std::uint64_t bytesPerSecond = 0;
    // Runs on the server's thread after the GET has arrived and before the body goes out.
    std::function<void()> beforeBody;
    // false: no Content-Length; the body ends when the connection closes.
    bool withLength = true;
    // Set: sent as it is in place of the head and body (a broken or hostile answer), followed,
    // with trickleEveryMs, by one byte every that many milliseconds until the client goes away.
    std::string raw = {};
    int trickleEveryMs = 0;
};

// The vendor web server: the three form requests and GET for files. Every answer closes its
// connection. Unset answers are "false"; an unknown file is 404. Configure before the traffic.
class FakeVendor {
public:
    FakeVendor();
    ~FakeVendor();
    FakeVendor(const FakeVendor&) = delete;
    FakeVendor& operator=(const FakeVendor&) = delete;

    void SetTutorial(VendorAnswer answer);
    void SetVersion(VendorAnswer answer);
    void SetInstallerInfo(const std::string& identifier, VendorAnswer answer);
    // The usual well-formed answer: product=<name>&installer=http://127.0.0.1:<port><path>.
    void OfferInstaller(const std::string& identifier, const std::string& productName,
                        const std::string& path);
    void SetFile(const std::string& path, ServedFile file);

    // Holds the tutorial answer until Release() (or the server's end).
    void HoldTutorial();
    void Release();
    // True once a held request has arrived.
    bool Holding() const;

    std::string Host() const; // "127.0.0.1:<port>"
    std::string Url(const std::string& path) const;
    std::vector<std::string> Requests() const;
    // The requests whose request line begins with `prefix` (e.g. "GET ").
    std::vector<std::string> RequestsStartingWith(const std::string& prefix) const;

private:
    void Serve(testing::ServerSide& side);

    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool hold_ = false;
    bool holding_ = false;
    bool release_ = false;
    VendorAnswer tutorial_{200, "false", {}};
    VendorAnswer version_{200, "false", {}};
    std::map<std::string, VendorAnswer> info_;
    std::map<std::string, ServedFile> files_;
    std::unique_ptr<testing::LoopbackServer> server_; // last: started once the rest exists
};

// Installation records in a private place (support/StagedRecords.h): Larkspan's (version 1.3)
// and, when given, the sibling product's InstallPath. Also points TEMP at a fresh folder and
// the vendor host at `host`.
class OnlineEnvironment {
public:
    explicit OnlineEnvironment(const std::string& host,
                               const std::optional<std::string>& siblingInstallPath = {});

    std::string TempFolder() const { return QDir::toNativeSeparators(temp_.path()).toStdString(); }
    // Where the program saves the installer: TEMP, the system's separator, "Setup.exe".
    std::string SetupPath() const {
        return TempFolder() + QDir::separator().toLatin1() + "Setup.exe";
    }

private:
    testsupport::StagedRecords records_;
    QTemporaryDir temp_;
    std::unique_ptr<ScopedEnvironment> tempVariable_;
    std::unique_ptr<ScopedEnvironment> tmpVariable_;
    std::unique_ptr<ScopedEnvironment> host_;
};

// A program the system can run that, started without arguments, leaves the file
// "<its path>-ran" and exits: a shell script, on Windows the stand-in program.
std::string RunnableProgram();

// An installer the system can run: RunnableProgram followed by bytes of every value up to
// `size` bytes (or the program alone when that is longer).
std::string RunnableInstaller(std::size_t size);

// Waits until the program saved at `path` has run.
bool ProgramRan(const std::string& path);

// Waits until the installer saved in the environment's temporary folder has run.
bool InstallerRan(const OnlineEnvironment& environment);

// Waits (processing events) until every background check has ended.
bool WaitForChecks(int timeoutMs = 10000);

// Calls `look` at the moment each message box is asked for, then hands the box on to the hook
// that was set before (a ScriptedMessages, say).
class AtMessage {
public:
    explicit AtMessage(std::function<void(const MessageRequest&)> look);
    ~AtMessage();
    AtMessage(const AtMessage&) = delete;
    AtMessage& operator=(const AtMessage&) = delete;

private:
    MessageHook previous_;
};

// Records the object names of windows shown while it lives.
class ShownWindows : public QObject {
public:
    ShownWindows();
    ~ShownWindows() override;
    std::vector<std::string> Names() const { return names_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<std::string> names_;
};

using testsupport::ReadFileBytes;

} // namespace larkspan::test

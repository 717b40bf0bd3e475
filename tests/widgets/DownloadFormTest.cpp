// The installer download window on its own, against a scripted vendor server on 127.0.0.1.

#include "gui/online/DownloadManager.h"
#include "support/GuiSeams.h"
#include "support/LoopbackServer.h"
#include "unit/platform/ScratchFolder.h"
#include "widgets/OnlineTestSupport.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace larkspan::test {
namespace {

namespace fs = std::filesystem;

constexpr char InstallerPath[] = "/files/Setup.bin";

class DownloadFormTest : public ::testing::Test {
protected:
    // What the window looked like when its (first) message box was asked for.
    struct AtBox {
        bool seen = false;
        bool visible = false;
        std::string caption;
        std::string status;
        bool cancelEnabled = false;
        qint64 elapsedMs = 0;
    };

    // Prepares and shows a window for `identifier`; returns the download state.
    int Run(const std::string& identifier = "FreeLarkspan") {
        TDownloadForm window(TestServices(), vendor.Host());
        QElapsedTimer clock;
        AtMessage look([&](const MessageRequest&) {
            if (!atBox.seen) {
                atBox = {true,
                         window.isVisible(),
                         window.windowTitle().toStdString(),
                         window.sStickyLabelStatus->text().toStdString(),
                         window.sBitBtnCancel->isEnabled(),
                         clock.elapsed()};
            }
        });
        window.PrepareInstallerDownload(identifier);
        clock.start();
        const int state = window.ShowDownloadModal();
        EXPECT_FALSE(window.isVisible());
        gaugeMax = window.sGaugeProgress->MaxValue();
        gaugeProgress = window.sGaugeProgress->Progress();
        gaugeText = window.sGaugeProgress->text().toStdString();
        status = window.sStickyLabelStatus->text().toStdString();
        return state;
    }

    void ExpectErrorBox(const ScriptedMessages& messages) {
        ASSERT_EQ(messages.Requests().size(), 1u);
        const MessageRequest& box = messages.Requests()[0];
        EXPECT_EQ(box.text, "Installer download error!");
        EXPECT_EQ(box.kind, MessageKind::Error);
        EXPECT_EQ(box.buttons, static_cast<MessageButtons>(mbOK));
        EXPECT_EQ(box.buttonsWithoutTabStop, std::vector<std::string>{"OK"});
    }

    FakeVendor vendor;
    OnlineEnvironment environment{vendor.Host()};
    AtBox atBox;
    std::int64_t gaugeMax = -1;
    std::int64_t gaugeProgress = -1;
    std::string gaugeText;
    std::string status;
};

TEST_F(DownloadFormTest, StartsHiddenWithItsInitialLayout) {
    TDownloadForm window(TestServices(), vendor.Host());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Download Manager"));
    EXPECT_EQ(window.size(), QSize(382, 106));
    // A title bar without buttons: the user cannot close the window.
    EXPECT_FALSE(window.windowFlags() &
                 (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
                  Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(window.sStickyLabelStatus->text(), QStringLiteral("Initializing"));
    EXPECT_EQ(window.sStickyLabelStatus->pos(), QPoint(21, 20));
    EXPECT_TRUE(window.sStickyLabelStatus->font().bold());
    EXPECT_EQ(window.sGaugeProgress->geometry(), QRect(20, 38, 340, 20));
    EXPECT_EQ(window.sGaugeProgress->text(), QStringLiteral("0%"));
    EXPECT_EQ(window.sBitBtnCancel->geometry(), QRect(150, 70, 80, 25));
    EXPECT_EQ(window.sBitBtnCancel->text(), QStringLiteral("Cancel"));
    EXPECT_FALSE(window.sBitBtnCancel->isEnabled());
    EXPECT_FALSE(window.TimerHTTP->isActive());
    EXPECT_EQ(window.TimerHTTP->interval(), 500);
    EXPECT_EQ(window.Transfer().Http().Request.UserAgent, "Mozilla/3.0 (compatible; Indy Library)");
}

TEST_F(DownloadFormTest, GaugeShowsATruncatedPercentAndZeroWithoutAMaximum) {
    TGauge gauge;
    gauge.SetMaxValue(3);
    gauge.SetProgress(2);
    EXPECT_EQ(gauge.text(), QStringLiteral("66%"));
    gauge.SetProgress(7); // held at the maximum
    EXPECT_EQ(gauge.Progress(), 3);
    EXPECT_EQ(gauge.text(), QStringLiteral("100%"));
    gauge.SetMaxValue(0);
    EXPECT_EQ(gauge.Progress(), 0);
    EXPECT_EQ(gauge.text(), QStringLiteral("0%"));
    // Not the busy indicator a progress bar shows for an empty range.
    EXPECT_LT(gauge.minimum(), gauge.maximum());
}

TEST_F(DownloadFormTest, MissingInformationClosesAfterTheTimerWithAnError) {
    for (const char* answer : {"false", ""}) {
        SCOPED_TRACE(std::string("answer \"") + answer + "\"");
        vendor.SetInstallerInfo("FreeLarkspan", {200, answer, {}});
        atBox = {};
        ScriptedMessages messages{mrOk};
        EXPECT_EQ(Run(), dsError);
        ExpectErrorBox(messages);
        // The window was up, untouched, and closed only at the timer's tick, not at once. How
        // closely the tick keeps its 500 ms is the system's business: under wine on a busy
        // machine it came as early as 441 ms (wine's server arms a timer from its last reading
        // of the clock, which lags when the server waited for a core).
        EXPECT_TRUE(atBox.visible);
        EXPECT_EQ(atBox.caption, "Download Manager");
        EXPECT_EQ(atBox.status, "Initializing");
        EXPECT_GE(atBox.elapsedMs, 250);
    }
    EXPECT_TRUE(vendor.RequestsStartingWith("GET ").empty());
    const auto posts = vendor.RequestsStartingWith("POST /requests/getsmartinstallerinfo.php ");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_NE(
        posts[0].find("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\r\n"),
        std::string::npos);
    EXPECT_NE(posts[0].find("\r\n\r\nsmartname=FreeLarkspan"), std::string::npos);
}

TEST_F(DownloadFormTest, OneFieldShowsTheProductNameThenTheError) {
    vendor.SetInstallerInfo("FreeLarkspan", {200, "product=Sample+Tool", {}});
    ScriptedMessages messages{mrOk};
    EXPECT_EQ(Run(), dsError);
    ExpectErrorBox(messages);
    EXPECT_EQ(atBox.caption, "Sample Tool Setup");
    EXPECT_TRUE(vendor.RequestsStartingWith("GET ").empty());
}

TEST_F(DownloadFormTest, AnInstallerUrlWithoutAHostIsAnErrorAndNothingIsFetched) {
    for (const char* answer :
         {"product=Kit&installer=", "product=Kit&installer=http%3A%2F%2F%2FSetup.bin",
          "product=Kit&installer=%2FSetup.bin"}) {
        SCOPED_TRACE(answer);
        vendor.SetInstallerInfo("FreeLarkspan", {200, answer, {}});
        ScriptedMessages messages{mrOk};
        EXPECT_EQ(Run(), dsError);
        ExpectErrorBox(messages);
    }
    EXPECT_EQ(vendor.Requests().size(), 3u); // the three information requests only
}

TEST_F(DownloadFormTest, AFailedDownloadReportsAnErrorAndSavesNothing) {
    // The server does not have the file.
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", "/files/missing.bin");
    {
        ScriptedMessages messages{mrOk};
        EXPECT_EQ(Run(), dsError);
        ExpectErrorBox(messages);
        EXPECT_FALSE(atBox.cancelEnabled);
    }
    EXPECT_EQ(vendor.RequestsStartingWith("GET /files/missing.bin ").size(), 1u);

    // Nobody listens at the installer's address.
    testing::RefusingPort refusing;
    vendor.SetInstallerInfo("FreeLarkspan",
                            {200,
                             "product=Larkspan&installer=http%3A%2F%2F127.0.0.1%3A" +
                                 std::to_string(refusing.Port()) + "%2FSetup.bin",
                             {}});
    {
        ScriptedMessages messages{mrOk};
        atBox = {};
        EXPECT_EQ(Run(), dsError);
        ExpectErrorBox(messages);
    }
    EXPECT_FALSE(fs::exists(environment.SetupPath()));
}

TEST_F(DownloadFormTest, CancelAnsweredNoGoesOnAndYesStopsSilently) {
    constexpr std::uint64_t size = 600000;
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
    vendor.SetFile(InstallerPath, {200, "", size, 150000, nullptr});

    ScriptedMessages messages{mrNo, mrYes};
    TDownloadForm window(TestServices(), vendor.Host());
    // Clicks arrive the way the user's do: handled inside the download's progress events.
    std::int64_t progressAtNo = -1;
    std::int64_t progressAtYes = -1;
    QTimer clicker;
    clicker.setInterval(10);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (!window.sBitBtnCancel->isEnabled()) {
            return;
        }
        const std::int64_t progress = window.sGaugeProgress->Progress();
        if (progressAtNo < 0 && progress > 0) {
            progressAtNo = progress;
            window.sBitBtnCancel->click();
        } else if (progressAtNo >= 0 && progressAtYes < 0 && progress > progressAtNo) {
            progressAtYes = progress;
            window.sBitBtnCancel->click();
        }
    });
    clicker.start();
    window.PrepareInstallerDownload("FreeLarkspan");
    EXPECT_EQ(window.ShowDownloadModal(), dsCancelled);
    clicker.stop();

    ASSERT_EQ(messages.Requests().size(), 2u);
    for (const MessageRequest& box : messages.Requests()) {
        EXPECT_EQ(box.text, "Are you sure to cancel this download?");
        EXPECT_EQ(box.kind, MessageKind::Confirmation);
        EXPECT_EQ(box.buttons, static_cast<MessageButtons>(mbYes | mbNo));
        EXPECT_EQ(box.buttonsWithoutTabStop, (std::vector<std::string>{"Yes", "No"}));
    }
    // Both questions came while the transfer ran; after No it went on from where it was.
    EXPECT_GT(progressAtYes, progressAtNo);
    EXPECT_LT(progressAtYes, static_cast<std::int64_t>(size));
    EXPECT_EQ(window.sGaugeProgress->MaxValue(), static_cast<std::int64_t>(size));
    EXPECT_LT(window.sGaugeProgress->Progress(), static_cast<std::int64_t>(size));
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(fs::exists(environment.SetupPath()));
}

TEST_F(DownloadFormTest, ASuccessfulDownloadIsSavedStartedAndReportsZero) {
    const std::string installer = RunnableInstaller(150000); // NUL, CR and LF bytes included
    vendor.OfferInstaller("FreeLarkspan", "Sample Tool", InstallerPath);
    vendor.SetFile(InstallerPath, {200, installer, 0, 0, nullptr});
    {
        std::ofstream stale(environment.SetupPath());
        stale << "an old installer";
    }

    RecordedShellOpens opens;
    EXPECT_EQ(Run(), dsDownloaded);
    EXPECT_EQ(ReadFileBytes(environment.SetupPath()), installer);
    EXPECT_EQ(opens.Programs(), std::vector<std::string>{environment.SetupPath()});
    EXPECT_TRUE(InstallerRan(environment));
#ifndef _WIN32
    // Runnable by its owner alone (Windows files have no such permission bits).
    EXPECT_EQ(fs::status(environment.SetupPath()).permissions() & fs::perms::all,
              fs::perms::owner_all);
#endif
    EXPECT_EQ(status, "Downloading installer");
    EXPECT_EQ(gaugeMax, static_cast<std::int64_t>(installer.size()));
    EXPECT_EQ(gaugeProgress, gaugeMax);
    EXPECT_EQ(gaugeText, "100%");

    const auto gets = vendor.RequestsStartingWith("GET /files/Setup.bin HTTP/1.1\r\n");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_NE(gets[0].find("\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"),
              std::string::npos);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

TEST_F(DownloadFormTest, AFastDownloadRepaintsTheGaugeAtAPaceNotForEveryPiece) {
    constexpr std::uint64_t size = 16 * 1024 * 1024; // hundreds of pieces, all at once
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
    vendor.SetFile(InstallerPath, {200, RunnableInstaller(size), 0, 0, nullptr});
    RecordedShellOpens opens;

    TDownloadForm window(TestServices(), vendor.Host());
    const PaintCounter paints(window.sGaugeProgress);
    int paintsBefore = -1;
    QElapsedTimer transfer;
    online::TIdHTTP& IdHTTP1 = window.Transfer().Http();
    const auto begin = IdHTTP1.OnWorkBegin;
    IdHTTP1.OnWorkBegin = [&](online::TWorkMode mode, std::int64_t expected) {
        paintsBefore = paints.count;
        transfer.start();
        begin(mode, expected);
    };
    window.PrepareInstallerDownload("FreeLarkspan");
    EXPECT_EQ(window.ShowDownloadModal(), dsDownloaded);
    ASSERT_GE(paintsBefore, 0);

    // Seen moving, but painted about once per pacing interval of the transfer (which also
    // holds the saving here), however many pieces came in.
    const int paintsDuring = paints.count - paintsBefore;
    EXPECT_GE(paintsDuring, 1);
    EXPECT_LE(paintsDuring, transfer.elapsed() / 30 + 3) << transfer.elapsed() << " ms";
    EXPECT_EQ(window.sGaugeProgress->text(), QStringLiteral("100%"));
    EXPECT_EQ(fs::file_size(environment.SetupPath()), size);
}

TEST_F(DownloadFormTest, ADownloadWithoutALengthLeavesTheGaugeAtZero) {
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
    ServedFile file{200, RunnableInstaller(70000), 0, 0, nullptr};
    file.withLength = false;
    vendor.SetFile(InstallerPath, file);
    RecordedShellOpens opens;
    EXPECT_EQ(Run(), dsDownloaded);
    EXPECT_EQ(gaugeMax, 0);
    EXPECT_EQ(gaugeText, "0%");
    EXPECT_EQ(fs::file_size(environment.SetupPath()), 70000u);
}

TEST_F(DownloadFormTest, AWindowOpenedDuringAnotherDownloadKeepsItsOwnState) {
    // The update offer can arrive while the Pro download window is transferring and lets
    // events through; the second window must not change the first one's outcome.
    constexpr std::uint64_t size = 300000;
    vendor.OfferInstaller("TarnwellPro", "Tarnwell Pro", InstallerPath);
    vendor.SetFile(InstallerPath, {200, RunnableInstaller(size), 0, 300000, nullptr});
    vendor.SetInstallerInfo("FreeLarkspan", {200, "false", {}});

    ScriptedMessages messages{mrOk}; // the inner window's error
    RecordedShellOpens opens;
    TDownloadForm outer(TestServices(), vendor.Host());
    int innerState = -1;
    QTimer offer;
    offer.setInterval(10);
    QObject::connect(&offer, &QTimer::timeout, [&] {
        if (innerState == -1 && outer.sBitBtnCancel->isEnabled()) {
            innerState = -2; // running
            TDownloadForm inner(TestServices(), vendor.Host());
            inner.PrepareInstallerDownload("FreeLarkspan");
            innerState = inner.ShowDownloadModal();
        }
    });
    offer.start();
    outer.PrepareInstallerDownload("TarnwellPro");
    EXPECT_EQ(outer.ShowDownloadModal(), dsDownloaded);
    offer.stop();

    EXPECT_EQ(innerState, dsError);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Installer download error!"});
    EXPECT_EQ(outer.windowTitle(), QStringLiteral("Tarnwell Pro Setup"));
    EXPECT_EQ(fs::file_size(environment.SetupPath()), size);
    EXPECT_EQ(opens.Programs(), std::vector<std::string>{environment.SetupPath()});
}

TEST_F(DownloadFormTest, ALinkPlantedAtTheInstallerPathIsReplacedNotFollowed) {
    const fs::path temp = environment.TempFolder();
    const fs::path setup = environment.SetupPath();
    const fs::path victim = temp / "victim.txt";
    {
        std::ofstream file(victim);
        file << "precious";
    }
    // Planted before: a dangling link; planted during the transfer: a link to the victim.
    const std::string planted =
        PlantFileLink((temp / "created-through-link").string(), setup.string());
    if (!planted.empty()) {
        GTEST_SKIP() << "no link can be planted here: " << planted;
    }
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
    const std::string installer = RunnableInstaller(100);
    vendor.SetFile(InstallerPath, {200, installer, 0, 0, [setup, victim] {
                                       std::error_code ignored;
                                       fs::remove(setup, ignored);
                                       PlantFileLink(victim.string(), setup.string());
                                   }});

    RecordedShellOpens opens;
    EXPECT_EQ(Run(), dsDownloaded);
    EXPECT_EQ(ReadFileBytes(victim.string()), "precious");
    EXPECT_FALSE(fs::exists(temp / "created-through-link"));
#ifndef _WIN32
    EXPECT_FALSE(fs::is_symlink(setup)); // (the C++ library of mingw-w64 cannot tell)
#endif
    EXPECT_EQ(ReadFileBytes(setup.string()), installer);
}

// The temporary folder's entries, to show that nothing (no Setup.exe, no partial file) is left.
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// "<hex size>[extension]\r\n<data>\r\n" for each piece of `body`.
std::string Chunks(const std::string& body, std::size_t size, const std::string& extension = "") {
    std::string out;
    for (std::size_t at = 0; at < body.size(); at += size) {
        const std::string piece = body.substr(at, size);
        char line[32];
        std::snprintf(line, sizeof line, "%zx", piece.size());
        out += line + extension + "\r\n" + piece + "\r\n";
    }
    return out;
}

TEST_F(DownloadFormTest, ABodyNotWholeOrNotFramedForSureIsAnErrorAndLeavesNothing) {
    const std::string installer = RunnableInstaller(3000);
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::string chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    const struct {
        const char* what;
        std::string raw;
    } cases[] = {
        {"cut short", ok + "Content-Length: 3000\r\n\r\n" + installer.substr(0, 1000)},
        {"overflowing chunk size", chunked + Chunks(installer.substr(0, 1024), 1024) +
                                       "ffffffffffffffffffff\r\n" + installer.substr(1024)},
        {"ends before its last chunk", chunked + Chunks(installer.substr(0, 2048), 1024)},
        {"two lengths", ok + "Content-Length: 1000\r\nContent-Length: 3000\r\n\r\n" + installer},
        {"a coding it cannot undo",
         ok + "Transfer-Encoding: gzip, chunked\r\n\r\n" + Chunks(installer, 1024) + "0\r\n\r\n"},
    };
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ServedFile file;
        file.raw = c.raw;
        vendor.SetFile(InstallerPath, file);
        {
            std::ofstream stale(environment.SetupPath());
            stale << "an old installer";
        }
        ScriptedMessages messages{mrOk};
        RecordedShellOpens opens;
        EXPECT_EQ(Run(), dsError);
        ExpectErrorBox(messages);
        EXPECT_TRUE(opens.Programs().empty());
        EXPECT_EQ(Entries(environment.TempFolder()), std::vector<std::string>{});
    }
}

TEST_F(DownloadFormTest, InterimAnswersChunkExtensionsAndTrailersAreValidHttp) {
    const std::string installer = RunnableInstaller(5000);
    ServedFile file;
    file.raw = "HTTP/1.1 103 Early Hints\r\nLink: </Setup.bin>; rel=preload\r\n\r\n"
               "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
               Chunks(installer, 1000, ";name=value") + "0\r\nX-Checksum: 42\r\n\r\n";
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
    vendor.SetFile(InstallerPath, file);
    RecordedShellOpens opens;
    EXPECT_EQ(Run(), dsDownloaded);
    EXPECT_EQ(ReadFileBytes(environment.SetupPath()), installer);
    EXPECT_TRUE(InstallerRan(environment));
}

TEST_F(DownloadFormTest, CancelAnswersAtOnceWhileTheServerTrickles) {
    // One byte every 5 s, after the first bytes of the body or inside the head: no progress
    // event for minutes, and each wait far below the idle limit.
    const std::pair<const char*, std::string> trickles[] = {
        {"after the first bytes",
         "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n" + RunnableInstaller(5000)},
        {"inside the head", "HTTP/1.1 200 OK\r\nX-Slow: "},
    };
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
    for (const auto& [where, raw] : trickles) {
        SCOPED_TRACE(where);
        ServedFile file;
        file.raw = raw;
        file.trickleEveryMs = 5000;
        vendor.SetFile(InstallerPath, file);

        TDownloadForm window(TestServices(), vendor.Host());
        // Limits of seconds instead of a minute: a window that never takes the click then fails
        // here rather than at the test's time limit.
        window.Transfer().Http().SetHeadTimeoutMs(5000);
        window.Transfer().Http().SetMinimumRate(1024, 5000);
        QElapsedTimer sinceStart;
        QElapsedTimer sinceConfirmed;
        qint64 lastTick = -1;
        qint64 longestGap = 0;
        QTimer clicker;
        clicker.setInterval(10);
        QObject::connect(&clicker, &QTimer::timeout, [&] {
            if (!window.sBitBtnCancel->isEnabled()) {
                return;
            }
            if (lastTick < 0) {
                sinceStart.start();
            } else {
                longestGap = std::max(longestGap, sinceStart.elapsed() - lastTick);
            }
            lastTick = sinceStart.elapsed();
            if (lastTick >= 1500 && !sinceConfirmed.isValid()) {
                window.sBitBtnCancel->click();
            }
        });
        ScriptedMessages messages{mrYes};
        AtMessage confirmed([&](const MessageRequest&) { sinceConfirmed.start(); });
        RecordedShellOpens opens;
        clicker.start();
        window.PrepareInstallerDownload("FreeLarkspan");
        const int state = window.ShowDownloadModal();
        const qint64 effectMs = sinceConfirmed.elapsed();
        clicker.stop();

        std::printf("trickle %s: events taken every %lld ms at most; the transfer ended %lld ms "
                    "after Cancel was confirmed\n",
                    where, static_cast<long long>(longestGap), static_cast<long long>(effectMs));
        EXPECT_EQ(state, dsCancelled);
        EXPECT_EQ(messages.Texts(),
                  std::vector<std::string>{"Are you sure to cancel this download?"});
        // Aims of 100 ms and 1 s; the bounds leave room for a busy machine.
        EXPECT_LT(longestGap, 1000);
        EXPECT_LT(effectMs, 3000);
        EXPECT_TRUE(opens.Programs().empty());
        EXPECT_EQ(Entries(environment.TempFolder()), std::vector<std::string>{});
    }
}

TEST_F(DownloadFormTest, AnInstallerTheSystemCannotRunIsADownloadError) {
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
    vendor.SetFile(InstallerPath, {200, "plain text, not a program\n", 0, 0, nullptr});
    ScriptedMessages messages{mrOk};
    RecordedShellOpens opens;
    EXPECT_EQ(Run(), dsError);
    ExpectErrorBox(messages);
    EXPECT_EQ(opens.Programs(),
              std::vector<std::string>{environment.SetupPath() + " (not started)"});
    EXPECT_FALSE(atBox.cancelEnabled);
    EXPECT_EQ(Entries(environment.TempFolder()), std::vector<std::string>{});
}

TEST_F(DownloadFormTest, TheInstallerGoesWhereTheSystemKeepsTemporaryFilesOrNowhere) {
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
    vendor.SetFile(InstallerPath, {200, RunnableInstaller(1000), 0, 0, nullptr});
    {
        // A temporary folder that cannot be written: the download error, and nothing left.
        const std::string missing = (fs::path(environment.TempFolder()) / "missing").string();
        const ScopedEnvironment temp("TEMP", missing);
        const ScopedEnvironment tmp("TMP", missing);
        ScriptedMessages messages{mrOk};
        EXPECT_EQ(Run(), dsError);
        ExpectErrorBox(messages);
        EXPECT_FALSE(fs::exists(missing));
    }
#ifdef _WIN32
    // Neither TMP nor TEMP: the system's rule goes on to the user's profile folder, not to the
    // root of the current drive.
    const ScopedEnvironment temp("TEMP", std::nullopt);
    const ScopedEnvironment tmp("TMP", std::nullopt);
    const ScopedEnvironment profile("USERPROFILE", environment.TempFolder());
    RecordedShellOpens opens;
    EXPECT_EQ(Run(), dsDownloaded);
    EXPECT_EQ(opens.Programs(), std::vector<std::string>{environment.SetupPath()});
    EXPECT_TRUE(InstallerRan(environment));
#endif
}

} // namespace
} // namespace larkspan::test

// The background update and tutorial check, run by a real main window against a scripted
// vendor server on 127.0.0.1.

#include "gui/online/CheckForNewVersion.h"
#include "gui/online/DownloadManager.h"
#include "gui/shell/Controls.h"
#include "support/GuiSeams.h"
#include "widgets/OnlineTestSupport.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>

#include <gtest/gtest.h>

#include <filesystem>

namespace larkspan::test {
namespace {

constexpr char InstallerPath[] = "/files/LarkspanSetup.bin";

std::string Upgrade(const std::string& version) {
    return "A newer Larkspan is available!\r\nVersion number: " + version +
           "\r\n\r\nWould you like to upgrade now?";
}

class UpdateCheckTest : public ::testing::Test {
protected:
    // A main window whose check has run to its end.
    std::unique_ptr<TMainForm> CheckedWindow() {
        auto form = std::make_unique<TMainForm>(TestServices());
        EXPECT_TRUE(WaitForChecks());
        return form;
    }

    FakeVendor vendor;
    OnlineEnvironment environment{vendor.Host()};
};

TEST_F(UpdateCheckTest, TutorialAnswerFalseChangesNothing) {
    const auto form = CheckedWindow();
    EXPECT_FALSE(form->sBitBtnPlayVideo->isVisibleTo(form.get()));
    EXPECT_FALSE(form->Videotutorial1->isVisible());
    EXPECT_EQ(form->sGroupBox1->geometry(), QRect(6, 8, 400, 88));
    EXPECT_EQ(form->sLabel3->y(), 68);
    EXPECT_EQ(form->sGroupBox4->geometry(), QRect(6, 108, 400, 66));
    // Both questions were asked, the tutorial first, with the product's number.
    const auto requests = vendor.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].rfind("POST /requests/getytvideoid.php HTTP/1.0\r\n", 0), 0u);
    EXPECT_EQ(requests[1].rfind("POST /requests/checkversionid.php HTTP/1.0\r\n", 0), 0u);
    for (const std::string& request : requests) {
        EXPECT_EQ(request.substr(request.size() - 17), "\r\n\r\nproduct_id=10");
    }
}

TEST_F(UpdateCheckTest, AnyOtherTutorialAnswerShowsTheControlsAndMakesRoom) {
    for (const char* answer : {"", "False", "false\r\n", "x7Gq2"}) {
        SCOPED_TRACE(std::string("answer \"") + answer + "\"");
        vendor.SetTutorial({200, answer, {}});
        const auto form = CheckedWindow();
        EXPECT_TRUE(form->sBitBtnPlayVideo->isVisibleTo(form.get()));
        EXPECT_EQ(form->sBitBtnPlayVideo->geometry(), QRect(6, 70, 140, 25));
        EXPECT_TRUE(form->Videotutorial1->isVisible());
        EXPECT_EQ(form->sGroupBox1->geometry(), QRect(6, 4, 400, 102));
        EXPECT_EQ(form->sLabel3->y(), 70);
        EXPECT_EQ(form->sGroupBox4->geometry(), QRect(6, 112, 400, 66));

        // Once per window: a second call moves nothing.
        TCheckForNewVersionProcess::ShowTutorialControls(*form);
        EXPECT_EQ(form->sGroupBox1->geometry(), QRect(6, 4, 400, 102));
        EXPECT_EQ(form->sGroupBox4->y(), 112);
    }
}

TEST_F(UpdateCheckTest, ANewerVersionIsOfferedWithItsNumber) {
    struct Case {
        VendorAnswer answer;
        std::optional<std::string> shown; // the number in the question; none: no question
    };
    const Case cases[] = {
        {{200, "1.3", {}}, std::nullopt},     {{200, "1.30", {}}, std::nullopt},
        {{200, "1.31", {}}, "1.31"},          {{200, "2", {}}, "2.00"},
        {{200, " 1.4 ", {}}, "1.40"},         {{200, "1,4", {}}, std::nullopt},
        {{200, "1.4\r\n", {}}, std::nullopt}, {{200, "", {}}, std::nullopt},
        {{200, "false", {}}, std::nullopt},   {{500, "2", {}}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("answer \"" + c.answer.body + "\" status " + std::to_string(c.answer.status));
        vendor.SetVersion(c.answer);
        ScriptedMessages messages;
        if (c.shown) {
            messages.Answer(mrNo);
        }
        const auto form = CheckedWindow();
        if (c.shown) {
            ASSERT_EQ(messages.Requests().size(), 1u);
            const MessageRequest& question = messages.Requests()[0];
            EXPECT_EQ(question.text, Upgrade(*c.shown));
            EXPECT_EQ(question.kind, MessageKind::Confirmation);
            EXPECT_EQ(question.buttons, static_cast<MessageButtons>(mbYes | mbNo));
            EXPECT_TRUE(question.buttonsWithoutTabStop.empty());
        }
        EXPECT_FALSE(form->TerminationRequested());
    }
    // No answered No ever asked for an installer.
    EXPECT_TRUE(vendor.RequestsStartingWith("POST /requests/getsmartinstallerinfo.php").empty());
}

TEST_F(UpdateCheckTest, CookiesOfTheTutorialAnswerGoBackWithTheVersionQuestion) {
    vendor.SetTutorial({200, "false", {"Set-Cookie: visitor=4711; Path=/"}});
    const auto form = CheckedWindow();
    const auto versionRequests = vendor.RequestsStartingWith("POST /requests/checkversionid.php ");
    ASSERT_EQ(versionRequests.size(), 1u);
    EXPECT_NE(versionRequests[0].find("\r\nCookie: visitor=4711\r\n"), std::string::npos)
        << versionRequests[0];
}

TEST_F(UpdateCheckTest, YesDownloadsTheInstallerStartsItAndEndsTheProgram) {
    const std::string installer = RunnableInstaller(40000);
    vendor.SetVersion({200, "1.4", {}});
    vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
    vendor.SetFile(InstallerPath, {200, installer, 0, 0, nullptr});

    ScriptedMessages messages{mrYes};
    RecordedShellOpens opens;
    ShownWindows shown;
    const auto form = CheckedWindow();

    EXPECT_EQ(messages.Texts(), std::vector<std::string>{Upgrade("1.40")});
    EXPECT_EQ(shown.Names(), std::vector<std::string>{"DownloadForm"});
    EXPECT_EQ(ReadFileBytes(environment.SetupPath()), installer);
    EXPECT_EQ(opens.Programs(), std::vector<std::string>{environment.SetupPath()});
    EXPECT_TRUE(InstallerRan(environment));
    EXPECT_TRUE(form->TerminationRequested());
    const auto info = vendor.RequestsStartingWith("POST /requests/getsmartinstallerinfo.php ");
    ASSERT_EQ(info.size(), 1u);
    EXPECT_NE(info[0].find("\r\n\r\nsmartname=FreeLarkspan"), std::string::npos);
}

TEST_F(UpdateCheckTest, AFailedOrRefusedUpgradeLeavesTheProgramRunning) {
    vendor.SetVersion({200, "1.4", {}});
    {
        // The installer-information request fails: nothing after the question.
        SCOPED_TRACE("information request fails");
        vendor.SetInstallerInfo("FreeLarkspan", {500, "down", {}});
        ScriptedMessages messages{mrYes};
        ShownWindows shown;
        const auto form = CheckedWindow();
        EXPECT_EQ(messages.Requests().size(), 1u);
        EXPECT_TRUE(shown.Names().empty());
        EXPECT_FALSE(form->TerminationRequested());
    }
    {
        // The server has no installer: the window reports the error, the program goes on.
        SCOPED_TRACE("no installer");
        vendor.SetInstallerInfo("FreeLarkspan", {200, "false", {}});
        ScriptedMessages messages{mrYes, mrOk};
        const auto form = CheckedWindow();
        EXPECT_EQ(messages.Texts(),
                  (std::vector<std::string>{Upgrade("1.40"), "Installer download error!"}));
        EXPECT_FALSE(form->TerminationRequested());
    }
    {
        // The installer arrives but the system cannot run it: no success, so no end.
        SCOPED_TRACE("installer that cannot run");
        vendor.OfferInstaller("FreeLarkspan", "Larkspan", InstallerPath);
        vendor.SetFile(InstallerPath, {200, "plain text, not a program\n", 0, 0, nullptr});
        ScriptedMessages messages{mrYes, mrOk};
        RecordedShellOpens opens;
        const auto form = CheckedWindow();
        EXPECT_EQ(messages.Texts(),
                  (std::vector<std::string>{Upgrade("1.40"), "Installer download error!"}));
        EXPECT_EQ(opens.Programs(),
                  std::vector<std::string>{environment.SetupPath() + " (not started)"});
        EXPECT_FALSE(form->TerminationRequested());
    }
}

TEST_F(UpdateCheckTest, AWindowClosedWhileTheCheckWaitsIsLeftAlone) {
    // The server answers only after the window is gone: a tutorial and a newer version, which
    // would show controls and ask a question if the window were still there.
    vendor.HoldTutorial();
    vendor.SetTutorial({200, "video", {}});
    vendor.SetVersion({200, "9", {}});
    auto form = std::make_unique<TMainForm>(TestServices());
    ASSERT_TRUE(QTest::qWaitFor([&] { return vendor.Holding(); }, 5000));
    form.reset();
    vendor.Release();
    // The failing defaults turn any box into a test failure.
    EXPECT_TRUE(WaitForChecks());
    EXPECT_EQ(vendor.RequestsStartingWith("POST /requests/checkversionid.php ").size(), 1u);
}

} // namespace
} // namespace larkspan::test

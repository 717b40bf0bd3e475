// "Start Pro version": the sibling program when it is installed, else its installer through the
// download window, against a scripted vendor server on 127.0.0.1.

#include "gui/online/CheckForNewVersion.h"
#include "gui/shell/Controls.h"
#include "support/GuiSeams.h"
#include "widgets/OnlineTestSupport.h"

#include <QAction>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace larkspan::test {
namespace {

constexpr char InstallerPath[] = "/files/TarnwellSetup.bin";

class StartProTest : public ::testing::Test {
protected:
    StartProTest() {
        vendor.OfferInstaller("TarnwellPro", "Tarnwell Pro", InstallerPath);
        vendor.SetFile(InstallerPath, {200, installer, 0, 0, nullptr});
    }

    std::unique_ptr<TMainForm> Window() {
        auto form = std::make_unique<TMainForm>(TestServices());
        EXPECT_TRUE(WaitForChecks()); // the background check has had its say
        return form;
    }

    std::vector<std::string> InformationRequests() const {
        return vendor.RequestsStartingWith("POST /requests/getsmartinstallerinfo.php ");
    }

    const std::string installer = RunnableInstaller(64);
    FakeVendor vendor;
    QTemporaryDir programs; // where an installed sibling program lives
};

TEST_F(StartProTest, AnInstalledSiblingIsStartedWithoutAWindow) {
    // A real program, which leaves a file beside itself.
    const std::string program = programs.filePath(QStringLiteral("tarnwell.exe")).toStdString();
    testsupport::WriteFileBytes(program, RunnableProgram());
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    OnlineEnvironment environment(vendor.Host(), program);
    const auto form = Window();

    RecordedShellOpens opens;
    ShownWindows shown;
    form->sBitBtnGetProVersion->click();
    EXPECT_EQ(opens.Programs(), std::vector<std::string>{program});
    EXPECT_TRUE(opens.Targets().empty());
    EXPECT_TRUE(ProgramRan(program));
    EXPECT_TRUE(shown.Names().empty());
    EXPECT_TRUE(InformationRequests().empty());
    EXPECT_FALSE(form->isMinimized());

    // A sibling the system cannot run shows nothing either, and the program goes on as it was.
    // (Windows keeps the file of a running program locked: the first one must have ended.)
    ASSERT_TRUE(QTest::qWaitFor([&] {
        std::ofstream out(program, std::ios::trunc);
        return static_cast<bool>(out << "not a program\n" << std::flush);
    }));
    form->sBitBtnGetProVersion->click();
    EXPECT_EQ(opens.Programs().back(), program + " (not started)");
    EXPECT_TRUE(shown.Names().empty());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(form->TerminationRequested());
}

TEST_F(StartProTest, WithoutTheSiblingProgramItsInstallerIsDownloadedAndTheWindowMinimized) {
    struct Case {
        const char* name;
        std::optional<std::string> installPath; // none: no record at all
        bool fromMenu;
    };
    const std::string missing = programs.filePath(QStringLiteral("deleted")).toStdString();
    const Case cases[] = {
        {"record names a deleted program", missing, false},
        {"record with an empty path", std::string(), true},
        {"record names a folder", programs.path().toStdString(), false},
        {"no record", std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OnlineEnvironment environment(vendor.Host(), c.installPath);
        const auto form = Window();
        RecordedShellOpens opens;
        ShownWindows shown;
        if (c.fromMenu) {
            form->GetProVersion1->trigger();
        } else {
            form->sBitBtnGetProVersion->click();
        }
        // The download window, then the main window shown minimized.
        EXPECT_EQ(shown.Names(), (std::vector<std::string>{"DownloadForm", "MainForm"}));
        EXPECT_EQ(opens.Programs(), std::vector<std::string>{environment.SetupPath()});
        EXPECT_TRUE(InstallerRan(environment));
        EXPECT_EQ(ReadFileBytes(environment.SetupPath()), installer);
        // Unlike the upgrade, the program stays: it only steps aside.
        EXPECT_TRUE(form->isMinimized());
        EXPECT_FALSE(form->TerminationRequested());
    }
    const auto requests = InformationRequests();
    ASSERT_EQ(requests.size(), 4u);
    for (const std::string& request : requests) {
        EXPECT_NE(request.find("\r\n\r\nsmartname=TarnwellPro"), std::string::npos);
    }
}

TEST_F(StartProTest, AFailedInformationRequestShowsNothing) {
    vendor.SetInstallerInfo("TarnwellPro", {500, "down", {}});
    OnlineEnvironment environment(vendor.Host());
    const auto form = Window();
    ShownWindows shown;
    // No box, no shell open: the failing defaults would report either.
    form->sBitBtnGetProVersion->click();
    EXPECT_TRUE(shown.Names().empty());
    EXPECT_EQ(InformationRequests().size(), 1u);
    EXPECT_FALSE(form->isMinimized());
}

TEST_F(StartProTest, AFailedDownloadLeavesTheWindowAsItIs) {
    vendor.SetInstallerInfo("TarnwellPro", {200, "false", {}});
    OnlineEnvironment environment(vendor.Host());
    const auto form = Window();
    ScriptedMessages messages{mrOk};
    form->sBitBtnGetProVersion->click();
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Installer download error!"});
    EXPECT_FALSE(form->isMinimized());
}

} // namespace
} // namespace larkspan::test

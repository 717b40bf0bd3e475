#include "core/install/InstallRecordFormat.h"
#include "platform/Platform.h"
#include "platform/RegistryAccess.h"

#include "ScratchFolder.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using larkspan::FindInstallRecordValue;
using larkspan::platform::ReadInstallRecordValue;
using larkspan::test::ScratchFolder;

namespace {

TEST(InstallRecordFormat, KeysCountAtTopLevelAndInGeneralOnly) {
    const std::string text = "Version=1.3\n"
                             "[Other]\n"
                             "Website=http://wrong.example/\n"
                             "Only=other\n"
                             "[General]\n"
                             "Website=http://right.example/\n";
    EXPECT_EQ(FindInstallRecordValue(text, "Version"), "1.3");
    EXPECT_EQ(FindInstallRecordValue(text, "Website"), "http://right.example/");
    EXPECT_EQ(FindInstallRecordValue(text, "Only"), "");
    EXPECT_EQ(FindInstallRecordValue(text, "Missing"), "");
}

TEST(InstallRecordFormat, ValueIsTheTrimmedTextAfterTheFirstEquals) {
    const std::string text = "# Version=comment\n"
                             "  ; Website=comment too\n"
                             " Path \t=\t C:=x ; not a comment \t\r\n"
                             "Empty=   \r\n"
                             "NoEquals\n"
                             "version=2\n"
                             "Version=3";
    EXPECT_EQ(FindInstallRecordValue(text, "Path"), "C:=x ; not a comment");
    EXPECT_EQ(FindInstallRecordValue(text, "Empty"), "");
    EXPECT_EQ(FindInstallRecordValue(text, "Website"), "");
    EXPECT_EQ(FindInstallRecordValue(text, "NoEquals"), "");
    // Names compare like registry value names; the last of several lines counts.
    EXPECT_EQ(FindInstallRecordValue(text, "VERSION"), "3");
}

TEST(InstallRecordFormat, ByteOrderMarkSkippedAndValueEndsAtZeroByte) {
    const char bytes[] = "\xEF\xBB\xBFVersion=1.3\nWebsite=abc\0def\n";
    const std::string text(bytes, sizeof bytes - 1);
    EXPECT_EQ(FindInstallRecordValue(text, "Version"), "1.3");
    EXPECT_EQ(FindInstallRecordValue(text, "Website"), "abc");
}

class InstallRecordLookup : public ::testing::Test {
protected:
    void SetUp() override {
        const char* previous = std::getenv("XDG_CONFIG_DIRS");
        hadPrevious_ = previous != nullptr;
        previous_ = hadPrevious_ ? previous : "";
    }
    void TearDown() override {
        if (hadPrevious_) {
            ::setenv("XDG_CONFIG_DIRS", previous_.c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_DIRS");
        }
    }
    static void UseFolders(const std::string& list) {
        ::setenv("XDG_CONFIG_DIRS", list.c_str(), 1);
    }

    ScratchFolder scratch_;

private:
    bool hadPrevious_ = false;
    std::string previous_;
};

TEST_F(InstallRecordLookup, MissingFolderFileOrKeyAndEmptyValueGiveEmptyText) {
    UseFolders(scratch_ / "no-such-folder");
    EXPECT_EQ(ReadInstallRecordValue("Oxbeck", "Larkspan", "Version"), "");

    UseFolders(scratch_.path());
    EXPECT_EQ(ReadInstallRecordValue("Oxbeck", "Larkspan", "Version"), "");

    scratch_.Write("Oxbeck/Larkspan.conf", "Version=\nOther=1\n");
    EXPECT_EQ(ReadInstallRecordValue("Oxbeck", "Larkspan", "Version"), "");
    EXPECT_EQ(ReadInstallRecordValue("Oxbeck", "Larkspan", "Website"), "");
    EXPECT_EQ(ReadInstallRecordValue("Oxbeck", "Larkspan", "Other"), "1");
}

TEST_F(InstallRecordLookup, UnreadableFileGivesEmptyTextAndHidesLaterFolders) {
    // Root reads files whatever their permissions, so the lookup runs as an ordinary user.
    const ScratchFolder scratch(larkspan::test::ReachableTemporaryFolder());
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0755), 0);
    scratch.Write("first/Oxbeck/Larkspan.conf", "Version=1.0\n", 0000);
    scratch.Write("second/Oxbeck/Larkspan.conf", "Version=2.0\n");
    UseFolders(scratch / "first" + ":" + scratch / "second");
    const int result = larkspan::test::RunUnprivileged(scratch / "second/Oxbeck", [] {
        const std::string version = ReadInstallRecordValue("Oxbeck", "Larkspan", "Version");
        return version.empty() ? 0 : version == "2.0" ? 2 : 1;
    });
    EXPECT_EQ(result, 0) << "2: a later folder's record was taken";
}

TEST_F(InstallRecordLookup, FirstFolderHoldingTheFileWins) {
    scratch_.Write("second/Oxbeck/Larkspan.conf", "Version=2.0\nWebsite=http://second/\n");
    scratch_.Write("third/Oxbeck/Larkspan.conf", "Version=3.0\n");
    // A folder without the file, an empty entry and a relative entry are passed over.
    UseFolders(scratch_ / "first" + "::relative:" + scratch_ / "second" + ":" + scratch_ / "third");
    EXPECT_EQ(ReadInstallRecordValue("Oxbeck", "Larkspan", "Version"), "2.0");

    // The first file found is the record: its missing key is not looked up further down.
    UseFolders(scratch_ / "third" + ":" + scratch_ / "second");
    EXPECT_EQ(ReadInstallRecordValue("Oxbeck", "Larkspan", "Version"), "3.0");
    EXPECT_EQ(ReadInstallRecordValue("Oxbeck", "Larkspan", "Website"), "");
}

TEST_F(InstallRecordLookup, ValueInGeneralWithOddBytesComesBackAsStored) {
    const std::string odd = "%PATH% $HOME \\n \x01 \xC3\xA9 \"q\"";
    scratch_.Write("Oxbeck/Larkspan.conf", "[General]\r\nWebsite=" + odd + "\r\n");
    UseFolders(scratch_.path());
    EXPECT_EQ(ReadInstallRecordValue("Oxbeck", "Larkspan", "Website"), odd);
}

TEST_F(InstallRecordLookup, RegistryAccessReadsTheProductAndSiblingRecords) {
    scratch_.Write("Oxbeck/Larkspan.conf", "Version=1.3\nWebsite=http://larkspan.example/\n");
    scratch_.Write("Oxbeck/Tarnwell.conf", "InstallPath=/opt/tarnwell/tarnwell\n");
    UseFolders(scratch_.path());
    EXPECT_EQ(larkspan::ReadInstallVersion("Larkspan"), "1.3");
    EXPECT_EQ(larkspan::ReadInstallWebsite("Larkspan"), "http://larkspan.example/");
    EXPECT_EQ(larkspan::ReadSiblingInstallPath(), "/opt/tarnwell/tarnwell");
    EXPECT_EQ(larkspan::ReadInstallVersion("Tarnwell"), "");
    EXPECT_EQ(larkspan::ReadInstallVersion("../Oxbeck/Larkspan"), "");
}

} // namespace

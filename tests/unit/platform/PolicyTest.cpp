#include "platform/Policy.h"
#include "core/text/GeneralError.h"
#include "platform/Primitives.h"
#include "platform/RegistryAccess.h"

#include <gtest/gtest.h>

namespace os = larkspan::platform::os;
namespace policy = larkspan::platform::policy;

namespace {

TEST(PlatformPolicy, ToolsAreFoundInTheWorkingFolderFirstWithoutNamingIt) {
    // "." rather than the folder's path: a path may hold ":" and would be split.
    EXPECT_EQ(policy::ToolSearchPath(std::string("/usr/bin:/bin"), "/default"), ".:/usr/bin:/bin");
    EXPECT_EQ(policy::ToolSearchPath(std::nullopt, "/usr/bin:/bin"), ".:/usr/bin:/bin");
    EXPECT_EQ(policy::ToolSearchPath(std::string(), "/default"), ".:");
}

TEST(PlatformPolicy, TemporaryFolderIsTheFirstSetCandidateWithoutTrailingSeparators) {
    using Candidates = std::vector<std::optional<std::string>>;
    EXPECT_EQ(policy::ChooseTemporaryFolder(Candidates{"", "/b//"}, "/tmp", '/'), "/b");
    EXPECT_EQ(policy::ChooseTemporaryFolder(Candidates{std::nullopt, "/"}, "/tmp", '/'), "/");
    EXPECT_EQ(policy::ChooseTemporaryFolder(Candidates{std::nullopt}, "/tmp", '/'), "/tmp");
    EXPECT_EQ(policy::ChooseTemporaryFolder(Candidates{"C:\\Temp\\"}, "", '\\'), "C:\\Temp");
}

TEST(PlatformPolicy, VariablesForOneChildReplaceThoseOfTheSameName) {
    using Entries = std::vector<std::string>;
    using Added = std::vector<std::pair<std::string, std::string>>;
    const Entries inherited{"=C:=C:\\work", "PATH=/bin", "Progress=old", "PROGRESSX=kept", "ODD"};
    EXPECT_EQ(policy::EnvironmentWith(inherited, Added{{"PROGRESS", "/t/p"}, {"NEW", "a=b"}}, true),
              (Entries{"=C:=C:\\work", "PATH=/bin", "PROGRESSX=kept", "ODD", "PROGRESS=/t/p",
                       "NEW=a=b"}));
    EXPECT_EQ(policy::EnvironmentWith(inherited, Added{{"PROGRESS", "/t/p"}}, false),
              (Entries{"=C:=C:\\work", "PATH=/bin", "Progress=old", "PROGRESSX=kept", "ODD",
                       "PROGRESS=/t/p"}));
    EXPECT_EQ(policy::EnvironmentWith(inherited, Added{}, false), inherited);
}

TEST(PlatformPolicy, PartialFileNamesAreToldFromAnyOtherName) {
    EXPECT_EQ(policy::PartialFileName(0x0123456789abcdefULL),
              ".larkspan-partial-0123456789abcdef.tmp");
    EXPECT_TRUE(policy::IsPartialFileName(policy::PartialFileName(0)));
    EXPECT_TRUE(policy::IsPartialFileName(policy::PartialFileName(UINT64_MAX)));
    for (const char* other :
         {".larkspan-partial-0123456789abcde.tmp", ".larkspan-partial-0123456789abcdeF.tmp",
          ".larkspan-partial-0123456789abcdef.tm", "Setup.exe", ".larkspan-0123456789abcdef.tmp",
          ".larkspan-partial-0123456789abcdef"}) {
        EXPECT_FALSE(policy::IsPartialFileName(other)) << other;
    }
}

TEST(PlatformPolicy, RecordNamesMustBePlain) {
    for (const char* name : {"Larkspan", "Oxbeck", "a.b"}) {
        EXPECT_TRUE(policy::IsPlainName(name)) << name;
    }
    for (const char* name : {"", ".", "..", "../x", "a/b", "a\\b"}) {
        EXPECT_FALSE(policy::IsPlainName(name)) << name;
    }
}

TEST(PlatformPolicy, WindowsCommandLineFollowsTheCRuntimesSplittingRules) {
    struct Row {
        std::vector<std::string> argv;
        std::string line;
    };
    const Row rows[] = {
        {{"pdftotext", "-layout", "C:\\in.pdf"}, "pdftotext -layout C:\\in.pdf"},
        {{"C:\\Program Files\\x.exe", "a b"}, "\"C:\\Program Files\\x.exe\" \"a b\""},
        {{"p", ""}, "p \"\""},
        {{"p", "say \"hi\""}, "p \"say \\\"hi\\\"\""},
        // Backslashes are plain unless a double quote follows them.
        {{"p", "C:\\dir\\"}, "p C:\\dir\\"},
        {{"p", "C:\\my dir\\"}, "p \"C:\\my dir\\\\\""},
        {{"p", "a\\\"b"}, "p \"a\\\\\\\"b\""},
        {{"p", "tab\there", "line\nbreak"}, "p \"tab\there\" \"line\nbreak\""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(policy::WindowsCommandLine(row.argv), row.line) << row.line;
    }
}

TEST(PlatformPolicy, CmdRunsNoAutoRunAndNoDelayedExpansionAndTakesTheTextUnchanged) {
    EXPECT_EQ(policy::WindowsInterpreterCommand("pdfi.bin \"a !b! %c%.pdf\""),
              "cmd.exe /D /V:OFF /C pdfi.bin \"a !b! %c%.pdf\"");
}

TEST(PlatformPolicy, RegistryKeysAreOpenedWithTheNarrowerMasksOnlyWhenTheWiderAreRefused) {
    constexpr std::int32_t denied = 5;
    constexpr std::int32_t missing = 2;
    std::vector<std::uint32_t> asked;
    const auto refuseFirst = [&](std::size_t refused, std::int32_t refusal) {
        asked.clear();
        return policy::OpenWithReadMasks([&, refused, refusal](std::uint32_t mask) {
            asked.push_back(mask);
            return asked.size() <= refused ? refusal : 0;
        });
    };
    EXPECT_EQ(refuseFirst(0, denied), 0);
    EXPECT_EQ(asked, (std::vector<std::uint32_t>{0x20019}));
    EXPECT_EQ(refuseFirst(2, denied), 0) << "a key that only lets values be queried";
    EXPECT_EQ(asked, (std::vector<std::uint32_t>{0x20019, 0x20009, 0x0001}));
    EXPECT_EQ(refuseFirst(3, missing), missing) << "the last refusal is the answer";
    EXPECT_EQ(asked.size(), 3u);
}

TEST(PlatformPolicy, ARecordValueThatIsNotTextIsNoValueAndNoSiblingPath) {
    // What a registry number gives on Windows, from a reader of the test's own.
    int asked = 0;
    const larkspan::RecordLookup lookup = [&](const std::string& vendor, const std::string& product,
                                              const std::string& key,
                                              larkspan::platform::RecordWriter writer) {
        return os::LookUpRecordText(
            [&](const os::RecordLocation&, const std::string&, std::string& value) {
                ++asked;
                value = "C:\\stale.exe";
                return os::RecordRead::NotText;
            },
            vendor, product, key, writer);
    };
    EXPECT_EQ(larkspan::ReadInstallVersion("Larkspan", lookup), "");
    std::string error;
    try {
        larkspan::ReadSiblingInstallPath(lookup);
    } catch (const larkspan::GeneralError& e) {
        error = e.what();
    }
    EXPECT_EQ(error, "Invalid data type for 'InstallPath'");
    EXPECT_EQ(asked, 2) << "the first record found is the record";
}

} // namespace

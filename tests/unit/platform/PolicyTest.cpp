#include "platform/Policy.h"

#include <gtest/gtest.h>

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

TEST(PlatformPolicy, RecordNamesMustBePlain) {
    for (const char* name : {"Larkspan", "Oxbeck", "a.b"}) {
        EXPECT_TRUE(policy::IsPlainName(name)) << name;
    }
    for (const char* name : {"", ".", "..", "../x", "a/b", "a\\b"}) {
        EXPECT_FALSE(policy::IsPlainName(name)) << name;
    }
}

} // namespace

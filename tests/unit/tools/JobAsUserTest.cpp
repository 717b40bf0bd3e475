// A whole extraction job as an ordinary user would run it, over the real console runner, the
// real adapters and poppler, and real files: root may write any file whatever its permissions,
// so only an ordinary account shows what the job does with a file the user cannot write.

#include "core/extraction/ExtractionJob.h"
#include "platform/Platform.h"
#include "platform/SystemPorts.h"
#include "support/FakePorts.h"
#include "support/TestFiles.h"
#include "support/Unprivileged.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace larkspan {
namespace {

namespace fs = std::filesystem;

// The window as the job sees it: the choices, and whether an error box was asked for.
class JobChoices final : public JobView {
public:
    explicit JobChoices(JobSettings settings) : settings_(std::move(settings)) {}
    JobSettings Lock() override { return settings_; }
    void FollowProgress(const std::string&) override {}
    void Unlock() override {}
    void ReportError(const std::string&, bool) override { reported = true; }
    void ReportNotice(const std::string&) override { reported = true; }
    bool reported = false;

private:
    JobSettings settings_;
};

TEST(JobAsUser, AReadOnlyOutputFileTheExtractorCannotWriteIsKept) {
    const std::string folder = testsupport::MakeTempFolder("job-as-user");
    // Anyone may create and delete files in the folder; only the file's permissions protect it.
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    testsupport::WritePdf(folder + "/in.pdf", testsupport::NumberedPages(2));
    const std::string output = folder + "/kept.txt";
    testsupport::WriteFileBytes(output, "the user's own text");
    ASSERT_EQ(::chmod(output.c_str(), 0444), 0);

    JobSettings settings;
    settings.pageCountText = "2";
    settings.inputPath = folder + "/in.pdf";
    settings.outputPath = output;
    settings.workingFolder = LARKSPAN_BIN_DIR "/";
    const int reported = test::RunUnprivileged([&] {
        JobChoices view(settings);
        JobControl control;
        platform::ConsoleTools tools;
        platform::SystemFiles files;
        testing::RecordingDesktop desktop;
        ExtractionJob(control, control.BeginJob(), view, tools, files, desktop).Run();
        return view.reported ? 1 : 0;
    });

    EXPECT_EQ(reported, 1) << "the extractor's complaint is shown";
    ASSERT_TRUE(fs::exists(output)) << "the job deleted a file it could not have written";
    EXPECT_EQ(testsupport::ReadFileBytes(output), "the user's own text");
    fs::remove_all(folder);
}

} // namespace
} // namespace larkspan

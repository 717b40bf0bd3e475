// A whole extraction job as an ordinary user would run it, over the real console runner, the
// real adapters and poppler, and real files: root may write any file whatever its permissions,
// so only an ordinary account shows what the job does with a file the user cannot write.

#include "core/extraction/ExtractionJob.h"
#include "platform/Platform.h"
#include "platform/SystemPorts.h"
#include "support/FakePorts.h"
#include "support/TestFiles.h"
#include "support/Unprivileged.h"
#include "unit/platform/ScratchFolder.h"

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
    void FollowProgress(const std::string&, const JobPages&) override {}
    void Unlock() override {}
    void ReportError(const std::string& text, bool) override { reported = text; }
    void ReportNotice(const std::string& text) override { reported = text; }
    std::string reported;

private:
    JobSettings settings_;
};

TEST(JobAsUser, AReadOnlyOutputFileTheExtractorCannotWriteIsKept) {
    // Everything the user's job touches, the adapters included, lies where that user can reach.
    const test::ScratchFolder scratch(test::ReachableTemporaryFolder());
    const std::string folder = scratch.path();
    for (const char* tool : {"textract.bin", "pdfi.bin"}) {
        fs::copy_file(LARKSPAN_BIN_DIR "/" + std::string(tool), folder + "/" + tool);
    }
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
    settings.workingFolder = folder + "/";
    const int reported = test::RunUnprivileged(folder, [&] {
        JobChoices view(settings);
        JobControl control;
        platform::ConsoleTools tools;
        platform::SystemFiles files;
        testing::RecordingDesktop desktop;
        ExtractionJob(control, control.BeginJob(), view, tools, files, desktop).Run();
        return view.reported.find("Permission denied") != std::string::npos ? 1
               : view.reported.empty()                                      ? 0
                                                                            : 2;
    });

    EXPECT_EQ(reported, 1) << "0: no box, 2: a box for another failure than the file's";
    ASSERT_TRUE(fs::exists(output)) << "the job deleted a file it could not have written";
    EXPECT_EQ(testsupport::ReadFileBytes(output), "the user's own text");
}

} // namespace
} // namespace larkspan

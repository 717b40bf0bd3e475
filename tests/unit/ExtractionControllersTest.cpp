// The probe and the extraction job as plain classes, driven through recording stand-ins: the
// exact command lines the tools get, the boxes shown, the files touched.

#include "core/extraction/ExtractionJob.h"
#include "core/extraction/InputProbe.h"
#include "core/extraction/JobOutcome.h"
#include "core/extraction/ProbeLogic.h"
#include "support/FakePorts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace larkspan {
namespace {

using testing::MemoryFiles;
using testing::RecordingDesktop;
using testing::RecordingToolRunner;
using testing::ScriptedMessagePort;
using testing::ScriptedPasswordPort;

constexpr const char* Folder = "/opt/larkspan/";

TEST(InputProbeController, ANewDocumentIsAskedWithoutThePasswordOfThePreviousOne) {
    RecordingToolRunner tools({"Title: x\r\nPages: 3\r\n"});
    ScriptedMessagePort messages;
    ScriptedPasswordPort passwords;
    MemoryFiles files;
    files.files["/docs/new.pdf"].contents = "new";
    CurrentDocument document{"/docs/old.pdf", 9, "old secret", "fp:old"};

    const ProbeResult result =
        InputProbe(tools, messages, passwords, files).Probe("/docs/new.pdf", Folder, document);

    EXPECT_EQ(tools.commands, std::vector<std::string>{"pdfi.bin \"/docs/new.pdf\""});
    EXPECT_EQ(tools.folders, std::vector<std::string>{Folder});
    EXPECT_EQ(result.verdict, ProbeVerdict::Found);
    EXPECT_EQ(result.pageCount, 3);
    EXPECT_EQ(result.proposedOutput, "/docs/new.txt");
    EXPECT_EQ(document.password, "");
    EXPECT_EQ(document.path, "/docs/new.pdf");
    EXPECT_EQ(document.fingerprint, "fp:new");

    // A name that is no PDF runs nothing and keeps the password.
    document.password = "kept";
    EXPECT_EQ(InputProbe(tools, messages, passwords, files)
                  .Probe("/docs/a.pdfx", Folder, document)
                  .verdict,
              ProbeVerdict::Refused);
    EXPECT_EQ(tools.commands.size(), 1u);
    EXPECT_EQ(document.password, "kept");
    EXPECT_EQ(document.fingerprint, "");
}

TEST(InputProbeController, TheFingerprintIsTheFileAsItWasBeforeTheToolReadIt) {
    // Written to while the tool reads it: what the tool found may belong to either version, so
    // the one kept must not match the file as it is afterwards.
    RecordingToolRunner tools({"Pages: 3\n"});
    MemoryFiles files;
    files.files["/d/x.pdf"].contents = "before";
    tools.duringRun = [&files](const ToolEnvironment&) {
        files.files["/d/x.pdf"].contents = "after";
    };
    ScriptedMessagePort messages;
    ScriptedPasswordPort passwords;
    CurrentDocument document;

    InputProbe(tools, messages, passwords, files).Probe("/d/x.pdf", Folder, document);

    EXPECT_EQ(document.fingerprint, "fp:before");
}

TEST(InputProbeController, WrongAnswersAreRetriedWithTheTypedPasswordExactly) {
    const std::string incorrect = "Command Line Error: Incorrect password\r\n";
    RecordingToolRunner tools({incorrect, incorrect, "Pages: 2\n"});
    ScriptedMessagePort messages({mrOk});
    ScriptedPasswordPort passwords({"wrong", "a b"});
    MemoryFiles files;
    CurrentDocument document;

    const ProbeResult result =
        InputProbe(tools, messages, passwords, files).Probe("/d/x.pdf", Folder, document);

    EXPECT_EQ(tools.commands,
              (std::vector<std::string>{"pdfi.bin \"/d/x.pdf\"", "pdfi.bin -upw wrong \"/d/x.pdf\"",
                                        "pdfi.bin -upw 'a b' \"/d/x.pdf\""}));
    ASSERT_EQ(messages.shown.size(), 1u) << "no box before the first question";
    EXPECT_EQ(messages.shown[0].text, "Wrong password, please try it again!");
    EXPECT_EQ(result.verdict, ProbeVerdict::Found);
    EXPECT_EQ(document.password, "a b");
}

TEST(InputProbeController, APastedLineBreakIsRefusedAndAskedForAgainWithoutRunningTheTool) {
    const std::string incorrect = "Command Line Error: Incorrect password\r\n";
    RecordingToolRunner tools({incorrect, "Pages: 2\n"});
    ScriptedMessagePort messages({mrOk, mrOk});
    ScriptedPasswordPort passwords({"sec\r\nret", "secret\n", "secret"});
    MemoryFiles files;
    CurrentDocument document;

    const ProbeResult result =
        InputProbe(tools, messages, passwords, files).Probe("/d/x.pdf", Folder, document);

    EXPECT_EQ(tools.commands, (std::vector<std::string>{"pdfi.bin \"/d/x.pdf\"",
                                                        "pdfi.bin -upw secret \"/d/x.pdf\""}));
    ASSERT_EQ(messages.shown.size(), 2u);
    for (const auto& shown : messages.shown) {
        EXPECT_EQ(shown.text,
                  "A password cannot contain a line break.\r\n\r\nPlease type it again.");
        EXPECT_EQ(shown.kind, MessageKind::Error);
    }
    EXPECT_EQ(result.verdict, ProbeVerdict::Found);
    EXPECT_EQ(document.password, "secret");
}

TEST(InputProbeController, AMissingPdfEngineIsReportedAsSuchNotAsADamagedFile) {
    const std::string line = "pdfinfo could not be started: No such file or directory. "
                             "Install poppler-utils.";
    RecordingToolRunner tools({line + "\n"});
    ScriptedMessagePort messages({mrOk});
    ScriptedPasswordPort passwords;
    MemoryFiles files;
    CurrentDocument document;

    EXPECT_EQ(
        InputProbe(tools, messages, passwords, files).Probe("/d/x.pdf", Folder, document).verdict,
        ProbeVerdict::Failed);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, line);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Error);
}

// The window as a job sees it: fixed choices, and every call noted.
class RecordingJobView final : public JobView {
public:
    explicit RecordingJobView(JobSettings settings) : settings_(std::move(settings)) {}
    JobSettings Lock() override {
        calls.push_back("lock");
        return settings_;
    }
    void FollowProgress(const std::string& path, const JobPages& pages) override {
        calls.push_back("follow: " + path + " from page " + std::to_string(pages.first) + " of " +
                        std::to_string(pages.document));
    }
    void Unlock() override { calls.push_back("unlock"); }
    void ReportError(const std::string& text, bool clear) override {
        calls.push_back((clear ? "clear+box: " : "box: ") + text);
    }
    void ReportNotice(const std::string& text) override { calls.push_back("notice: " + text); }
    std::vector<std::string> calls;

private:
    JobSettings settings_;
};

JobSettings Choices() {
    JobSettings settings;
    settings.pageCountText = "5";
    settings.inputPath = "/d/in.pdf";
    settings.outputPath = "/d/out.txt";
    settings.workingFolder = Folder;
    return settings;
}

struct JobRun {
    explicit JobRun(std::deque<std::string> outputs = {}) : tools(std::move(outputs)) {}

    RecordingToolRunner tools;
    MemoryFiles files;
    RecordingDesktop desktop;
    JobControl control;

    std::vector<std::string> Run(const JobSettings& settings) {
        RecordingJobView view(settings);
        ExtractionJob(control, control.BeginJob(), view, tools, files, desktop).Run();
        EXPECT_FALSE(control.Running());
        EXPECT_EQ(control.Phase(), JobPhase::Finishing);
        return view.calls;
    }
};

TEST(ExtractionJobController, TheChoicesReadOnceMakeTheCommandLineAndASuccessOpensTheText) {
    JobSettings settings = Choices();
    settings.layout = false; // Raw
    settings.pageBreaks = false;
    settings.pageRangeText = " 2-3 ";
    settings.password = "pw";

    settings.inputFingerprint = "fp:probed";
    JobRun job;
    // The progress file exists while the extractor runs, and it alone is given its name.
    bool progressFileThere = false;
    job.tools.duringRun = [&](const ToolEnvironment&) {
        progressFileThere = job.files.FileExists("/temp/larkspan-progress-1");
    };

    EXPECT_EQ(job.Run(settings), (std::vector<std::string>{
                                     "lock", "follow: /temp/larkspan-progress-1 from page 2 of 5",
                                     "unlock", "unlock"}));
    EXPECT_EQ(job.tools.commands,
              std::vector<std::string>{"textract.bin -enc UTF-8 -eol dos -raw -nopgbrk -f 2 -l 3 "
                                       "-upw pw \"/d/in.pdf\" \"/d/out.txt\""});
    EXPECT_EQ(job.tools.folders, std::vector<std::string>{Folder});
    EXPECT_EQ(job.tools.environments.at(0),
              (ToolEnvironment{{"LARKSPAN_PROGRESS_FILE", "/temp/larkspan-progress-1"},
                               {"LARKSPAN_INPUT_FINGERPRINT", "fp:probed"}}));
    EXPECT_TRUE(progressFileThere);
    EXPECT_FALSE(job.files.FileExists("/temp/larkspan-progress-1"));
    EXPECT_EQ(job.desktop.opened, std::vector<std::string>{"/d/out.txt"});

    settings.layout = true;
    settings.openAfterExtraction = false;
    JobRun layout;
    layout.Run(settings);
    EXPECT_EQ(
        layout.tools.commands,
        std::vector<std::string>{"textract.bin -enc UTF-8 -eol dos -layout -nopgbrk -f 2 -l 3 "
                                 "-upw pw \"/d/in.pdf\" \"/d/out.txt\""});
    EXPECT_TRUE(layout.desktop.opened.empty());
}

// The extractor puts its text in place only once it has succeeded: after a failure the file
// there is still the user's, whether the extractor could have written it or not.
TEST(ExtractionJobController, AFailureLeavesTheOutputAsItWas) {
    for (const bool writable : {true, false}) {
        JobRun job({"I/O Error: Couldn't open text file '/d/out.txt'\n"});
        job.files.files["/d/out.txt"] = {"the user's text", writable, false};
        EXPECT_EQ(job.Run(Choices()),
                  (std::vector<std::string>{
                      "lock", "follow: /temp/larkspan-progress-1 from page 1 of 5",
                      "box: I/O Error: Couldn't open text file '/d/out.txt'\n", "unlock"}));
        EXPECT_EQ(job.files.deleted, std::vector<std::string>{"/temp/larkspan-progress-1"});
        EXPECT_EQ(job.files.files["/d/out.txt"].contents, "the user's text");
        EXPECT_TRUE(job.desktop.opened.empty());
    }
}

TEST(ExtractionJobController, AConfirmedStopEndsTheRunningExtractorAndLeavesTheOutput) {
    JobRun job;
    job.tools.runUntilStopped = true;
    std::thread stopper([&] {
        job.tools.AwaitRunning();
        ScriptedMessagePort messages({mrYes});
        StartStopControl buttons(job.control, messages, job.files);
        EXPECT_EQ(buttons.Press("/d/in.pdf", "/d/out.txt"), PressDecision::Nothing);
        EXPECT_EQ(messages.shown.at(0).text, "Are you sure you want to cancel the extraction?");
    });
    // What the ended extractor printed while it went is no message for the user.
    EXPECT_EQ(job.Run(Choices()),
              (std::vector<std::string>{
                  "lock", "follow: /temp/larkspan-progress-1 from page 1 of 5", "unlock"}));
    stopper.join();
    EXPECT_EQ(job.files.deleted, std::vector<std::string>{"/temp/larkspan-progress-1"});
}

TEST(ExtractionJobController, PagesTheExtractorNotedAreToldAfterASuccessBeforeTheTextOpens) {
    const std::string notes = "3 2\n" + PageNotesLines({ListPages({4, 2}), {}}) + "5 5\n";
    for (const bool failed : {false, true}) {
        SCOPED_TRACE(failed ? "failed" : "succeeded");
        JobRun job(failed ? std::deque<std::string>{"Error\n"} : std::deque<std::string>{});
        job.tools.duringRun = [&](const ToolEnvironment&) {
            job.files.files["/temp/larkspan-progress-1"].contents = notes;
        };
        const std::vector<std::string> calls = job.Run(Choices());
        if (failed) {
            EXPECT_EQ(calls, (std::vector<std::string>{
                                 "lock", "follow: /temp/larkspan-progress-1 from page 1 of 5",
                                 "box: Error\n", "unlock"}));
            continue;
        }
        EXPECT_EQ(calls, (std::vector<std::string>{
                             "lock", "follow: /temp/larkspan-progress-1 from page 1 of 5", "unlock",
                             "notice: Pages 2 and 4 could not be recognised, so their text is "
                             "missing from the text file.",
                             "unlock"}));
        EXPECT_EQ(job.desktop.opened, std::vector<std::string>{"/d/out.txt"});
    }
}

TEST(ExtractionJobController, WithoutAProgressFileTheExtractorStillRuns) {
    JobRun job;
    job.files.refuseWrites = true;

    EXPECT_EQ(job.Run(Choices()), (std::vector<std::string>{"lock", "unlock", "unlock"}));
    // Set empty, so that no channel the program inherited reaches the extractor.
    const ToolEnvironment emptied = {{"LARKSPAN_PROGRESS_FILE", ""},
                                     {"LARKSPAN_INPUT_FINGERPRINT", ""}};
    EXPECT_EQ(job.tools.environments, std::vector<ToolEnvironment>{emptied});
    EXPECT_EQ(job.desktop.opened, std::vector<std::string>{"/d/out.txt"});
}

TEST(ExtractionJobController, AnInputTheExtractorFindsChangedIsChosenAgain) {
    // The path holds the word that would otherwise make it a "Settings error!".
    JobSettings settings = Choices();
    settings.inputPath = "/d/pdftotext/in.pdf";
    JobRun job({InputChangedMessage(settings.inputPath) + "\r\n"});

    EXPECT_EQ(job.Run(settings),
              (std::vector<std::string>{
                  "lock", "follow: /temp/larkspan-progress-1 from page 1 of 5",
                  "clear+box: " + InputChangedMessage(settings.inputPath), "unlock"}));
    EXPECT_EQ(job.files.deleted, std::vector<std::string>{"/temp/larkspan-progress-1"});
}

TEST(StartStopController, AnInputChangedSinceTheProbeIsNotStarted) {
    MemoryFiles files;
    files.files["/d/in.pdf"].contents = "probed";
    const CurrentDocument probed{"/d/in.pdf", 3, "", "fp:probed"};
    JobControl control;
    {
        ScriptedMessagePort messages;
        EXPECT_EQ(StartStopControl(control, messages, files).Press("/d/in.pdf", "/d/o.txt", probed),
                  PressDecision::Start);
    }
    files.files["/d/in.pdf"].contents = "replaced";
    ScriptedMessagePort messages({mrOk});
    EXPECT_EQ(StartStopControl(control, messages, files).Press("/d/in.pdf", "/d/o.txt", probed),
              PressDecision::ChooseInputAgain);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, InputChangedMessage("/d/in.pdf"));
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(control.Phase(), JobPhase::None);
}

TEST(StartStopController, AnOutputThatIsTheInputOrNoFileIsRefusedBeforeAnyQuestion) {
    MemoryFiles files;
    files.files["/d/in.pdf"].contents = "probed";
    files.files["/d/out.txt"].contents = "kept";
    files.aliases["/d/link.txt"] = "/d/in.pdf";
    files.nonFiles.insert("/d/fifo.txt");
    JobControl control;
    for (const auto& [output, message] :
         {std::pair{"/d/in.pdf", OutputIsInputMessage("/d/in.pdf")},
          std::pair{"/d/link.txt", OutputIsInputMessage("/d/link.txt")},
          std::pair{"/d/fifo.txt", OutputNotAFileMessage("/d/fifo.txt")}}) {
        ScriptedMessagePort messages({mrOk});
        EXPECT_EQ(StartStopControl(control, messages, files).Press("/d/in.pdf", output),
                  PressDecision::Nothing);
        ASSERT_EQ(messages.shown.size(), 1u) << output;
        EXPECT_EQ(messages.shown[0].text, message);
        EXPECT_EQ(messages.shown[0].kind, MessageKind::Error);
    }
    EXPECT_TRUE(files.deleted.empty());
    EXPECT_EQ(files.files["/d/in.pdf"].contents, "probed");
}

} // namespace
} // namespace larkspan

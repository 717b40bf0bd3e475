// The extraction job: a real run of textract.bin over poppler, every way a run can end (with
// stand-in extractors that print a scripted text), and the window's state around a job.

#include "core/extraction/JobOutcome.h"
#include "core/extraction/JobProgress.h"
#include "widgets/JobFixture.h"

#include <QAction>

namespace larkspan::test {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

bool EveryLineEndIsCrLf(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            return false;
        }
    }
    return text.find('\n') != std::string::npos;
}

class RealExtractorTest : public JobTest {
protected:
    std::string ProgramFolder() override { return std::string(LARKSPAN_BIN_DIR) + "/"; }

    // A five-page document chosen through the input field, so the probe fills the page count
    // and proposes the output name.
    std::string ChooseDocument() {
        testsupport::PdfContent content;
        for (int i = 1; i <= 5; ++i) {
            const std::string n = std::to_string(i);
            content.pages.push_back("Page " + n + " of 5\nLarkspan known words page " + n +
                                    "\nGr\xc3\xbc\xc3\x9f"
                                    "e aus K\xc3\xb6ln");
        }
        const std::string input = folder_ + "/Report.pdf";
        testsupport::WritePdf(input, content);
        Form().sFilenameEditInput->setText(QString::fromStdString(input));
        EXPECT_EQ(Form().sEditPageCount->text().toStdString(), "5");
        return Form().sFilenameEditOutput->text().toStdString();
    }
};

TEST_F(RealExtractorTest, WritesUtf8TextWithCrLfOfTheChosenPagesAndOpensIt) {
    const std::string output = ChooseDocument();
    ASSERT_EQ(output, folder_ + "/Report.txt");
    Form().sEditPageRange->setText(QStringLiteral("2-3"));
    RecordedShellOpens opens;

    Press();
    ASSERT_TRUE(WaitForJobEnd());

    const std::string text = ReadFileBytes(output);
    EXPECT_NE(text.find("Page 2 of 5"), std::string::npos) << text;
    EXPECT_NE(text.find("Larkspan known words page 3"), std::string::npos) << text;
    EXPECT_EQ(text.find("Page 1 of 5"), std::string::npos) << text;
    EXPECT_EQ(text.find("Page 4 of 5"), std::string::npos) << text;
    EXPECT_NE(text.find("Gr\xc3\xbc\xc3\x9f"
                        "e aus K\xc3\xb6ln"),
              std::string::npos)
        << "not UTF-8: " << text;
    EXPECT_TRUE(EveryLineEndIsCrLf(text)) << text;
    EXPECT_EQ(opens.Targets(), std::vector<std::string>{output});
    EXPECT_FALSE(Running());
    ExpectWindowState(Form(), false);
}

TEST_F(RealExtractorTest, OpensNothingWithOpenAfterExtractionUnchecked) {
    const std::string output = ChooseDocument();
    Form().sCheckBoxOpenAfter->setChecked(false);
    RecordedShellOpens opens;

    Press();
    ASSERT_TRUE(WaitForJobEnd());

    const std::string text = ReadFileBytes(output);
    EXPECT_NE(text.find("Page 1 of 5"), std::string::npos) << text;
    EXPECT_NE(text.find("Page 5 of 5"), std::string::npos) << text;
    EXPECT_TRUE(opens.Targets().empty());
}

TEST_F(RealExtractorTest, AnInputChangedSinceItWasChosenIsNotExtractedButChosenAgain) {
    const std::string output = ChooseDocument();
    const std::string input = Form().Document().path;
    ASSERT_NE(Form().Document().fingerprint, "");
    // Replaced by another document under the same name.
    testsupport::WritePdf(input, testsupport::NumberedPages(2));
    RecordedShellOpens opens;
    RecordedBoxes boxes(Form());

    Press();

    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{InputChangedMessage(input)});
    EXPECT_EQ(Phase(), JobPhase::None);
    EXPECT_FALSE(FileExists(output));
    EXPECT_EQ(Form().sFilenameEditInput->text(), QString());
    EXPECT_EQ(Form().sFilenameEditInput->Hint(),
              QStringLiteral("Click here to select input PDF file"));
    EXPECT_EQ(Form().sEditPageCount->text(), QString());
    EXPECT_TRUE(opens.Targets().empty());
}

// ---- What the extractor printed, and what the job makes of it ----

struct Outcome {
    const char* name;
    std::string printed;
    std::optional<std::string> box; // the error box's text; none when nullopt
    bool written;                   // the output is there: the job never deletes one
    bool opened;
    bool inputCleared;
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
    *out << outcome.name;
}

class JobOutcomeTest : public JobTest, public ::testing::WithParamInterface<Outcome> {};

TEST_P(JobOutcomeTest, ShowsAndOpensAsTheOutputSays) {
    const Outcome& row = GetParam();
    const StandInExtractor standIn(folder_, false);
    standIn.Reply(row.printed);
    const std::string input = SomePdf();
    const std::string output = folder_ + "/out.txt";
    SetFields(input, output, "3", "2-3");
    RecordedShellOpens opens;
    RecordedBoxes boxes(Form());

    Press();
    ASSERT_TRUE(WaitForJobEnd());

    ASSERT_EQ(standIn.Runs(), 1);
    if (row.box) {
        ASSERT_EQ(boxes.Texts(), std::vector<std::string>{*row.box});
        const SeenBox& box = boxes.Seen().front();
        EXPECT_EQ(box.request.kind, MessageKind::Error);
        EXPECT_EQ(box.request.buttons, mbOK);
        EXPECT_TRUE(box.windowLocked);
    } else {
        EXPECT_TRUE(boxes.Texts().empty());
    }
    EXPECT_EQ(FileExists(output), row.written);
    EXPECT_EQ(opens.Targets(),
              row.opened ? std::vector<std::string>{output} : std::vector<std::string>{});
    if (row.inputCleared) {
        EXPECT_EQ(Form().sFilenameEditInput->text(), QString());
        EXPECT_EQ(Form().sFilenameEditInput->Hint(),
                  QStringLiteral("Click here to select input PDF file"));
        EXPECT_EQ(Form().sEditPageCount->text(), QString());
        EXPECT_EQ(Form().sEditPageRange->text(), QString());
    } else {
        EXPECT_EQ(Form().sFilenameEditInput->text().toStdString(), input);
        EXPECT_EQ(Form().sEditPageRange->text(), QStringLiteral("2-3"));
    }
    EXPECT_FALSE(Running());
    ExpectWindowState(Form(), false);
}

const std::string PasswordText(kPasswordRequiredOutput);

INSTANTIATE_TEST_SUITE_P(
    Printed, JobOutcomeTest,
    ::testing::Values(
        Outcome{"Nothing", "", std::nullopt, true, true, false},
        Outcome{"OnlyALineEnd", "\r\n", std::nullopt, false, false, false},
        Outcome{"UsageTextNamingTheTool",
                "pdftotext version 22.12.0\nUsage: pdftotext [options] <PDF-file> [<text-file>]\n",
                "Settings error!", false, false, false},
        Outcome{"ThePasswordComplaint", PasswordText, "Wrong password! Please try it again!", false,
                false, true},
        Outcome{"ThePasswordComplaintWithALineEnd", PasswordText + "\r\n", PasswordText + "\r\n",
                false, false, false},
        Outcome{"OtherText", "I/O Error: Couldn't open file 'x'\n",
                "I/O Error: Couldn't open file 'x'\n", false, false, false}),
    [](const ::testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });

TEST_F(JobTest, TheGaugeShowsTheShareOfPagesTheExtractorReportsAndItsFileGoesAfterwards) {
    const StandInExtractor standIn(folder_, true);
    const std::string output = folder_ + "/out.txt";
    SetFields(SomePdf(), output, "10", "3-6");
    RecordedShellOpens opens;

    Press();
    ASSERT_TRUE(WaitFor([&] { return standIn.Started(); }));
    // The extractor was handed a fresh empty file of the job's own.
    const std::string progress = standIn.ProgressFile();
    ASSERT_TRUE(FileExists(progress)) << progress;
    EXPECT_EQ(ReadFileBytes(progress), "");
    EXPECT_NE(progress.find("larkspan-progress-"), std::string::npos) << progress;
    // The range's first page is named before the extractor's first count, as the document
    // numbers it.
    EXPECT_EQ(Form().sGaugeProcess->text().toStdString(), "0% \u00B7 Page 3 of 10");
    std::vector<int> shown;
    QObject::connect(Form().sGaugeProcess, &QProgressBar::valueChanged,
                     [&shown](int value) { shown.push_back(value); });

    // Written as the extractor writes it, a line at a time.
    std::string lines = "0 4\n1 4\n";
    WriteFileBytes(progress, lines);
    ASSERT_TRUE(WaitFor([&] { return Form().sGaugeProcess->value() == 25; }));
    EXPECT_EQ(Form().sGaugeProcess->text().toStdString(), "25% \u00B7 Page 4 of 10");
    EXPECT_EQ(Form().windowTitle().toStdString(), "25% \u00B7 Page 4 of 10 \u00B7 Larkspan");
    // Garbage and a line still being written show nothing; the line, once complete, does.
    lines += "no count\n3";
    WriteFileBytes(progress, lines);
    lines += " 4\n";
    WriteFileBytes(progress, lines);
    ASSERT_TRUE(WaitFor([&] { return Form().sGaugeProcess->value() == 75; }));
    EXPECT_EQ(Form().sGaugeProcess->text().toStdString(), "75% \u00B7 Page 6 of 10");

    standIn.Release();
    ASSERT_TRUE(WaitForJobEnd());
    EXPECT_EQ(shown, (std::vector<int>{25, 75, 0}));
    EXPECT_FALSE(FileExists(progress));
    EXPECT_EQ(opens.Targets(), std::vector<std::string>{output});
    ExpectWindowState(Form(), false);
}

TEST_F(JobTest, TheJobTakesTheChoicesAsTheWindowShowsThem) {
    SetFields(SomePdf(), folder_ + "/out.txt", "3", " 2-3 ");
    ShowActive(&Form());
    ClickMiddle(Form().sRadioButtonFormattedRaw);
    ClickMiddle(Form().sCheckBoxInsertPageBreak);
    ClickMiddle(Form().sCheckBoxOpenAfter);
    JobSettings settings = ReadJobSettings(Form());
    EXPECT_FALSE(settings.layout);
    EXPECT_FALSE(settings.pageBreaks);
    EXPECT_FALSE(settings.openAfterExtraction);
    EXPECT_EQ(settings.pageCountText, "3");
    EXPECT_EQ(settings.pageRangeText, " 2-3 ");
    EXPECT_EQ(settings.outputPath, folder_ + "/out.txt");
    EXPECT_EQ(settings.workingFolder, folder_ + "/");

    ClickMiddle(Form().sRadioButtonFormattedLayout);
    EXPECT_TRUE(ReadJobSettings(Form()).layout);
}

TEST_F(JobTest, ExtractorThatCannotStartIsReportedAndTheReplacedFileIsKept) {
    window_ = std::make_unique<StagedMainWindow>(folder_ + "/no such folder/");
    const std::string output = folder_ + "/out.txt";
    WriteFileBytes(output, "earlier text");
    SetFields(SomePdf(), output);
    RecordedShellOpens opens;
    RecordedBoxes boxes(Form(), {mrYes});

    Press();
    ASSERT_TRUE(WaitForJobEnd());

    ASSERT_EQ(boxes.Texts().size(), 2u);
    EXPECT_EQ(boxes.Texts()[1], "Could not start the text extractor.");
    EXPECT_EQ(ReadFileBytes(output), "earlier text");
    EXPECT_TRUE(opens.Targets().empty());
    ExpectWindowState(Form(), false);
}

TEST_F(JobTest, PageRangeWithBlanksAroundTheDashFailsAfterTheWindowIsUnlocked) {
    const StandInExtractor standIn(folder_, false);
    const std::string output = folder_ + "/out.txt";
    WriteFileBytes(output, "earlier text");
    SetFields(SomePdf(), output, "10", "1 - 5");
    RecordedBoxes boxes(Form(), {mrYes});

    Press();
    ASSERT_TRUE(WaitForJobEnd());

    ASSERT_EQ(boxes.Texts().size(), 2u);
    const SeenBox& error = boxes.Seen()[1];
    EXPECT_EQ(error.request.text, "'1 ' is not a valid integer value");
    EXPECT_EQ(error.request.kind, MessageKind::Error);
    EXPECT_FALSE(error.windowLocked);
    EXPECT_EQ(error.startCaption, QStringLiteral("Start Extraction"));
    EXPECT_EQ(standIn.Runs(), 0);
    EXPECT_EQ(ReadFileBytes(output), "earlier text");
    ExpectWindowState(Form(), false);
}

TEST_F(JobTest, WindowIsLockedWhileTheExtractorRunsAndOnlyTheButtonActs) {
    const StandInExtractor standIn(folder_, true);
    const std::string output = folder_ + "/out.txt";
    SetFields(SomePdf(), output);
    ShowActive(Form().window());
    // The window's first caption; every job leaves "Start Extraction" behind.
    EXPECT_EQ(Form().sBitBtnStart->text(), QStringLiteral("Start extraction"));
    RecordedShellOpens opens;

    Press();
    ASSERT_TRUE(WaitFor([&] { return standIn.Started(); }));
    EXPECT_EQ(Phase(), JobPhase::Locked);
    EXPECT_TRUE(Running());
    ExpectWindowState(Form(), true);
    EXPECT_EQ(Form().sGaugeProcess->value(), 0);
    EXPECT_EQ(Form().sGaugeProcess->text().toStdString(), "0% \u00B7 Page 1 of 3");

    // The menus' shortcuts are dead while their menus are disabled: no stop question (Ctrl+S),
    // no closing (Ctrl+W).
    PressKey(Form().window(), Qt::Key_S, Qt::ControlModifier);
    PressKey(Form().window(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    standIn.Release();
    ASSERT_TRUE(WaitForJobEnd());
    EXPECT_EQ(opens.Targets(), std::vector<std::string>{output});
    ExpectWindowState(Form(), false);
}

} // namespace
} // namespace larkspan::test

// The start/stop button: the checks before a job, the replace question, the stop question, and
// presses while a job's thread still runs.

#include "widgets/JobFixture.h"

namespace larkspan::test {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

TEST_F(JobTest, BothFieldsEmptyWarnsOnlyAboutTheInput) {
    const StandInExtractor standIn(folder_, false);
    SetFields(" \t", "");
    ScriptedMessages boxes{mrOk};

    Press();

    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(boxes.Requests()[0].text, "Please specify the input PDF file!");
    EXPECT_EQ(boxes.Requests()[0].kind, MessageKind::Warning);
    EXPECT_EQ(boxes.Requests()[0].buttons, mbOK);
    EXPECT_EQ(Phase(), JobPhase::None);
    EXPECT_EQ(standIn.Runs(), 0);
}

TEST_F(JobTest, EmptyOutputFieldWarnsAboutTheOutput) {
    const StandInExtractor standIn(folder_, false);
    SetFields(SomePdf(), "  ");
    ScriptedMessages boxes{mrOk};

    Press();

    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Please specify the output text file!"});
    EXPECT_EQ(Phase(), JobPhase::None);
    EXPECT_EQ(standIn.Runs(), 0);
}

TEST_F(JobTest, ExistingOutputAnsweredNoStartsNothing) {
    const StandInExtractor standIn(folder_, false);
    const std::string output = folder_ + "/out.txt";
    WriteFileBytes(output, "earlier text");
    SetFields(SomePdf(), output);
    ScriptedMessages boxes{mrNo};

    Press();

    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(boxes.Requests()[0].text,
              output + " already exists.\r\n\r\nDo you want to replace it?");
    EXPECT_EQ(boxes.Requests()[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(boxes.Requests()[0].buttons, mbYes | mbNo);
    EXPECT_EQ(Phase(), JobPhase::None);
    EXPECT_EQ(standIn.Runs(), 0);
    EXPECT_EQ(ReadFileBytes(output), "earlier text");
}

TEST_F(JobTest, ExistingOutputIsReplacedUnlessTheAnswerIsNo) {
    // Closing the box (Cancel) is consent, like Yes.
    for (const int answer : {mrYes, mrCancel}) {
        SCOPED_TRACE(answer);
        const StandInExtractor standIn(folder_, false);
        const std::string output = folder_ + "/out.txt";
        WriteFileBytes(output, "earlier text");
        SetFields(SomePdf(), output);
        RecordedShellOpens opens;
        ScriptedMessages boxes{answer};

        Press();
        ASSERT_TRUE(WaitForJobEnd());

        EXPECT_EQ(ReadFileBytes(output), StandInText);
        EXPECT_EQ(opens.Targets(), std::vector<std::string>{output});
    }
}

TEST_F(JobTest, ConfirmedStopEndsTheExtractorAndEverythingItStartedAndDeletesTheOutput) {
    const StandInExtractor standIn(folder_, true);
    const std::string output = folder_ + "/out.txt";
    SetFields(SomePdf(), output);
    RecordedShellOpens opens;

    Press();
    ASSERT_TRUE(WaitFor([&] { return standIn.Started(); }));
    ASSERT_EQ(Phase(), JobPhase::Locked);
    ASSERT_FALSE(ProcessesMentioning(folder_).empty());
    {
        ScriptedMessages stop{mrYes};
        Press();
        ASSERT_EQ(stop.Requests().size(), 1u);
        EXPECT_EQ(stop.Requests()[0].text, "Are you sure you want to cancel the extraction?");
        EXPECT_EQ(stop.Requests()[0].kind, MessageKind::Confirmation);
        EXPECT_EQ(stop.Requests()[0].buttons, mbYes | mbNo);
        EXPECT_TRUE(stop.Requests()[0].buttonsWithoutTabStop.empty());
    }
    EXPECT_FALSE(Running());

    // The extractor, which would wait for ever, is ended: the job ends without a release.
    ASSERT_TRUE(WaitForJobEnd());
    EXPECT_FALSE(standIn.Ended());
    EXPECT_TRUE(WaitFor([&] { return ProcessesMentioning(folder_).empty(); }))
        << "left running: " << ProcessesMentioning(folder_).front();
    EXPECT_EQ(standIn.Runs(), 1);
    EXPECT_FALSE(FileExists(output));
    EXPECT_TRUE(opens.Targets().empty());
    ExpectWindowState(Form(), false);
}

TEST_F(JobTest, StopAnsweredNoLetsTheJobFinish) {
    const StandInExtractor standIn(folder_, true);
    const std::string output = folder_ + "/out.txt";
    SetFields(SomePdf(), output);
    RecordedShellOpens opens;

    Press();
    ASSERT_TRUE(WaitFor([&] { return standIn.Started(); }));
    {
        ScriptedMessages stop{mrNo};
        Press();
    }
    EXPECT_TRUE(Running());

    standIn.Release();
    ASSERT_TRUE(WaitForJobEnd());
    EXPECT_EQ(ReadFileBytes(output), StandInText);
    EXPECT_EQ(opens.Targets(), std::vector<std::string>{output});
}

TEST_F(JobTest, SecondPressBeforeTheJobLocksTheWindowStartsNothing) {
    const StandInExtractor standIn(folder_, true);
    const std::string output = folder_ + "/out.txt";
    SetFields(SomePdf(), output);
    RecordedShellOpens opens;

    // Both clicks are handled before the event loop runs again, so the job cannot have locked
    // the window in between.
    Form().sBitBtnStart->click();
    Form().sBitBtnStart->click();
    EXPECT_EQ(Phase(), JobPhase::Starting);

    ASSERT_TRUE(WaitFor([&] { return standIn.Started(); }));
    standIn.Release();
    ASSERT_TRUE(WaitForJobEnd());
    EXPECT_EQ(standIn.Runs(), 1);
    EXPECT_EQ(opens.Targets(), std::vector<std::string>{output});
}

TEST_F(JobTest, PressAfterTheJobUnlockedTheWindowButBeforeItsThreadEndedStartsNothing) {
    // The job's conversion error is shown once the window is unlocked, while its thread waits
    // for the box: a press then, with both fields filled, asks nothing and starts nothing.
    const StandInExtractor standIn(folder_, false);
    const std::string output = folder_ + "/out.txt";
    SetFields(SomePdf(), output, "10", "1 - 5");
    std::vector<std::string> boxes;
    std::optional<JobPhase> afterPress;
    const MessageHook previous = SetMessageHook([&](const MessageRequest& request) {
        boxes.push_back(request.text);
        if (!afterPress) {
            Form().sEditPageRange->setText(QStringLiteral("1-5"));
            Press();
            afterPress = Phase();
        }
        return std::optional<int>(mrOk);
    });

    Press();
    const bool ended = WaitForJobEnd();
    SetMessageHook(previous);
    ASSERT_TRUE(ended);
    EXPECT_EQ(afterPress, JobPhase::Finishing);
    EXPECT_EQ(boxes, std::vector<std::string>{"'1 ' is not a valid integer value"});
    EXPECT_EQ(standIn.Runs(), 0);
    EXPECT_FALSE(FileExists(output));
}

TEST_F(JobTest, CtrlSWithoutAJobActsLikeTheButton) {
    const StandInExtractor standIn(folder_, false);
    ShowActive(Form().window());
    {
        ScriptedMessages boxes{mrOk};
        PressKey(Form().window(), Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Please specify the input PDF file!"});
    }

    const std::string output = folder_ + "/out.txt";
    SetFields(SomePdf(), output);
    RecordedShellOpens opens;
    PressKey(Form().window(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(WaitFor([&] { return standIn.Ended(); }));
    ASSERT_TRUE(WaitForJobEnd());
    EXPECT_EQ(standIn.Runs(), 1);
    EXPECT_EQ(opens.Targets(), std::vector<std::string>{output});
}

} // namespace
} // namespace larkspan::test

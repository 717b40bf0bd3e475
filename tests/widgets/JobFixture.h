#pragma once

// What the extraction-job tests share: a main window on a staged installation record, a
// private folder that serves as the application folder, stand-in extractors that print a
// scripted text (and, when asked, wait until the test lets them end), and a recorder of the
// message boxes that also notes what the window and the output file looked like at that moment.

#include "gui/extraction/ConversionProcess.h"
#include "gui/extraction/FilenameEdit.h"
#include "gui/shell/Controls.h"
#include "gui/shell/Pictures.h"
#include "platform/Platform.h"
#include "support/GuiSeams.h"
#include "support/TestFiles.h"
#include "widgets/MainWindowFixture.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace larkspan::test {

inline constexpr int JobDeadlineMs = 20000;

inline bool FileExists(const std::string& path) {
    return platform::RegularFileExists(path);
}

#ifdef _WIN32
// The stand-ins in `folder` that still run: the process ids they noted in pids.log (see
// support/win32/StandInProgram.cpp) whose process has not ended.
inline std::vector<std::string> ProcessesMentioning(const std::string& folder) {
    std::vector<std::string> found;
    std::ifstream log(std::filesystem::path(folder) / "pids.log");
    for (std::string pid; std::getline(log, pid);) {
        const HANDLE process =
            ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::stoul(pid)));
        if (process != nullptr) {
            if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                found.push_back(pid + ": a stand-in in " + folder);
            }
            ::CloseHandle(process);
        }
    }
    return found;
}
#else
// The command lines of the live processes that name `text` (a stand-in's folder, say); zombies,
// which have ended, are not counted.
inline std::vector<std::string> ProcessesMentioning(const std::string& text) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        // A process may end while it is looked at: its files then read as empty.
        const auto read = [&entry](const char* name) {
            std::ifstream in(entry.path() / name, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        std::string line = read("cmdline");
        std::replace(line.begin(), line.end(), '\0', ' ');
        const std::string stat = read("stat");
        const auto state = stat.rfind(") ");
        if (line.find(text) != std::string::npos && state != std::string::npos &&
            stat[state + 2] != 'Z') {
            found.push_back(pid + ": " + line);
        }
    }
    return found;
}
#endif

// A textract.bin stand-in in `folder`. Each run appends a line to runs.log, writes
// "written by the stand-in" (CR LF) into the output file (its last argument), writes the values
// of LARKSPAN_PROGRESS_FILE and LARKSPAN_INPUT_FINGERPRINT into env.log, one a line, creates the
// marker "started", waits for the file "release" when `waitForRelease` is set, and then prints
// the bytes of reply.txt (nothing when there is none) and creates "ended". (A shell script on
// POSIX; on Windows the program of support/win32/StandInProgram.cpp.)
class StandInExtractor {
public:
    StandInExtractor(const std::string& folder, bool waitForRelease) : folder_(folder) {
#ifdef _WIN32
        std::filesystem::copy_file(testsupport::StandInProgram(), Path("textract.bin"),
                                   std::filesystem::copy_options::overwrite_existing);
        if (waitForRelease) {
            testsupport::WriteFileBytes(Path("wait"), "");
        }
#else
        const std::string script =
            "#!/bin/sh\n"
            "dir='" +
            folder + "'\n" +
            "for last; do :; done\n"
            "echo run >> \"$dir/runs.log\"\n"
            "printf '%s\\n' \"$LARKSPAN_PROGRESS_FILE\" \"$LARKSPAN_INPUT_FINGERPRINT\" "
            "> \"$dir/env.log\"\n"
            ": > \"$dir/started\"\n" +
            (waitForRelease ? "while [ ! -e \"$dir/release\" ]; do sleep 0.01; done\n" : "") +
            // As the extractor, the text only when it succeeds.
            "if [ -s \"$dir/reply.txt\" ]; then cat \"$dir/reply.txt\"; else\n"
            "  printf 'written by the stand-in\\r\\n' > \"$last\"; fi\n"
            ": > \"$dir/ended\"\n";
        testsupport::WriteFileBytes(Path("textract.bin"), script);
        QFile::setPermissions(QString::fromStdString(Path("textract.bin")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
    }

    void Reply(const std::string& text) const {
        testsupport::WriteFileBytes(Path("reply.txt"), text);
    }
    void Release() const {
        testsupport::WriteFileBytes(Path("release"), "");
    }
    bool Started() const {
        return FileExists(Path("started"));
    }
    bool Ended() const {
        return FileExists(Path("ended"));
    }
    int Runs() const {
        if (!FileExists(Path("runs.log"))) {
            return 0;
        }
        const std::string log = testsupport::ReadFileBytes(Path("runs.log"));
        return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
    }
    std::string Path(const std::string& name) const {
        return folder_ + "/" + name;
    }
    // The variables the last run was given (see env.log).
    std::string ProgressFile() const {
        return EnvLine(0);
    }
    std::string Fingerprint() const {
        return EnvLine(1);
    }

private:
    std::string EnvLine(int index) const {
        std::istringstream lines(testsupport::ReadFileBytes(Path("env.log")));
        std::string line;
        for (int i = 0; i <= index && std::getline(lines, line); ++i) {
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }

    std::string folder_;
};

inline const char* const StandInText = "written by the stand-in\r\n";

// A box as the job's tests see it: its text, and the state around it when it was shown.
struct SeenBox {
    MessageRequest request;
    bool windowLocked = false; // the page-range field disabled
    QString startCaption;
};

// Answers every box with `answers` in order (OK when they run out) and records it with the
// state of `form` at that moment.
class RecordedBoxes {
public:
    explicit RecordedBoxes(TMainForm& form, std::vector<int> answers = {})
        : answers_(std::move(answers)) {
        previous_ =
            SetMessageHook([this, &form](const MessageRequest& request) -> std::optional<int> {
                seen_.push_back(
                    {request, !form.sEditPageRange->isEnabled(), form.sBitBtnStart->text()});
                if (next_ < answers_.size()) {
                    return answers_[next_++];
                }
                return mrOk;
            });
    }
    ~RecordedBoxes() {
        SetMessageHook(std::move(previous_));
        EXPECT_EQ(next_, answers_.size()) << "scripted answers left unused";
    }
    RecordedBoxes(const RecordedBoxes&) = delete;
    RecordedBoxes& operator=(const RecordedBoxes&) = delete;

    const std::vector<SeenBox>& Seen() const { return seen_; }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const SeenBox& box : seen_) {
            texts.push_back(box.request.text);
        }
        return texts;
    }

private:
    std::vector<int> answers_;
    std::size_t next_ = 0;
    std::vector<SeenBox> seen_;
    MessageHook previous_;
};

// A main window whose application folder is a fresh private folder.
class JobTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = testsupport::MakeTempFolder("job");
        window_ = std::make_unique<StagedMainWindow>(ProgramFolder());
    }

    // Where the window's tools are: the private folder, for the stand-ins.
    virtual std::string ProgramFolder() { return folder_ + "/"; }

    void TearDown() override {
        // A job must never outlive its window; a test that fails halfway lets it end first.
        if (Phase() != JobPhase::None) {
            testsupport::WriteFileBytes(folder_ + "/release", "");
            const MessageHook previous =
                SetMessageHook([](const MessageRequest&) -> std::optional<int> { return mrOk; });
            EXPECT_TRUE(WaitForJobEnd()) << "the job did not end";
            SetMessageHook(previous);
        }
    }

    TMainForm& Form() { return *window_->form; }
    JobPhase Phase() { return Form().Jobs()->Phase(); }
    bool Running() { return Form().Jobs()->Running(); }

    // Fills the fields as the probe and the user would, without running the probe.
    void SetFields(const std::string& input, const std::string& output,
                   const std::string& pageCount = "3", const std::string& pageRange = "") {
        {
            const QSignalBlocker quiet(Form().sFilenameEditInput);
            Form().sFilenameEditInput->setText(QString::fromStdString(input));
        }
        {
            const QSignalBlocker quiet(Form().sFilenameEditOutput);
            Form().sFilenameEditOutput->setText(QString::fromStdString(output));
        }
        Form().sEditPageCount->setText(QString::fromStdString(pageCount));
        Form().sEditPageRange->setText(QString::fromStdString(pageRange));
    }

    // A plain file standing in for the input document (the stand-ins never read it).
    std::string SomePdf() {
        const std::string path = folder_ + "/in.pdf";
        testsupport::WriteFileBytes(path, "%PDF-1.4\n");
        return path;
    }

    void Press() { ClickMiddle(Form().sBitBtnStart); }

    [[nodiscard]] bool WaitForJobEnd() {
        return QTest::qWaitFor([this] { return Phase() == JobPhase::None; }, JobDeadlineMs);
    }
    [[nodiscard]] bool WaitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, JobDeadlineMs);
    }

    std::string folder_;
    std::unique_ptr<StagedMainWindow> window_;
};

// Every control of the job table in the state of a running job (locked) or of an idle window.
inline void ExpectWindowState(TMainForm& form, bool locked) {
    SCOPED_TRACE(locked ? "window locked for a job" : "window idle");
    for (QWidget* menu :
         {static_cast<QWidget*>(form.FileMenu), static_cast<QWidget*>(form.EditMenu),
          static_cast<QWidget*>(form.HelpMenu)}) {
        EXPECT_EQ(menu->isEnabled(), !locked) << menu->objectName().toStdString();
    }
    for (QWidget* control : std::initializer_list<QWidget*>{
             form.sFilenameEditInput, form.sButtonOpenPDF, form.sEditPageCount, form.sEditPageRange,
             form.sBitBtnPlayVideo, form.sFilenameEditOutput, form.sButtonOpenText,
             form.sRadioButtonFormattedLayout, form.sRadioButtonFormattedRaw,
             form.sCheckBoxInsertPageBreak, form.sCheckBoxOpenAfter}) {
        EXPECT_EQ(control->isEnabled(), !locked) << control->objectName().toStdString();
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{form.sBitBtnStart, form.sBitBtnGetProVersion,
                                         form.ImageDonate, form.Image1, form.sLabelFXWebpage}) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_EQ(form.sGaugeProcess->isTextVisible(), locked);
    if (!locked) {
        EXPECT_EQ(form.sGaugeProcess->value(), 0);
        EXPECT_EQ(form.sGaugeProcess->text(), QStringLiteral("0%"));
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Larkspan"));
    }
    EXPECT_EQ(form.sBitBtnStart->text().toStdString(),
              locked ? "Stop Extraction" : "Start Extraction");
    const QImage glyph = form.sBitBtnStart->icon().pixmap(kGlyph24Size).toImage();
    EXPECT_EQ(glyph, Picture24(locked ? Glyph24::Stop : Glyph24::Start).toImage());
}

} // namespace larkspan::test

// extraction-bench: figures for the extraction path on a generated 500-page PDF.
//
// Usage: extraction-bench [runs]    (default 10; run by scripts/bench-extraction.sh)
//
// 1. Extraction: the program's way (RunConsoleCapture -> /bin/sh -> textract.bin -> pdftotext,
//    with the command line the job builds) against pdftotext started directly with the same
//    options; medians of `runs` interleaved runs and their ratio.
// 2. Probe: pdfi.bin through RunConsoleCapture against pdfinfo started directly; medians and
//    their difference.
// 3. Main thread: a TConversionProcess extracts the document in a real main window
//    (offscreen) while a 5 ms timer measures the longest gap between its ticks; the same
//    timer without a job gives the machine's own jitter for comparison.
// 4. Memory: this process's resident size before the first job and after jobs on a 50-page
//    and on the 500-page document.

#include "app/ShellOpen.h"
#include "core/extraction/ExtractCommand.h"
#include "core/extraction/ProbeLogic.h"
#include "gui/extraction/ConversionProcess.h"
#include "gui/extraction/FilenameEdit.h"
#include "gui/shell/Controls.h"
#include "gui/shell/LarkspanApplication.h"
#include "gui/shell/MainWindow.h"
#include "gui/shell/MessageBox.h"
#include "platform/Platform.h"
#include "support/TestFiles.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace larkspan;

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <class Run> double Milliseconds(Run&& run) {
    const Clock::time_point start = Clock::now();
    run();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Pages that look like a real document: 48 lines of running text each.
testsupport::PdfContent Document(int pageCount) {
    testsupport::PdfContent content;
    const std::string filler = "the quick brown fox jumps over the lazy dog while the extractor "
                               "keeps the layout";
    for (int page = 1; page <= pageCount; ++page) {
        std::string lines = "Page " + std::to_string(page) + " of " + std::to_string(pageCount);
        for (int line = 2; line <= 48; ++line) {
            lines += "\n" + std::to_string(line) + " " + filler;
        }
        content.pages.emplace_back(lines);
    }
    return content;
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "extraction-bench: %s\n", what.c_str());
    std::exit(1);
}

// Runs one job in `form` and returns the longest gap (ms) between the ticks of a 5 ms timer on
// the main thread while it ran, and the job's time in `jobMs`.
double LongestStallDuringJob(TMainForm& form, double& jobMs) {
    QElapsedTimer sinceTick;
    double longest = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (TConversionProcess::Phase() == JobPhase::None) {
            loop.quit();
        }
    });
    const Clock::time_point start = Clock::now();
    ticks.start(5);
    sinceTick.start();
    form.sBitBtnStart->click();
    watch.start(1);
    loop.exec();
    jobMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return longest;
}

double LongestStallIdle(int milliseconds) {
    QElapsedTimer sinceTick;
    double longest = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    ticks.start(5);
    sinceTick.start();
    loop.exec();
    return longest;
}

void SetField(QLineEdit* field, const std::string& text) {
    const QSignalBlocker quiet(field);
    field->setText(QString::fromStdString(text));
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const std::string bin = std::string(LARKSPAN_BIN_DIR) + "/";
    const std::string folder = testsupport::MakeTempFolder("extraction-bench");
    const std::string input = folder + "/document.pdf";
    const std::string small = folder + "/small.pdf";
    testsupport::WritePdf(input, Document(500));
    testsupport::WritePdf(small, Document(50));
    std::printf("document: 500 pages, %zu bytes; %d runs each\n",
                testsupport::ReadFileBytes(input).size(), runs);

    // 1. Extraction through the program's path and directly.
    const std::string viaProgram = folder + "/via-program.txt";
    const std::string direct = folder + "/direct.txt";
    const std::string command = BuildExtractCommand(true, true, "500", "", "", input, viaProgram);
    std::vector<double> programMs, directMs;
    for (int i = 0; i < runs; ++i) {
        programMs.push_back(Milliseconds([&] {
            const platform::ConsoleResult run = platform::RunConsoleCapture(command, bin);
            if (!run.started || !run.output.empty()) {
                Fail("textract.bin failed: " + run.output);
            }
        }));
        directMs.push_back(Milliseconds([&] {
            const platform::CapturedRun run = platform::RunCaptured(
                {"pdftotext", "-enc", "UTF-8", "-eol", "dos", "-layout", input, direct});
            if (!run.started || run.exitCode != 0) {
                Fail("pdftotext failed: " + run.standardError);
            }
        }));
    }
    if (testsupport::ReadFileBytes(viaProgram) != testsupport::ReadFileBytes(direct)) {
        Fail("the two extractions wrote different text");
    }
    const double programMedian = Median(programMs), directMedian = Median(directMs);
    std::printf("extraction: program path %.1f ms, pdftotext directly %.1f ms, ratio %.3f "
                "(aim <= 1.03)\n",
                programMedian, directMedian, programMedian / directMedian);

    // 2. The probe.
    const std::string probe = BuildProbeCommand("", input);
    std::vector<double> probeMs, pdfinfoMs;
    for (int i = 0; i < runs; ++i) {
        probeMs.push_back(Milliseconds([&] {
            const platform::ConsoleResult run = platform::RunConsoleCapture(probe, bin);
            if (ReadProbeReport(run.output).kind != ProbeReportKind::PageCount) {
                Fail("pdfi.bin failed: " + run.output);
            }
        }));
        pdfinfoMs.push_back(Milliseconds([&] {
            const platform::CapturedRun run = platform::RunCaptured({"pdfinfo", input});
            if (!run.started || run.exitCode != 0) {
                Fail("pdfinfo failed: " + run.standardError);
            }
        }));
    }
    const double probeMedian = Median(probeMs), pdfinfoMedian = Median(pdfinfoMs);
    std::printf("probe: pdfi.bin path %.1f ms, pdfinfo directly %.1f ms, difference %+.1f ms "
                "(aim <= 15 ms)\n",
                probeMedian, pdfinfoMedian, probeMedian - pdfinfoMedian);

    // 3 and 4. Real jobs in a real main window, which insists on an installation record.
    const std::string recordFolder = testsupport::MakeTempFolder("extraction-bench-config");
    if (!QDir().mkpath(QString::fromStdString(recordFolder + "/Oxbeck"))) {
        Fail("cannot make the record folder");
    }
    testsupport::WriteFileBytes(recordFolder + "/Oxbeck/Larkspan.conf",
                                "Version=1.3\nWebsite=http://larkspan.example/\n");
    qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(recordFolder));
    LarkspanApplication app(argc, argv);
    ApplyProgramStyle(app);
    SetMessageHook([](const MessageRequest& request) -> std::optional<int> {
        Fail("unexpected box: " + request.text);
        return mrOk;
    });
    SetShellOpenHook([](const std::string&) {});

    TMainForm form;
    LarkspanApplication::SetMainWindow(&form);
    form.show();
    AppFolder = bin;
    const std::string output = folder + "/job.txt";
    form.sCheckBoxOpenAfter->setChecked(false);
    QCoreApplication::processEvents();

    const long before = ResidentKiB();
    double jobMs = 0;
    SetField(form.sFilenameEditInput, small);
    SetField(form.sFilenameEditOutput, output);
    form.sEditPageCount->setText(QStringLiteral("50"));
    LongestStallDuringJob(form, jobMs);
    platform::DeleteFileQuietly(output);
    const long afterSmall = ResidentKiB();

    SetField(form.sFilenameEditInput, input);
    form.sEditPageCount->setText(QStringLiteral("500"));
    double longest = 0;
    double slowestJob = 0;
    for (int i = 0; i < 3; ++i) {
        platform::DeleteFileQuietly(output);
        longest = std::max(longest, LongestStallDuringJob(form, jobMs));
        slowestJob = std::max(slowestJob, jobMs);
    }
    const long afterLarge = ResidentKiB();
    const double idle = LongestStallIdle(static_cast<int>(slowestJob));
    std::printf("main thread: longest gap of a 5 ms timer during 3 jobs %.1f ms (aim < 50 ms); "
                "without a job %.1f ms; job took up to %.0f ms\n",
                longest, idle, slowestJob);
    std::printf("memory: resident %ld KiB before the first job, %ld KiB after a 50-page job, "
                "%ld KiB after three 500-page jobs\n",
                before, afterSmall, afterLarge);
    return 0;
}

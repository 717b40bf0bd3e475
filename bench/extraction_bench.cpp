// extraction-bench: figures for the extraction path on generated PDFs.
//
// Usage: extraction-bench [runs] [long runs]   (default 10 and 3; run by
//        scripts/bench-extraction.sh)
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
// 5. Long documents: 2,000 and 20,000 pages through the program's path as the job runs it (with
//    the progress file and the probe's fingerprint in the environment) against pdftotext alone;
//    medians of `runs` (2,000 pages) and `long runs` (20,000) interleaved runs by the clock and
//    in processor time, their ratios, and the peak memory of the extraction's largest process.
// 6. Byte identity: the program's text against pdftotext's own over layout/raw, page breaks or
//    none, three page ranges and three passwords (none, a short one, a 100-byte one, which
//    pdftotext cannot take: its yardstick is the document before encryption).

#include "core/extraction/ExtractCommand.h"
#include "core/extraction/ProbeLogic.h"
#include "core/text/TextRules.h"
#include "gui/extraction/ConversionProcess.h"
#include "gui/extraction/FilenameEdit.h"
#include "gui/shell/Controls.h"
#include "gui/shell/LarkspanApplication.h"
#include "gui/shell/MainWindow.h"
#include "gui/shell/MessageBox.h"
#include "platform/Platform.h"
#include "platform/SystemPorts.h"
#include "support/TestFiles.h"

#include <sys/resource.h>

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

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "extraction-bench: %s\n", what.c_str());
    std::exit(1);
}

// The window's outside world for the jobs: the real files and tools, and nothing that waits for
// a user or leaves the machine. A box or a password question means the job went wrong.
class NoBoxes final : public MessagePort {
public:
    int Show(const std::string& text, MessageKind, MessageButtons,
             const std::vector<std::string>&) override {
        Fail("unexpected box: " + text);
    }
};

class NoPasswords final : public PasswordPort {
public:
    std::optional<std::string> AskPassword(const std::string&, const std::string&) override {
        Fail("unexpected password question");
    }
};

class NoDesktop final : public DesktopPort {
public:
    void Open(const std::string&) override {}
    bool StartProgram(const std::string&) override { return false; }
};

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
        if (form.Jobs()->Phase() == JobPhase::None) {
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

// pdftotext run directly with the options the job's command line gives textract.bin.
std::vector<std::string> DirectCommand(bool layout, bool pageBreaks, const std::string& range,
                                       int pageCount, const std::string& password,
                                       const std::string& input, const std::string& output) {
    std::vector<std::string> command{"pdftotext", "-enc", "UTF-8",
                                     "-eol",      "dos",  layout ? "-layout" : "-raw"};
    if (!pageBreaks) {
        command.emplace_back("-nopgbrk");
    }
    if (!Trim(range).empty()) {
        const PageRange pages = ParsePageRange(Trim(range), pageCount);
        command.insert(command.end(),
                       {"-f", std::to_string(pages.first), "-l", std::to_string(pages.last)});
    }
    if (!password.empty()) {
        command.insert(command.end(), {"-upw", password});
    }
    command.insert(command.end(), {input, output});
    return command;
}

void RunDirect(const std::vector<std::string>& command) {
    const platform::CapturedRun run = platform::RunCaptured(command);
    if (!run.started || run.exitCode != 0) {
        Fail("pdftotext failed: " + run.standardError);
    }
}

void RunProgramPath(const std::string& command, const std::string& bin) {
    const platform::ConsoleResult run = platform::RunConsoleCapture(command, bin);
    if (!run.started || !run.output.empty()) {
        Fail("textract.bin failed: " + run.output);
    }
}

// Processor time (user and system, ms) of the children waited for so far. What a run adds is
// its own, and that of everything it started and waited for: a figure that other work on the
// machine disturbs far less than the time on the clock.
double ChildrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& time) {
        return time.tv_sec * 1e3 + time.tv_usec / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The largest resident size (KiB) of the processes of one run of `command`, by GNU time.
long PeakKiB(std::vector<std::string> command) {
    command.insert(command.begin(), {"/usr/bin/time", "-f", "peak %M"});
    const platform::CapturedRun run = platform::RunCaptured(command);
    const std::size_t at = run.standardError.rfind("peak ");
    return at == std::string::npos ? -1
                                   : std::strtol(run.standardError.c_str() + at + 5, nullptr, 10);
}

// `runs` rounds for 2,000 pages, `longRuns` for 20,000.
void LongDocuments(const std::string& folder, const std::string& bin, int runs, int longRuns) {
    for (const int pages : {2000, 20000}) {
        const int rounds = pages == 2000 ? runs : longRuns;
        const std::string input = folder + "/long-" + std::to_string(pages) + ".pdf";
        testsupport::WritePdf(input, Document(pages));
        const std::string viaProgram = folder + "/long-program.txt";
        const std::string direct = folder + "/long-direct.txt";
        const std::string progress = folder + "/progress";
        // As the job runs the extractor: the window follows its progress through a file, and
        // the extractor checks that the document is the one the probe saw.
        platform::SetEnvironment("LARKSPAN_PROGRESS_FILE", progress);
        platform::SetEnvironment("LARKSPAN_INPUT_FINGERPRINT", platform::FileFingerprint(input));
        const std::string command =
            BuildExtractCommand(true, true, std::to_string(pages), "", "", input, viaProgram);
        const std::vector<std::string> directCommand =
            DirectCommand(true, true, "", pages, "", input, direct);
        std::vector<double> programMs, directMs, programCpu, directCpu;
        for (int i = 0; i < rounds; ++i) {
            testsupport::WriteFileBytes(progress, "");
            double cpu = ChildrenCpuMs();
            programMs.push_back(Milliseconds([&] { RunProgramPath(command, bin); }));
            programCpu.push_back(ChildrenCpuMs() - cpu);
            cpu = ChildrenCpuMs();
            directMs.push_back(Milliseconds([&] { RunDirect(directCommand); }));
            directCpu.push_back(ChildrenCpuMs() - cpu);
        }
        const bool same =
            testsupport::ReadFileBytes(viaProgram) == testsupport::ReadFileBytes(direct);
        const std::string lines = testsupport::ReadFileBytes(progress);
        const long adapterPeak = PeakKiB(
            {bin + "textract.bin", "-enc", "UTF-8", "-eol", "dos", "-layout", input, viaProgram});
        const long directPeak = PeakKiB(directCommand);
        platform::SetEnvironment("LARKSPAN_PROGRESS_FILE", "");
        platform::SetEnvironment("LARKSPAN_INPUT_FINGERPRINT", "");
        if (!same) {
            Fail("the program's text of " + std::to_string(pages) + " pages is not pdftotext's");
        }
        const double program = Median(programMs), alone = Median(directMs);
        std::printf("%d pages (%zu bytes of text): program path %.0f ms, pdftotext alone %.0f ms, "
                    "ratio %.3f (aim <= 1.03); processor time %.0f ms and %.0f ms, ratio %.3f; %zu "
                    "progress lines; peak memory %ld KiB with the adapter, %ld KiB pdftotext "
                    "alone\n",
                    pages, testsupport::ReadFileBytes(direct).size(), program, alone,
                    program / alone, Median(programCpu), Median(directCpu),
                    Median(programCpu) / Median(directCpu),
                    static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n')),
                    adapterPeak, directPeak);
        platform::DeleteFileQuietly(input);
    }
}

void ByteIdentity(const std::string& folder, const std::string& bin) {
    const std::string plain = folder + "/small.pdf";
    const std::string shortPassword = "a b\"c$d&e";
    std::string longPassword = "Gr\xC3\xBC\xC3\x9F"
                               "e & \"quotes\" $HOME | ";
    longPassword.resize(100, 'x');
    const std::string shortLocked = folder + "/short.pdf";
    const std::string longLocked = folder + "/long.pdf";
    testsupport::WriteEncryptedCopy(plain, shortLocked, shortPassword, "owner");
    testsupport::WriteEncryptedCopy(plain, longLocked, longPassword, "owner");
    const std::string viaProgram = folder + "/table-program.txt";
    const std::string direct = folder + "/table-direct.txt";
    int rows = 0, identical = 0;
    for (const bool layout : {true, false}) {
        for (const bool pageBreaks : {true, false}) {
            for (const std::string range : {"", "3-7", "40-"}) {
                for (const std::string& password : {std::string(), shortPassword, longPassword}) {
                    const std::string input = password.empty()            ? plain
                                              : password == shortPassword ? shortLocked
                                                                          : longLocked;
                    platform::DeleteFileQuietly(viaProgram);
                    RunProgramPath(BuildExtractCommand(layout, pageBreaks, "50", range, password,
                                                       input, viaProgram),
                                   bin);
                    RunDirect(DirectCommand(layout, pageBreaks, range, 50,
                                            password == longPassword ? "" : password,
                                            password == longPassword ? plain : input, direct));
                    const bool same = testsupport::ReadFileBytes(viaProgram) ==
                                      testsupport::ReadFileBytes(direct);
                    ++rows;
                    identical += same ? 1 : 0;
                    if (!same) {
                        std::printf("  differs: %s, %s, range \"%s\", password of %zu bytes\n",
                                    layout ? "layout" : "raw",
                                    pageBreaks ? "page breaks" : "no page breaks", range.c_str(),
                                    password.size());
                    }
                }
            }
        }
    }
    std::printf("byte identity with pdftotext: %d of %d option sets identical (aim: all)\n",
                identical, rows);
}

void SetField(QLineEdit* field, const std::string& text) {
    const QSignalBlocker quiet(field);
    field->setText(QString::fromStdString(text));
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int longRuns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
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
    // A closed loopback port: the window's background check must not leave the machine.
    qputenv("LARKSPAN_WEBSITE_HOST", "127.0.0.1:9");
    LarkspanApplication app(argc, argv);
    ApplyProgramStyle(app);

    NoBoxes messages;
    NoPasswords passwords;
    NoDesktop desktop;
    platform::SystemFiles files;
    platform::SystemRecords records;
    platform::ConsoleTools tools;
    const Services services{
        messages, passwords, desktop, files, records, tools, platform::ConnectTcp, bin};
    TMainForm form(services);
    LarkspanApplication::SetMainWindow(&form);
    form.show();
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

    // 5 and 6.
    LongDocuments(folder, bin, runs, longRuns);
    ByteIdentity(folder, bin);
    return 0;
}

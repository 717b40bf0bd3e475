// The information tool's report and the judgement of an extraction run, on any printed text,
// what textract.bin reads from the tools behind text recognition (pdftotext's pages, pdfinfo's
// page size, the OCR engine's text and language list), and the progress file the window reads
// while textract.bin writes it. Byte 0 steers the job's flags and the text's form; the rest is
// what the tool printed.

#include "FuzzCheck.h"
#include "core/extraction/JobOutcome.h"
#include "core/extraction/JobProgress.h"
#include "core/extraction/ProbeLogic.h"
#include "core/extraction/ScriptChoice.h"
#include "core/extraction/TextRecognition.h"
#include "core/extraction/TextStream.h"
#include "core/text/GeneralError.h"
#include "core/text/TextRules.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using namespace larkspan;

namespace {

void CheckProbeReport(std::string_view output) {
    ProbeReport report;
    try {
        report = ReadProbeReport(output);
    } catch (const GeneralError& error) {
        // Only a "Pages:" value can be refused, and the message quotes it.
        FUZZ_CHECK(output.find("Pages:") != std::string_view::npos);
        // (what() ends at a NUL byte the value may hold.)
        FUZZ_CHECK(std::string_view(error.what()).ends_with("' is not a valid integer value") ||
                   output.find('\0') != std::string_view::npos);
        return;
    }
    const bool onlyLineEnds = output.find_first_not_of("\r\n") == std::string_view::npos;
    FUZZ_CHECK((report.kind == ProbeReportKind::NoLines) == onlyLineEnds);
    if (report.kind == ProbeReportKind::IncorrectPassword) {
        FUZZ_CHECK(output.find(kIncorrectPasswordLine) != std::string_view::npos);
    }
    if (report.kind == ProbeReportKind::EngineMissing) {
        FUZZ_CHECK(report.engineMessage.starts_with(kInfoEngineMissingPrefix));
        FUZZ_CHECK(output.find(report.engineMessage) != std::string_view::npos);
    }
    if (report.kind == ProbeReportKind::PageCount) {
        FUZZ_CHECK(output.find("Pages:") != std::string_view::npos);
    } else {
        FUZZ_CHECK(report.pageCount == 0);
    }
    // Another "Pages:" line at the end wins over whatever came before it, unless the report's
    // first line asks for a password or says the engine is missing.
    if (report.kind != ProbeReportKind::IncorrectPassword &&
        report.kind != ProbeReportKind::EngineMissing) {
        const ProbeReport last = ReadProbeReport(std::string(output) + "\nPages:  42\r\n");
        FUZZ_CHECK(last.kind == ProbeReportKind::PageCount && last.pageCount == 42);
    }
}

void CheckJudgement(std::uint8_t flags, std::string_view output) {
    const bool started = (flags & 1) != 0;
    const bool stopRequested = (flags & 2) != 0;
    const bool openAfter = (flags & 4) != 0;
    const JobOutcome outcome = JudgeExtraction(started, output, stopRequested, openAfter);
    if (!started) {
        // Nothing ran, so nothing this job wrote can be opened.
        FUZZ_CHECK(!outcome.succeeded && !outcome.openOutput);
        FUZZ_CHECK(!outcome.message.empty());
        return;
    }
    FUZZ_CHECK(outcome.succeeded == (output.empty() && !stopRequested));
    FUZZ_CHECK(outcome.openOutput == (outcome.succeeded && openAfter));
    FUZZ_CHECK(outcome.message.empty() == Trim(output).empty());
    FUZZ_CHECK(!outcome.clearInputFields || !outcome.succeeded);
    FUZZ_CHECK(outcome.message.size() <= std::max(output.size(), std::size_t{64}));
}

void CheckRecognitionTexts(std::uint8_t flags, std::string_view output) {
    TextractRequest request;
    request.layout = (flags & 8) != 0;
    request.raw = (flags & 16) != 0;
    request.endOfLine = (flags & 32) != 0 ? "\r\n" : "\n";
    const std::string text = FormatRecognisedText(output, request);
    // Whole lines, each with the chosen end, no page end or other control character, never two
    // empty lines in a row or one at either end.
    FUZZ_CHECK(text.empty() || text.ends_with(request.endOfLine));
    const std::string empty = request.endOfLine + request.endOfLine;
    FUZZ_CHECK(text.find(empty + request.endOfLine.substr(request.endOfLine.size() - 1)) ==
               std::string::npos);
    FUZZ_CHECK(!text.starts_with(request.endOfLine) && !text.ends_with(empty));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        FUZZ_CHECK(byte >= 0x20 || text[i] == '\n' || (text[i] == '\r' && text[i + 1] == '\n'));
        FUZZ_CHECK(text[i] != '\n' || request.endOfLine == "\n" || text[i - 1] == '\r');
    }
    FUZZ_CHECK(text.empty() || !IsBlankPage(text));

    // Cut into pages as it streams in (in pieces of a size the input chooses) and put together
    // again, the text is what it was up to its last page end, and the rest follows it.
    const std::size_t piece = 1 + flags % 13;
    PageCutter cutter;
    PageOrder order;
    for (std::size_t at = 0; at < output.size(); at += piece) {
        cutter.Feed(output.substr(at, piece),
                    [&](std::string_view page) { order.Add(page, IsBlankPage(page)); });
    }
    std::string joined;
    for (std::size_t place = 0; place < order.Added(); ++place) {
        order.Recognised(place, std::nullopt);
    }
    order.TakeReady([&](std::string_view page) { joined.append(page).push_back('\f'); });
    FUZZ_CHECK(joined + std::string(cutter.Rest()) == output);
    FUZZ_CHECK(cutter.Pages() == SplitAtPageEnds(output).size() && order.Taken() == cutter.Pages());

    // Any page size a report can give is drawn within the bounds.
    if (const std::optional<PageSize> size = ReadPageSize(output, flags)) {
        const int dpi = RecognitionResolution(*size);
        FUZZ_CHECK(dpi >= 0 && dpi <= kRecognitionDpi);
        FUZZ_CHECK(dpi == 0 || (PagePixels(*size, dpi) <= kMaxPagePixels * 1.01 &&
                                std::max(size->width, size->height) / 72 * dpi <= kMaxPageSide));
    }
    // Whatever bytes arrive, the blank check takes whole images only.
    BlankImageReader images;
    const bool valid = images.Feed(output);
    FUZZ_CHECK(valid || !images.AtImageEnd());
    // A model's name never changes the meaning of the engine's command line.
    for (const std::string& model : InstalledModels(output)) {
        FUZZ_CHECK(!model.empty() && std::all_of(model.begin(), model.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '/';
        }));
    }
}

// The count the window takes is a whole line of the file, and read as the file grows (in pieces
// of a size the input chooses) the share shown never goes back nor beyond 100.
void CheckProgress(std::uint8_t flags, std::string_view file) {
    if (const auto count = LastProgressLine(file, (flags & 64) != 0)) {
        FUZZ_CHECK(count->done >= 0 && count->done <= count->total && count->total > 0);
        const std::string line = std::to_string(count->done) + ' ' + std::to_string(count->total);
        FUZZ_CHECK(file.find(line + '\n') != std::string_view::npos ||
                   file.find(line + "\r\n") != std::string_view::npos);
    }
    JobProgress progress;
    auto now = JobProgress::Clock::time_point{};
    int shown = 0;
    for (std::size_t end = 0; end <= file.size(); end += 1 + flags % 7) {
        if (const auto count = LastProgressLine(file.substr(0, end), false)) {
            progress.Update(*count, now);
        }
        now += std::chrono::milliseconds(150);
        FUZZ_CHECK(progress.Percent() >= shown && progress.Percent() <= 100);
        FUZZ_CHECK(!progress.TimeLeft() || progress.TimeLeft()->count() >= 0);
        shown = progress.Percent();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    larkspan::fuzz::Input input(data, size);
    const std::uint8_t flags = input.Byte();
    const std::string_view output = input.Rest();
    CheckProbeReport(output);
    CheckJudgement(flags, output);
    CheckRecognitionTexts(flags, output);
    CheckProgress(flags, output);
    return 0;
}

// The information tool's report and the judgement of an extraction run, on any printed text.
// Byte 0 steers the job's flags; the rest is what the tool printed.

#include "FuzzCheck.h"
#include "extraction/JobOutcome.h"
#include "extraction/ProbeLogic.h"
#include "shell/GeneralError.h"
#include "shell/TextRules.h"

#include <cstdint>
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
        // Nothing ran, so nothing this job wrote can be deleted or opened.
        FUZZ_CHECK(!outcome.succeeded && !outcome.deleteOutput && !outcome.openOutput);
        FUZZ_CHECK(!outcome.message.empty());
        return;
    }
    FUZZ_CHECK(outcome.succeeded != outcome.deleteOutput);
    FUZZ_CHECK(outcome.succeeded == (output.empty() && !stopRequested));
    FUZZ_CHECK(outcome.openOutput == (outcome.succeeded && openAfter));
    FUZZ_CHECK(outcome.message.empty() == Trim(output).empty());
    FUZZ_CHECK(!outcome.clearInputFields || outcome.deleteOutput);
    FUZZ_CHECK(outcome.message.size() <= std::max(output.size(), std::size_t{64}));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    larkspan::fuzz::Input input(data, size);
    const std::uint8_t flags = input.Byte();
    const std::string_view output = input.Rest();
    CheckProbeReport(output);
    CheckJudgement(flags, output);
    return 0;
}

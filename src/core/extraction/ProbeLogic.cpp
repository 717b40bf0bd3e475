#include "core/extraction/ProbeLogic.h"

#include "core/text/TextRules.h"

#include <vector>

namespace larkspan {

namespace {

std::vector<std::string_view> NonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        if (stop > start) {
            lines.push_back(text.substr(start, stop - start));
        }
        start = stop + 1;
    }
    return lines;
}

} // namespace

bool IsPdfName(std::string_view path) {
    return LowerAscii(ExtensionOf(path)) == ".pdf";
}

bool IsTextName(std::string_view path) {
    return LowerAscii(ExtensionOf(path)) == ".txt";
}

bool NameIsUndecodable(std::string_view path) {
    return path.find("\xEF\xBF\xBD") != std::string_view::npos;
}

std::string BuildProbeCommand(std::string_view password, std::string_view inputPath,
                              CommandInterpreter interpreter) {
    std::string command = "pdfi.bin ";
    if (!password.empty()) {
        command += "-upw " + QuotePassword(password, interpreter) + " ";
    }
    return command + QuotePath(inputPath, interpreter);
}

ProbeReport ReadProbeReport(std::string_view output) {
    const std::vector<std::string_view> lines = NonEmptyLines(output);
    if (lines.empty()) {
        return {ProbeReportKind::NoLines, 0, {}};
    }
    if (lines.front() == kIncorrectPasswordLine) {
        return {ProbeReportKind::IncorrectPassword, 0, {}};
    }
    if (lines.front().starts_with(kInfoEngineMissingPrefix)) {
        return {ProbeReportKind::EngineMissing, 0, std::string(lines.front())};
    }
    ProbeReport report{ProbeReportKind::NoPageCount, 0, {}};
    for (const std::string_view line : lines) {
        const std::string trimmed = Trim(line);
        if (trimmed.starts_with("Pages:")) {
            report.pageCount = TextToInteger(Trim(std::string_view(trimmed).substr(6)));
            report.kind = ProbeReportKind::PageCount;
        }
    }
    return report;
}

bool ShouldShowWrongPasswordBox(std::string_view triedPassword) {
    return !Trim(triedPassword).empty();
}

bool AnswerEndsProbe(bool okPressed, std::string_view answer) {
    return !okPressed || Trim(answer).empty();
}

bool PasswordHasLineBreak(std::string_view answer) {
    return answer.find_first_of("\r\n") != std::string_view::npos;
}

std::string ProposeOutputName(std::string_view inputPath) {
    std::string name = NamePart(inputPath);
    name.resize(name.size() >= 4 ? name.size() - 4 : 0);
    return FolderPart(inputPath) + name + ".txt";
}

} // namespace larkspan

#include "TextRecognition.h"

#include "PageRecognition.h"

#include "core/extraction/ProbeLogic.h"
#include "core/extraction/TextRecognition.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

namespace larkspan::tools {

namespace {

std::string FindTool(const std::string& overridePath, std::string_view configuredPath,
                     std::string_view name) {
    for (const std::string& candidate :
         ToolCandidates(overridePath, configuredPath, name, platform::ExecutableFolder())) {
        std::string found = platform::FindProgram(candidate);
        if (!found.empty()) {
            return found;
        }
    }
    return {};
}

std::optional<Engine> FindEngine(const RecognitionTools& tools) {
    Engine engine;
    const std::string shipped = LARKSPAN_CONFIGURED_TESSERACT;
    engine.tesseract =
        FindTool(platform::GetEnvironment("LARKSPAN_TESSERACT"), shipped, "tesseract");
    if (engine.tesseract.empty()) {
        return std::nullopt;
    }
    if (!shipped.empty() && engine.tesseract == platform::ExecutableFolder() + shipped) {
        // The engine shipped beside the adapter reads the models shipped with it, whatever
        // another installation of it has put into the environment.
        platform::SetEnvironment("TESSDATA_PREFIX", platform::ExecutableFolder() + "tessdata");
    }
    engine.pdftoppm =
        FindTool(platform::GetEnvironment("LARKSPAN_PDFTOPPM"), tools.pdftoppm, "pdftoppm");
    engine.pdfinfo =
        FindTool(platform::GetEnvironment("LARKSPAN_PDFINFO"), tools.pdfinfo, "pdfinfo");
    if (engine.pdftoppm.empty() || engine.pdfinfo.empty()) {
        return std::nullopt;
    }
    return engine;
}

// The program's paths are UTF-8; on Windows the file calls need them as such, not in the code
// page.
std::filesystem::path FilePath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Only a regular file can be read back and written again; a device or a pipe named as the output
// gets pdftotext's text once, as it always has.
bool OutputCanBeRewritten(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(FilePath(path), error);
    return !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(FilePath(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

// Rewritten in place, as pdftotext wrote it: the file keeps its identity and permissions.
std::optional<std::string> RewriteFile(const std::string& path, const std::string& bytes) {
    errno = 0; // so that a reason left from an earlier call is not reported as this one's
    std::ofstream out(FilePath(path), std::ios::binary | std::ios::trunc);
    const int openError = errno;
    if (out) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
    }
    if (out) {
        return std::nullopt;
    }
    const int error = errno != 0 ? errno : openError;
    return "I/O Error: Couldn't write text file '" + path + "'" +
           (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) + ".\n";
}

std::optional<std::int32_t> PageCount(const Engine& engine, const TextractRequest& request) {
    const platform::CapturedRun run = RunOnDocument(engine.pdfinfo, {}, request);
    if (!run.started || run.exitCode != 0) {
        return std::nullopt;
    }
    const ProbeReport report = ReadProbeReport(run.standardOutput);
    if (report.kind != ProbeReportKind::PageCount) {
        return std::nullopt;
    }
    return report.pageCount;
}

enum class Finish {
    Done,        // the output file holds the answer
    RunAsBefore, // the pages could not be told apart: run the command line as it was given
};

// After pdftotext wrote the output with page ends: fills the blank pages, takes the page ends
// out again if they were not asked for. `writeError` is set when the output cannot be written.
Finish Recognise(const Engine& engine, const TextractRequest& request, std::string& writeError) {
    const std::optional<std::string> written = ReadWholeFile(request.outputPath);
    if (!written) {
        return request.pageBreaks ? Finish::Done : Finish::RunAsBefore;
    }
    const std::vector<std::string_view> pages = SplitAtPageEnds(*written);
    std::vector<std::size_t> blank;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (IsBlankPage(pages[i])) {
            blank.push_back(i);
        }
    }
    if (blank.empty() && request.pageBreaks) {
        return Finish::Done; // a document with text everywhere: nothing to do, nothing changed
    }
    // Pages are numbered by their place in the text only when the text holds exactly the pages
    // pdftotext was asked for: a page it could not read at all writes no page end.
    const std::optional<std::int32_t> pageCount = PageCount(engine, request);
    if (!pageCount ||
        pages.size() != static_cast<std::size_t>(
                            PagesWritten(request.firstPage, request.lastPage, *pageCount)) ||
        (!written->empty() && written->back() != '\f')) {
        return request.pageBreaks ? Finish::Done : Finish::RunAsBefore;
    }
    std::vector<std::optional<std::string>> recognised(pages.size());
    RecognisePages(engine, request, blank, recognised);
    const bool changed = std::any_of(recognised.begin(), recognised.end(),
                                     [](const auto& text) { return text.has_value(); });
    if (!changed && request.pageBreaks) {
        return Finish::Done;
    }
    if (auto error =
            RewriteFile(request.outputPath, AssemblePages(pages, recognised, request.pageBreaks))) {
        writeError = std::move(*error);
    }
    return Finish::Done;
}

} // namespace

int RunTextract(const AdapterDescription& pdftotext, const RecognitionTools& tools,
                const std::vector<std::string>& arguments, std::string_view remedy) {
    const TextractRequest request = ReadTextractArguments(arguments);
    const std::optional<Engine> engine =
        request.understood && OutputCanBeRewritten(request.outputPath) ? FindEngine(tools)
                                                                       : std::nullopt;
    if (!engine) {
        return RunAdapter(pdftotext, arguments, remedy);
    }
    const PopplerRun run = RunPopplerTool(pdftotext, request.withPageBreaks);
    if (JudgePdfToText(run) != ExtractVerdict::Succeeded) {
        return PrintAnswer(pdftotext.answer(run, remedy)); // -nopgbrk changes no failure
    }
    std::string writeError;
    Finish finish = Finish::RunAsBefore;
    try {
        finish = Recognise(*engine, request, writeError);
    } catch (const std::exception&) {
        // Out of memory, say: the text pdftotext writes is still the answer.
        finish = request.pageBreaks ? Finish::Done : Finish::RunAsBefore;
    }
    if (finish == Finish::RunAsBefore) {
        return RunAdapter(pdftotext, arguments, remedy);
    }
    if (!writeError.empty()) {
        return PrintAnswer({writeError, 2});
    }
    return PrintAnswer(pdftotext.answer(run, remedy));
}

} // namespace larkspan::tools

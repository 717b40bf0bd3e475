#include "TextRecognition.h"

#include "extraction/ProbeLogic.h"
#include "extraction/TextRecognition.h"
#include "platform/Platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <thread>

namespace larkspan::tools {

namespace {

// The programs recognition needs, found before anything runs: without all of them the adapter
// is the plain one.
struct Engine {
    std::string tesseract;
    std::string pdftoppm;
    std::string pdfinfo;
};

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

std::vector<std::string> Command(std::initializer_list<std::string> head,
                                 const std::vector<std::string>& passwordOptions,
                                 std::initializer_list<std::string> tail) {
    std::vector<std::string> command(head);
    command.insert(command.end(), passwordOptions.begin(), passwordOptions.end());
    command.insert(command.end(), tail);
    return command;
}

std::optional<std::int32_t> PageCount(const Engine& engine, const TextractRequest& request) {
    const platform::CapturedRun run = platform::RunCaptured(
        Command({engine.pdfinfo}, request.passwordOptions, {request.inputPath}));
    if (!run.started || run.exitCode != 0) {
        return std::nullopt;
    }
    const ProbeReport report = ReadProbeReport(run.standardOutput);
    if (report.kind != ProbeReportKind::PageCount) {
        return std::nullopt;
    }
    return report.pageCount;
}

std::string Languages(const Engine& engine) {
    const platform::CapturedRun run = platform::RunCaptured({engine.tesseract, "--list-langs"});
    return run.started && run.exitCode == 0 ? RecognitionLanguages(run.standardOutput)
                                            : std::string();
}

// One page through the renderer and the engine. Nothing when either fails or the engine finds
// no text: the page then stays as pdftotext wrote it.
std::optional<std::string> RecognisePage(const Engine& engine, const TextractRequest& request,
                                         const std::string& languages, std::int32_t page) {
    const std::string number = std::to_string(page);
    const platform::CapturedRun info =
        platform::RunCaptured(Command({engine.pdfinfo}, request.passwordOptions,
                                      {"-f", number, "-l", number, request.inputPath}));
    const int dpi = RecognitionResolution(info.started && info.exitCode == 0
                                              ? ReadPageSize(info.standardOutput, page)
                                              : std::nullopt);
    const std::string resolution = std::to_string(dpi);

    // Grey levels, uncompressed (PGM), through memory: nothing lands on disk, so a Stop that
    // ends the whole process group leaves nothing behind.
    const platform::CapturedRun image = platform::RunCaptured(
        Command({engine.pdftoppm}, request.passwordOptions,
                {"-f", number, "-l", number, "-r", resolution, "-gray", request.inputPath}));
    if (!image.started || image.exitCode != 0 || image.standardOutput.empty()) {
        return std::nullopt;
    }
    std::vector<std::string> recognise{engine.tesseract, "stdin", "stdout",   "-l",
                                       languages,        "--dpi", resolution, "-c",
                                       "page_separator="};
    if (request.layout) {
        recognise.insert(recognise.end(), {"-c", "preserve_interword_spaces=1"});
    }
    const platform::CapturedRun text = platform::RunCaptured(recognise, image.standardOutput);
    if (!text.started || text.exitCode != 0) {
        return std::nullopt;
    }
    std::string formatted = FormatRecognisedText(text.standardOutput, request);
    if (formatted.empty()) {
        return std::nullopt;
    }
    return formatted;
}

// How many pages are recognised at once: two, one per core of a usual machine, unless
// LARKSPAN_OCR_JOBS asks for another number (1 to 8).
std::size_t ParallelPages() {
    const std::string asked = platform::GetEnvironment("LARKSPAN_OCR_JOBS");
    if (asked.size() == 1 && asked[0] >= '1' && asked[0] <= '8') {
        return static_cast<std::size_t>(asked[0] - '0');
    }
    return 2;
}

void RecognisePages(const Engine& engine, const TextractRequest& request,
                    const std::string& languages, const std::vector<std::size_t>& blank,
                    std::vector<std::optional<std::string>>& recognised) {
    const std::size_t workers = std::min(ParallelPages(), blank.size());
    if (platform::GetEnvironment("OMP_THREAD_LIMIT").empty()) {
        // The engine's own threads (OpenMP, a team per core) mostly wait for each other: on two
        // cores a page took 19 s with them and 3 s without. Pages in parallel use the cores.
        platform::SetEnvironment("OMP_THREAD_LIMIT", "1");
    }
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < blank.size(); i = next++) {
            const std::size_t index = blank[i];
            try {
                recognised[index] = RecognisePage(engine, request, languages,
                                                  std::max(request.firstPage, 1) +
                                                      static_cast<std::int32_t>(index));
            } catch (const std::exception&) {
                // The page stays blank: one page the engine cannot read is not a failed job.
            }
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < workers; ++i) {
        threads.emplace_back(work);
    }
    work();
    for (std::thread& thread : threads) {
        thread.join();
    }
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
    if (!blank.empty()) {
        const std::string languages = Languages(engine);
        if (!languages.empty()) {
            RecognisePages(engine, request, languages, blank, recognised);
        }
    }
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

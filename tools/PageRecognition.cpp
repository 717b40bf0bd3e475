#include "PageRecognition.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

namespace larkspan::tools {

platform::CapturedRun RunOnDocument(const std::string& program,
                                    const std::vector<std::string>& options,
                                    const TextractRequest& request,
                                    const platform::CaptureLimits& limits) {
    std::vector<std::string> command{program};
    command.insert(command.end(), options.begin(), options.end());
    if (request.decryptedDocument) {
        // Opened by the adapter with a password the tools would cut: its decrypted bytes on
        // standard input, and no password.
        command.emplace_back("-");
        return platform::RunCaptured(command, *request.decryptedDocument, limits);
    }
    command.insert(command.end(), request.passwordOptions.begin(), request.passwordOptions.end());
    command.push_back(request.inputPath);
    return platform::RunCaptured(command, std::nullopt, limits);
}

namespace {

// One page through the renderer and the engine. Nothing when either fails or the engine finds
// no text: the page then stays as pdftotext wrote it.
std::optional<std::string> RecognisePage(const Engine& engine, const TextractRequest& request,
                                         const std::string& languages, std::int32_t page) {
    const std::string number = std::to_string(page);
    const platform::CapturedRun info =
        RunOnDocument(engine.pdfinfo, {"-f", number, "-l", number}, request);
    const int dpi = RecognitionResolution(info.started && info.exitCode == 0
                                              ? ReadPageSize(info.standardOutput, page)
                                              : std::nullopt);
    const std::string resolution = std::to_string(dpi);

    // Grey levels, uncompressed (PGM), through memory: nothing lands on disk, so a Stop that
    // ends the whole process group leaves nothing behind.
    const platform::CapturedRun image = RunOnDocument(
        engine.pdftoppm, {"-f", number, "-l", number, "-r", resolution, "-gray"}, request);
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

} // namespace

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

} // namespace larkspan::tools

#include "PageRecognition.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

namespace larkspan::tools {

platform::CapturedRun RunOnDocument(const std::string& program,
                                    const std::vector<std::string>& options,
                                    const TextractRequest& request,
                                    const platform::CaptureLimits& limits,
                                    const platform::OutputSink* sink) {
    std::vector<std::string> command{program};
    command.insert(command.end(), options.begin(), options.end());
    if (!request.decrypted) {
        command.insert(command.end(), request.passwordOptions.begin(),
                       request.passwordOptions.end());
    }
    command.push_back(request.documentPath.empty() ? request.inputPath : request.documentPath);
    return sink != nullptr ? platform::RunStreamed(command, std::nullopt, *sink, limits)
                           : platform::RunCaptured(command, std::nullopt, limits);
}

std::int32_t PageNumber(const TextractRequest& request, std::size_t place) {
    return std::max(request.firstPage, 1) + static_cast<std::int32_t>(place);
}

namespace {

// The time one run of a tool on one page may take (a 40-megapixel page of dense text takes the
// engine well under a minute on one core), or another number of seconds, 1 to 86400, from
// LARKSPAN_OCR_SECONDS.
std::chrono::milliseconds RunTimeLimit() {
    const std::string asked = platform::GetEnvironment("LARKSPAN_OCR_SECONDS");
    if (!asked.empty() && asked.size() <= 5 &&
        std::all_of(asked.begin(), asked.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const long seconds = std::stol(asked);
        if (seconds >= 1 && seconds <= 86400) {
            return std::chrono::seconds(seconds);
        }
    }
    return std::chrono::minutes(3);
}

// More text than any page holds (a dense page has a few kilobytes): an engine that writes more
// is not reading a page, and the page stays blank.
constexpr std::size_t kEngineOutputBytes = 1 << 20;

// The blank check draws each page to fit this many pixels square: at that size any mark still
// darkens a pixel past kBlankTolerance, and a page costs about what pdftotext takes to read it.
constexpr int kBlankCheckSide = 64;

// Pages at most this many places apart are checked in one render, the pages between included:
// a render costs the opening of the document, a page in it next to nothing.
constexpr std::size_t kBlankCheckGap = 8;

// How many pages are recognised at once: two, one per core of a usual machine, unless
// LARKSPAN_OCR_JOBS asks for another number (1 to 8).
std::size_t ParallelPages() {
    const std::string asked = platform::GetEnvironment("LARKSPAN_OCR_JOBS");
    if (asked.size() == 1 && asked[0] >= '1' && asked[0] <= '8') {
        return static_cast<std::size_t>(asked[0] - '0');
    }
    return 2;
}

// Runs work(0) ... work(count - 1) on up to `workers` threads, this one included.
template <typename Work> void InParallel(std::size_t count, std::size_t workers, Work work) {
    std::atomic<std::size_t> next{0};
    const auto loop = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            work(i);
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < std::min(workers, count); ++i) {
        threads.emplace_back(loop);
    }
    loop();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

// The pixels of the pages being rendered and recognised at once: a page waits until its own and
// those of the others fit within kMaxPagePixels, or until it is alone. So pages of the usual
// sizes go side by side, while the memory of large ones (the engine takes several bytes a
// pixel) stays that of one page at the cap.
class PixelBudget {
public:
    class Hold {
    public:
        Hold(PixelBudget& budget, std::uint64_t pixels) : budget_(budget), pixels_(pixels) {
            std::unique_lock lock(budget_.mutex_);
            budget_.changed_.wait(lock, [&] {
                return budget_.held_ == 0 ||
                       static_cast<double>(budget_.held_ + pixels_) <= kMaxPagePixels;
            });
            budget_.held_ += pixels_;
        }
        ~Hold() {
            {
                const std::lock_guard lock(budget_.mutex_);
                budget_.held_ -= pixels_;
            }
            budget_.changed_.notify_all();
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        PixelBudget& budget_;
        std::uint64_t pixels_;
    };

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t held_ = 0;
};

// The engine's "-l" value: every language it has, English first; "" when it has none or cannot
// tell.
std::string Languages(const Engine& engine) {
    const platform::CapturedRun run = platform::RunCaptured(
        {engine.tesseract, "--list-langs"}, std::nullopt, {kEngineOutputBytes, RunTimeLimit()});
    return run.started && run.exitCode == 0 && !run.timedOut && !run.outputCut
               ? RecognitionLanguages(run.standardOutput)
               : std::string();
}

// Which of the pages `first` to `last` (page numbers) have nothing drawn on them, from one render
// of them all at a small size, read as it comes. Nothing when the render fails or does not come
// out as one image per page: the pages are then taken to have something on them.
std::optional<std::vector<bool>> NothingDrawn(const Engine& engine, const TextractRequest& request,
                                              std::int32_t first, std::int32_t last) {
    BlankImageReader reader;
    const platform::OutputSink sink = [&](std::string_view piece) {
        return reader.Feed(piece);
    };
    const std::size_t pages = static_cast<std::size_t>(last - first) + 1;
    const platform::CapturedRun run = RunOnDocument(
        engine.pdftoppm,
        {"-f", std::to_string(first), "-l", std::to_string(last), "-scale-to",
         std::to_string(kBlankCheckSide), "-gray"},
        request, {pages * ((kBlankCheckSide + 2) * (kBlankCheckSide + 2) + 64), RunTimeLimit()},
        &sink);
    if (!run.started || run.exitCode != 0 || run.timedOut || run.outputCut ||
        !reader.AtImageEnd() || reader.Blank().size() != pages) {
        return std::nullopt;
    }
    return reader.Blank();
}

// One page through the renderer and the engine. Nothing when either fails or the engine finds
// no text: the page then stays as pdftotext wrote it.
std::optional<std::string> RecognisePage(const Engine& engine, const TextractRequest& request,
                                         const std::string& languages, std::int32_t page,
                                         PixelBudget& budget) {
    const std::string number = std::to_string(page);
    const platform::CaptureLimits timed{0, RunTimeLimit()};
    const platform::CapturedRun info =
        RunOnDocument(engine.pdfinfo, {"-f", number, "-l", number}, request, timed);
    const std::optional<PageSize> size = info.started && info.exitCode == 0 && !info.timedOut
                                             ? ReadPageSize(info.standardOutput, page)
                                             : std::nullopt;
    if (!size) {
        return std::nullopt; // without its size the page could not be drawn within bounds
    }
    const int dpi = RecognitionResolution(*size);
    if (dpi == 0) {
        return std::nullopt;
    }
    const auto pixels = static_cast<std::uint64_t>(PagePixels(*size, dpi));
    const PixelBudget::Hold hold(budget, pixels);

    // Grey levels, uncompressed (PGM), through memory: nothing lands on disk, so a Stop that
    // ends the whole process group leaves nothing behind. The image is bounded by what the
    // page's size gives, with room for the rounding of its sides.
    const platform::CapturedRun image = RunOnDocument(
        engine.pdftoppm, {"-f", number, "-l", number, "-r", std::to_string(dpi), "-gray"}, request,
        {static_cast<std::size_t>(static_cast<double>(pixels) * 1.02) + 65536, RunTimeLimit()});
    if (!image.started || image.exitCode != 0 || image.timedOut || image.outputCut ||
        image.standardOutput.empty()) {
        return std::nullopt;
    }
    // Page segmentation with orientation detection (--psm 1): the engine turns a page scanned
    // sideways or upside down upright before reading it, in the same run. Without its
    // orientation model it says so and reads the page as it is. By default it turns a page only
    // when the best orientation wins by a margin of 7, which a page of two or three lines never
    // reaches (upside down, such a page came out as garbage); at 1 those are turned right, and
    // upright pages read as before. Below 70 dpi the engine takes 70 anyway, with a warning.
    std::vector<std::string> recognise{engine.tesseract,
                                       "stdin",
                                       "stdout",
                                       "-l",
                                       languages,
                                       "--dpi",
                                       std::to_string(std::max(dpi, 70)),
                                       "--psm",
                                       "1",
                                       "-c",
                                       "min_orientation_margin=1",
                                       "-c",
                                       "page_separator="};
    if (request.layout) {
        recognise.insert(recognise.end(), {"-c", "preserve_interword_spaces=1"});
    }
    const platform::CapturedRun text = platform::RunCaptured(recognise, image.standardOutput,
                                                             {kEngineOutputBytes, RunTimeLimit()});
    if (!text.started || text.exitCode != 0 || text.timedOut || text.outputCut) {
        return std::nullopt;
    }
    std::string formatted = FormatRecognisedText(text.standardOutput, request);
    if (formatted.empty()) {
        return std::nullopt;
    }
    return formatted;
}

} // namespace

std::vector<std::size_t> PagesDrawnOn(const Engine& engine, const TextractRequest& request,
                                      const std::vector<std::size_t>& pages) {
    if (pages.empty()) {
        return {};
    }
    const std::size_t workers = ParallelPages();
    std::vector<char> drawn(pages.size(), 1); // not vector<bool>: the workers write side by side
    const std::vector<PageRun> runs = PageRuns(
        pages, kBlankCheckGap, std::max<std::size_t>(8, (pages.size() + workers - 1) / workers));
    InParallel(runs.size(), workers, [&](std::size_t r) {
        try {
            const std::optional<std::vector<bool>> nothing =
                NothingDrawn(engine, request, PageNumber(request, runs[r].first),
                             PageNumber(request, runs[r].last));
            if (!nothing) {
                return;
            }
            const auto from = std::lower_bound(pages.begin(), pages.end(), runs[r].first);
            for (auto page = from; page != pages.end() && *page <= runs[r].last; ++page) {
                drawn[static_cast<std::size_t>(page - pages.begin())] =
                    (*nothing)[*page - runs[r].first] ? 0 : 1;
            }
        } catch (const std::exception&) {
            // The run's pages count as drawn on: the engine reads them.
        }
    });
    std::vector<std::size_t> result;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (drawn[i] != 0) {
            result.push_back(pages[i]);
        }
    }
    return result;
}

void RecognisePages(const Engine& engine, const TextractRequest& request,
                    const std::vector<std::size_t>& pages, const PageDone& onPageDone) {
    if (pages.empty()) {
        return;
    }
    const std::size_t workers = ParallelPages();
    if (platform::GetEnvironment("OMP_THREAD_LIMIT").empty()) {
        // The engine's own threads (OpenMP, a team per core) mostly wait for each other: on two
        // cores a page took 19 s with them and 3 s without. Pages in parallel use the cores.
        platform::SetEnvironment("OMP_THREAD_LIMIT", "1");
    }
    std::mutex doneMutex;
    const std::string languages = Languages(engine);
    PixelBudget budget;
    InParallel(pages.size(), languages.empty() ? 1 : workers, [&](std::size_t i) {
        PageReading reading;
        if (!languages.empty()) {
            try {
                reading.text = RecognisePage(engine, request, languages,
                                             PageNumber(request, pages[i]), budget);
            } catch (const std::exception&) {
                // The page stays blank: one page the engine cannot read is not a failed job.
            }
        }
        const std::lock_guard lock(doneMutex);
        onPageDone(pages[i], std::move(reading));
    });
}

} // namespace larkspan::tools

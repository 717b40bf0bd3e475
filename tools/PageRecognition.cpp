#include "PageRecognition.h"

#include "ScriptRecognition.h"
#include "core/extraction/PageTriage.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

namespace larkspan::tools {

namespace {

platform::CapturedRun RunOn(const std::string& document, const std::string& program,
                            const std::vector<std::string>& options, const TextractRequest& request,
                            const platform::CaptureLimits& limits,
                            const platform::OutputSink* sink) {
    std::vector<std::string> command{program};
    command.insert(command.end(), options.begin(), options.end());
    if (!request.decrypted) {
        command.insert(command.end(), request.passwordOptions.begin(),
                       request.passwordOptions.end());
    }
    command.push_back(document);
    return sink != nullptr ? platform::RunStreamed(command, std::nullopt, *sink, limits)
                           : platform::RunCaptured(command, std::nullopt, limits);
}

} // namespace

platform::CapturedRun RunOnDocument(const std::string& program,
                                    const std::vector<std::string>& options,
                                    const TextractRequest& request,
                                    const platform::CaptureLimits& limits,
                                    const platform::OutputSink* sink) {
    return RunOn(request.documentPath.empty() ? request.inputPath : request.documentPath, program,
                 options, request, limits, sink);
}

platform::CapturedRun DrawDocument(const std::string& program,
                                   const std::vector<std::string>& options,
                                   const TextractRequest& request,
                                   const platform::CaptureLimits& limits,
                                   const platform::OutputSink* sink) {
    if (!request.documentWithPictures) {
        return RunOnDocument(program, options, request, limits, sink);
    }
    const std::string document = request.documentWithPictures();
    if (document.empty()) {
        platform::CapturedRun failed;
        failed.startError = "the document could not be decrypted with its pictures";
        return failed;
    }
    return RunOn(document, program, options, request, limits, sink);
}

std::int32_t PageNumber(const TextractRequest& request, std::size_t place) {
    return std::max(request.firstPage, 1) + static_cast<std::int32_t>(place);
}

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

namespace {

// More text than any page holds (a dense page has a few kilobytes): an engine that writes more
// is not reading a page, and the page stays blank.
constexpr std::size_t kEngineOutputBytes = 1 << 20;

// The blank check draws each page to fit this many pixels square: at that size any mark still
// darkens a pixel past kBlankTolerance, and a page costs about what pdftotext takes to read it.
constexpr int kBlankCheckSide = 64;

// Pages at most this many places apart are checked in one render, the pages between included:
// a render costs the opening of the document, a page in it next to nothing.
constexpr std::size_t kBlankCheckGap = 8;

std::size_t ParallelPages() {
    return RecognitionWorkers(platform::UsableProcessors(), platform::AvailableMemory(),
                              platform::GetEnvironment("LARKSPAN_OCR_JOBS"));
}

// A tool's own check runs on next to nothing: a loaded machine still does it in seconds.
std::chrono::milliseconds CheckTimeLimit() {
    return std::min<std::chrono::milliseconds>(RunTimeLimit(), std::chrono::seconds(30));
}

// How a run that did not give what was asked for failed, in words for the user.
std::string HowItFailed(const platform::CapturedRun& run, std::chrono::milliseconds limit) {
    if (!run.started) {
        std::string why = run.startError;
        if (!why.empty() && why.back() == '.') {
            why.pop_back(); // the system's own text may end in a full stop
        }
        return "could not be started (" + why + ")";
    }
    if (run.timedOut) {
        return "did not finish within " + std::to_string(limit.count() / 1000) + " seconds";
    }
    if (run.outputCut) {
        return "wrote more than a page can hold";
    }
    if (run.exitCode != 0) {
        std::string how = "ended with exit status " + std::to_string(run.exitCode);
        const std::string said = run.standardError.substr(0, run.standardError.find('\n'));
        return said.empty() ? how : how + " (" + said.substr(0, 200) + ")";
    }
    return "wrote nothing usable";
}

bool Succeeded(const platform::CapturedRun& run) {
    return run.started && run.exitCode == 0 && !run.timedOut && !run.outputCut;
}

// Runs work(0) ... work(count - 1) on up to `workers` threads, this one included, and starts
// no more once `goOn` says no.
template <typename Work>
void InParallel(std::size_t count, std::size_t workers, const std::function<bool()>& goOn,
                Work work) {
    std::atomic<std::size_t> next{0};
    const auto loop = [&] {
        for (std::size_t i = next++; i < count && goOn(); i = next++) {
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
// those of the others fit within the budget (kMaxPagePixels, or a usual page for each worker),
// or until it is alone. So pages of the usual sizes go side by side, one per worker, while the
// memory of large ones (the engine takes several bytes a pixel) stays that of one page at the cap.
class PixelBudget {
public:
    explicit PixelBudget(std::size_t workers)
        : pixels_(std::max(kMaxPagePixels, static_cast<double>(workers) * kWorkerPagePixels)) {}

    class Hold {
    public:
        Hold(PixelBudget& budget, std::uint64_t pixels) : budget_(budget), pixels_(pixels) {
            std::unique_lock lock(budget_.mutex_);
            budget_.changed_.wait(lock, [&] {
                return budget_.held_ == 0 ||
                       static_cast<double>(budget_.held_ + pixels_) <= budget_.pixels_;
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
    const double pixels_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t held_ = 0;
};

// The engine's models (InstalledModels), asked for at every batch of pages, so that a model
// added meanwhile is used; none when it cannot tell or has no model to read text with, which
// `check` is told.
std::vector<std::string> Models(const Engine& engine, ToolCheck& check) {
    const platform::CapturedRun run = platform::RunCaptured(
        {engine.tesseract, "--list-langs"}, std::nullopt, {kEngineOutputBytes, RunTimeLimit()});
    if (!Succeeded(run)) {
        check.Failed(ToolCheck::Tool::Engine, HowItFailed(run, RunTimeLimit()));
        return {};
    }
    std::vector<std::string> models = InstalledModels(run.standardOutput);
    if (std::none_of(models.begin(), models.end(),
                     [](const std::string& model) { return model != "osd" && model != "equ"; })) {
        check.NoModels();
        return {};
    }
    return models;
}

// Which of the pages `first` to `last` (page numbers) have nothing drawn on them, from one render
// of them all at a small size, read as it comes. Nothing when the render fails or does not come
// out as one image per page (`how` then says why): the pages are then taken to have something on
// them.
std::optional<std::vector<bool>> NothingDrawn(const Engine& engine, const TextractRequest& request,
                                              std::int32_t first, std::int32_t last,
                                              std::string& how) {
    BlankImageReader reader;
    const platform::OutputSink sink = [&](std::string_view piece) {
        return reader.Feed(piece);
    };
    const std::size_t pages = static_cast<std::size_t>(last - first) + 1;
    const platform::CapturedRun run = DrawDocument(
        engine.pdftoppm,
        {"-f", std::to_string(first), "-l", std::to_string(last), "-scale-to",
         std::to_string(kBlankCheckSide), "-gray"},
        request, {pages * ((kBlankCheckSide + 2) * (kBlankCheckSide + 2) + 64), RunTimeLimit()},
        &sink);
    if (!Succeeded(run) || !reader.AtImageEnd() || reader.Blank().size() != pages) {
        how = HowItFailed(run, RunTimeLimit());
        return std::nullopt;
    }
    return reader.Blank();
}

// A run of a tool on a page that failed: which tool, and how.
struct PageFault {
    ToolCheck::Tool tool;
    std::string how;
};

// What became of one page given to the renderer and the engine: its text, none (the engine
// found no text, or the page shows nothing like type), or the tool that failed on it.
struct PageResult {
    std::optional<std::string> text;
    std::optional<PageFault> fault;
    bool unread = false;      // too large to be drawn within bounds
    std::string withoutModel; // read without a model for its script: the script's name
};

PageResult Fault(ToolCheck::Tool tool, const platform::CapturedRun& run) {
    PageResult result;
    result.fault = PageFault{tool, HowItFailed(run, RunTimeLimit())};
    return result;
}

// One page through the renderer and the engine.
PageResult RecognisePage(const Engine& engine, const TextractRequest& request,
                         const std::vector<std::string>& models, const PageToRead& toRead,
                         PixelBudget& budget) {
    const std::string number = std::to_string(PageNumber(request, toRead.place));
    const platform::CaptureLimits timed{0, RunTimeLimit()};
    const platform::CapturedRun info =
        RunOnDocument(engine.pdfinfo, {"-f", number, "-l", number}, request, timed);
    if (!Succeeded(info)) {
        return Fault(ToolCheck::Tool::PageSizes, info);
    }
    const std::optional<PageSize> size = ReadPageSize(info.standardOutput, std::stoi(number));
    const int dpi = size ? RecognitionResolution(*size) : 0;
    if (dpi == 0) {
        PageResult result;
        result.unread = true; // it could not be drawn within bounds
        return result;
    }
    const auto pixels = static_cast<std::uint64_t>(PagePixels(*size, dpi));
    const PixelBudget::Hold hold(budget, pixels);

    // Grey levels, uncompressed (PGM), through memory: nothing lands on disk, so a Stop that
    // ends the whole process group leaves nothing behind. The image is bounded by what the
    // page's size gives, with room for the rounding of its sides.
    const platform::CapturedRun image = DrawDocument(
        engine.pdftoppm, {"-f", number, "-l", number, "-r", std::to_string(dpi), "-gray"}, request,
        {static_cast<std::size_t>(static_cast<double>(pixels) * 1.02) + 65536, RunTimeLimit()});
    if (!Succeeded(image) || image.standardOutput.empty()) {
        return Fault(ToolCheck::Tool::Renderer, image);
    }
    if (toRead.judgeDrawing && !MayHoldText(image.standardOutput, dpi)) {
        return {}; // drawn on, but with nothing like type: the engine would find nothing
    }
    ScriptReading read = ReadInItsScript(engine.tesseract, models, image.standardOutput, dpi,
                                         request.layout, {kEngineOutputBytes, RunTimeLimit()});
    PageResult result;
    result.withoutModel = std::move(read.withoutModel);
    if (!read.engineText) {
        if (read.failedRun) {
            result.fault =
                PageFault{ToolCheck::Tool::Engine, HowItFailed(*read.failedRun, RunTimeLimit())};
        }
        return result;
    }
    std::string formatted = FormatRecognisedText(*read.engineText, request);
    if (!formatted.empty()) {
        result.text = std::move(formatted);
    }
    return result;
}

// An image of nothing for the engine's own check: it must read it and find no text.
std::string EmptyImage() {
    constexpr int kSide = 64;
    return "P5\n" + std::to_string(kSide) + " " + std::to_string(kSide) + "\n255\n" +
           std::string(kSide * kSide, '\xFF');
}

const char* ToolName(ToolCheck::Tool tool) {
    switch (tool) {
    case ToolCheck::Tool::Renderer:
        return "the page renderer (pdftoppm)";
    case ToolCheck::Tool::PageSizes:
        return "the page information tool (pdfinfo)";
    case ToolCheck::Tool::Engine:
        break;
    }
    return "the OCR engine (tesseract)";
}

} // namespace

bool ToolCheck::Failed(Tool tool, const std::string& how, const std::string& model) {
    const std::lock_guard lock(mutex_);
    if (!failure_.empty()) {
        return false;
    }
    const auto known = works_.find(tool);
    const bool works = known != works_.end() ? known->second : Works(tool, model);
    works_[tool] = works;
    if (!works && failure_.empty()) {
        failure_ = std::string(ToolName(tool)) + " " + how;
    }
    return works;
}

void ToolCheck::NoModels() {
    const std::lock_guard lock(mutex_);
    if (failure_.empty()) {
        failure_ = std::string(ToolName(Tool::Engine)) + " has no recognition models";
    }
}

bool ToolCheck::Broken() const {
    const std::lock_guard lock(mutex_);
    return !failure_.empty();
}

std::string ToolCheck::Failure() const {
    const std::lock_guard lock(mutex_);
    const std::string remedy = engine_.shipped || failure_.rfind(ToolName(Tool::Engine), 0) != 0
                                   ? remedy_
                                   : "Reinstall tesseract-ocr and a language pack such as "
                                     "tesseract-ocr-eng.";
    return "The scanned pages could not be recognised: " + failure_ + ". " + remedy + "\n";
}

// The tool's own check, on a tiny document or image of the adapter's own on standard input: a
// tool that fails there too cannot read any page.
bool ToolCheck::Works(Tool tool, const std::string& model) {
    const platform::CaptureLimits limits{1 << 20, CheckTimeLimit()};
    platform::CapturedRun run;
    switch (tool) {
    case Tool::Renderer:
        run =
            platform::RunCaptured({engine_.pdftoppm, "-r", "10", "-gray", "-"}, EmptyPdf(), limits);
        return Succeeded(run) && run.standardOutput.rfind("P5", 0) == 0;
    case Tool::PageSizes:
        run =
            platform::RunCaptured({engine_.pdfinfo, "-f", "1", "-l", "1", "-"}, EmptyPdf(), limits);
        return Succeeded(run) && ReadPageSize(run.standardOutput, 1).has_value();
    case Tool::Engine:
        run = model.empty()
                  ? platform::RunCaptured({engine_.tesseract, "--list-langs"}, std::nullopt, limits)
                  : platform::RunCaptured({engine_.tesseract, "stdin", "stdout", "-l", model},
                                          EmptyImage(), limits);
        return Succeeded(run);
    }
    return false;
}

std::vector<std::size_t> PagesDrawnOn(const Engine& engine, const TextractRequest& request,
                                      const std::vector<std::size_t>& pages, ToolCheck& check) {
    if (pages.empty()) {
        return {};
    }
    const std::size_t workers = ParallelPages();
    std::vector<char> drawn(pages.size(), 1); // not vector<bool>: the workers write side by side
    const std::vector<PageRun> runs = PageRuns(
        pages, kBlankCheckGap, std::max<std::size_t>(8, (pages.size() + workers - 1) / workers));
    const std::function<bool()> working = [&] {
        return !check.Broken();
    };
    InParallel(runs.size(), workers, working, [&](std::size_t r) {
        try {
            std::string how;
            const std::optional<std::vector<bool>> nothing =
                NothingDrawn(engine, request, PageNumber(request, runs[r].first),
                             PageNumber(request, runs[r].last), how);
            if (!nothing) {
                check.Failed(ToolCheck::Tool::Renderer, how);
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
                    const std::vector<PageToRead>& pages, ToolCheck& check,
                    const std::function<bool()>& goOn, const PageDone& onPageDone) {
    if (pages.empty() || !goOn()) {
        return;
    }
    const std::vector<std::string> models = Models(engine, check);
    if (models.empty()) {
        for (const PageToRead& page : pages) {
            onPageDone(page.place, {std::nullopt, true, {}});
        }
        return;
    }
    std::mutex doneMutex;
    // A run that fails on a page sends the engine its own check, with a model it surely has.
    const std::string checkModel = ModelForScript("Latin", models).model;
    const std::size_t workers = ParallelPages();
    PixelBudget budget(workers);
    const std::function<bool()> working = [&] {
        return !check.Broken() && goOn();
    };
    InParallel(pages.size(), workers, working, [&](std::size_t i) {
        PageReading reading;
        try {
            PageResult result = RecognisePage(engine, request, models, pages[i], budget);
            reading.text = std::move(result.text);
            reading.withoutModel = std::move(result.withoutModel);
            reading.unread =
                result.unread ||
                (result.fault && check.Failed(result.fault->tool, result.fault->how, checkModel));
        } catch (const std::exception&) {
            reading.unread = true; // out of memory, say: one page is not a failed job
        }
        const std::lock_guard lock(doneMutex);
        onPageDone(pages[i].place, std::move(reading));
    });
}

} // namespace larkspan::tools

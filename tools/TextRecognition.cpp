#include "TextRecognition.h"

#include "Decryption.h"
#include "OutputText.h"
#include "PageRecognition.h"

#include "core/extraction/JobOutcome.h"
#include "core/extraction/PageTriage.h"
#include "core/extraction/ProbeLogic.h"
#include "core/extraction/TextRecognition.h"
#include "core/extraction/TextStream.h"
#include "core/extraction/WholePassword.h"
#include "platform/Platform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

namespace larkspan::tools {

namespace {

// What may wait in memory behind a blank page that the engine has not read yet; past it the
// extraction waits for the engine. Far more than the pages the engine reads at once, so that
// blank pages further on are found and read in the same batch.
constexpr std::size_t kHeldBytes = 32u << 20;
constexpr std::size_t kHeldPages = 10000;
// Pages handed to the engine at once: few enough that a failed job is not kept waiting long.
// The first check for a drawing takes as many, to learn what a page costs.
constexpr std::size_t kBatchPages = 16;
// Later checks take as many pages as fit in this time at the pace of the previous one: empty
// pages cost next to nothing each, and a start of the renderer costs more than hundreds of them;
// a scanned page costs about a tenth of a second, and the engine should not wait long to begin.
constexpr std::chrono::milliseconds kCheckTime{5000};

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

std::string FindPdfinfo(const RecognitionTools& tools) {
    return FindTool(platform::GetEnvironment("LARKSPAN_PDFINFO"), tools.pdfinfo, "pdfinfo");
}

// Finds the engine and the tools it needs. An engine shipped beside the adapter that is missing
// is still named there: a page that needs it then fails the job, saying so, instead of staying
// blank as it does where no engine is installed.
std::optional<Engine> FindEngine(const RecognitionTools& tools) {
    Engine engine;
    const std::string shipped = LARKSPAN_CONFIGURED_TESSERACT;
    const std::string asked = platform::GetEnvironment("LARKSPAN_TESSERACT");
    engine.tesseract = FindTool(asked, shipped, "tesseract");
    if (engine.tesseract.empty() && asked.empty() && !shipped.empty()) {
        engine.tesseract = platform::ExecutableFolder() + shipped;
    }
    if (engine.tesseract.empty()) {
        return std::nullopt;
    }
    engine.shipped = !shipped.empty() && engine.tesseract == platform::ExecutableFolder() + shipped;
    if (engine.shipped) {
        // The engine shipped beside the adapter reads the models shipped with it, whatever
        // another installation of it has put into the environment.
        platform::SetEnvironment("TESSDATA_PREFIX", platform::ExecutableFolder() + "tessdata");
    }
    if (platform::GetEnvironment("OMP_THREAD_LIMIT").empty()) {
        // The engine's own threads (OpenMP, a team per core) mostly wait for each other: on two
        // cores a page took 19 s with them and 3 s without. Pages in parallel use the cores. Set
        // here, before the job's threads start: they start programs, which read the environment.
        platform::SetEnvironment("OMP_THREAD_LIMIT", "1");
    }
    engine.pdftoppm =
        FindTool(platform::GetEnvironment("LARKSPAN_PDFTOPPM"), tools.pdftoppm, "pdftoppm");
    if (engine.pdftoppm.empty() && engine.shipped) {
        engine.pdftoppm = platform::ExecutableFolder() + tools.pdftoppm;
    }
    engine.pdfinfo = FindPdfinfo(tools);
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

// A regular file (or one still to be made) can be emptied and written again; a device or a pipe
// named as the output takes pdftotext's text once, as the command line asks for it.
bool OutputIsAFile(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(FilePath(path), error);
    return !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
}

std::optional<std::int32_t> PageCount(const std::string& pdfinfo, const TextractRequest& request) {
    if (pdfinfo.empty()) {
        return std::nullopt;
    }
    // Bounded like the recognition's runs: a count that never comes would hold the job.
    const platform::CapturedRun run = RunOnDocument(pdfinfo, {}, request, {0, RunTimeLimit()});
    if (!run.started || run.exitCode != 0) {
        return std::nullopt;
    }
    const ProbeReport report = ReadProbeReport(run.standardOutput);
    if (report.kind != ProbeReportKind::PageCount) {
        return std::nullopt;
    }
    return report.pageCount;
}

// The pages that came out blank or garbled, read by the engine on a thread of its own while the
// text streams on: in batches of the pages waiting when the previous batch is done, so that the
// engine reads several at once.
class Recogniser {
public:
    using Done = PageDone;

    // `useful` is asked before each batch; when it says no, the pages are given up unread.
    Recogniser(const Engine& engine, const TextractRequest& request, std::string_view remedy,
               std::function<bool()> useful, Done done)
        : engine_(engine), request_(request), useful_(std::move(useful)), done_(std::move(done)),
          check_(engine_, std::string(remedy)), thread_([this] { Work(); }) {}
    ~Recogniser() { Close(); }
    Recogniser(const Recogniser&) = delete;
    Recogniser& operator=(const Recogniser&) = delete;

    // A page whose text layer is blank, or garbled (it has text, but not the page's).
    void Submit(std::size_t place, bool garbled) {
        {
            const std::lock_guard lock(mutex_);
            pending_.push_back({place, garbled});
        }
        submitted_.notify_one();
    }

    // Pages not started yet are given up.
    void Abandon() {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
    }

    // After the last page: waits until every page is done.
    void Close() {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        submitted_.notify_one();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // The renderer or the engine cannot read any page: the job's answer then.
    bool Broken() const { return check_.Broken(); }
    std::string Failure() const { return check_.Failure(); }

private:
    struct Waiting {
        std::size_t place;
        bool garbled;
    };

    // The pages waiting, at most `most`, once there are any; none once closing.
    std::vector<Waiting> TakeWaiting(std::size_t most) {
        std::unique_lock lock(mutex_);
        submitted_.wait(lock, [&] { return !pending_.empty() || closing_; });
        const auto end = pending_.begin() + static_cast<long>(std::min(pending_.size(), most));
        std::vector<Waiting> taken(pending_.begin(), end);
        pending_.erase(pending_.begin(), end);
        return taken;
    }

    // The blank pages among `found` with something drawn on them, checked together, and the
    // garbled ones; the others are done. `checkPages` becomes as many pages as the pace of this
    // check allows in kCheckTime.
    std::vector<PageToRead> PagesToRead(const std::vector<Waiting>& found,
                                        std::size_t& checkPages) {
        std::vector<std::size_t> blank;
        std::vector<PageToRead> toRead;
        for (const Waiting& page : found) {
            if (page.garbled) {
                toRead.push_back({page.place, false});
            } else {
                blank.push_back(page.place);
            }
        }
        std::vector<std::size_t> drawn;
        try {
            if (!blank.empty() && GoOn()) {
                const auto start = std::chrono::steady_clock::now();
                drawn = PagesDrawnOn(engine_, request_, blank, check_);
                const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
                const double pages = kCheckTime / std::max(took / static_cast<double>(blank.size()),
                                                           std::chrono::duration<double>(1e-6));
                checkPages = static_cast<std::size_t>(
                    std::clamp(pages, double(kBatchPages), double(kHeldPages)));
            }
        } catch (const std::exception&) {
            // Pages nobody could look at stay blank.
        }
        for (const std::size_t place : blank) {
            if (std::binary_search(drawn.begin(), drawn.end(), place)) {
                toRead.push_back({place, true});
            } else {
                done_(place, {});
            }
        }
        std::sort(toRead.begin(), toRead.end(),
                  [](const PageToRead& a, const PageToRead& b) { return a.place < b.place; });
        return toRead;
    }

    // The pages go to the engine a batch at a time, so that a job given up meanwhile is not
    // kept waiting for the rest.
    void Read(const std::vector<PageToRead>& pages) {
        const std::function<bool()> goOn = [this] {
            return GoOn();
        };
        for (std::size_t from = 0; from < pages.size(); from += kBatchPages) {
            const std::vector<PageToRead> batch(
                pages.begin() + static_cast<long>(from),
                pages.begin() + static_cast<long>(std::min(pages.size(), from + kBatchPages)));
            try {
                RecognisePages(engine_, request_, batch, check_, goOn, done_);
            } catch (const std::exception&) {
                // The pages stay as they are: pages the engine cannot read are not a failed job.
            }
            for (const PageToRead& page : batch) {
                done_(page.place, {}); // ignored for a page already done
            }
        }
    }

    void Work() {
        std::size_t checkPages = kBatchPages;
        for (;;) {
            const std::vector<Waiting> found = TakeWaiting(checkPages);
            if (found.empty()) {
                return;
            }
            Read(PagesToRead(found, checkPages));
        }
    }

    bool GoOn() {
        {
            const std::lock_guard lock(mutex_);
            if (abandoned_) {
                return false;
            }
        }
        return !check_.Broken() && useful_();
    }

    const Engine& engine_;
    const TextractRequest& request_;
    std::function<bool()> useful_;
    Done done_;
    ToolCheck check_;

    std::mutex mutex_;
    std::condition_variable submitted_;
    std::vector<Waiting> pending_;
    bool abandoned_ = false;
    bool closing_ = false;
    std::thread thread_;
};

// pdftotext's text with page ends, cut into pages as it comes: each page is written as soon as
// every page before it is, a blank or garbled page once the engine has read it, and the page
// ends are written only when they were asked for. Pages are numbered by their place in the text.
class PageStream {
public:
    PageStream(const TextractRequest& request, OutputText& output, ProgressReport& progress,
               const Engine* engine, std::string_view remedy, std::function<bool()> useful)
        : request_(request), output_(output), progress_(progress) {
        if (engine != nullptr) {
            recogniser_.emplace(*engine, request_, remedy, std::move(useful),
                                [this](std::size_t place, PageReading reading) {
                                    PageRead(place, std::move(reading));
                                });
        }
    }

    // The next piece of pdftotext's text; false when it cannot be written, or the tools of the
    // recognition are broken: pdftotext is then ended.
    bool Take(std::string_view piece) {
        std::unique_lock lock(mutex_);
        cutter_.Feed(piece, [&](std::string_view page) { AddPage(page); });
        pagesSeen_ = cutter_.Pages();
        if (!WriteReady(lock)) {
            return false;
        }
        while (order_.HeldBytes() > kHeldBytes || order_.HeldPages() > kHeldPages) {
            pageDone_.wait(lock, [&] { return order_.HasReady(); });
            if (!WriteReady(lock)) {
                return false;
            }
        }
        return !(recogniser_ && recogniser_->Broken());
    }

    // After pdftotext's end: the engine's pages, written once done when pdftotext succeeded,
    // given up otherwise; then the text after the last page end.
    void Finish(bool succeeded) {
        if (recogniser_ && !succeeded) {
            recogniser_->Abandon();
        }
        if (succeeded) {
            std::unique_lock lock(mutex_);
            while (WriteReady(lock) && order_.HeldPages() > 0) {
                pageDone_.wait(lock, [&] { return order_.HasReady(); });
            }
        }
        if (recogniser_) {
            recogniser_->Close();
        }
        if (succeeded && !Failed()) {
            output_.Write(cutter_.Rest()); // text after the last page end, as pdftotext writes it
        }
    }

    // The answer of a job whose recognition tools are broken; "" otherwise.
    std::string Failure() const { return Failed() ? recogniser_->Failure() : std::string(); }
    std::size_t PagesSeen() const { return pagesSeen_; }
    // The text has exactly `expected` pages, ended as pdftotext ends them.
    bool PagesInPlace(std::int64_t expected) const {
        return static_cast<std::int64_t>(cutter_.Pages()) == expected && cutter_.Rest().empty();
    }
    bool AnyRecognised() const { return order_.AnyRecognised(); }

private:
    bool Failed() const { return recogniser_ && recogniser_->Broken(); }

    void AddPage(std::string_view page) {
        const bool blank = IsBlankPage(page);
        const bool garbled = !blank && LooksGarbled(page);
        const bool read = recogniser_ && (blank || garbled);
        const std::size_t place = order_.Add(page, read);
        if (read) {
            if (garbled) {
                garbled_.insert(place);
            }
            recogniser_->Submit(place, garbled);
        }
    }

    // The engine is done with a page: a garbled page keeps its layer unless the engine read
    // other words there.
    void PageRead(std::size_t place, PageReading reading) {
        {
            const std::lock_guard lock(mutex_);
            if (reading.text && garbled_.erase(place) != 0) {
                const std::optional<std::string_view> layer = order_.WaitingText(place);
                if (layer && !ReplacesLayer(*layer, *reading.text)) {
                    reading.text.reset();
                }
            }
            if (!order_.Recognised(place, std::move(reading.text))) {
                return; // done already
            }
        }
        pageDone_.notify_all();
        const std::int32_t page = PageNumber(request_, place);
        if (reading.unread) {
            progress_.NoteUnread(page);
        }
        if (!reading.withoutModel.empty()) {
            progress_.NoteWithoutModel(page, reading.withoutModel);
        }
    }

    // Writes the pages that are ready, outside the lock so the engine's pages keep coming.
    bool WriteReady(std::unique_lock<std::mutex>& lock) {
        std::string ready;
        order_.TakeReady([&](std::string_view text) {
            ready += text;
            if (request_.pageBreaks) {
                ready += '\f';
            }
        });
        const std::size_t taken = order_.Taken();
        lock.unlock();
        const bool written = output_.Write(ready);
        progress_.SetDone(static_cast<std::int64_t>(taken));
        lock.lock();
        return written;
    }

    const TextractRequest& request_;
    OutputText& output_;
    ProgressReport& progress_;
    std::mutex mutex_;
    std::condition_variable pageDone_;
    PageCutter cutter_;
    PageOrder order_;
    std::set<std::size_t> garbled_; // places of garbled pages the engine is reading
    std::atomic<std::size_t> pagesSeen_{0};
    std::optional<Recogniser> recogniser_; // last: its thread ends before the rest goes
};

// One extraction of a command line the adapter understands. The text comes from pdftotext on
// its standard output and is written by the adapter itself, so that no write error goes unseen.
class Extraction {
public:
    Extraction(const AdapterDescription& pdftotext, const RecognitionTools& tools,
               const TextractRequest& request, std::string_view remedy, ProgressReport& progress,
               OutputText& output)
        : pdftotext_(pdftotext), tools_(tools), request_(request), remedy_(remedy),
          progress_(progress), output_(output) {}

    AdapterAnswer Run();

private:
    PopplerRun AsGiven();
    PopplerRun PageByPage(const Engine* engine,
                          const std::shared_future<std::optional<std::int32_t>>& pageCount,
                          bool& runAsGiven);
    std::int64_t Expected(const std::optional<std::int32_t>& pageCount) const {
        return PagesWritten(request_.firstPage, request_.lastPage, *pageCount);
    }

    const AdapterDescription& pdftotext_;
    const RecognitionTools& tools_;
    const TextractRequest& request_;
    std::string_view remedy_;
    ProgressReport& progress_;
    OutputText& output_;
    std::string failure_; // the recognition's tools are broken: the job's answer
};

// pdftotext as the command line asks, its text written as it comes. With page ends in it, they
// are counted for the progress.
PopplerRun Extraction::AsGiven() {
    std::int64_t pages = 0;
    return StreamPopplerTool(pdftotext_, StreamingArguments(request_, false), std::nullopt,
                             [&](std::string_view piece) {
                                 if (!output_.Write(piece)) {
                                     return false;
                                 }
                                 if (request_.pageBreaks) {
                                     pages += std::count(piece.begin(), piece.end(), '\f');
                                     progress_.SetDone(pages);
                                 }
                                 return true;
                             });
}

// The text page by page (PageStream). Page numbers hold only when the text has exactly the
// pages of the range (a page pdftotext cannot read at all writes no page end): otherwise
// `runAsGiven` says the text must be made again as given.
PopplerRun Extraction::PageByPage(const Engine* engine,
                                  const std::shared_future<std::optional<std::int32_t>>& pageCount,
                                  bool& runAsGiven) {
    std::optional<PageStream> pages;
    pages.emplace(request_, output_, progress_, engine, remedy_, [&] {
        const std::optional<std::int32_t> count = pageCount.get();
        return count && static_cast<std::int64_t>(pages->PagesSeen()) <= Expected(count);
    });
    PopplerRun run = StreamPopplerTool(pdftotext_, StreamingArguments(request_, true), std::nullopt,
                                       [&](std::string_view piece) { return pages->Take(piece); });
    pages->Finish(JudgePdfToText(run) == ExtractVerdict::Succeeded && !output_.Failed());
    failure_ = pages->Failure();
    if (!failure_.empty() || JudgePdfToText(run) != ExtractVerdict::Succeeded || output_.Failed()) {
        return run;
    }
    const std::optional<std::int32_t> count = pageCount.get();
    runAsGiven = !(count && pages->PagesInPlace(Expected(count))) &&
                 (!request_.pageBreaks || pages->AnyRecognised());
    return run;
}

AdapterAnswer Extraction::Run() {
    const bool file = OutputIsAFile(request_.outputPath);
    const std::optional<Engine> engine = file ? FindEngine(tools_) : std::nullopt;
    // Cut into pages where pages are read by the engine, or counted without page ends.
    const bool pageByPage = engine || (file && progress_.Active() && !request_.pageBreaks);

    // The range's pages, from pdfinfo while pdftotext starts: the progress's total, and the
    // check that the pages are where the text has them.
    std::shared_future<std::optional<std::int32_t>> pageCount;
    if (pageByPage || progress_.Active()) {
        const std::string pdfinfo = engine ? engine->pdfinfo : FindPdfinfo(tools_);
        pageCount = std::async(std::launch::async, [this, pdfinfo] {
                        const std::optional<std::int32_t> count = PageCount(pdfinfo, request_);
                        if (count) {
                            progress_.SetTotal(Expected(count));
                        }
                        return count;
                    }).share();
    }

    PopplerRun run;
    bool runAsGiven = !pageByPage;
    if (pageByPage) {
        run = PageByPage(engine ? &*engine : nullptr, pageCount, runAsGiven);
        if (runAsGiven && !output_.Failed() && output_.Restart()) {
            run = AsGiven();
        }
    } else {
        run = AsGiven();
    }
    if (pageCount.valid()) {
        pageCount.wait();
    }

    if (output_.Failed()) {
        return {output_.Message(), 2};
    }
    if (!failure_.empty()) {
        return {failure_, 2};
    }
    AdapterAnswer answer = pdftotext_.answer(run, remedy_);
    if (answer.exitStatus == 0 && answer.text.empty() && !output_.Finish()) {
        return {output_.Message(), 2};
    }
    return answer;
}

AdapterAnswer InputChanged(const std::string& path) {
    return {InputChangedMessage(path) + "\n", 1};
}

// What the user is told when the extraction itself broke down, in words a user understands.
std::string BreakdownMessage(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        return "The text could not be extracted: there was not enough memory.\n";
    }
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        std::string reason = system->code().message();
        return "The text could not be extracted: " + reason +
               (reason.empty() || reason.back() == '.' ? "\n" : ".\n");
    }
    return "The text could not be extracted.\n";
}

// The one rule for passwords (EitherPassword), for every tool of the request.
void TakeEitherPassword(TextractRequest& request) {
    const std::size_t given = request.passwordOptions.size();
    request.passwordOptions = EitherPassword(request.passwordOptions);
    request.options.insert(request.options.end(), request.passwordOptions.begin() + given,
                           request.passwordOptions.end());
}

} // namespace

int RunTextract(const AdapterDescription& pdftotext, const RecognitionTools& tools,
                const std::vector<std::string>& arguments, std::string_view remedy) {
    TextractRequest request = ReadTextractArguments(arguments);
    if (!request.understood) {
        return RunAdapter(pdftotext, arguments, remedy);
    }
    // Every tool of the job reads one document: the one the program probed (it passes what it
    // saw then), opened here once and handed to each tool as that open file, so that a rename,
    // a replacement or a folder swap at its path meanwhile changes nothing the tools read.
    const std::string path = request.inputPath;
    const std::unique_ptr<platform::JobDocument> input = platform::OpenJobDocument(path);
    const auto fingerprintNow = [&] {
        return input ? input->Fingerprint() : platform::FileFingerprint(path);
    };
    const std::string fingerprint = fingerprintNow();
    const std::string probed = platform::GetEnvironment("LARKSPAN_INPUT_FINGERPRINT");
    if (!probed.empty() && probed != fingerprint) {
        return PrintAnswer(InputChanged(path));
    }
    // The text would take the document's place, through a link or a second name.
    if (input && input->IsAt(request.outputPath)) {
        return PrintAnswer({OutputIsInputMessage(request.outputPath) + "\n", 2});
    }
    if (input) {
        request.documentPath = input->ToolPath();
    }
    // A password longer than the poppler tools take: the document decrypted here once, into a
    // private copy every tool opens. The text needs none of its pictures, so they are decrypted
    // only once a page has to be drawn.
    const DocumentPasswords passwords = ReadPasswords(request.passwordOptions);
    const std::string source = input ? input->ToolPath() : path;
    std::unique_ptr<platform::JobDocument> decrypted;
    if (LongerThanPopplerTakes(passwords)) {
        decrypted = DecryptedDocument(source, passwords, false);
    }
    std::once_flag decryptWhole;
    std::unique_ptr<platform::JobDocument> whole;
    if (decrypted) {
        request.documentPath = decrypted->ToolPath();
        request.decrypted = true;
        request.documentWithPictures = [&] {
            std::call_once(decryptWhole, [&] { whole = DecryptedDocument(source, passwords); });
            return whole ? whole->ToolPath() : std::string();
        };
    } else {
        TakeEitherPassword(request);
    }

    ProgressReport progress;
    OutputText output(request.outputPath);
    AdapterAnswer answer;
    try {
        answer = Extraction(pdftotext, tools, request, remedy, progress, output).Run();
    } catch (const std::exception& error) {
        // Whatever was written is not the whole text, and stays where nobody sees it.
        answer = {BreakdownMessage(error), 2};
    }
    // Written to in place while the tools read it: the text may mix two versions.
    if (fingerprintNow() != fingerprint) {
        return PrintAnswer(InputChanged(path));
    }
    if (answer.exitStatus == 0 && answer.text.empty()) {
        if (output.Commit()) {
            progress.Complete();
        } else {
            answer = {output.Message(), 2};
        }
    }
    // The tools name the document by the path they were given; the user knows it by its own.
    for (const std::string& given : {request.documentPath, whole ? whole->ToolPath() : ""}) {
        for (auto at = given.empty() ? std::string::npos : answer.text.find(given);
             at != std::string::npos; at = answer.text.find(given, at + path.size())) {
            answer.text.replace(at, given.size(), path);
        }
    }
    return PrintAnswer(answer);
}

} // namespace larkspan::tools

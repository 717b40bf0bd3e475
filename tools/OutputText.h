#pragma once

// What textract.bin writes besides its answer: the text file, through writes of its own that are
// each checked (pdftotext ignores its write errors and exits 0), and the job's progress for the
// program.

#include "platform/Platform.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace larkspan::tools {

// The output text file, written into a fresh file beside it from its first bytes on (or from
// Finish for a text without any), which Commit puts in place once the job has succeeded: until
// then the path keeps whatever it held, and a run that fails or is ended leaves it so (see
// platform::FileWriter). After a failure nothing more is written, and Message() names the
// problem and the file.
class OutputText {
public:
    explicit OutputText(std::string path) : path_(std::move(path)) {}

    bool Write(std::string_view bytes);
    // Empties the file, for its text to be written again from the start.
    bool Restart();
    // The text is complete: the file is made for a text without any bytes.
    bool Finish();
    // Puts the finished text in place.
    bool Commit();

    bool Failed() const { return !message_.empty(); }
    // The answer for a failure, e.g. "I/O Error: Couldn't write text file '<path>': No space
    // left on device.\n".
    const std::string& Message() const { return message_; }

private:
    bool Open();
    bool Fail(std::string_view doing, std::string_view reason);

    std::string path_;
    platform::FileWriter file_;
    std::string message_;
};

// The job's progress for the program, appended to the file named in LARKSPAN_PROGRESS_FILE
// (ProgressLine): "0 <total>" as soon as the total is known, then, as pages are done, a line at
// most every 100 ms, and just before a successful end the notes on single pages (PageNotes.h)
// and "<total> <total>". Without the variable, or when the file cannot be opened, it does
// nothing at all. Thread-safe.
class ProgressReport {
public:
    ProgressReport();
    ~ProgressReport();
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    bool Active() const { return file_ != nullptr; }
    // The pages of the job's range.
    void SetTotal(std::int64_t total);
    // Pages whose final text is written; never goes back.
    void SetDone(std::int64_t done);
    // A page (its number in the document) whose text could not be recognised, or that was read
    // without a model for its script (as the engine names it, such as "Cyrillic").
    void NoteUnread(std::int32_t page);
    void NoteWithoutModel(std::int32_t page, const std::string& script);
    // The last lines, for a job that succeeded: the notes, then every page done. Without a known
    // total, the pages done are the total.
    void Complete();

    static constexpr std::chrono::milliseconds kInterval{100};

private:
    void Report();
    void Stop();

    std::unique_ptr<platform::AppendingFile> file_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::int64_t> total_;
    std::int64_t done_ = 0;
    std::optional<std::int64_t> reported_; // pages done in the last line written
    std::vector<std::int32_t> unread_;
    std::map<std::string, std::vector<std::int32_t>> withoutModel_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace larkspan::tools

#pragma once

// How far a running extraction has come, as the extractor reports it through a side channel:
// the job names an empty private file in LARKSPAN_PROGRESS_FILE, and the extractor appends the
// ASCII line "<done> <total>\n" to it as pages are done ("0 <total>" first, "<total> <total>"
// last). The window reads the end of that file now and then; this model turns what it read into
// the gauge's share, the page line and an estimate of the time left. Its standard output cannot
// carry this: everything the extractor prints counts as an error.

#include "core/ports/Ports.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace larkspan {

// The variables that the job sets for the extractor alone.
inline constexpr const char* kProgressFileVariable = "LARKSPAN_PROGRESS_FILE";
// How the names of the jobs' progress files in the temporary folder begin.
inline constexpr const char* kProgressFilePrefix = "larkspan-progress-";
inline constexpr const char* kInputFingerprintVariable = "LARKSPAN_INPUT_FINGERPRINT";

// How much of the file's end is read each time: many times the longest line the extractor
// writes, so a complete line is always in it while the extractor keeps to the protocol.
inline constexpr std::size_t kProgressTailBytes = 256;

struct ProgressCount {
    std::int64_t done = 0;
    std::int64_t total = 0;
    friend bool operator==(const ProgressCount&, const ProgressCount&) = default;
};

// The last complete, well-formed line of `bytes`: two decimal numbers (no leading zero) and one
// blank between them, done <= total, total > 0, ending in "\n" (a "\r" before it is tolerated). A
// last line still being written, and every line that breaks the rule, is passed over. `cutAtStart`:
// the bytes are the end of a longer file, so their first line may be the end of a line and is not
// taken.
std::optional<ProgressCount> LastProgressLine(std::string_view bytes, bool cutAtStart);

// "about 45 s left", "about 4 min left", "about 1 h 5 min left": seconds rounded up to 5 below a
// minute, whole minutes (rounded) above.
std::string TimeLeftText(std::chrono::seconds left);

// The pages of a job as the user knows them. The extractor counts places in the range; the page
// line names the page as the document numbers it.
struct JobPages {
    std::int64_t first = 1;    // the range's first page
    std::int64_t document = 0; // the document's page count; 0: not known, places are shown
};

// What the window shows of one running job, from the counts read while it runs.
class JobProgress {
public:
    using Clock = std::chrono::steady_clock;

    explicit JobProgress(JobPages pages = {}) : pages_(pages) {}

    // A count read at `now`. Counts that go back, change their total or lie beyond it are not
    // the extractor's progress and are ignored. Returns true when the share or the line changed.
    bool Update(const ProgressCount& count, Clock::time_point now);

    // 0 to 100: the share of the pages done, rounded down (100 only when all are done).
    int Percent() const;
    // "Page 137 of 300 — about 4 min left": the page being worked on (all done: the last one) of
    // the document, and the time left once it can be told fairly. Before the first count the
    // job's first page, as soon as the job starts; "" when the pages are not known.
    std::string Line() const;

    // The time left, once enough pages and time have passed to measure the pace fairly: at
    // least kMinimumPagesForEstimate pages and kMinimumTimeForEstimate since the first count.
    std::optional<std::chrono::seconds> TimeLeft() const { return timeLeft_; }

    static constexpr std::int64_t kMinimumPagesForEstimate = 3;
    static constexpr std::chrono::seconds kMinimumTimeForEstimate{3};

private:
    JobPages pages_;
    std::optional<ProgressCount> first_; // the first count read, where the pace is measured from
    Clock::time_point firstAt_{};
    ProgressCount last_;
    std::optional<std::chrono::seconds> timeLeft_;
};

// Follows the side channel of one running job: reads the end of its file through `files` and
// keeps the JobProgress up to date. A missing or unreadable file, a line being written and
// garbage change nothing. Reading never waits for the extractor.
class ProgressFollower {
public:
    ProgressFollower(FileSystemPort& files, std::string path, JobPages pages = {});

    // Reads the file now; true when what the window shows changed.
    bool Poll(JobProgress::Clock::time_point now);
    const JobProgress& Progress() const { return progress_; }

private:
    FileSystemPort& files_;
    std::string path_;
    JobProgress progress_;
};

} // namespace larkspan

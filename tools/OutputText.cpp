#include "OutputText.h"

#include "core/extraction/PageNotes.h"
#include "core/extraction/TextStream.h"

#include <algorithm>

namespace larkspan::tools {

bool OutputText::Fail(std::string_view doing, std::string_view reason) {
    std::string why(reason);
    if (why.empty() || why.back() != '.') {
        why += '.';
    }
    message_ =
        "I/O Error: Couldn't " + std::string(doing) + " text file '" + path_ + "': " + why + "\n";
    return false;
}

bool OutputText::Open() {
    std::string reason;
    return file_.Open(path_, platform::FileMode::Document, reason) || Fail("open", reason);
}

bool OutputText::Write(std::string_view bytes) {
    if (Failed() || bytes.empty()) {
        return !Failed();
    }
    std::string reason;
    return (file_.IsOpen() || Open()) && (file_.Write(bytes, reason) || Fail("write", reason));
}

bool OutputText::Restart() {
    std::string reason;
    return !Failed() && (!file_.IsOpen() || file_.Restart(reason) || Fail("write", reason));
}

bool OutputText::Finish() {
    return !Failed() && (file_.IsOpen() || Open());
}

bool OutputText::Commit() {
    std::string reason;
    return Finish() && (file_.Commit(reason) || Fail("write", reason));
}

ProgressReport::ProgressReport() {
    const std::string path = platform::GetEnvironment("LARKSPAN_PROGRESS_FILE");
    if (!path.empty()) {
        file_ = platform::OpenForAppending(path);
    }
    if (file_) {
        thread_ = std::thread([this] { Report(); });
    }
}

ProgressReport::~ProgressReport() {
    Stop();
}

void ProgressReport::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ProgressReport::SetTotal(std::int64_t total) {
    if (!Active()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        total_ = total;
    }
    changed_.notify_all();
}

void ProgressReport::SetDone(std::int64_t done) {
    if (!Active()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        done_ = std::max(done_, done);
    }
    changed_.notify_all();
}

void ProgressReport::NoteUnread(std::int32_t page) {
    if (Active()) {
        const std::lock_guard lock(mutex_);
        unread_.push_back(page);
    }
}

void ProgressReport::NoteWithoutModel(std::int32_t page, const std::string& script) {
    if (Active()) {
        const std::lock_guard lock(mutex_);
        withoutModel_[script].push_back(page);
    }
}

void ProgressReport::Complete() {
    if (!Active()) {
        return;
    }
    Stop();
    PageNotes notes;
    notes.unread = ListPages(std::move(unread_));
    for (auto& [script, pages] : withoutModel_) {
        notes.withoutModel[script] = ListPages(std::move(pages));
    }
    const std::int64_t total = total_.value_or(done_);
    file_->Append(PageNotesLines(notes) + ProgressLine(total, total));
}

// "0 <total>" first, whatever is done by then; afterwards a line when the count has changed
// and the last line is old enough.
void ProgressReport::Report() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    Clock::time_point last{};
    while (!stopping_) {
        const std::int64_t done = reported_ && total_ ? std::min(done_, *total_) : 0;
        const bool due = total_ && (!reported_ || *reported_ != done);
        const Clock::time_point next = reported_ ? last + kInterval : last;
        if (due && Clock::now() >= next) {
            const std::string line = ProgressLine(done, *total_);
            reported_ = done;
            last = Clock::now();
            lock.unlock();
            file_->Append(line);
            lock.lock();
        } else if (due) {
            changed_.wait_until(lock, next);
        } else {
            changed_.wait(lock);
        }
    }
}

} // namespace larkspan::tools

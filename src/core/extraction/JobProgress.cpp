#include "core/extraction/JobProgress.h"

#include <charconv>
#include <utility>

namespace larkspan {

namespace {

// A whole line without its "\n": digits, one blank, digits, and at most a "\r" at the end.
std::optional<ProgressCount> ParseLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) {
        return std::nullopt;
    }
    const auto number = [](std::string_view digits) -> std::optional<std::int64_t> {
        // Digits only: from_chars would take a sign, and a count of pages has none. The tool
        // writes no leading zero, so a number with one is no count of its.
        if (digits.empty() || digits.size() > 15 || (digits.size() > 1 && digits[0] == '0') ||
            digits.find_first_not_of("0123456789") != std::string_view::npos) {
            return std::nullopt;
        }
        std::int64_t value = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return value;
    };
    const auto done = number(line.substr(0, blank));
    const auto total = number(line.substr(blank + 1));
    if (!done || !total || *total == 0 || *done > *total) {
        return std::nullopt;
    }
    return ProgressCount{*done, *total};
}

} // namespace

std::optional<ProgressCount> LastProgressLine(std::string_view bytes, bool cutAtStart) {
    // Only what ends in "\n" is complete; the rest is a line still being written.
    std::size_t end = bytes.rfind('\n');
    while (end != std::string_view::npos) {
        const std::size_t previous = end == 0 ? std::string_view::npos : bytes.rfind('\n', end - 1);
        const std::size_t start = previous == std::string_view::npos ? 0 : previous + 1;
        if (previous == std::string_view::npos && cutAtStart) {
            return std::nullopt;
        }
        if (const auto count = ParseLine(bytes.substr(start, end - start))) {
            return count;
        }
        end = previous;
    }
    return std::nullopt;
}

std::string TimeLeftText(std::chrono::seconds left) {
    const std::int64_t seconds = left.count() < 1 ? 1 : left.count();
    if (seconds <= 55) {
        return "about " + std::to_string((seconds + 4) / 5 * 5) + " s left";
    }
    const std::int64_t minutes = (seconds + 30) / 60;
    if (minutes < 60) {
        return "about " + std::to_string(minutes) + " min left";
    }
    std::string text = "about " + std::to_string(minutes / 60) + " h";
    if (minutes % 60 != 0) {
        text += " " + std::to_string(minutes % 60) + " min";
    }
    return text + " left";
}

bool JobProgress::Update(const ProgressCount& count, Clock::time_point now) {
    if (first_ && (count.total != last_.total || count.done < last_.done)) {
        return false;
    }
    const int percentBefore = Percent();
    const std::string lineBefore = Line();
    if (!first_) {
        first_ = count;
        firstAt_ = now;
    }
    last_ = count;

    timeLeft_.reset();
    const std::int64_t pages = last_.done - first_->done;
    const auto elapsed = now - firstAt_;
    if (last_.done < last_.total && pages >= kMinimumPagesForEstimate &&
        elapsed >= kMinimumTimeForEstimate) {
        // The pace so far, over every page done since the first count: an even document keeps
        // it, and a page that takes long makes the estimate grow while it is being worked on.
        const auto perPage = std::chrono::duration<double>(elapsed) / static_cast<double>(pages);
        timeLeft_ = std::chrono::duration_cast<std::chrono::seconds>(
            perPage * static_cast<double>(last_.total - last_.done));
    }
    return Percent() != percentBefore || Line() != lineBefore;
}

int JobProgress::Percent() const {
    if (!first_) {
        return 0;
    }
    return static_cast<int>(last_.done * 100 / last_.total);
}

std::string JobProgress::Line() const {
    // The document's numbers only while the extractor's count fits them.
    const bool numbered = pages_.document > 0 && pages_.first >= 1 &&
                          (!first_ || pages_.first - 1 + last_.total <= pages_.document);
    if (!first_) {
        return numbered ? "Page " + std::to_string(pages_.first) + " of " +
                              std::to_string(pages_.document)
                        : std::string();
    }
    const std::int64_t place = last_.done < last_.total ? last_.done + 1 : last_.total;
    std::string line = "Page " + std::to_string(numbered ? pages_.first - 1 + place : place) +
                       " of " + std::to_string(numbered ? pages_.document : last_.total);
    if (timeLeft_) {
        line += " \xE2\x80\x94 " + TimeLeftText(*timeLeft_); // an em dash, in UTF-8
    }
    return line;
}

ProgressFollower::ProgressFollower(FileSystemPort& files, std::string path, JobPages pages)
    : files_(files), path_(std::move(path)), progress_(pages) {}

bool ProgressFollower::Poll(JobProgress::Clock::time_point now) {
    const std::string tail = files_.ReadTail(path_, kProgressTailBytes);
    const auto count = LastProgressLine(tail, tail.size() >= kProgressTailBytes);
    return count && progress_.Update(*count, now);
}

} // namespace larkspan

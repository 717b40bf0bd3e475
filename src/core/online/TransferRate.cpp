#include "core/online/TransferRate.h"

namespace larkspan::online {

RateFloor::RateFloor(std::uint64_t minimumBytes, Clock::duration window)
    : minimumBytes_(minimumBytes), window_(window), step_(window / 60) {}

void RateFloor::Start(Clock::time_point now, std::uint64_t total) {
    samples_.clear();
    samples_.push_back({now, total});
}

bool RateFloor::Holds(Clock::time_point now, std::uint64_t total) {
    if (minimumBytes_ == 0 || window_ <= Clock::duration::zero()) {
        return true;
    }
    if (samples_.empty()) {
        Start(now, total);
        return true;
    }
    if (now - samples_.back().at >= step_) {
        samples_.push_back({now, total});
    }
    // The first sample kept is the newest one at least a window old, so what is measured always
    // spans a whole window (and at most one step more).
    while (samples_.size() > 1 && now - samples_[1].at >= window_) {
        samples_.pop_front();
    }
    const Sample& first = samples_.front();
    return now - first.at < window_ || total - first.total >= minimumBytes_;
}

void RateFloor::Exclude(Clock::duration spent) {
    for (Sample& sample : samples_) {
        sample.at += spent;
    }
}

} // namespace larkspan::online

#pragma once

// The lowest rate a transfer may keep up for long. A server that sends a byte every few seconds
// keeps every single wait far below the idle limit, so without a floor such a download would run
// for days; a working link, however slow, stays far above it.

#include <chrono>
#include <cstdint>
#include <deque>

namespace larkspan::online {

class RateFloor {
public:
    using Clock = std::chrono::steady_clock;

    // At least `minimumBytes` must arrive in every stretch of `window` (a window of zero, or no
    // bytes: no floor).
    RateFloor(std::uint64_t minimumBytes, Clock::duration window);

    // Starts watching at `now`, with `total` bytes received so far.
    void Start(Clock::time_point now, std::uint64_t total);

    // False once the transfer has run a whole window and fewer than the minimum came in during
    // the last one. `total` counts every byte received so far.
    bool Holds(Clock::time_point now, std::uint64_t total);

    // Time the owner of the transfer spent on something else (a question to the user), during
    // which the server could not be read: it does not count against the server.
    void Exclude(Clock::duration spent);

private:
    struct Sample {
        Clock::time_point at;
        std::uint64_t total;
    };

    std::uint64_t minimumBytes_;
    Clock::duration window_;
    Clock::duration step_; // a sample per step: the window is measured to within one step
    std::deque<Sample> samples_;
};

} // namespace larkspan::online

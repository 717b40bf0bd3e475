#pragma once

// How often a window whose thread a blocking download keeps busy repaints and takes its events:
// painting for every piece would cost more than the transfer on a fast link, so it does so at a
// steady rate, often enough for a smooth gauge and a prompt Cancel.

#include <chrono>
#include <cstdint>
#include <optional>

namespace larkspan::online {

using PacingClock = std::chrono::steady_clock;

inline constexpr std::chrono::milliseconds kProgressRepaintInterval{30};

// Whether a progress event should let the window repaint and process its events now.
//   sinceRepaint:   time since it last did; none before the first time, which is always due
//   unitLasted:     time since the current unit of work (a body, a chunk) began
//   count:          bytes of the unit so far; expected: its announced size, 0 when unknown
// Due once the interval has passed, and when a unit that ran a whole interval ends, so a large
// download shows a full gauge while it is saved (chunks end far too often for that).
bool ProgressRepaintDue(std::optional<PacingClock::duration> sinceRepaint,
                        PacingClock::duration unitLasted, std::int64_t count,
                        std::int64_t expected);

} // namespace larkspan::online

#pragma once

// How often a window whose thread a blocking download keeps busy repaints its gauge and takes
// its events. On a fast link a piece arrives every few microseconds, and painting the window for
// each one would cost more than the transfer; the window breathes at a steady rate instead, often
// enough that the gauge moves smoothly and a click on Cancel is taken at once.

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
// Due once the interval has passed. A unit that ends after running a whole interval is also
// shown complete at once, so a large download shows its full gauge while it is being saved;
// short units (the chunks of a chunked body) end far too often for that.
bool ProgressRepaintDue(std::optional<PacingClock::duration> sinceRepaint,
                        PacingClock::duration unitLasted, std::int64_t count,
                        std::int64_t expected);

} // namespace larkspan::online

#include "core/online/ProgressPacing.h"

namespace larkspan::online {

bool ProgressRepaintDue(std::optional<PacingClock::duration> sinceRepaint,
                        PacingClock::duration unitLasted, std::int64_t count,
                        std::int64_t expected) {
    if (!sinceRepaint || *sinceRepaint >= kProgressRepaintInterval) {
        return true;
    }
    return expected > 0 && count >= expected && unitLasted >= kProgressRepaintInterval;
}

} // namespace larkspan::online

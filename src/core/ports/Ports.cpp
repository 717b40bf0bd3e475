#include "core/ports/Ports.h"

namespace larkspan {

// `end_` runs under the lock, so that Unregister cannot return while it runs: the work may
// destroy what `end_` uses as soon as it has unregistered.
void StopRequest::Request() {
    const std::lock_guard lock(mutex_);
    requested_ = true;
    if (end_) {
        end_();
    }
}

bool StopRequest::Requested() const {
    const std::lock_guard lock(mutex_);
    return requested_;
}

void StopRequest::Register(std::function<void()> end) {
    const std::lock_guard lock(mutex_);
    end_ = std::move(end);
    if (requested_ && end_) {
        end_();
    }
}

void StopRequest::Unregister() {
    const std::lock_guard lock(mutex_);
    end_ = nullptr;
}

} // namespace larkspan

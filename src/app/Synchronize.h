#pragma once

#include <functional>

namespace larkspan {

// Runs `routine` on the main thread while the calling worker waits for it; an exception thrown
// by the routine is carried back and rethrown in the worker. Called on the main thread itself,
// it simply runs the routine.
void Synchronize(const std::function<void()>& routine);

} // namespace larkspan

#pragma once

// The one way a worker thread reaches the main thread: the routine runs there while the worker
// waits, also while the main thread sits in a modal loop (a message box, the download window),
// and an error the routine raises comes back to the worker.

#include <functional>

namespace larkspan {

// Thrown to a worker whose routine cannot run because the program is ending. The worker must
// then stop without touching anything of the program: its windows may be gone. Deliberately
// not a std::exception, so that code which drops expected failures lets it pass.
struct MainThreadGone {};

// Runs `routine` on the main thread and returns when it has run, raising its error again here;
// on the main thread it just runs it. Once the event loop has ended or the application object is
// going away no routine runs: a worker that asks then, or whose routine was not yet delivered,
// gets MainThreadGone; it never runs the routine itself nor waits for ever.
void RunOnMainThread(const std::function<void()>& routine);

// Main thread, once the application object exists: arms the rules above, so that a worker's
// first call finds them armed (RunOnMainThread arms them too when first called there).
void WatchProgramEnd();

} // namespace larkspan

#pragma once

// The program's end around the threads it does not wait for: the update check, which may still
// wait on the server, and an extraction job left behind. The process may end while they run, but
// where the system's own exit cannot be trusted with a thread still running (Windows stops it
// wherever it is, then runs the libraries' clean-up), the process is then ended at once instead.

#include <functional>

namespace larkspan {

// Runs `work`, which must not throw, on a thread of its own that nothing waits for while the
// program runs. Throws std::system_error (or std::bad_alloc) when no thread could be started.
void StartUnwaitedThread(std::function<void()> work);

// For a thread started another way (an extraction job's): counted as running from Begins until
// its end has been waited for. Main thread.
void UnwaitedThreadBegins();
void UnwaitedThreadWaitedFor();

// Main thread, last, once the event loop and the windows are gone: joins the threads whose work
// has returned and gives `status` back for main when none is left running; otherwise ends the
// process with `status` (platform::EndWithThreadsRunning, which returns on POSIX).
int EndProgram(int status);

} // namespace larkspan

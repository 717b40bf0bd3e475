#pragma once

namespace larkspan {

// The program: takes the per-user single-instance lock, shows the main window and runs the
// event loop until it closes. Returns the exit status: 0 on every path of the program itself (a
// refused second copy and a missing installation record included), 1 only when no display is
// available. If a thread still runs then, the process may be ended with it (platform/ProgramEnd.h).
int RunLarkspan(int argc, char** argv);

} // namespace larkspan

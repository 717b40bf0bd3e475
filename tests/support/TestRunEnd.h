#pragma once

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace larkspan::test {

// Ends a test program once its verdict is printed. On Windows the process is ended at once, so
// no library's detach code runs after the tests: under wine that phase, with threads that Qt or
// a test left behind, crashed wine itself now and then (a segmentation fault after "PASSED").
// How the program itself ends is tested end to end.
[[nodiscard]] inline int EndTestRun(int status) {
    std::fflush(nullptr);
#ifdef _WIN32
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
#endif
    return status;
}

} // namespace larkspan::test

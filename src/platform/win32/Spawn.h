#pragma once

// Starting a child process that inherits exactly the handles it is given, shared by the
// console runner and RunCaptured.

#include "platform/Platform.h"
#include "platform/win32/Win32.h"

#include <string>

namespace larkspan::platform::win32 {

// Makes a pipe whose two ends are not inheritable: a child started by any thread gets an end
// only when it is handed over explicitly (see StartChild).
bool MakePipe(UniqueHandle& readEnd, UniqueHandle& writeEnd);

struct ChildStart {
    const wchar_t* application = nullptr; // the program file, or null to take it from the
                                          // command line (searched the way CreateProcessW does)
    std::wstring commandLine;
    const wchar_t* folder = nullptr; // working folder, or null to keep the program's
    HANDLE input = nullptr;          // the child's standard input, or null for the program's
    HANDLE output = nullptr;         // the child's standard output
    HANDLE error = nullptr;          // and standard error (may be the same handle)
    bool hidden = false;             // hide the window a console child would get
    DWORD flags = 0;                 // further creation flags (CREATE_SUSPENDED, say)
    const EnvironmentVariables* environment = nullptr; // set on top of the program's own
};

// Starts the child with the given standard handles (the program's own input unless one is
// given) as its only inherited handles. Returns false with `lastError` set when it could not be
// started.
bool StartChild(ChildStart start, PROCESS_INFORMATION& started, DWORD& lastError);

// Makes a job object whose processes all end when its last handle closes: so do they when this
// program ends, however it ends. A job made inside another one is nested in it, and the outer
// job's end reaches it too.
bool MakeKillOnCloseJob(UniqueHandle& job);

// Ends every process of the job and waits until each has ended and so let go of its handles
// (a terminated process ends a moment after TerminateJobObject returns, not at once).
void EndJobAndAwait(HANDLE job);

// Reads `from` to its end, at most `chunk` bytes per read, each read handed to `append`; a
// read error ends it like end-of-data.
template <typename Append> void ReadToEnd(HANDLE from, DWORD chunk, Append append) {
    char buffer[4096];
    chunk = chunk < sizeof buffer ? chunk : static_cast<DWORD>(sizeof buffer);
    DWORD count = 0;
    while (::ReadFile(from, buffer, chunk, &count, nullptr) && count > 0) {
        append(buffer, static_cast<std::size_t>(count));
    }
}

} // namespace larkspan::platform::win32

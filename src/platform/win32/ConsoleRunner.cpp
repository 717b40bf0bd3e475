// Running a command line through cmd.exe and capturing everything it prints.

#include "platform/Platform.h"
#include "platform/Policy.h"
#include "platform/win32/Spawn.h"

#include <cstdint>

namespace larkspan::platform {

namespace {

// cmd.exe from the system folder: a bare "cmd.exe" would be looked for in this program's
// folder and current folder first, where anyone who can write there could plant one.
std::wstring CommandInterpreterPath() {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const UINT length = ::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
        if (length == 0) {
            return {};
        }
        if (length < folder.size()) {
            folder.resize(length);
            return folder + L"\\cmd.exe";
        }
        folder.resize(length);
    }
}

} // namespace

CommandInterpreter ConsoleInterpreter() {
    return CommandInterpreter::WindowsCmd;
}

ConsoleResult RunConsoleCapture(const std::string& commandLine, const std::string& workingFolder,
                                CommandStopper* stopper, const EnvironmentVariables& environment) {
    ConsoleResult result;
    std::wstring folder;
    const std::wstring interpreter = CommandInterpreterPath();
    if (!win32::WidePath(workingFolder, folder) || interpreter.empty()) {
        return result;
    }
    win32::UniqueHandle readEnd;
    win32::UniqueHandle writeEnd;
    if (!win32::MakePipe(readEnd, writeEnd)) {
        return result;
    }

    // A stop must end cmd.exe and everything it started. A job object holds them all: children
    // join their parent's job and cannot leave it (breakaway is not allowed), and the jobs the
    // tools make for their own children are nested inside it. The interpreter starts suspended,
    // so it is in the job before it can start anything. The job ends everything in it when its
    // last handle closes: when this program ends, however it ends, nothing it started runs on.
    win32::UniqueHandle job;
    if (!win32::MakeKillOnCloseJob(job)) {
        return result;
    }

    win32::ChildStart start;
    start.application = interpreter.c_str();
    start.commandLine = win32::Widen(policy::WindowsInterpreterCommand(commandLine));
    start.folder = folder.c_str();
    // Standard output and standard error share one handle, so the bytes arrive in the order
    // they were written.
    start.output = writeEnd.Get();
    start.error = writeEnd.Get();
    start.hidden = true;
    start.flags = CREATE_SUSPENDED;
    start.environment = &environment;
    PROCESS_INFORMATION started{};
    DWORD lastError = ERROR_SUCCESS;
    const bool ok = win32::StartChild(start, started, lastError);
    // From here on only the child and what it starts hold the write end, so end-of-data comes
    // exactly when the last of them has closed it.
    writeEnd.Close();
    if (!ok) {
        return result;
    }
    const win32::UniqueHandle process(started.hProcess);
    const win32::UniqueHandle thread(started.hThread);
    if (!::AssignProcessToJobObject(job.Get(), process.Get())) {
        // Without the job it could not be stopped: it does not run at all.
        ::TerminateProcess(process.Get(), 1);
        ::WaitForSingleObject(process.Get(), INFINITE);
        return result;
    }
    if (stopper != nullptr && !stopper->Attach(reinterpret_cast<std::intptr_t>(job.Get()))) {
        stopper->Stop(); // asked for before the start: end it before it runs
    }
    if (::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        win32::EndJobAndAwait(job.Get());
        if (stopper != nullptr) {
            stopper->Detach();
        }
        return result;
    }
    result.started = true;

    // At most 255 bytes per read. The captured text never holds a zero byte: one the child
    // wrote ends the text of that read, and the following reads are taken as they come. A stop
    // ends every holder of the write end, which ends the reads.
    win32::ReadToEnd(readEnd.Get(), 255, [&](const char* data, std::size_t size) {
        policy::AppendConsoleRead(result.output, data, size);
    });
    ::WaitForSingleObject(process.Get(), INFINITE);
    if (stopper != nullptr) {
        // Before the job handle closes: Stop may use it until then.
        stopper->Detach();
        result.stopped = stopper->StopRequested();
    }
    if (result.stopped) {
        // Only once every process of the job has gone: a tool's children have pipes of their
        // own and may outlive the end of this one, and the caller deletes the tool's output
        // next, which fails while a dying process holds it open.
        win32::EndJobAndAwait(job.Get());
    }
    return result;
}

void EndWithStartingProgram() {} // the command's job object ends it with the program

} // namespace larkspan::platform

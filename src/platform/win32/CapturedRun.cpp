// RunCaptured on Windows: CreateProcessW with two pipes, the error pipe drained and the input
// (when given) written on threads of their own (anonymous pipes cannot be waited on together).

#include "platform/Platform.h"
#include "platform/Policy.h"
#include "platform/win32/Spawn.h"

#include <algorithm>
#include <thread>

namespace larkspan::platform {

CapturedRun RunCaptured(const std::vector<std::string>& argv,
                        std::optional<std::string_view> standardInput) {
    CapturedRun result;
    if (argv.empty() || argv.front().empty()) {
        result.startError = "no program to run";
        return result;
    }
    for (const std::string& argument : argv) {
        if (argument.find('\0') != std::string::npos) {
            result.startError = win32::ErrorText(ERROR_INVALID_PARAMETER);
            return result;
        }
    }

    win32::UniqueHandle outRead, outWrite, errRead, errWrite, inRead, inWrite;
    if (!win32::MakePipe(outRead, outWrite) || !win32::MakePipe(errRead, errWrite) ||
        (standardInput && !win32::MakePipe(inRead, inWrite))) {
        result.startError = win32::ErrorText(::GetLastError());
        return result;
    }

    // The program is found the way CreateProcessW finds the first word of a command line (a
    // bare name also in the system folders and on PATH, with ".exe" added).
    win32::ChildStart start;
    start.commandLine = win32::Widen(policy::WindowsCommandLine(argv));
    start.input = inRead.Get();
    start.output = outWrite.Get();
    start.error = errWrite.Get();
    PROCESS_INFORMATION started{};
    DWORD lastError = ERROR_SUCCESS;
    const bool ok = win32::StartChild(start, started, lastError);
    outWrite.Close();
    errWrite.Close();
    inRead.Close();
    if (!ok) {
        result.startError = win32::ErrorText(lastError, argv.front());
        return result;
    }
    result.started = true;
    const win32::UniqueHandle process(started.hProcess);
    const win32::UniqueHandle thread(started.hThread);

    // Both pipes are read as data arrives, so a child that fills one of them while the other
    // is waited on cannot block.
    // A child that ends without reading all of its input fails the write; the rest is dropped.
    // Without input to give, the child has the program's own and no thread is needed.
    std::thread inputWriter;
    if (standardInput) {
        inputWriter = std::thread([&] {
            std::string_view rest = *standardInput;
            DWORD written = 0;
            while (!rest.empty()) {
                const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1 << 16));
                if (!::WriteFile(inWrite.Get(), rest.data(), chunk, &written, nullptr)) {
                    break;
                }
                rest.remove_prefix(written);
            }
            inWrite.Close();
        });
    }
    std::thread errorReader([&] {
        win32::ReadToEnd(errRead.Get(), 4096, [&](const char* data, std::size_t size) {
            result.standardError.append(data, size);
        });
    });
    win32::ReadToEnd(outRead.Get(), 4096, [&](const char* data, std::size_t size) {
        result.standardOutput.append(data, size);
    });
    errorReader.join();
    if (inputWriter.joinable()) {
        inputWriter.join();
    }

    DWORD exitCode = 0;
    if (::WaitForSingleObject(process.Get(), INFINITE) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(process.Get(), &exitCode)) {
        result.exitCode = static_cast<int>(exitCode);
    }
    return result;
}

} // namespace larkspan::platform

// RunCaptured and RunStreamed on Windows: CreateProcessW with two pipes, the child in a job
// object of its own; the error pipe drained, the input (when given) written and the time limit
// kept on threads of their own (anonymous pipes cannot be waited on together).

#include "platform/Platform.h"
#include "platform/Policy.h"
#include "platform/win32/Spawn.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace larkspan::platform {

namespace {

// Ends the job once, when a bound is met, and says which bound it was.
class JobEnder {
public:
    explicit JobEnder(HANDLE job) : job_(job) {}
    void End() {
        const std::lock_guard lock(mutex_);
        if (!ended_) {
            ended_ = true;
            ::TerminateJobObject(job_, 1);
        }
    }

private:
    HANDLE job_;
    std::mutex mutex_;
    bool ended_ = false;
};

CapturedRun Run(const std::vector<std::string>& argv, std::optional<std::string_view> standardInput,
                const OutputSink* sink, const CaptureLimits& limits) {
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

    // The child and everything it starts belong to a job: a bound ends them all, and so does
    // the end of this program, which closes the job's last handle. The child starts suspended
    // so that it is in the job before it can start anything. (Inside the job of a command the
    // program runs, this is a nested job: that job's end still reaches it.)
    win32::UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION killOnClose{};
    killOnClose.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation,
                                           &killOnClose, sizeof killOnClose)) {
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
    start.flags = CREATE_SUSPENDED;
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
    const win32::UniqueHandle process(started.hProcess);
    const win32::UniqueHandle thread(started.hThread);
    if (!::AssignProcessToJobObject(job.Get(), process.Get())) {
        // Outside a job its bounds could not be kept: it does not run at all.
        result.startError = win32::ErrorText(::GetLastError());
        ::TerminateProcess(process.Get(), 1);
        ::WaitForSingleObject(process.Get(), INFINITE);
        return result;
    }
    ::ResumeThread(thread.Get());
    result.started = true;

    JobEnder ender(job.Get());
    bool timedOut = false;
    std::mutex finishing;
    std::condition_variable finishedSignal;
    bool finished = false;
    std::thread timer;
    if (limits.time.count() > 0) {
        timer = std::thread([&] {
            std::unique_lock lock(finishing);
            if (!finishedSignal.wait_for(lock, limits.time, [&] { return finished; })) {
                timedOut = true;
                ender.End();
            }
        });
    }

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
    policy::CapturedOutput kept(limits.outputBytes, sink, result.standardOutput,
                                result.standardError, kCapturedErrorBytes);
    std::thread errorReader([&] {
        win32::ReadToEnd(errRead.Get(), 4096, [&](const char* data, std::size_t size) {
            kept.TakeError(std::string_view(data, size));
        });
    });
    // Past the bound the rest is read and dropped until the job's end closes the pipe.
    win32::ReadToEnd(outRead.Get(), 4096, [&](const char* data, std::size_t size) {
        if (!kept.TakeOutput(std::string_view(data, size))) {
            ender.End();
        }
    });
    errorReader.join();
    if (inputWriter.joinable()) {
        inputWriter.join();
    }

    DWORD exitCode = 0;
    const bool ended = ::WaitForSingleObject(process.Get(), INFINITE) == WAIT_OBJECT_0 &&
                       ::GetExitCodeProcess(process.Get(), &exitCode);
    if (timer.joinable()) {
        {
            const std::lock_guard lock(finishing);
            finished = true;
        }
        finishedSignal.notify_all();
        timer.join();
    }
    if (ended) {
        result.exitCode = static_cast<int>(exitCode);
    }
    result.timedOut = timedOut;
    result.outputCut = kept.Cut();
    return result;
}

} // namespace

CapturedRun RunCaptured(const std::vector<std::string>& argv,
                        std::optional<std::string_view> standardInput,
                        const CaptureLimits& limits) {
    return Run(argv, standardInput, nullptr, limits);
}

CapturedRun RunStreamed(const std::vector<std::string>& argv,
                        std::optional<std::string_view> standardInput, const OutputSink& sink,
                        const CaptureLimits& limits) {
    return Run(argv, standardInput, &sink, limits);
}

} // namespace larkspan::platform

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

// The three pipes of a run; the child's ends are closed here once it holds its copies.
struct RunPipes {
    win32::UniqueHandle outRead, outWrite, errRead, errWrite, inRead, inWrite;

    bool Make(bool withInput) {
        return win32::MakePipe(outRead, outWrite) && win32::MakePipe(errRead, errWrite) &&
               (!withInput || win32::MakePipe(inRead, inWrite));
    }
    void CloseChildEnds() {
        outWrite.Close();
        errWrite.Close();
        inRead.Close();
    }
};

// Why the arguments cannot make a command line, or nothing when they can.
std::optional<std::string> ArgumentProblem(const std::vector<std::string>& argv) {
    if (argv.empty() || argv.front().empty()) {
        return "no program to run";
    }
    for (const std::string& argument : argv) {
        if (argument.find('\0') != std::string::npos) {
            return win32::ErrorText(ERROR_INVALID_PARAMETER);
        }
    }
    return std::nullopt;
}

// Starts the program in `job`. It starts suspended, so that it is in the job before it can
// start anything; outside a job its bounds could not be kept, so then it does not run at all. The
// program is found the way CreateProcessW finds the first word of a command line (a bare name also
// in the system folders and on PATH, with ".exe" added).
bool StartInJob(const std::vector<std::string>& argv, RunPipes& pipes, HANDLE job,
                win32::UniqueHandle& process, std::string& error) {
    win32::ChildStart start;
    start.commandLine = win32::Widen(policy::WindowsCommandLine(argv));
    start.input = pipes.inRead.Get();
    start.output = pipes.outWrite.Get();
    start.error = pipes.errWrite.Get();
    start.flags = CREATE_SUSPENDED;
    PROCESS_INFORMATION started{};
    DWORD lastError = ERROR_SUCCESS;
    const bool ok = win32::StartChild(start, started, lastError);
    pipes.CloseChildEnds();
    if (!ok) {
        error = win32::ErrorText(lastError, argv.front());
        return false;
    }
    process.Reset(started.hProcess);
    const win32::UniqueHandle thread(started.hThread);
    // A child whose thread cannot be resumed would never run, and the run would wait for it
    // for ever.
    if (!::AssignProcessToJobObject(job, process.Get()) ||
        ::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        error = win32::ErrorText(::GetLastError());
        ::TerminateProcess(process.Get(), 1);
        ::WaitForSingleObject(process.Get(), INFINITE);
        return false;
    }
    return true;
}

// Ends the job when `limit` passes before Finish is called; no limit, no thread.
class TimeLimit {
public:
    TimeLimit(std::chrono::milliseconds limit, JobEnder& ender) {
        if (limit.count() > 0) {
            timer_ = std::thread([this, limit, &ender] {
                std::unique_lock lock(mutex_);
                if (!finishedSignal_.wait_for(lock, limit, [this] { return finished_; })) {
                    timedOut_ = true;
                    ender.End();
                }
            });
        }
    }
    ~TimeLimit() { Finish(); }
    TimeLimit(const TimeLimit&) = delete;
    TimeLimit& operator=(const TimeLimit&) = delete;

    // Returns whether the limit had passed.
    bool Finish() {
        if (timer_.joinable()) {
            {
                const std::lock_guard lock(mutex_);
                finished_ = true;
            }
            finishedSignal_.notify_all();
            timer_.join();
        }
        return timedOut_;
    }

private:
    std::mutex mutex_;
    std::condition_variable finishedSignal_;
    bool finished_ = false;
    bool timedOut_ = false;
    std::thread timer_;
};

// Writes `input` to the child on a thread of its own and closes the pipe after it. A child that
// ends without reading all of it fails the write; the rest is dropped.
std::thread WriteInput(win32::UniqueHandle& pipe, std::string_view input) {
    return std::thread([&pipe, input] {
        std::string_view rest = input;
        DWORD written = 0;
        while (!rest.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1 << 16));
            if (!::WriteFile(pipe.Get(), rest.data(), chunk, &written, nullptr)) {
                break;
            }
            rest.remove_prefix(written);
        }
        pipe.Close();
    });
}

// Reads both pipes as data arrives, so a child that fills one of them while the other is waited
// on cannot block. Past the output's bound the rest is read and dropped until the job's end
// closes the pipe.
void DrainOutput(RunPipes& pipes, policy::CapturedOutput& kept, JobEnder& ender) {
    std::thread errorReader([&] {
        win32::ReadToEnd(pipes.errRead.Get(), 4096, [&](const char* data, std::size_t size) {
            kept.TakeError(std::string_view(data, size));
        });
    });
    win32::ReadToEnd(pipes.outRead.Get(), 4096, [&](const char* data, std::size_t size) {
        if (!kept.TakeOutput(std::string_view(data, size))) {
            ender.End();
        }
    });
    errorReader.join();
}

CapturedRun Run(const std::vector<std::string>& argv, std::optional<std::string_view> standardInput,
                const OutputSink* sink, const CaptureLimits& limits) {
    CapturedRun result;
    if (const std::optional<std::string> problem = ArgumentProblem(argv)) {
        result.startError = *problem;
        return result;
    }
    RunPipes pipes;
    win32::UniqueHandle job;
    if (!pipes.Make(standardInput.has_value()) || !win32::MakeKillOnCloseJob(job)) {
        result.startError = win32::ErrorText(::GetLastError());
        return result;
    }
    win32::UniqueHandle process;
    if (!StartInJob(argv, pipes, job.Get(), process, result.startError)) {
        return result;
    }
    result.started = true;

    JobEnder ender(job.Get());
    TimeLimit timeLimit(limits.time, ender);
    // Without input to give, the child has the program's own and no thread is needed.
    std::thread inputWriter;
    if (standardInput) {
        inputWriter = WriteInput(pipes.inWrite, *standardInput);
    }
    policy::CapturedOutput kept(limits.outputBytes, sink, result.standardOutput,
                                result.standardError, kCapturedErrorBytes);
    DrainOutput(pipes, kept, ender);
    if (inputWriter.joinable()) {
        inputWriter.join();
    }

    DWORD exitCode = 0;
    if (::WaitForSingleObject(process.Get(), INFINITE) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(process.Get(), &exitCode)) {
        result.exitCode = static_cast<int>(exitCode);
    }
    result.timedOut = timeLimit.Finish();
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

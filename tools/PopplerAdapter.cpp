#include "PopplerAdapter.h"

#include "platform/Platform.h"

#include <cstdio>

namespace larkspan::tools {

namespace {

// Tries each candidate until one starts; `run` starts one.
template <class Run>
PopplerRun RunFirstCandidate(const AdapterDescription& adapter,
                             const std::vector<std::string>& arguments, Run&& run) {
    std::vector<std::string> command;
    command.reserve(arguments.size() + 1);
    command.emplace_back();
    command.insert(command.end(), arguments.begin(), arguments.end()); // unchanged

    PopplerRun result;
    for (const std::string& program :
         ToolCandidates(platform::GetEnvironment(adapter.overrideVariable), adapter.configuredPath,
                        adapter.toolName, platform::ExecutableFolder())) {
        command.front() = program;
        platform::CapturedRun captured = run(command);
        result.started = captured.started;
        result.startError = std::move(captured.startError);
        result.exitCode = captured.exitCode;
        result.standardOutput = std::move(captured.standardOutput);
        result.standardError =
            RepairOpenFailureReasons(captured.standardError, &platform::OpenForReadingError);
        if (result.started) {
            break;
        }
    }
    return result;
}

} // namespace

PopplerRun RunPopplerTool(const AdapterDescription& adapter,
                          const std::vector<std::string>& arguments,
                          std::optional<std::string_view> standardInput) {
    return RunFirstCandidate(adapter, arguments, [&](const std::vector<std::string>& command) {
        return platform::RunCaptured(command, standardInput);
    });
}

PopplerRun StreamPopplerTool(const AdapterDescription& adapter,
                             const std::vector<std::string>& arguments,
                             std::optional<std::string_view> standardInput,
                             const platform::OutputSink& sink) {
    return RunFirstCandidate(adapter, arguments, [&](const std::vector<std::string>& command) {
        return platform::RunStreamed(command, standardInput, sink);
    });
}

int PrintAnswer(const AdapterAnswer& answer) {
    // Everything goes to standard output: the program merges both streams anyway, and one
    // stream keeps the answer in one piece.
    std::fwrite(answer.text.data(), 1, answer.text.size(), stdout);
    std::fflush(stdout);
    return answer.exitStatus;
}

int RunAdapter(const AdapterDescription& adapter, const std::vector<std::string>& arguments,
               std::string_view remedy) {
    return PrintAnswer(adapter.answer(RunPopplerTool(adapter, arguments), remedy));
}

} // namespace larkspan::tools

#include "PopplerAdapter.h"

#include "platform/Platform.h"

#include <cstdio>

namespace larkspan::tools {

PopplerRun RunPopplerTool(const AdapterDescription& adapter,
                          const std::vector<std::string>& arguments) {
    std::vector<std::string> command;
    command.reserve(arguments.size() + 1);
    command.emplace_back();
    command.insert(command.end(), arguments.begin(), arguments.end()); // unchanged

    PopplerRun run;
    for (const std::string& program :
         ToolCandidates(platform::GetEnvironment(adapter.overrideVariable), adapter.configuredPath,
                        adapter.toolName, platform::ExecutableFolder())) {
        command.front() = program;
        platform::CapturedRun captured = platform::RunCaptured(command);
        run.started = captured.started;
        run.startError = std::move(captured.startError);
        run.exitCode = captured.exitCode;
        run.standardOutput = std::move(captured.standardOutput);
        run.standardError =
            RepairOpenFailureReasons(captured.standardError, &platform::OpenForReadingError);
        if (run.started) {
            break;
        }
    }
    return run;
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

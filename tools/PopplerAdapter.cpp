#include "PopplerAdapter.h"

#include "platform/Platform.h"

#include <cstdio>

namespace larkspan::tools {

int RunAdapter(const AdapterDescription& adapter, int argc, char** argv) {
    std::vector<std::string> command;
    command.reserve(static_cast<std::size_t>(argc > 0 ? argc : 1));
    command.emplace_back();
    for (int i = 1; i < argc; ++i) {
        command.emplace_back(argv[i]); // unchanged: no shell sees them
    }

    PopplerRun run;
    for (const std::string& program :
         ToolCandidates(platform::GetEnvironment(adapter.overrideVariable), adapter.configuredPath,
                        adapter.toolName)) {
        command.front() = program;
        platform::CapturedRun captured = platform::RunCaptured(command);
        run.started = captured.started;
        run.startError = std::move(captured.startError);
        run.exitCode = captured.exitCode;
        run.standardOutput = std::move(captured.standardOutput);
        run.standardError = std::move(captured.standardError);
        if (run.started) {
            break;
        }
    }

    // Everything goes to standard output: the program merges both streams anyway, and one
    // stream keeps the answer in one piece.
    const AdapterAnswer answer = adapter.answer(run);
    std::fwrite(answer.text.data(), 1, answer.text.size(), stdout);
    std::fflush(stdout);
    return answer.exitStatus;
}

} // namespace larkspan::tools

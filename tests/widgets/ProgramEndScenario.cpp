// program-end-scenario: ends the program just as a thread it does not wait for is ending, and
// exits with status 0 if the end went well. The thread's work has returned, and its clean-up
// (the destructors of its thread_local objects, run by the thread library under the lock it
// holds while a thread ends) takes a while: the moment when Windows' own exit, which stops the
// thread there, used to wait for ever on that lock in the C++ runtime's detach code.

#include "platform/ProgramEnd.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

std::atomic<bool> threadEnding{false};

struct SlowThreadEnd {
    bool used = false;
    ~SlowThreadEnd() {
        threadEnding.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
};

} // namespace

int main() {
    larkspan::StartUnwaitedThread([] {
        thread_local SlowThreadEnd end;
        end.used = true;
    });
    while (!threadEnding.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::puts("ending");
    return larkspan::EndProgram(0);
}

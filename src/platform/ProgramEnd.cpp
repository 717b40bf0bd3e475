#include "platform/ProgramEnd.h"

#include "platform/Platform.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace larkspan {

namespace {

struct UnwaitedThread {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> returned;
};

// Never destroyed: a thread object still joinable at its destruction would end the program.
struct Registry {
    std::mutex mutex;
    std::vector<UnwaitedThread> threads;
    int others = 0; // UnwaitedThreadBegins not yet matched by UnwaitedThreadWaitedFor
};

Registry& TheRegistry() {
    static auto* registry = new Registry;
    return *registry;
}

// Joins the threads whose work has returned (they only have their own clean-up left, which
// waits for nothing of the program) and tells whether any other one is left. Caller holds the
// lock.
bool JoinReturned(Registry& registry) {
    bool running = false;
    std::erase_if(registry.threads, [&running](UnwaitedThread& entry) {
        if (!entry.returned->load()) {
            running = true;
            return false;
        }
        entry.thread.join();
        return true;
    });
    return running;
}

} // namespace

void StartUnwaitedThread(std::function<void()> work) {
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    JoinReturned(registry);
    // Whatever can fail does so before the thread exists, so a caller that is told of a failure
    // knows that `work` will never run.
    registry.threads.reserve(registry.threads.size() + 1);
    auto returned = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([work = std::move(work), returned] {
        work();
        returned->store(true);
    });
    registry.threads.push_back(UnwaitedThread{std::move(thread), std::move(returned)});
}

void UnwaitedThreadBegins() {
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    ++registry.others;
}

void UnwaitedThreadWaitedFor() {
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    --registry.others;
}

int EndProgram(int status) {
    Registry& registry = TheRegistry();
    bool running = false;
    {
        const std::lock_guard lock(registry.mutex);
        running = JoinReturned(registry) || registry.others > 0;
    }
    if (running) {
        platform::EndWithThreadsRunning(status);
    }
    return status;
}

} // namespace larkspan

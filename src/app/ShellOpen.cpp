#include "app/ShellOpen.h"

#include "platform/Platform.h"

#include <mutex>
#include <utility>

namespace larkspan {

namespace {

// The extraction worker opens its result itself, so the hook is read under a lock.
std::mutex hookMutex;
ShellOpenHook shellOpenHook;

} // namespace

void OpenWithShell(const std::string& target) {
    ShellOpenHook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = shellOpenHook;
    }
    if (hook) {
        hook(target);
        return;
    }
    platform::OpenWithShell(target);
}

ShellOpenHook SetShellOpenHook(ShellOpenHook hook) {
    std::lock_guard lock(hookMutex);
    return std::exchange(shellOpenHook, std::move(hook));
}

} // namespace larkspan

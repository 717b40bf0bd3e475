#pragma once

#include <functional>
#include <string>

namespace larkspan {

// Hands a URL, "mailto:" link or file path to the desktop shell's "open" action and returns at
// once; nothing is reported when it fails. Callable from any thread.
void OpenWithShell(const std::string& target);

// Test seam: when set, targets go to the hook instead of the desktop. The hook may be called on
// any thread. Returns the hook that was set before, so that a scoped stand-in can put it back.
using ShellOpenHook = std::function<void(const std::string&)>;
ShellOpenHook SetShellOpenHook(ShellOpenHook hook);

} // namespace larkspan

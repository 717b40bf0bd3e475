#pragma once

// The one way the program shows a message: a small modal box built for the call and freed
// before it returns.

#include "core/layout/MessageLayout.h"

#include <QPixmap>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QStyle;

namespace larkspan {

// Shows `text` (lines separated by CR LF) in a box of `kind` with `buttons`, centred over the
// main window (on the screen when there is none yet), and returns the modal result; closing the
// box without a button gives mrCancel. Buttons whose component names ("Yes", "No", "OK",
// "Cancel") are listed in `buttonsWithoutTabStop` take no keyboard focus. Callable from any
// thread: a worker's call is shown on the main thread while the worker waits for the answer.
int ShowCenteredMessage(const std::string& text, MessageKind kind, MessageButtons buttons,
                        const std::vector<std::string>& buttonsWithoutTabStop = {});

// The kind's icon at its size in a box on a screen of `devicePixelRatio`, made from the largest
// picture the style has for it: a style that has it only at 32 pixels would leave it at 32
// pixels on a denser screen, beside text that grew.
QPixmap MessageIcon(MessageKind kind, qreal devicePixelRatio, const QStyle& style);

// What a message box was asked to show; handed to the test seam below.
struct MessageRequest {
    std::string text;
    MessageKind kind;
    MessageButtons buttons;
    std::vector<std::string> buttonsWithoutTabStop;
};

// Test seam: when set, every ShowCenteredMessage call is first offered to the hook. A result
// is returned as the box's answer without showing anything; std::nullopt shows the real box.
// Returns the hook that was set before, so that a scoped stand-in can put it back.
using MessageHook = std::function<std::optional<int>(const MessageRequest&)>;
MessageHook SetMessageHook(MessageHook hook);

} // namespace larkspan

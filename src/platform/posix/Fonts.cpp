#include "platform/Platform.h"

#include <fontconfig/fontconfig.h>

namespace larkspan::platform {

void PrepareFontConfiguration() {
    // Loads the default configuration once, thread-safely; the toolkit's font database then
    // finds it loaded.
    FcInit();
}

std::optional<SystemFont> MessageFont() {
    // The desktops have no message font of their own that the toolkit does not apply already.
    return std::nullopt;
}

} // namespace larkspan::platform

#include "platform/Platform.h"

#include <fontconfig/fontconfig.h>

namespace larkspan::platform {

void PrepareFontConfiguration() {
    // Loads the default configuration once, thread-safely; the toolkit's font database then
    // finds it loaded.
    FcInit();
}

} // namespace larkspan::platform

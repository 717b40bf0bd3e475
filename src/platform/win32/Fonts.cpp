#include "platform/Platform.h"

namespace larkspan::platform {

void PrepareFontConfiguration() {
    // The toolkit asks the system for its fonts directly on Windows; there is nothing to load
    // ahead of it.
}

} // namespace larkspan::platform

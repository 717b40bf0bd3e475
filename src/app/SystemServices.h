#pragma once

#include "core/ports/Services.h"

namespace larkspan {

// The real system: message boxes through ShowCenteredMessage, the masked password prompt, the
// desktop's opener and direct program starts, files, the installation records, the console
// runner, TCP connections, and the folder of the running executable. They live as long as the
// program.
const Services& SystemServices();

} // namespace larkspan

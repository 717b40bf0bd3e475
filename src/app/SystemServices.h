#pragma once

#include "core/ports/Services.h"

namespace larkspan {

// The services over the real system (message boxes, password prompt, desktop opener, files,
// installation records, console runner, TCP); they live as long as the program.
const Services& SystemServices();

} // namespace larkspan

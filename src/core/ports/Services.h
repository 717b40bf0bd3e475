#pragma once

// What the program's windows are handed instead of reaching the operating system themselves:
// the ports of core/ports/Ports.h and the vendor server's connector. The program hands every
// window the services over the real system (app/SystemServices.h); tests hand stand-ins.

#include "core/online/Transport.h"
#include "core/ports/Ports.h"

namespace larkspan {

struct Services {
    MessagePort& messages;
    PasswordPort& passwords;
    DesktopPort& desktop;
    FileSystemPort& files;
    RecordsPort& records;
    ToolRunner& tools;
    online::Connector connector;
    // The folder of the program, where its tools are, with a trailing separator.
    std::string programFolder;
};

} // namespace larkspan

// The adapters' entry on POSIX systems: the arguments arrive as the bytes they were given.

#include "PopplerAdapter.h"

#include "platform/Platform.h"

#include <csignal>

int main(int argc, char** argv) {
    // Past the file-size limit (ulimit -f) a write would end the adapter silently, and a silent
    // adapter is taken for a successful one: the write fails instead, and is reported.
    std::signal(SIGXFSZ, SIG_IGN);
    // Run by the program, the adapter ends with it, whatever it has written still out of place.
    larkspan::platform::EndWithStartingProgram();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return larkspan::tools::AdapterMain(arguments, "Install poppler-utils.");
}

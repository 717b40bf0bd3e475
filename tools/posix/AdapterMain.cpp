// The adapters' entry on POSIX systems: the arguments arrive as the bytes they were given.

#include "PopplerAdapter.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return larkspan::tools::AdapterMain(arguments, "Install poppler-utils.");
}

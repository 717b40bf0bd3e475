// The adapters' entry on Windows: wmain (linked with -municode), so the arguments arrive in
// UTF-16 as the C runtime splits the command line, and a file name outside the system's code
// page reaches the tool intact (RunCaptured writes them back by the same rules).

#include "PopplerAdapter.h"

#include "platform/win32/Win32.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

int wmain(int argc, wchar_t** argv) {
    // The answer is passed on byte for byte: the tools' own CR LF must not become CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(larkspan::platform::win32::Narrow(argv[i]));
    }
    // The poppler tools are part of the program's folder on Windows.
    return larkspan::tools::AdapterMain(arguments, "Reinstall Larkspan.");
}

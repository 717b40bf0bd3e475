#pragma once

// The body shared by textract.bin and pdfi.bin: run the poppler tool with the adapter's own
// arguments, print the contract's answer, exit with its status.

#include "extraction/ToolContract.h"

namespace larkspan::tools {

struct AdapterDescription {
    const char* toolName;         // looked up on PATH as the last resort, e.g. "pdftotext"
    const char* configuredPath;   // found when the program was built; may be ""
    const char* overrideVariable; // environment variable naming another tool path
    AdapterAnswer (*answer)(const PopplerRun&);
};

// Returns the exit status for main.
int RunAdapter(const AdapterDescription& adapter, int argc, char** argv);

} // namespace larkspan::tools

#pragma once

// The body shared by textract.bin and pdfi.bin: run the poppler tool with the adapter's own
// arguments, print the contract's answer, exit with its status.

#include "core/extraction/ToolContract.h"

#include <string>
#include <vector>

namespace larkspan::tools {

struct AdapterDescription {
    const char* toolName;         // looked up on PATH as the last resort, e.g. "pdftotext"
    const char* configuredPath;   // found when the program was built; may be "", and a bare
                                  // file name is a file in the adapter's own folder
    const char* overrideVariable; // environment variable naming another tool path
    AdapterAnswer (*answer)(const PopplerRun&, std::string_view remedy);
};

// The adapter's work (textract.cpp or pdfi.cpp), called by the entry of each system. Returns the
// exit status for main. `arguments` are the adapter's own, without its name, in UTF-8; `remedy`
// is the advice for a tool that cannot be started.
int AdapterMain(const std::vector<std::string>& arguments, std::string_view remedy);

// Runs the adapter's poppler tool with `arguments`, trying each candidate until one starts.
PopplerRun RunPopplerTool(const AdapterDescription& adapter,
                          const std::vector<std::string>& arguments);

// Prints the answer and returns its exit status.
int PrintAnswer(const AdapterAnswer& answer);

// The whole of an adapter that passes its arguments unchanged: run, answer, print.
int RunAdapter(const AdapterDescription& adapter, const std::vector<std::string>& arguments,
               std::string_view remedy);

} // namespace larkspan::tools

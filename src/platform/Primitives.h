#pragma once

// What each operating system supplies to the shared platform code (Platform.cpp): system calls
// and the few facts that differ between systems, nothing that decides. Private to the platform
// library.

#include "platform/RecordWriter.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace larkspan::platform::os {

// The separator of the parts of a file path.
char PathSeparator();

// The variable's value, or nothing when it is not set.
std::optional<std::string> Environment(const std::string& name);

void SetEnvironment(const std::string& name, const std::string& value);

// The program file a bare name or a path names (see platform::FindProgram); "" when none.
std::string FindProgram(const std::string& name);

// The full path of the running executable; "" when it cannot be determined.
std::string ExecutablePath();

// See platform::UsableProcessors (0 when the system does not tell) and AvailableMemory.
unsigned UsableProcessors();
std::uint64_t AvailableMemory();

// The variables that may name the temporary folder, strongest first, and the folder to use
// when none of them is set (may be "").
std::vector<std::string> TemporaryFolderVariables();
std::string DefaultTemporaryFolder();

// One place an installation record may be: a file, or a registry key in one registry view
// (`view`: the view flag the key is opened with, 0 for the program's own view).
struct RecordLocation {
    std::string path;
    std::uint32_t view = 0;
};

// Where the installation record of `product` by `vendor`, written by `writer`'s installer, may
// be, in the order they are asked.
std::vector<RecordLocation> RecordLocations(const std::string& vendor, const std::string& product,
                                            RecordWriter writer);

enum class RecordRead {
    NotThere, // no record at this location: ask the next one
    Failed,   // a record is there but cannot be read: it still is the record
    Read,     // `value` holds the key's value ("" when the record lacks the key)
    NotText,  // the key holds a value that is not text (a registry number, say)
};
RecordRead ReadRecordValue(const RecordLocation& location, const std::string& key,
                           std::string& value);

// The shared lookup of ReadInstallRecordText (Platform.cpp) over `read`, which the program
// passes ReadRecordValue and tests a reader of their own, to reach each answer on any system.
using RecordReader =
    std::function<RecordRead(const RecordLocation&, const std::string& key, std::string& value)>;
std::optional<std::string> LookUpRecordText(const RecordReader& read, const std::string& vendor,
                                            const std::string& product, const std::string& key,
                                            RecordWriter writer);

// Ends every process of the group that a console command runs in (see CommandStopper).
void EndProcessGroup(std::int64_t group);

} // namespace larkspan::platform::os

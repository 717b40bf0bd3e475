#pragma once

// Installation records for a test, in a private place that the program's record reads use
// instead of the system's while the object lives: on POSIX a fresh folder that is the only one
// in $XDG_CONFIG_DIRS, on Windows this process's HKEY_LOCAL_MACHINE redirected to a fresh key
// under HKEY_CURRENT_USER (so the machine's own records are never touched, and tests running
// side by side do not see each other's). Programs the test starts meanwhile see the same
// records: they inherit the environment, and on Windows call AdoptStagedRecords first.

#include <string>

namespace larkspan::testsupport {

class StagedRecords {
public:
    StagedRecords();
    ~StagedRecords();
    StagedRecords(const StagedRecords&) = delete;
    StagedRecords& operator=(const StagedRecords&) = delete;

    // Stores `key` = `value` (text) in the record of `product` by `vendor`.
    void Set(const std::string& vendor, const std::string& product, const std::string& key,
             const std::string& value);

private:
    std::string place_;    // the folder, or the key under HKEY_CURRENT_USER
    std::string previous_; // the variable's value before
    bool hadPrevious_ = false;
};

// In a program a test started: reads the records of the test's StagedRecords (a no-op when
// there are none, and on POSIX, where the environment suffices).
void AdoptStagedRecords();

} // namespace larkspan::testsupport

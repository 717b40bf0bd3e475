// The installation record's reader on any text. The input's first line is the key asked for,
// the rest the record.

#include "FuzzCheck.h"
#include "core/install/InstallRecordFormat.h"
#include "core/text/TextRules.h"

#include <string>
#include <string_view>

using namespace larkspan;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// A key that can be written as "key=value" and be read back as itself.
bool IsWritableKey(std::string_view key) {
    if (key.empty() || IsBlank(key.front()) || IsBlank(key.back())) {
        return false;
    }
    return key.find_first_of("=\n\0", 0, 3) == std::string_view::npos && key.front() != '#' &&
           key.front() != ';' && key.front() != '[';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    larkspan::fuzz::Input input(data, size);
    const std::string key(input.Part());
    const std::string text(input.Rest());

    const std::string value = FindInstallRecordValue(text, key);
    FUZZ_CHECK(value.find_first_of(std::string_view("\n\0", 2)) == std::string::npos);
    FUZZ_CHECK(value.empty() || (!IsBlank(value.front()) && !IsBlank(value.back())));
    FUZZ_CHECK(text.find(value) != std::string::npos);

    // A value under [General] at the end wins, whatever came before; the key's letter case and
    // a byte-order mark do not matter.
    if (IsWritableKey(key)) {
        const std::string record = text + "\n[General]\n" + key + " = last value \r\n";
        FUZZ_CHECK(FindInstallRecordValue(record, key) == "last value");
        FUZZ_CHECK(FindInstallRecordValue("\xEF\xBB\xBF" + record, LowerAscii(key)) ==
                   "last value");
        // Under any other section the key is not read.
        FUZZ_CHECK(FindInstallRecordValue(record + "[Other]\n" + key + "=x\n", key) ==
                   "last value");
    }
    return 0;
}

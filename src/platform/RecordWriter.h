#pragma once

// Which installer wrote an installation record: shared by the platform's declarations and the
// primitives under them.

namespace larkspan::platform {

// A 64-bit Windows keeps two registry views; a 32-bit installer's writes land in the 32-bit one
// (WOW6432Node).
enum class RecordWriter {
    OurInstaller,   // this program's own, which writes to the 64-bit view
    OtherInstaller, // another product's, likely a 32-bit one: its record is looked for in the
                    // 32-bit view first, then in the 64-bit view
};

} // namespace larkspan::platform

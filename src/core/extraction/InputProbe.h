#pragma once

// The probe of a chosen input document: is it a PDF name, how many pages has it, which password
// opens it. It asks the information tool as long as the user keeps answering the password
// question, warns about a damaged file or a missing engine, and proposes the output name.

#include "core/ports/Ports.h"

#include <cstdint>
#include <optional>
#include <string>

namespace larkspan {

// The document the window works on, as the probe left it; the extraction reads the password.
struct CurrentDocument {
    std::string path;                      // "" when no document passed the probe
    std::optional<std::int32_t> pageCount; // set with `path`
    std::string password;                  // the user password that opened it, "" for none
    std::string fingerprint; // the file as the tool read it (FileSystemPort::Fingerprint), set
                             // with `path`; "" when it could not be examined
};

enum class ProbeVerdict {
    Refused, // not a ".pdf" name (an empty field included): cleared without a word
    Found,   // the page count is known
    Failed,  // damaged, missing engine, or the user gave up at the password question
};

struct ProbeResult {
    ProbeVerdict verdict = ProbeVerdict::Refused;
    std::int32_t pageCount = 0;
    std::string proposedOutput; // the same folder and name with ".txt", for Found
};

// Texts of the probe's questions and messages.
inline constexpr const char* kPasswordCaption = "Password needed";
inline constexpr const char* kPasswordPrompt =
    "This PDF is password protected! Please enter the password:\r\n";
inline constexpr const char* kDamagedFileMessage =
    "Couldn't read PDF header info!\r\nProbably this file is damaged!";
inline constexpr const char* kWrongPasswordRetryMessage = "Wrong password, please try it again!";

class InputProbe {
public:
    InputProbe(ToolRunner& tools, MessagePort& messages, PasswordPort& passwords,
               FileSystemPort& files);

    // Probes `path` with the information tool in `toolFolder` and updates `document`. A ".pdf" name
    // empties the password first; the password question fills it. The fingerprint is taken just
    // before the tool reads the file, so a change while it is read shows later. Throws GeneralError
    // when the page count is no 32-bit whole number; `document` then keeps the path it had.
    ProbeResult Probe(const std::string& path, const std::string& toolFolder,
                      CurrentDocument& document);

private:
    ToolRunner& tools_;
    MessagePort& messages_;
    PasswordPort& passwords_;
    FileSystemPort& files_;
};

} // namespace larkspan

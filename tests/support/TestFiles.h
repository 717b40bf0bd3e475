#pragma once

// Files for the tests: PDFs written to disk, their encrypted, damaged and repairable copies,
// and private temporary folders.

#include "support/PdfWriter.h"

#include <string>
#include <vector>

namespace larkspan::testsupport {

// Writes bytes to a file, replacing it. Throws std::runtime_error on failure.
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path); // throws std::runtime_error

void WritePdf(const std::string& path, const PdfContent& content);

// Runs `qpdf --encrypt <user> <owner> 256 -- source target` (AES-256). The passwords are
// passed as single arguments, so they may hold blanks and shell characters. Throws
// std::runtime_error with qpdf's messages when it fails.
void WriteEncryptedCopy(const std::string& source, const std::string& target,
                        const std::string& userPassword, const std::string& ownerPassword);

#ifndef _WIN32
// A scan of the given pages of `source` (1-based, in that order): each rendered at 300 dpi in
// grey levels (pdftoppm) and wrapped as an image-only page (img2pdf), so no text layer is left.
// Throws std::runtime_error with the tools' messages when one fails.
void WriteScannedCopy(const std::string& source, const std::string& target,
                      const std::vector<int>& pages);

// A one-page scan of the top of page 1 of `source`, a square 8.5 inches wide at 300 dpi, spread
// over a square page `side` points wide (10,000 to 99,999; beyond 14,400 pt, which img2pdf
// writes with a user unit that poppler does not honour, the page's numbers are rewritten).
// Throws std::runtime_error with the tools' messages when one fails.
void WriteHugeScan(const std::string& source, const std::string& target, int side);

// Scans of real translated text, one page per language, each a few sentences of the language's
// translation of GLib's or GTK's messages (/usr/share/locale/<locale>/LC_MESSAGES/glib20.mo or
// gtk20.mo, Debian's libglib2.0-data and libgtk2.0-common) typeset with pango-view at 300 dpi and
// wrapped with img2pdf; the English pages (the messages as written) lie askew. Each page's
// sentences are its reference text.
struct ScriptSample {
    std::string name;   // "German", "Cyrillic (Russian)", "English, 5 degrees askew"
    std::string locale; // "de"; "" for English
    std::string domain; // the catalogue: "glib20", "gtk20"
    std::string font;   // a Pango font description
    double degrees = 0; // turned clockwise, as a sheet fed askew
};
const std::vector<ScriptSample>& ScriptSamples();
// Writes the samples as one PDF (a page each, in order) and returns each page's text. Throws
// std::runtime_error with the tools' messages when one fails.
std::vector<std::string> WriteScriptSamples(const std::vector<ScriptSample>& samples,
                                            const std::string& target);

// The F1 score of the recognised text's words against the reference's (each Han, kana or
// Hangul character a word of its own; punctuation apart): 1 when they hold the same words.
double WordF1(const std::string& reference, const std::string& recognised);

// True while the process runs: a zombie (ended, not yet collected) does not count.
bool ProcessAlive(int pid);
#endif

// A damaged copy: the first `keepFraction` of the bytes only.
void WriteTruncatedCopy(const std::string& source, const std::string& target,
                        double keepFraction = 0.5);

// A slightly broken copy that poppler repairs: the cross-reference entry of the first page
// is 3 bytes off. Both tools then warn on standard error ("Internal Error: xref num 3 not
// found but needed, try to reconstruct") and succeed. (A wrong "startxref" alone is repaired
// without a word, so it would not show whether the warnings are dropped.)
void WriteRepairableCopy(const std::string& source, const std::string& target);

// A fresh folder under $TMPDIR (else /tmp; on Windows under %TEMP%), named after `prefix`.
// Throws on failure.
std::string MakeTempFolder(const std::string& prefix);

#ifdef _WIN32
// The stand-in for programs the tests let the program start (support/win32/StandInProgram.cpp).
std::string StandInProgram();
#endif

} // namespace larkspan::testsupport

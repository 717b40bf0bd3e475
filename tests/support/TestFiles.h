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

#pragma once

// What happens to the pages of textract.bin's range that came out blank: each is rendered
// (pdftoppm) and its text recognised by the OCR engine (tesseract).

#include "core/extraction/TextRecognition.h"
#include "platform/Platform.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace larkspan::tools {

// The programs recognition needs, found before anything runs: without all of them the adapter
// is the plain one.
struct Engine {
    std::string tesseract;
    std::string pdftoppm;
    std::string pdfinfo;
};

// Runs a poppler tool (pdfinfo, pdftoppm) with `options` on the request's document, opened with
// the request's password, or given decrypted on standard input. The one place that says how the
// document reaches these tools.
platform::CapturedRun RunOnDocument(const std::string& program,
                                    const std::vector<std::string>& options,
                                    const TextractRequest& request,
                                    const platform::CaptureLimits& limits = {});

// Recognises the pages at the places `blank` of the range (0 is the range's first page), a few
// at once, with the engine's `languages` (its "-l" value). Each page recognised gets its text in
// `recognised` (as long as the range); a page that cannot be recognised keeps nothing there.
void RecognisePages(const Engine& engine, const TextractRequest& request,
                    const std::string& languages, const std::vector<std::size_t>& blank,
                    std::vector<std::optional<std::string>>& recognised);

} // namespace larkspan::tools

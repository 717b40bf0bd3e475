#pragma once

// What happens to the pages of textract.bin's range that came out blank. Pages with nothing
// drawn on them are found first, all in a few small renders, and never reach the engine. Each
// other page is rendered (pdftoppm) at a resolution that keeps its image within
// kMaxPagePixels, and its text recognised by the OCR engine (tesseract) with the page turned
// upright by the engine's own orientation detection. Every run of a tool has a time limit (three
// minutes; LARKSPAN_OCR_SECONDS in the environment sets another) and its output is bounded: a
// page that runs out of either stays blank, and the job goes on.

#include "core/extraction/TextRecognition.h"
#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Runs a poppler tool (pdfinfo, pdftoppm) with `options` on the request's document (the job's
// open document, or its decrypted copy), with the request's password unless it is decrypted.
// The one place that says how the document reaches these tools. Given a sink, the tool's output
// goes there as it comes (platform::RunStreamed).
platform::CapturedRun RunOnDocument(const std::string& program,
                                    const std::vector<std::string>& options,
                                    const TextractRequest& request,
                                    const platform::CaptureLimits& limits = {},
                                    const platform::OutputSink* sink = nullptr);

// Of the pages at the places `pages` of the range (0 is the range's first page; in ascending
// order), those with something drawn on them, found in a few small renders side by side. A page
// whose render fails counts as drawn on.
std::vector<std::size_t> PagesDrawnOn(const Engine& engine, const TextractRequest& request,
                                      const std::vector<std::size_t>& pages);

// What became of one page given to the engine.
struct PageReading {
    std::optional<std::string> text; // nothing: the page stays as pdftotext wrote it
    bool unread = false;      // the renderer or the engine failed on it (not: found no text there)
    std::string withoutModel; // read without a model for its script: the script's name
};
using PageDone = std::function<void(std::size_t place, PageReading reading)>;

// The page number of a place in the request's range (0 is its first page; pdftotext takes a
// first page below 1 as page 1).
std::int32_t PageNumber(const TextractRequest& request, std::size_t place);

// Recognises the pages at the places `pages` of the range, a few at once, with every language
// the engine has. `onPageDone` is called once for each page when it is finished: one call at a
// time, on the threads that do the work.
void RecognisePages(const Engine& engine, const TextractRequest& request,
                    const std::vector<std::size_t>& pages, const PageDone& onPageDone);

} // namespace larkspan::tools

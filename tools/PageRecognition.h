#pragma once

// What happens to the pages of textract.bin's range that came out blank or garbled. Pages with
// nothing drawn on them are found first, all in a few small renders, and never reach the engine.
// Each other page is rendered (pdftoppm) at a resolution that keeps its image within
// kMaxPagePixels and, unless its render shows nothing like type, its text recognised by the OCR
// engine (tesseract) in its own script, straight and upright (ScriptRecognition.h). Every run of a
// tool has a time limit (three minutes; LARKSPAN_OCR_SECONDS in the environment sets another) and
// its output is bounded: a page that runs out of either is not read, and the job goes on, unless
// the tool is broken.

#include "core/extraction/TextRecognition.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace larkspan::tools {

// The programs recognition needs, found before anything runs: without all of them the adapter
// is the plain one. `shipped`: the engine is the one installed beside the adapter.
struct Engine {
    std::string tesseract;
    std::string pdftoppm;
    std::string pdfinfo;
    bool shipped = false;
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
// The same for the renderer (pdftoppm), which draws the pictures that a decrypted copy for the
// text may lack (TextractRequest::documentWithPictures).
platform::CapturedRun DrawDocument(const std::string& program,
                                   const std::vector<std::string>& options,
                                   const TextractRequest& request,
                                   const platform::CaptureLimits& limits = {},
                                   const platform::OutputSink* sink = nullptr);

// Whether the renderer and the engine work at all, judged over one job. The first time one of
// them fails on a page, it is tried on a tiny document or image of the adapter's own: failing
// there too, it is broken, the job stops and fails with Failure(); otherwise only that page
// could not be read. Thread-safe.
class ToolCheck {
public:
    ToolCheck(const Engine& engine, std::string remedy)
        : engine_(engine), remedy_(std::move(remedy)) {}

    enum class Tool { Renderer, PageSizes, Engine };
    // A run of `tool` failed, as `how` says ("did not finish within 180 seconds"). True when the
    // tool still works; false when it is broken. The engine is checked with `model`.
    bool Failed(Tool tool, const std::string& how, const std::string& model = {});
    // The engine has no recognition models: it is broken.
    void NoModels();
    bool Broken() const;
    // The answer of a job the tools could not do: what failed and how, and the remedy.
    std::string Failure() const;

private:
    bool Works(Tool tool, const std::string& model);

    const Engine& engine_;
    std::string remedy_;
    mutable std::mutex mutex_;
    std::map<Tool, bool> works_; // the verdict of each tool tried
    std::string failure_;
};

// Of the pages at the places `pages` of the range (0 is the range's first page; in ascending
// order), those with something drawn on them, found in a few small renders side by side. A page
// whose render fails counts as drawn on, unless the renderer is broken.
std::vector<std::size_t> PagesDrawnOn(const Engine& engine, const TextractRequest& request,
                                      const std::vector<std::size_t>& pages, ToolCheck& check);

// What became of one page given to the engine.
struct PageReading {
    std::optional<std::string> text; // nothing: the page stays as pdftotext wrote it
    bool unread = false;      // the renderer or the engine failed on it (not: found no text there)
    std::string withoutModel; // read without a model for its script: the script's name
};
using PageDone = std::function<void(std::size_t place, PageReading reading)>;

// The time one run of a tool on the document may take: three minutes, or LARKSPAN_OCR_SECONDS.
std::chrono::milliseconds RunTimeLimit();

// The page number of a place in the request's range (0 is its first page; pdftotext takes a
// first page below 1 as page 1).
std::int32_t PageNumber(const TextractRequest& request, std::size_t place);

// A page for the engine: its place in the range, and whether it is a drawn page that is first
// looked at small for marks like type (not so a page whose text layer is garbage).
struct PageToRead {
    std::size_t place = 0;
    bool judgeDrawing = true;
};

// Recognises the pages, as many at once as the processors and memory allow, each with the model
// of its script among those the engine has. `onPageDone` is called once for each page when it is
// finished: one call at a time, on the threads that do the work. Once `goOn` says no, or a tool is
// found broken, pages not started are left.
void RecognisePages(const Engine& engine, const TextractRequest& request,
                    const std::vector<PageToRead>& pages, ToolCheck& check,
                    const std::function<bool()>& goOn, const PageDone& onPageDone);

} // namespace larkspan::tools

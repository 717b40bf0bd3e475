#pragma once

// One rendered page through the OCR engine, read in its own script and language: straightened
// when it lies a few degrees askew, its script and orientation found by the engine's detection
// (the "osd" model), turned upright, and read with the model that fits its script, a
// Latin-script page again with the model of its language where the first reading shows one.

#include "core/extraction/ScriptChoice.h"
#include "platform/Platform.h"

#include <optional>
#include <string>
#include <vector>

namespace larkspan::tools {

struct ScriptReading {
    std::optional<std::string> engineText; // nothing: the engine failed on the page
    std::string withoutModel;              // read without a model for its script: the script's name
    // The engine's last reading run that failed (without its output), when there was one.
    std::optional<platform::CapturedRun> failedRun;
};

// `image` is the page as `pdftoppm -gray` writes it (PGM) at `dpi`; `models` are the engine's
// (InstalledModels), `layout` keeps the engine's spacing between words; `limits` bound each run
// of the engine.
ScriptReading ReadInItsScript(const std::string& tesseract, const std::vector<std::string>& models,
                              const std::string& image, int dpi, bool layout,
                              const platform::CaptureLimits& limits);

} // namespace larkspan::tools

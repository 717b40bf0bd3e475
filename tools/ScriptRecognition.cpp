#include "ScriptRecognition.h"

#include "core/extraction/PageImage.h"

#include <algorithm>
#include <cmath>

namespace larkspan::tools {

namespace {

// A page askew by less than this reads as well as a straight one; turning it costs a copy.
constexpr double kWorthStraightening = 0.2;
// A page is shown to the orientation and script detection at about this resolution.
constexpr int kDetectionDpi = 150;

class PageReader {
public:
    PageReader(const std::string& tesseract, int dpi, bool layout,
               const platform::CaptureLimits& limits)
        : tesseract_(tesseract), dpi_(std::to_string(std::max(dpi, 70))), layout_(layout),
          limits_(limits) {}

    void KeepSpacing(bool keep) { layout_ = layout_ && keep; }
    // A run that passed its time limit ends the page: the engine is not given it again.
    bool TimedOut() const { return timedOut_; }

    // The engine's orientation and script detection; nothing when it has no report (no
    // orientation model, or too few letters on the page to tell). `dpi` is the image's.
    std::optional<OrientationReport> Orientation(const std::string& pgm, int dpi) const {
        const platform::CapturedRun run =
            platform::RunCaptured({tesseract_, "stdin", "stdout", "--dpi",
                                   std::to_string(std::max(dpi, 70)), "--psm", "0", "-l", "osd"},
                                  pgm, limits_);
        if (!Ran(run)) {
            return std::nullopt;
        }
        return ReadOrientationReport(run.standardOutput);
    }

    // The page's text and its words' confidence in one run: page segmentation without the
    // engine's own orientation step (--psm 3), since the page comes upright. Below 70 dpi the
    // engine takes 70 anyway, with a warning.
    std::optional<EngineReading> Read(const std::string& pgm, const std::string& model) const {
        std::vector<std::string> command{tesseract_,       "stdin", "stdout", "-l", model,
                                         "--dpi",          dpi_,    "--psm",  "3",  "-c",
                                         "page_separator="};
        if (layout_) {
            command.insert(command.end(), {"-c", "preserve_interword_spaces=1"});
        }
        command.insert(command.end(), {"txt", "tsv"});
        const platform::CapturedRun run = platform::RunCaptured(command, pgm, limits_);
        if (!Ran(run)) {
            return std::nullopt;
        }
        return ReadEngineOutput(run.standardOutput);
    }

private:
    bool Ran(const platform::CapturedRun& run) const {
        timedOut_ = timedOut_ || run.timedOut;
        return run.started && run.exitCode == 0 && !run.timedOut && !run.outputCut;
    }

    std::string tesseract_;
    std::string dpi_;
    bool layout_;
    platform::CaptureLimits limits_;
    mutable bool timedOut_ = false;
};

} // namespace

ScriptReading ReadInItsScript(const std::string& tesseract, const std::vector<std::string>& models,
                              const std::string& image, int dpi, bool layout,
                              const platform::CaptureLimits& limits) {
    PageReader reader(tesseract, dpi, layout, limits);
    // A page that is no grey image of the renderer's is read as it came. Copies of the pixels
    // are made only where the page is turned, and kept no longer than needed: a large page's
    // image is tens of megabytes.
    std::optional<GreyImage> grey = ReadGreyImage(image);
    std::string straightened;
    if (grey) {
        const double skew = EstimateSkew(*grey);
        if (std::abs(skew) >= kWorthStraightening) {
            *grey = Straighten(*grey, skew);
            straightened = WriteGreyImage(*grey);
        }
    }
    const std::string& straight = straightened.empty() ? image : straightened;
    const bool orientation = std::find(models.begin(), models.end(), "osd") != models.end();
    // The detection tells as well at 150 dpi as at 300, in three quarters of the time.
    const bool halve = grey && dpi >= 2 * kDetectionDpi;
    const std::optional<OrientationReport> report =
        !orientation ? std::nullopt
        : halve      ? reader.Orientation(WriteGreyImage(Halved(*grey)), dpi / 2)
                     : reader.Orientation(straight, dpi);
    const ModelChoice choice = ModelForScript(report ? report->script : "", models);
    ScriptReading result{std::nullopt, choice.withoutModel};
    if (reader.TimedOut()) {
        return result;
    }
    reader.KeepSpacing(!report || KeepsEngineSpacing(report->script));

    const TurnChoice turn = grey ? ChooseTurn(report) : TurnChoice{};
    const std::string turned =
        turn.degrees != 0 ? WriteGreyImage(TurnClockwise(*grey, turn.degrees)) : std::string();
    grey.reset();
    const std::string& upright = turned.empty() ? straight : turned;
    std::optional<EngineReading> reading = reader.Read(upright, choice.model);
    const std::string* read = &upright;
    std::string model = choice.model;
    if (turn.degrees != 0 && !turn.sure && !reader.TimedOut()) {
        const std::optional<EngineReading> asItIs = reader.Read(straight, choice.model);
        if (asItIs && (!reading || BetterReading(*asItIs, *reading))) {
            reading = asItIs;
            read = &straight;
        }
    }
    if (!reading) {
        return result;
    }
    const bool latin = !report || report->script == "Latin" || report->script == "Common";
    if (choice.withoutModel.empty() && latin && !reader.TimedOut()) {
        const std::string again = LatinRereadModel(reading->text, models);
        if (!again.empty() && again != choice.model) {
            if (std::optional<EngineReading> language = reader.Read(*read, again)) {
                reading = std::move(language);
                model = again;
            }
        }
    }
    result.engineText = AsWrittenIn(model, std::move(reading->text));
    return result;
}

} // namespace larkspan::tools

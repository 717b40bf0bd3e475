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
// A first reading with a Latin model at least this sure (mean word confidence) is of a page in
// the Latin script: such pages read at 80 to 95, pages of other scripts at 10 to 50.
constexpr double kSureLatin = 70;

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
    // With `turning`, the engine's own orientation step turns the page (--psm 1), as it does in
    // the same run at little cost; it turns a page only when the best orientation wins by a
    // margin, which at its default of 7 a page of two or three lines upside down never reaches,
    // and at 1 upright Latin-script pages still stay upright.
    std::optional<EngineReading> Read(const std::string& pgm, const std::string& model,
                                      bool turning = false) const {
        std::vector<std::string> command{
            tesseract_,          "stdin", "stdout",         "-l", model, "--dpi", dpi_, "--psm",
            turning ? "1" : "3", "-c",    "page_separator="};
        if (turning) {
            command.insert(command.end(), {"-c", "min_orientation_margin=1"});
        }
        if (layout_) {
            command.insert(command.end(), {"-c", "preserve_interword_spaces=1"});
        }
        command.insert(command.end(), {"txt", "tsv"});
        platform::CapturedRun run = platform::RunCaptured(command, pgm, limits_);
        if (!Ran(run)) {
            run.standardOutput.clear();
            failedRun_ = std::move(run);
            return std::nullopt;
        }
        return ReadEngineOutput(run.standardOutput);
    }

    // A page without text because a reading run failed: that run, for the check of the engine.
    // A failed orientation detection is no fault: it fails on pages with too few letters.
    ScriptReading Failed(ScriptReading reading) const {
        if (!reading.engineText) {
            reading.failedRun = failedRun_;
        }
        return reading;
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
    mutable std::optional<platform::CapturedRun> failedRun_;
};

// A Latin-script page's reading, read again with its language's model where the first reading
// shows one (LatinRereadModel).
ScriptReading LatinPage(const PageReader& reader, const std::string& page,
                        const std::vector<std::string>& models, const std::string& model,
                        std::optional<EngineReading> reading) {
    if (!reading) {
        return {};
    }
    std::string used = model;
    const std::string again = reader.TimedOut() ? "" : LatinRereadModel(reading->text, models);
    if (!again.empty() && again != model) {
        if (std::optional<EngineReading> language = reader.Read(page, again, true)) {
            reading = std::move(language);
            used = again;
        }
    }
    ScriptReading result;
    result.engineText = AsWrittenIn(used, std::move(reading->text));
    return result;
}

ScriptReading ReadWith(PageReader& reader, const std::vector<std::string>& models,
                       const std::string& image, int dpi) {
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

    // First as a page of the Latin script, which most pages are: a reading the engine is sure
    // of needs no detection of the script, and costs one run as before. Other scripts read
    // with a Latin model come out as guesses it is far less sure of.
    const ModelChoice latin = ModelForScript("Latin", models);
    const std::optional<EngineReading> first = reader.Read(straight, latin.model, true);
    const bool orientation = std::find(models.begin(), models.end(), "osd") != models.end();
    if (reader.TimedOut() || (first && (first->confidence >= kSureLatin || !orientation))) {
        return LatinPage(reader, straight, models, latin.model, first);
    }
    // The detection tells as well at 150 dpi as at 300, in three quarters of the time.
    const bool halve = grey && dpi >= 2 * kDetectionDpi;
    const std::optional<OrientationReport> report =
        !orientation ? std::nullopt
        : halve      ? reader.Orientation(WriteGreyImage(Halved(*grey)), dpi / 2)
                     : reader.Orientation(straight, dpi);
    if (reader.TimedOut() || !report || report->script == "Latin" || report->script == "Common") {
        return LatinPage(reader, straight, models, latin.model, first);
    }
    const ModelChoice choice = ModelForScript(report->script, models);
    ScriptReading result;
    result.withoutModel = choice.withoutModel;
    if (choice.model == latin.model) {
        // No model of its script: the first reading is as good as any.
        result.engineText = first ? std::optional(first->text) : std::nullopt;
        return result;
    }
    reader.KeepSpacing(KeepsEngineSpacing(report->script));

    const TurnChoice turn = grey ? ChooseTurn(report) : TurnChoice{};
    const std::string turned =
        turn.degrees != 0 ? WriteGreyImage(TurnClockwise(*grey, turn.degrees)) : std::string();
    grey.reset();
    const std::string& upright = turned.empty() ? straight : turned;
    std::optional<EngineReading> reading = reader.Read(upright, choice.model);
    if (turn.degrees != 0 && !turn.sure && !reader.TimedOut()) {
        const std::optional<EngineReading> asItIs = reader.Read(straight, choice.model);
        if (asItIs && (!reading || BetterReading(*asItIs, *reading))) {
            reading = asItIs;
        }
    }
    if (!reading) {
        return result;
    }
    result.engineText = AsWrittenIn(choice.model, std::move(reading->text));
    return result;
}

} // namespace

ScriptReading ReadInItsScript(const std::string& tesseract, const std::vector<std::string>& models,
                              const std::string& image, int dpi, bool layout,
                              const platform::CaptureLimits& limits) {
    PageReader reader(tesseract, dpi, layout, limits);
    return reader.Failed(ReadWith(reader, models, image, dpi));
}

} // namespace larkspan::tools

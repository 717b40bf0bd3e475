#pragma once

// How a scanned page is read in its own script and language with the models the OCR engine
// (tesseract) has: what its orientation and script detection reports, which model fits the
// script it names, whether a Latin-script page is better read again with the model of its
// language, which way up the page is read, and what the engine's reading holds. The running of
// the engine is the tool's (tools/ScriptRecognition.cpp).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan {

// The names of the models the engine has, from `tesseract --list-langs`: the lines after its
// heading that are plain names (letters, digits, "_", "-", "/": "chi_sim", "script/Latin"), in
// order. The orientation model "osd" is among them when it is there.
std::vector<std::string> InstalledModels(std::string_view listLangsOutput);

// The engine's orientation and script detection (`--psm 0`): the clockwise turn in degrees that
// puts the page upright ("Rotate:"), how sure it is of that, and the script it saw ("Latin",
// "Cyrillic", "Han", ...). Nothing when the report lacks any of them.
struct OrientationReport {
    int rotate = 0;
    double orientationConfidence = 0;
    std::string script;
};
std::optional<OrientationReport> ReadOrientationReport(std::string_view report);

// The model a page of `script` is read with first. A script model ("Cyrillic", also as
// "script/Cyrillic"), else a language model of the script ("rus"); for Latin English first,
// which LatinRereadModel may replace after that first reading. Without any model of the script,
// the best there is (English, else the Latin script model, else the first one) and
// `withoutModel` names the script. An empty script (no detection) is taken for Latin.
struct ModelChoice {
    std::string model;
    std::string withoutModel;
};
ModelChoice ModelForScript(std::string_view script, const std::vector<std::string>& installed);

// After a first reading with English of a Latin-script page: the model to read it again with,
// or "" to keep that reading. The language is judged by its most frequent short words (English
// misreads "für" as "fur", but "und", "der" and "nicht" come through): another language's model
// when it is there, else the Latin script model; a page whose words are plainly not English but
// of no language known here goes to the Latin model too.
std::string LatinRereadModel(std::string_view firstReading,
                             const std::vector<std::string>& installed);

// Whether the engine's spacing between words is kept on a page of `script` (layout mode): in a
// right-to-left script keeping it loses the space before each line's last word.
bool KeepsEngineSpacing(std::string_view script);

// The engine's text as the model's script writes it: the Greek models read mu as the micro sign
// (U+00B5), which no Greek word holds, and a search for the word would not find it.
std::string AsWrittenIn(std::string_view model, std::string text);

// Which way up a page is read: the turn the detection reports, and whether it is sure enough to
// be taken alone. Below the engine's own margin a few lines of text, or a script the detection
// knows badly, can leave an upright page looking upside down: such a turn is tried against the
// page as it is, and the reading the engine is surer of wins.
inline constexpr double kSureTurn = 7;
struct TurnChoice {
    int degrees = 0;
    bool sure = true;
};
TurnChoice ChooseTurn(const std::optional<OrientationReport>& report);

// What the engine wrote for a page asked for its text and its words' table at once (`txt tsv`,
// both on standard output): the text, and the confidence of its words, 0 to 100, each word
// weighed by its length. A line of the table has 11 tabs, which no line of text has.
struct EngineReading {
    std::string text;
    double confidence = 0;
    std::size_t words = 0;
};
EngineReading ReadEngineOutput(std::string_view output);

// Of two readings of one page, whether `other` is the better one: the engine is surer of it.
bool BetterReading(const EngineReading& other, const EngineReading& than);

} // namespace larkspan

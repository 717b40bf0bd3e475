#include "core/extraction/ScriptChoice.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>

namespace larkspan {

namespace {

std::string_view TakeLine(std::string_view& rest) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return line;
}

bool PlainName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '/';
    });
}

// The models of each script the detection names, best first: the script model, then the
// language models written in it. A script not listed is looked for as a script model of its
// own name ("Thai", "Georgian").
const std::map<std::string_view, std::vector<std::string_view>>& ScriptModels() {
    static const std::map<std::string_view, std::vector<std::string_view>> models = {
        {"Latin", {"eng", "Latin"}},
        {"Cyrillic", {"Cyrillic", "rus", "ukr", "bul", "srp", "bel", "mkd"}},
        {"Greek", {"Greek", "ell", "grc"}},
        {"Han", {"HanS", "HanT", "chi_sim", "chi_tra"}},
        {"Japanese", {"Japanese", "jpn"}},
        {"Katakana", {"Japanese", "jpn"}},
        {"Hiragana", {"Japanese", "jpn"}},
        {"Korean", {"Hangul", "kor"}},
        {"Hangul", {"Hangul", "kor"}},
        {"Arabic", {"Arabic", "ara", "fas", "urd"}},
        {"Hebrew", {"Hebrew", "heb", "yid"}},
        {"Devanagari", {"Devanagari", "hin", "mar", "nep", "san"}},
        {"Bengali", {"Bengali", "ben", "asm"}},
        {"Thai", {"Thai", "tha"}},
        {"Georgian", {"Georgian", "kat"}},
        {"Armenian", {"Armenian", "hye"}},
        {"Tamil", {"Tamil", "tam"}},
        {"Telugu", {"Telugu", "tel"}},
        {"Kannada", {"Kannada", "kan"}},
        {"Malayalam", {"Malayalam", "mal"}},
        {"Gujarati", {"Gujarati", "guj"}},
        {"Gurmukhi", {"Gurmukhi", "pan"}},
        {"Oriya", {"Oriya", "ori"}},
        {"Ethiopic", {"Ethiopic", "amh", "tir"}},
        {"Khmer", {"Khmer", "khm"}},
        {"Lao", {"Lao", "lao"}},
        {"Myanmar", {"Myanmar", "mya"}},
        {"Sinhala", {"Sinhala", "sin"}},
        {"Tibetan", {"Tibetan", "bod"}},
    };
    return models;
}

// The installed name of `model`, which may sit in the "script/" folder of the models.
std::optional<std::string> Installed(std::string_view model,
                                     const std::vector<std::string>& installed) {
    for (const std::string& name : installed) {
        if (name == model || (name.starts_with("script/") && name.substr(7) == model)) {
            return name;
        }
    }
    return std::nullopt;
}

// Frequent short words of the Latin-script languages, lower case, as the English model reads
// them too (without the marks it may drop).
struct LanguageWords {
    std::string_view model;
    std::array<std::string_view, 16> words;
};
constexpr std::array<LanguageWords, 9> kLatinLanguages = {{
    {"eng",
     {"the", "and", "of", "to", "is", "in", "that", "for", "it", "with", "be", "are", "not", "this",
      "by", "you"}},
    {"deu",
     {"der", "die", "und", "das", "nicht", "ist", "ein", "eine", "zu", "den", "mit", "von", "sich",
      "auf", "fur", "wird"}},
    {"fra",
     {"le", "la", "les", "des", "et", "est", "une", "un", "pas", "que", "pour", "dans", "du", "il",
      "ne", "sur"}},
    {"spa",
     {"el", "la", "los", "las", "del", "que", "y", "en", "por", "una", "para", "con", "se", "no",
      "es", "al"}},
    {"ita",
     {"il", "di", "che", "per", "non", "una", "sono", "del", "della", "gli", "con", "un", "da",
      "si", "le", "essere"}},
    {"por",
     {"de", "que", "o", "os", "do", "da", "em", "um", "uma", "para", "com", "nao", "as", "dos",
      "foi", "ser"}},
    {"nld",
     {"de", "het", "een", "van", "en", "niet", "dat", "op", "te", "zijn", "voor", "met", "wordt",
      "kan", "er", "ook"}},
    {"pol",
     {"nie", "sie", "jest", "na", "do", "to", "z", "w", "i", "ze", "jak", "lub", "oraz", "przez",
      "dla", "aby"}},
    {"swe",
     {"och", "att", "det", "som", "en", "ar", "av", "for", "med", "inte", "till", "den", "har",
      "kan", "om", "pa"}},
}};

// The page's words in lower case, ASCII letters only; a word with other letters keeps only its
// ASCII ones ("für" read as "fur" and "für" both count as "fur").
std::vector<std::string> LowerWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    const auto flush = [&] {
        if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    };
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            word.push_back(static_cast<char>(c | 0x20));
        } else if (byte < 0x80) {
            flush();
        }
    }
    flush();
    return words;
}

} // namespace

std::vector<std::string> InstalledModels(std::string_view listLangsOutput) {
    std::vector<std::string> models;
    TakeLine(listLangsOutput); // "List of available languages in "<folder>" (<n>):"
    while (!listLangsOutput.empty()) {
        const std::string_view line = TakeLine(listLangsOutput);
        // Anything but a plain name would change the meaning of the engine's "-l" value.
        if (PlainName(line)) {
            models.emplace_back(line);
        }
    }
    return models;
}

std::optional<OrientationReport> ReadOrientationReport(std::string_view report) {
    OrientationReport read;
    bool rotate = false;
    bool confidence = false;
    while (!report.empty()) {
        const std::string_view line = TakeLine(report);
        const std::size_t colon = line.find(": ");
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string key(line.substr(0, colon));
        const std::string value(line.substr(colon + 2));
        char* end = nullptr;
        if (key == "Rotate") {
            const long degrees = std::strtol(value.c_str(), &end, 10);
            rotate = *end == '\0' && !value.empty() &&
                     (degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270);
            read.rotate = static_cast<int>(degrees);
        } else if (key == "Orientation confidence") {
            read.orientationConfidence = std::strtod(value.c_str(), &end);
            confidence = *end == '\0' && !value.empty();
        } else if (key == "Script") {
            read.script = PlainName(value) ? value : std::string();
        }
    }
    if (!rotate || !confidence || read.script.empty()) {
        return std::nullopt;
    }
    return read;
}

ModelChoice ModelForScript(std::string_view script, const std::vector<std::string>& installed) {
    const std::string_view named = script.empty() || script == "Common" ? "Latin" : script;
    const auto known = ScriptModels().find(named);
    const std::vector<std::string_view> own =
        known != ScriptModels().end() ? known->second : std::vector<std::string_view>{named};
    for (const std::string_view model : own) {
        if (const auto name = Installed(model, installed)) {
            return {*name, ""};
        }
    }
    ModelChoice best{"", std::string(named)};
    for (const std::string_view model : {"eng", "Latin"}) {
        if (const auto name = Installed(model, installed); name && best.model.empty()) {
            best.model = *name;
        }
    }
    for (const std::string& name : installed) {
        if (best.model.empty() && name != "osd" && name != "equ") {
            best.model = name;
        }
    }
    return best;
}

std::string LatinRereadModel(std::string_view firstReading,
                             const std::vector<std::string>& installed) {
    const std::vector<std::string> words = LowerWords(firstReading);
    if (words.size() < 8) {
        return ""; // too little to tell
    }
    std::array<std::size_t, kLatinLanguages.size()> counts{};
    for (const std::string& word : words) {
        for (std::size_t i = 0; i < kLatinLanguages.size(); ++i) {
            const auto& list = kLatinLanguages[i].words;
            counts[i] += std::count(list.begin(), list.end(), word) != 0 ? 1 : 0;
        }
    }
    const auto best = static_cast<std::size_t>(std::max_element(counts.begin() + 1, counts.end()) -
                                               counts.begin());
    std::string_view language;
    if (counts[best] > counts[0] && counts[best] * 12 >= words.size()) {
        language = kLatinLanguages[best].model;
    } else if (counts[0] * 25 < words.size()) {
        language = "Latin"; // plainly not English, and none of the languages above
    } else {
        return "";
    }
    if (const auto own = Installed(language, installed)) {
        return *own;
    }
    return Installed("Latin", installed).value_or("");
}

bool KeepsEngineSpacing(std::string_view script) {
    return script != "Hebrew" && script != "Arabic" && script != "Syriac" && script != "Thaana";
}

std::string AsWrittenIn(std::string_view model, std::string text) {
    const std::string_view name = model.starts_with("script/") ? model.substr(7) : model;
    if (name != "Greek" && name != "ell" && name != "grc") {
        return text;
    }
    for (std::size_t at = text.find("\xC2\xB5"); at != std::string::npos;
         at = text.find("\xC2\xB5", at + 2)) {
        text.replace(at, 2, "\xCE\xBC");
    }
    return text;
}

TurnChoice ChooseTurn(const std::optional<OrientationReport>& report) {
    if (!report || report->rotate == 0 || report->orientationConfidence <= 0) {
        return {};
    }
    return {report->rotate, report->orientationConfidence >= kSureTurn};
}

EngineReading ReadEngineOutput(std::string_view output) {
    EngineReading reading;
    double weighed = 0;
    double weights = 0;
    while (!output.empty()) {
        const std::string_view line = TakeLine(output);
        if (std::count(line.begin(), line.end(), '\t') != 11) {
            reading.text.append(line).push_back('\n');
            continue;
        }
        // level page block paragraph line word left top width height conf text
        std::array<std::string_view, 12> fields;
        std::string_view rest = line;
        for (std::string_view& field : fields) {
            const std::size_t tab = std::min(rest.find('\t'), rest.size());
            field = rest.substr(0, tab);
            rest.remove_prefix(std::min(tab + 1, rest.size()));
        }
        const std::string confidence(fields[10]);
        char* end = nullptr;
        const double value = std::strtod(confidence.c_str(), &end);
        if (fields[0] != "5" || *end != '\0' || confidence.empty() || value < 0 ||
            fields[11].find_first_not_of(' ') == std::string_view::npos) {
            continue;
        }
        const auto weight = static_cast<double>(fields[11].size());
        weighed += std::min(value, 100.0) * weight;
        weights += weight;
        ++reading.words;
    }
    reading.confidence = weights > 0 ? weighed / weights : 0;
    return reading;
}

bool BetterReading(const EngineReading& other, const EngineReading& than) {
    return other.words > 0 && other.confidence > than.confidence;
}

} // namespace larkspan

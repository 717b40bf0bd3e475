#include "core/extraction/PageTriage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numeric>
#include <optional>
#include <vector>

namespace larkspan {

namespace {

// ---- Characters ----------------------------------------------------------------------------

enum class Kind {
    Blank,
    Bad,     // a control, private-use or replacement character, or a byte that is no UTF-8
    Letter,  // of a script (see ScriptOf)
    Neutral, // digits, punctuation, marks, the symbols text and formulas use
    Odd,     // box drawing, dingbats, pictographs and the like: never inside a word of text
};

struct Character {
    Kind kind = Kind::Neutral;
    int script = 0; // for letters: the script's group
};

constexpr int kLatin = 1; // with Greek, which formulas mix into Latin words
constexpr int kHan = 2;   // Han, kana, Hangul and fullwidth forms, which mix with Latin freely
constexpr int kCyrillic = 3;

bool In(char32_t c, char32_t first, char32_t last) {
    return c >= first && c <= last;
}

bool IsBad(char32_t c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') || In(c, 0x7F, 0x9F) ||
           c == 0xFFFD || In(c, 0xE000, 0xF8FF) || c >= 0xF0000 || In(c, 0xFDD0, 0xFDEF) ||
           (c & 0xFFFE) == 0xFFFE;
}

bool IsBlank(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0xA0 ||
           In(c, 0x2000, 0x200B) || c == 0x3000;
}

bool IsOddSymbol(char32_t c) {
    return c == 0xA4 || c == 0xA6 || c == 0xA8 || c == 0xAC || c == 0xAF || c == 0xB4 ||
           c == 0xB6 || c == 0xB8 || In(c, 0x2500, 0x25FF) || In(c, 0x2600, 0x27BF) ||
           In(c, 0x1F000, 0x1FAFF);
}

// The script group of a letter, by its block; 0 for what is no letter of a script.
int ScriptOf(char32_t c) {
    if (In(c, 'A', 'Z') || In(c, 'a', 'z') || (In(c, 0xC0, 0x24F) && c != 0xD7 && c != 0xF7) ||
        In(c, 0x250, 0x2AF) || In(c, 0x370, 0x3FF) || In(c, 0x1E00, 0x1FFF) ||
        In(c, 0x2C60, 0x2C7F) || In(c, 0xA720, 0xA7FF) || In(c, 0xFB00, 0xFB06)) {
        return kLatin;
    }
    if (In(c, 0x400, 0x52F) || In(c, 0x1C80, 0x1C8F) || In(c, 0x2DE0, 0x2DFF) ||
        In(c, 0xA640, 0xA69F)) {
        return kCyrillic;
    }
    if (In(c, 0x1100, 0x11FF) || In(c, 0x2E80, 0x2FDF) || In(c, 0x3040, 0x9FFF) ||
        In(c, 0xAC00, 0xD7AF) || In(c, 0xF900, 0xFAFF) || In(c, 0xFF00, 0xFFEF) ||
        In(c, 0x20000, 0x3FFFF)) {
        return kHan;
    }
    if (In(c, 0x600, 0x8FF) || In(c, 0xFB50, 0xFDFF) || In(c, 0xFE70, 0xFEFF)) {
        return 0x600; // Arabic, with its supplements and presentation forms
    }
    if (In(c, 0x530, 0x5FF) || In(c, 0x700, 0x1CFF) || In(c, 0xA000, 0xABFF) ||
        In(c, 0x10000, 0x1EFFF)) {
        return static_cast<int>(c >> 7) + 0x100; // the other scripts, each in blocks of its own
    }
    return 0;
}

Character Classify(char32_t c) {
    if (IsBlank(c)) {
        return {Kind::Blank};
    }
    if (IsBad(c)) {
        return {Kind::Bad};
    }
    if (IsOddSymbol(c)) {
        return {Kind::Odd};
    }
    const int script = ScriptOf(c);
    return script != 0 ? Character{Kind::Letter, script} : Character{Kind::Neutral};
}

// The code point at `at`, moving past it; U+FFFD for a byte that starts no valid sequence.
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    const std::size_t length = lead < 0x80   ? 0
                               : lead < 0xC2 ? 4
                               : lead < 0xE0 ? 1
                               : lead < 0xF0 ? 2
                               : lead < 0xF5 ? 3
                                             : 4;
    if (length == 0) {
        return lead;
    }
    if (length == 4 || at + length > text.size()) {
        return 0xFFFD;
    }
    char32_t c = lead & (0x3F >> length);
    for (std::size_t k = 0; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return 0xFFFD;
        }
        c = (c << 6) | (next & 0x3F);
    }
    at += length;
    const bool overlong = (length == 2 && c < 0x800) || (length == 3 && c < 0x10000);
    return overlong || In(c, 0xD800, 0xDFFF) || c > 0x10FFFF ? 0xFFFD : c;
}

// ---- Words ---------------------------------------------------------------------------------

struct Word {
    bool hasLetters = false;
    bool odd = false; // mixes scripts that are never written in one word, or holds odd symbols
};

struct TextCensus {
    std::size_t characters = 0; // not blank
    std::size_t bad = 0;
    std::size_t words = 0; // with a letter or a bad character
    std::size_t oddWords = 0;
};

TextCensus Census(std::string_view text) {
    TextCensus census;
    Word word;
    int script = 0;
    const auto endWord = [&] {
        if (word.hasLetters || word.odd) {
            ++census.words;
            census.oddWords += word.odd ? 1 : 0;
        }
        word = {};
        script = 0;
    };
    for (std::size_t at = 0; at < text.size();) {
        const Character c = Classify(NextCodePoint(text, at));
        if (c.kind == Kind::Blank) {
            endWord();
            continue;
        }
        ++census.characters;
        if (c.kind == Kind::Bad) {
            ++census.bad;
            word.odd = true;
        } else if (c.kind == Kind::Odd) {
            word.odd = true;
        } else if (c.kind == Kind::Letter) {
            word.hasLetters = true;
            // Han script mixes with any other in one run of text; the others keep to one.
            if (c.script != kHan) {
                word.odd = word.odd || (script != 0 && script != c.script);
                script = c.script;
            }
        }
    }
    endWord();
    return census;
}

// The words of a text for comparing two readings of it: split at blanks, without the
// punctuation around them, ASCII letters in lower case.
std::map<std::string, int> WordCounts(std::string_view text) {
    std::map<std::string, int> counts;
    std::string word;
    const auto endWord = [&] {
        const std::size_t first = word.find_first_not_of(".,;:!?\"'()[]{}<>-*");
        if (first != std::string::npos) {
            const std::size_t last = word.find_last_not_of(".,;:!?\"'()[]{}<>-*");
            ++counts[word.substr(first, last - first + 1)];
        }
        word.clear();
    };
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            endWord();
        } else {
            word += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    endWord();
    return counts;
}

// ---- Images --------------------------------------------------------------------------------

struct GreyImage {
    std::size_t width = 0;
    std::size_t height = 0;
    std::string_view pixels;
};

// "P5 <width> <height> 255" and one blank, without comments: as pdftoppm writes it.
std::optional<GreyImage> ReadPgm(std::string_view pgm) {
    if (pgm.substr(0, 2) != "P5") {
        return std::nullopt;
    }
    std::size_t at = 2;
    std::size_t numbers[3] = {};
    for (std::size_t& number : numbers) {
        while (at < pgm.size() && IsBlank(static_cast<unsigned char>(pgm[at]))) {
            ++at;
        }
        const std::size_t start = at;
        while (at < pgm.size() && pgm[at] >= '0' && pgm[at] <= '9' && at - start < 6) {
            number = number * 10 + static_cast<std::size_t>(pgm[at++] - '0');
        }
        if (at == start) {
            return std::nullopt;
        }
    }
    if (at >= pgm.size() || numbers[2] != 255 || numbers[0] == 0 || numbers[1] == 0) {
        return std::nullopt;
    }
    const std::string_view pixels = pgm.substr(at + 1);
    if (pixels.size() < numbers[0] * numbers[1]) {
        return std::nullopt;
    }
    return GreyImage{numbers[0], numbers[1], pixels.substr(0, numbers[0] * numbers[1])};
}

// The image `factor` times smaller on each side, each pixel the mean of the ones it stands for;
// its pixels are kept in `pixels`.
GreyImage Reduced(const GreyImage& image, std::size_t factor, std::string& pixels) {
    const std::size_t width = image.width / factor;
    const std::size_t height = image.height / factor;
    pixels.assign(width * height, '\0');
    std::vector<unsigned> sums(width);
    for (std::size_t y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (std::size_t dy = 0; dy < factor; ++dy) {
            const std::string_view row = image.pixels.substr((y * factor + dy) * image.width);
            for (std::size_t x = 0; x < width * factor; ++x) {
                sums[x / factor] += static_cast<unsigned char>(row[x]);
            }
        }
        for (std::size_t x = 0; x < width; ++x) {
            pixels[y * width + x] = static_cast<char>(sums[x] / (factor * factor));
        }
    }
    return {width, height, pixels};
}

// The grey level that parts ink from paper best (Otsu's: the largest variance between the two),
// and how far apart their means lie.
struct InkLevel {
    int threshold = 0;
    double contrast = 0;
    bool inkIsDark = true; // the darker class is the smaller one
};

InkLevel FindInkLevel(const GreyImage& image) {
    std::vector<double> histogram(256, 0);
    for (const char pixel : image.pixels) {
        ++histogram[static_cast<unsigned char>(pixel)];
    }
    const double total = static_cast<double>(image.pixels.size());
    double sum = 0;
    for (int level = 0; level < 256; ++level) {
        sum += level * histogram[static_cast<std::size_t>(level)];
    }
    InkLevel best;
    double below = 0;
    double belowSum = 0;
    double bestVariance = -1;
    for (int level = 0; level < 255; ++level) {
        below += histogram[static_cast<std::size_t>(level)];
        belowSum += level * histogram[static_cast<std::size_t>(level)];
        if (below == 0 || below == total) {
            continue;
        }
        const double darkMean = belowSum / below;
        const double lightMean = (sum - belowSum) / (total - below);
        const double variance =
            below * (total - below) * (lightMean - darkMean) * (lightMean - darkMean);
        if (variance > bestVariance) {
            bestVariance = variance;
            best = {level, lightMean - darkMean, below <= total - below};
        }
    }
    return best;
}

// A connected shape of ink pixels (8-neighbours): its bounding box and its pixels.
struct Shape {
    std::size_t left = 0;
    std::size_t top = 0;
    std::size_t right = 0;
    std::size_t bottom = 0;
    std::size_t pixels = 0;
    std::size_t Width() const { return right - left + 1; }
    std::size_t Height() const { return bottom - top + 1; }
};

class DisjointSets {
public:
    std::size_t Add() {
        parent_.push_back(parent_.size());
        return parent_.size() - 1;
    }
    std::size_t Find(std::size_t item) {
        while (parent_[item] != item) {
            parent_[item] = parent_[parent_[item]];
            item = parent_[item];
        }
        return item;
    }
    void Join(std::size_t a, std::size_t b) { parent_[Find(a)] = Find(b); }

private:
    std::vector<std::size_t> parent_;
};

// The shapes of the image's ink, found from the runs of ink on each row: runs that touch a run
// of the row above (diagonally too) belong to its shape.
std::vector<Shape> InkShapes(const GreyImage& image, const InkLevel& ink) {
    struct Run {
        std::size_t first;
        std::size_t last;
        std::size_t set;
    };
    DisjointSets sets;
    std::vector<Shape> pieces; // one per set, merged at the end
    std::vector<Run> above;
    std::vector<Run> here;
    const auto isInk = [&](char pixel) {
        const int level = static_cast<unsigned char>(pixel);
        return ink.inkIsDark ? level <= ink.threshold : level > ink.threshold;
    };
    for (std::size_t y = 0; y < image.height; ++y) {
        const std::string_view row = image.pixels.substr(y * image.width, image.width);
        here.clear();
        std::size_t next = 0; // the first run above that may still touch
        for (std::size_t x = 0; x < image.width;) {
            if (!isInk(row[x])) {
                ++x;
                continue;
            }
            const std::size_t first = x;
            while (x < image.width && isInk(row[x])) {
                ++x;
            }
            const Run run{first, x - 1, sets.Add()};
            pieces.push_back({run.first, y, run.last, y, run.last - run.first + 1});
            while (next < above.size() && above[next].last + 1 < run.first) {
                ++next;
            }
            for (std::size_t k = next; k < above.size() && above[k].first <= run.last + 1; ++k) {
                sets.Join(above[k].set, run.set);
            }
            here.push_back(run);
        }
        std::swap(above, here);
    }
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<std::size_t> shapeOf(pieces.size(), kNone);
    std::vector<Shape> shapes;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::size_t& at = shapeOf[sets.Find(i)];
        if (at == kNone) {
            at = shapes.size();
            shapes.push_back(pieces[i]);
            continue;
        }
        Shape& shape = shapes[at];
        shape.left = std::min(shape.left, pieces[i].left);
        shape.top = std::min(shape.top, pieces[i].top);
        shape.right = std::max(shape.right, pieces[i].right);
        shape.bottom = std::max(shape.bottom, pieces[i].bottom);
        shape.pixels += pieces[i].pixels;
    }
    return shapes;
}

// A letter (or a few touching ones) at the render's resolution: 4 px (small type's x-height) to
// an inch high, no wider than three of its height, and no solid block of ink.
bool LetterLike(const Shape& shape) {
    const std::size_t width = shape.Width();
    const std::size_t height = shape.Height();
    const double fill = static_cast<double>(shape.pixels) / static_cast<double>(width * height);
    return height >= 4 && height <= kTextLikenessDpi && width <= 3 * height && shape.pixels >= 6 &&
           !(fill > 0.9 && 2 * width > height);
}

// Two letters side by side on one line: of similar height, standing on one baseline or reaching
// one height (a letter with a descender still shares the x-height's top), and apart by at most
// the larger one's height.
bool Neighbours(const Shape& a, const Shape& b) {
    const std::size_t small = std::min(a.Height(), b.Height());
    const std::size_t large = std::max(a.Height(), b.Height());
    const std::size_t slack = std::max<std::size_t>(1, small / 5);
    const auto near = [&](std::size_t x, std::size_t y) {
        return (x > y ? x - y : y - x) <= slack;
    };
    return 5 * large <= 12 * small && (near(a.bottom, b.bottom) || near(a.top, b.top)) &&
           b.left <= a.right + large;
}

// Letters in one row that make a line of type.
constexpr std::size_t kRowLetters = 5;
// Past this many letter-like shapes the picture is too busy to tell: it counts as type.
constexpr std::size_t kMostShapes = 30000;

// A page that holds only a few marks, each of a letter's size or smaller (a page number, a
// word): too few to tell type by, and cheap for the engine.
bool FewMarksOnly(const std::vector<Shape>& shapes) {
    constexpr std::size_t kFewMarks = 20;
    const auto small = [](const Shape& shape) {
        return 2 * shape.Width() <= kTextLikenessDpi && 2 * shape.Height() <= kTextLikenessDpi;
    };
    return shapes.size() <= kFewMarks && std::all_of(shapes.begin(), shapes.end(), small) &&
           std::any_of(shapes.begin(), shapes.end(), LetterLike);
}

// Whether kRowLetters of the letter-like shapes stand side by side in a row.
bool HasRow(std::vector<Shape> letters) {
    std::sort(letters.begin(), letters.end(),
              [](const Shape& a, const Shape& b) { return a.left < b.left; });
    DisjointSets rows;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        rows.Add();
    }
    for (std::size_t i = 0; i < letters.size(); ++i) {
        const std::size_t reach = letters[i].right + 3 * letters[i].Height();
        for (std::size_t j = i + 1; j < letters.size() && letters[j].left <= reach; ++j) {
            if (Neighbours(letters[i], letters[j])) {
                rows.Join(i, j);
            }
        }
    }
    std::vector<std::size_t> rowSizes(letters.size(), 0);
    for (std::size_t i = 0; i < letters.size(); ++i) {
        if (++rowSizes[rows.Find(i)] >= kRowLetters) {
            return true;
        }
    }
    return false;
}

} // namespace

bool LooksGarbled(std::string_view pageText) {
    const TextCensus census = Census(pageText);
    return (census.bad >= 10 && 10 * census.bad >= 3 * census.characters) ||
           (census.oddWords >= 10 && 2 * census.oddWords >= census.words);
}

bool ReplacesLayer(std::string_view layerText, std::string_view recognisedText) {
    const TextCensus census = Census(recognisedText);
    if (census.words == 0 || LooksGarbled(recognisedText)) {
        return false;
    }
    const std::map<std::string, int> layer = WordCounts(layerText);
    const std::map<std::string, int> read = WordCounts(recognisedText);
    const auto total = [](const std::map<std::string, int>& counts) {
        return std::accumulate(counts.begin(), counts.end(), 0,
                               [](int sum, const auto& entry) { return sum + entry.second; });
    };
    int shared = 0;
    for (const auto& [word, count] : read) {
        const auto there = layer.find(word);
        shared += there == layer.end() ? 0 : std::min(count, there->second);
    }
    // F1 of the two bags of words below one half: the readings disagree.
    return 4 * shared < total(layer) + total(read);
}

bool MayHoldText(std::string_view pgm, int dpi) {
    std::optional<GreyImage> image = ReadPgm(pgm);
    if (!image) {
        return true;
    }
    std::string smaller;
    if (dpi >= 2 * kTextLikenessDpi) {
        image = Reduced(*image, static_cast<std::size_t>(dpi / kTextLikenessDpi), smaller);
    }
    const InkLevel ink = FindInkLevel(*image);
    if (ink.contrast < 32) {
        return false; // an even tone, or marks too faint for the engine to read
    }
    const std::vector<Shape> shapes = InkShapes(*image, ink);
    if (FewMarksOnly(shapes)) {
        return true;
    }
    // Rows across the image, and down it: a page scanned sideways has its lines running so.
    for (const bool sideways : {false, true}) {
        std::vector<Shape> letters;
        for (const Shape& shape : shapes) {
            const Shape turned =
                sideways ? Shape{shape.top, shape.left, shape.bottom, shape.right, shape.pixels}
                         : shape;
            if (LetterLike(turned)) {
                letters.push_back(turned);
            }
        }
        if (letters.size() > kMostShapes || HasRow(std::move(letters))) {
            return true;
        }
    }
    return false;
}

std::size_t RecognitionWorkers(unsigned processors, std::uint64_t availableMemory,
                               std::string_view asked) {
    if (!asked.empty() && asked.size() <= 2 && asked[0] != '0' &&
        std::all_of(asked.begin(), asked.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const auto number = static_cast<std::size_t>(std::atoi(std::string(asked).c_str()));
        if (number <= kMostWorkers) {
            return number;
        }
    }
    std::size_t workers = std::max(processors, 1u);
    if (availableMemory > 0) {
        workers = std::min<std::uint64_t>(
            workers, std::max<std::uint64_t>(1, availableMemory / kWorkerMemory));
    }
    return std::min(workers, kMostWorkers);
}

std::string EmptyPdf() {
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 72] >>"};
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t offset : offsets) {
        const std::string number = std::to_string(offset);
        pdf += std::string(10 - number.size(), '0') + number + " 00000 n \n";
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

} // namespace larkspan

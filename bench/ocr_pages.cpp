// ocr-pages: the known text of the OCR benchmark (scripts/bench-ocr.sh) and its scoring.
//
//   ocr-pages make DIR PAGES SOURCE...
//     Reads the paragraphs of the SOURCE text files (blocks between blank lines, their lines
//     joined) and typesets them in Helvetica at 10, 12 and 14 pt, word-wrapped to a 6.5 inch
//     line with Helvetica's own widths: DIR/text-10.pdf, text-12.pdf and text-14.pdf of PAGES
//     pages each, the text running on from one to the next. Writes what each page holds to
//     DIR/reference.txt (pages ended by form feeds, in that order) and each page's size to
//     DIR/sizes.txt (one line per page).
//   ocr-pages score DIR OUTPUT [LABEL [ERRORS]]
//     Compares OUTPUT (pages ended by form feeds, as pdftotext and tesseract write them) with
//     DIR/reference.txt page by page: both split on white space, aligned word by word with the
//     fewest substitutions, omissions and insertions. Prints the agreement, 1 - edits /
//     reference words, for each font size and overall, and the ERRORS (default 8) most
//     frequent word errors.
//     With --map=private or --map=mojibake, the font's Unicode map is rewritten so that the
//     text layer is garbage (private-use code points, or letters of mixed scripts) while the
//     pages show the text.
//   ocr-pages samples FILE [NAME...]
//     Writes scans of real translated text in several scripts and languages, two English pages
//     askew (support/TestFiles.h: ScriptSamples), or only those whose names begin with a NAME,
//     as FILE, a page each, and the text of each page to FILE.txt (pages ended by form feeds)
//     and its name to FILE.names (one line per page).
//   ocr-pages f1 REFERENCE OUTPUT [NAMES]
//     Prints for each page of REFERENCE (pages ended by form feeds) the F1 score of OUTPUT's
//     page's words against it (Han, kana and Hangul characters count as words), with its name
//     from NAMES.
//   ocr-pages blank FILE PAGES
//     Writes a PDF of PAGES pages with nothing drawn on them.
//   ocr-pages chart FILE SEED
//     Writes a one-page PDF of a bar and line chart without any text (SEED varies the bars).
//   ocr-pages peak COMMAND...
//     Runs COMMAND and prints "<peak MB> <largest MB> <seconds> <exit status>": the largest sum
//     of the resident memory of the command and every process it started (looked at every 5 ms;
//     each process's own peak counts only while it overlaps the others), the largest of one
//     process alone, and the wall time.

#include "support/TestFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <exception>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace larkspan::testsupport;

namespace {

const double kSizes[] = {10, 12, 14};
const double kLineWidth = 612 - 2 * 72; // US letter less one-inch margins
const double kTop = 740;                // where PdfWriter puts the first line
const double kBottom = 72;

// Helvetica's advance widths (1/1000 em) for ASCII 32 to 126, from its AFM.
const int kHelvetica[95] = {
    278,  278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278, // ' '../
    556,  556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, // 0..?
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778, // @..O
    667,  778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556, // P.._
    333,  556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556, // `..o
    556,  556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584};     // p..~

double Width(const std::string& text, double size) {
    double units = 0;
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        units += (b >= 32 && b <= 126) ? kHelvetica[b - 32] : 556;
    }
    return units * size / 1000;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

// Splits at form feeds; a last piece holding nothing but white space is the end of the last
// page, not a page of its own.
std::vector<std::string> Pages(const std::string& text) {
    std::vector<std::string> pages;
    std::size_t start = 0;
    for (std::size_t ff; (ff = text.find('\f', start)) != std::string::npos; start = ff + 1) {
        pages.push_back(text.substr(start, ff - start));
    }
    const std::string rest = text.substr(start);
    if (!Words(rest).empty()) {
        pages.push_back(rest);
    }
    return pages;
}

// The lines of body text, a blank line between paragraphs, wrapped for `size`.
class Typesetter {
public:
    explicit Typesetter(const std::vector<std::string>& sourcePaths) {
        for (const std::string& path : sourcePaths) {
            std::istringstream in(ReadFile(path));
            std::string paragraph;
            for (std::string line; std::getline(in, line);) {
                if (Words(line).empty()) {
                    Flush(paragraph);
                } else {
                    paragraph += line + " ";
                }
            }
            Flush(paragraph);
        }
    }

    // The next page of text at `size`; false when the sources are used up.
    bool NextPage(double size, std::string& page) {
        const int lines = static_cast<int>((kTop - kBottom) / (size * 14 / 12)) + 1;
        std::vector<std::string> out;
        while (static_cast<int>(out.size()) < lines && paragraph_ < paragraphs_.size()) {
            const std::vector<std::string>& words = paragraphs_[paragraph_];
            if (word_ == 0 && !out.empty()) {
                out.emplace_back(); // between paragraphs, never at the top of a page
                if (static_cast<int>(out.size()) == lines) {
                    break;
                }
            }
            std::string line = words[word_++];
            while (word_ < words.size() && Width(line + " " + words[word_], size) <= kLineWidth) {
                line += " " + words[word_++];
            }
            out.push_back(line);
            if (word_ == words.size()) {
                ++paragraph_;
                word_ = 0;
            }
        }
        page.clear();
        for (const std::string& line : out) {
            page += (page.empty() ? "" : "\n") + line;
        }
        return !out.empty();
    }

private:
    void Flush(std::string& paragraph) {
        std::vector<std::string> words = Words(paragraph);
        if (!words.empty()) {
            paragraphs_.push_back(std::move(words));
        }
        paragraph.clear();
    }

    std::vector<std::vector<std::string>> paragraphs_;
    std::size_t paragraph_ = 0;
    std::size_t word_ = 0;
};

// A font map that makes the text layer garbage while the pages show the text: "private" maps each
// letter to a private-use code point, "mojibake" to letters of Latin and Cyrillic script and box
// drawing mixed.
std::vector<std::pair<unsigned char, char32_t>> GarbleMap(const std::string& kind) {
    std::vector<std::pair<unsigned char, char32_t>> map;
    for (int code = 'A'; code <= 'z' && !kind.empty(); ++code) {
        const char32_t mojibake = code % 3 == 0   ? 0x410 + code % 32
                                  : code % 3 == 1 ? 0xC0 + code % 32
                                                  : 0x2550 + code % 32;
        map.emplace_back(static_cast<unsigned char>(code),
                         kind == "private" ? 0xE000 + code : mojibake);
    }
    return map;
}

int Make(const std::string& dir, int pagesPerSize, std::vector<std::string> sources) {
    std::string garble;
    if (!sources.empty() && sources[0].rfind("--map=", 0) == 0) {
        garble = sources[0].substr(6);
        sources.erase(sources.begin());
    }
    Typesetter setter(sources);
    std::string reference;
    std::string sizes;
    for (const double size : kSizes) {
        PdfContent content;
        content.fontSize = size;
        content.title = "Known body text";
        content.toUnicode = GarbleMap(garble);
        for (std::string page; static_cast<int>(content.pages.size()) < pagesPerSize;) {
            if (!setter.NextPage(size, page)) {
                throw std::runtime_error("the source texts fill fewer pages than asked for");
            }
            content.pages.emplace_back(page);
            reference += page + "\f";
            sizes += std::to_string(static_cast<int>(size)) + "\n";
        }
        WritePdf(dir + "/text-" + std::to_string(static_cast<int>(size)) + ".pdf", content);
    }
    WriteFile(dir + "/reference.txt", reference);
    WriteFile(dir + "/sizes.txt", sizes);
    return 0;
}

struct Tally {
    long words = 0;
    long substituted = 0;
    long missed = 0;
    long extra = 0;
    int pages = 0;
    long Edits() const { return substituted + missed + extra; }
};

// Aligns `hyp` with `ref` (word-level Levenshtein), adds the edits to `tally` and each wrong
// word to `errors` as "reference -> recognised" ("" for a word missed or added).
void Align(const std::vector<std::string>& ref, const std::vector<std::string>& hyp, Tally& tally,
           std::map<std::string, int>& errors) {
    const std::size_t n = ref.size();
    const std::size_t m = hyp.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
    for (std::size_t i = 0; i <= n; ++i) {
        d[i][0] = static_cast<int>(i);
    }
    for (std::size_t j = 0; j <= m; ++j) {
        d[0][j] = static_cast<int>(j);
    }
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            d[i][j] = std::min({d[i - 1][j - 1] + (ref[i - 1] == hyp[j - 1] ? 0 : 1),
                                d[i - 1][j] + 1, d[i][j - 1] + 1});
        }
    }
    const auto quoted = [](const std::string& word) {
        return "\"" + word + "\"";
    };
    for (std::size_t i = n, j = m; i > 0 || j > 0;) {
        if (i > 0 && j > 0 && d[i][j] == d[i - 1][j - 1] + (ref[i - 1] == hyp[j - 1] ? 0 : 1)) {
            if (ref[i - 1] != hyp[j - 1]) {
                ++tally.substituted;
                ++errors[quoted(ref[i - 1]) + " -> " + quoted(hyp[j - 1])];
            }
            --i;
            --j;
        } else if (i > 0 && d[i][j] == d[i - 1][j] + 1) {
            ++tally.missed;
            ++errors[quoted(ref[i - 1]) + " -> (missing)"];
            --i;
        } else {
            ++tally.extra;
            ++errors["(extra) -> " + quoted(hyp[j - 1])];
            --j;
        }
    }
    tally.words += static_cast<long>(n);
}

void PrintTally(const std::string& label, const Tally& t) {
    std::printf("  %-8s %2d pages %6ld words  agreement %6.2f%%  (%ld substituted, %ld missing, "
                "%ld extra)\n",
                label.c_str(), t.pages, t.words,
                t.words ? 100.0 * (1.0 - static_cast<double>(t.Edits()) / t.words) : 0.0,
                t.substituted, t.missed, t.extra);
}

int Score(const std::string& dir, const std::string& outputPath, const std::string& label,
          std::size_t shown) {
    const std::vector<std::string> reference = Pages(ReadFile(dir + "/reference.txt"));
    const std::vector<std::string> output = Pages(ReadFile(outputPath));
    std::istringstream sizeLines(ReadFile(dir + "/sizes.txt"));
    std::vector<std::string> sizes;
    for (std::string line; std::getline(sizeLines, line);) {
        sizes.push_back(line);
    }
    std::printf("%s\n", label.c_str());
    if (output.size() != reference.size()) {
        std::printf("  the output holds %zu pages, the document %zu: pages are compared in "
                    "order, a missing page counts as all its words missing\n",
                    output.size(), reference.size());
    }
    std::map<std::string, Tally> bySize;
    Tally all;
    std::map<std::string, int> errors;
    for (std::size_t p = 0; p < reference.size(); ++p) {
        Tally page;
        Align(Words(reference[p]),
              p < output.size() ? Words(output[p]) : std::vector<std::string>{}, page, errors);
        Tally& size = bySize[p < sizes.size() ? sizes[p] : "?"];
        for (Tally* t : {&size, &all}) {
            t->words += page.words;
            t->substituted += page.substituted;
            t->missed += page.missed;
            t->extra += page.extra;
            ++t->pages;
        }
    }
    for (const auto& [size, tally] : bySize) {
        PrintTally(size + " pt", tally);
    }
    PrintTally("all", all);
    std::vector<std::pair<int, std::string>> frequent;
    for (const auto& [error, count] : errors) {
        frequent.emplace_back(count, error);
    }
    std::stable_sort(frequent.begin(), frequent.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    if (!frequent.empty()) {
        std::printf("  most frequent word errors (of %zu different ones):\n", frequent.size());
    }
    for (std::size_t i = 0; i < frequent.size() && i < shown; ++i) {
        std::printf("    %4d x  %s\n", frequent[i].first, frequent[i].second.c_str());
    }
    return 0;
}

int Samples(const std::string& path, const std::vector<std::string>& names) {
    std::vector<ScriptSample> chosen;
    for (const ScriptSample& sample : ScriptSamples()) {
        if (names.empty() || std::any_of(names.begin(), names.end(), [&](const std::string& n) {
                return sample.name.starts_with(n);
            })) {
            chosen.push_back(sample);
        }
    }
    std::string reference;
    std::string listed;
    const std::vector<std::string> texts = WriteScriptSamples(chosen, path);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        reference += texts[i] + "\f";
        listed += chosen[i].name + "\n";
    }
    WriteFile(path + ".txt", reference);
    WriteFile(path + ".names", listed);
    return 0;
}

int F1(const std::string& referencePath, const std::string& outputPath,
       const std::string& namesPath) {
    const std::vector<std::string> reference = Pages(ReadFile(referencePath));
    const std::vector<std::string> output = Pages(ReadFile(outputPath));
    std::istringstream names(namesPath.empty() ? std::string() : ReadFile(namesPath));
    for (std::size_t p = 0; p < reference.size(); ++p) {
        std::string name;
        std::getline(names, name);
        std::printf("%.3f %s\n", WordF1(reference[p], p < output.size() ? output[p] : ""),
                    name.empty() ? ("page " + std::to_string(p + 1)).c_str() : name.c_str());
    }
    return 0;
}

int Blank(const std::string& path, int pages) {
    PdfContent content;
    content.pages.assign(static_cast<std::size_t>(pages), PdfPage(""));
    WritePdf(path, content);
    return 0;
}

// A page of a report's kind: a heading, then a chart drawn in lines and coloured bars (varied by
// `seed`), and no other text.
int Chart(const std::string& path, int seed) {
    PdfContent content;
    content.pages.emplace_back("");
    std::string& drawing = content.pages[0].drawing;
    drawing = "0 0 0 RG 2 w 72 150 m 540 150 l S 72 150 m 72 650 l S\n";
    for (int bar = 0; bar < 8; ++bar) {
        const int height = 60 + (seed * 37 + bar * 53) % 400;
        drawing += std::to_string(bar % 3 == 0 ? 1 : 0) + " " +
                   std::to_string(bar % 3 == 1 ? 0.5 : 0) + " " +
                   std::to_string(bar % 3 == 2 ? 1 : 0.2) + " rg " + std::to_string(90 + 55 * bar) +
                   " 151 40 " + std::to_string(height) + " re f\n";
    }
    drawing += "0 0 1 RG 1 w 72 300 m 200 420 l 330 380 l 460 600 l 540 560 l S\n";
    WritePdf(path, content);
    return 0;
}

// Resident kilobytes of each process of the tree under `root` (root included), summed, and the
// largest of them.
std::pair<long, long> TreeMemory(pid_t root) {
    std::map<pid_t, pid_t> parents;
    std::map<pid_t, long> resident;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return {0, 0};
    }
    const long pageKb = ::sysconf(_SC_PAGESIZE) / 1024;
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        if (pid <= 0) {
            continue;
        }
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream fields(line.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        fields >> state >> parent;
        parents[pid] = parent;
        std::ifstream statm("/proc/" + std::string(entry->d_name) + "/statm");
        long size = 0;
        long pages = 0;
        statm >> size >> pages;
        resident[pid] = pages * pageKb;
    }
    ::closedir(proc);
    long sum = 0;
    long largest = 0;
    for (const auto& [pid, kb] : resident) {
        for (pid_t up = pid; up > 1; up = parents.count(up) != 0 ? parents[up] : 0) {
            if (up == root) {
                sum += kb;
                largest = std::max(largest, kb);
                break;
            }
        }
    }
    return {sum, largest};
}

int Peak(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    long peak = 0;
    long largest = 0;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        const auto [sum, one] = TreeMemory(child);
        peak = std::max(peak, sum);
        largest = std::max(largest, one);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.0f %.0f %.2f %d\n", peak / 1024.0, largest / 1024.0, seconds,
                WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() >= 4 && args[0] == "make") {
            const int pages = std::stoi(args[2]);
            return Make(args[1], pages, {args.begin() + 3, args.end()});
        }
        if (args.size() == 3 && args[0] == "blank") {
            return Blank(args[1], std::stoi(args[2]));
        }
        if (args.size() >= 2 && args[0] == "samples") {
            return Samples(args[1], {args.begin() + 2, args.end()});
        }
        if ((args.size() == 3 || args.size() == 4) && args[0] == "f1") {
            return F1(args[1], args[2], args.size() == 4 ? args[3] : "");
        }
        if (args.size() == 3 && args[0] == "chart") {
            return Chart(args[1], std::stoi(args[2]));
        }
        if (args.size() >= 2 && args[0] == "peak") {
            return Peak({args.begin() + 1, args.end()});
        }
        if (args.size() >= 3 && args.size() <= 5 && args[0] == "score") {
            return Score(args[1], args[2], args.size() >= 4 ? args[3] : args[2],
                         args.size() == 5 ? std::stoul(args[4]) : 8);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ocr-pages: %s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: ocr-pages make DIR PAGES [--map=private|mojibake] SOURCE...\n"
                         "       ocr-pages score DIR OUTPUT [LABEL [ERRORS]]\n"
                         "       ocr-pages samples FILE [NAME...]\n"
                         "       ocr-pages f1 REFERENCE OUTPUT [NAMES]\n"
                         "       ocr-pages blank FILE PAGES\n"
                         "       ocr-pages chart FILE SEED\n"
                         "       ocr-pages peak COMMAND...\n");
    return 2;
}

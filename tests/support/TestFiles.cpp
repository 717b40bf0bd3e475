#include "support/TestFiles.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace larkspan::testsupport {

namespace {

// UTF-8 text to a path: a plain string would be read in the system's 8-bit code page on
// Windows.
std::filesystem::path Utf8Path(const std::string& text) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

std::string Utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

#ifdef _WIN32
// The Windows tests run under wine, where qpdf is the build machine's own program, which takes
// the Unix names of files; wine's kernel32 tells them.
std::string UnixPath(const std::string& path) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* name = unixName != nullptr ? unixName(Utf8Path(path).c_str()) : nullptr;
    if (name == nullptr) {
        throw std::runtime_error("qpdf runs only under wine here: no Unix name for " + path);
    }
    std::string result = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}
#endif

} // namespace

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(Utf8Path(path), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream file(Utf8Path(path), std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream data;
    data << file.rdbuf();
    return data.str();
}

void WritePdf(const std::string& path, const PdfContent& content) {
    WriteFileBytes(path, BuildPdf(content));
}

#ifdef _WIN32
void WriteEncryptedCopy(const std::string& source, const std::string& target,
                        const std::string& userPassword, const std::string& ownerPassword) {
    // Wine starts a program of the build machine on its own: neither its output nor its exit
    // status come back. So qpdf takes its arguments from a file (one a line, the passwords
    // untouched by any quoting), writes beside the target, and the finished file is moved into
    // place, which is awaited.
    const std::string arguments = target + ".qpdf-arguments";
    WriteFileBytes(arguments, "--encrypt\n" + userPassword + "\n" + ownerPassword + "\n256\n--\n" +
                                  UnixPath(source) + "\n" + UnixPath(target) + ".part\n");
    platform::RunCaptured({"Z:\\bin\\sh", "-c", LARKSPAN_QPDF " @\"$1\" && mv \"$2.part\" \"$2\"",
                           "sh", UnixPath(arguments), UnixPath(target)});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(Utf8Path(target))) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("qpdf made no encrypted copy of " + source);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::filesystem::remove(Utf8Path(arguments));
}
#else
void WriteEncryptedCopy(const std::string& source, const std::string& target,
                        const std::string& userPassword, const std::string& ownerPassword) {
    const auto run = platform::RunCaptured(
        {"qpdf", "--encrypt", userPassword, ownerPassword, "256", "--", source, target});
    if (!run.started || run.exitCode != 0) {
        throw std::runtime_error("qpdf failed: " + run.startError + run.standardError);
    }
}
#endif

#ifndef _WIN32
void WriteScannedCopy(const std::string& source, const std::string& target,
                      const std::vector<int>& pages) {
    const auto check = [&](const platform::CapturedRun& run, const char* tool) {
        if (!run.started || run.exitCode != 0) {
            throw std::runtime_error(std::string(tool) + " failed for " + target + ": " +
                                     run.startError + run.standardError);
        }
    };
    std::vector<std::string> wrap{"img2pdf", "-o", target};
    for (const int page : pages) {
        // PNG, since it carries the resolution: img2pdf then sizes the page as the original.
        const std::string image = target + ".page" + std::to_string(page);
        const std::string number = std::to_string(page);
        check(platform::RunCaptured({"pdftoppm", "-f", number, "-l", number, "-singlefile", "-r",
                                     "300", "-gray", "-png", source, image}),
              "pdftoppm");
        wrap.push_back(image + ".png");
    }
    check(platform::RunCaptured(wrap), "img2pdf");
    for (std::size_t i = 3; i < wrap.size(); ++i) {
        std::filesystem::remove(wrap[i]);
    }
}

namespace {

// The translations of a gettext catalogue that are whole sentences of plain text: no format
// directives, markup, file names or line breaks, at least `words` words (characters where the
// script writes no spaces), no ASCII letters in a non-Latin script, each once. With `originals`
// the English messages they translate instead.
std::vector<std::string> CatalogueSentences(const std::string& catalogue, bool latin,
                                            bool originals, std::size_t count) {
    const std::string bytes = ReadFileBytes(catalogue);
    const auto word = [&](std::size_t at) {
        if (at + 4 > bytes.size()) {
            throw std::runtime_error(catalogue + " is cut short");
        }
        std::uint32_t value = 0;
        for (std::size_t i = 4; i-- > 0;) {
            value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        }
        return static_cast<std::size_t>(value);
    };
    if (word(0) != 0x950412de) {
        throw std::runtime_error(catalogue + " is no little-endian gettext catalogue");
    }
    const auto text = [&](std::size_t table, std::size_t i) {
        return bytes.substr(word(table + 8 * i + 4), word(table + 8 * i));
    };
    std::vector<std::string> sentences;
    for (std::size_t i = 0; i < word(8) && sentences.size() < count; ++i) {
        const std::string original = text(word(12), i);
        const std::string translation = text(word(16), i);
        const std::string& chosen = originals ? original : translation;
        std::size_t letters = 0;
        bool plain = !original.empty() && translation != original;
        for (const char c : chosen) {
            const auto byte = static_cast<unsigned char>(c);
            const bool asciiLetter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            plain = plain && (byte >= 0x80 ||
                              std::string_view(" .,()-:;!?").find(c) != std::string_view::npos ||
                              (asciiLetter && (latin || originals)));
            letters += (byte >= 0x80 && (byte & 0xC0) != 0x80) || asciiLetter ? 1 : 0;
        }
        const auto spaces = static_cast<std::size_t>(std::count(chosen.begin(), chosen.end(), ' '));
        if (plain && (spaces >= 3 || (spaces == 0 && letters >= 10)) &&
            std::find(sentences.begin(), sentences.end(), chosen) == sentences.end()) {
            sentences.push_back(chosen);
        }
    }
    if (sentences.size() < count) {
        throw std::runtime_error(catalogue + " holds too few sentences to typeset");
    }
    return sentences;
}

void CheckRun(const platform::CapturedRun& run, const std::string& tool,
              const std::string& target) {
    if (!run.started || run.exitCode != 0) {
        throw std::runtime_error(tool + " failed for " + target + ": " + run.startError +
                                 run.standardError);
    }
}

} // namespace

const std::vector<ScriptSample>& ScriptSamples() {
    static const std::vector<ScriptSample> samples = {
        {"German", "de", "glib20", "DejaVu Serif 12", 0},
        {"French", "fr", "glib20", "DejaVu Sans 11", 0},
        {"Spanish", "es", "glib20", "Liberation Serif 13", 0},
        {"Polish", "pl", "glib20", "Liberation Sans 11", 0},
        {"Cyrillic (Russian)", "ru", "glib20", "DejaVu Serif 12", 0},
        {"Greek", "el", "glib20", "DejaVu Sans 12", 0},
        {"Han (Chinese, simplified)", "zh_CN", "glib20", "WenQuanYi Micro Hei 12", 0},
        {"Japanese", "ja", "glib20", "WenQuanYi Micro Hei 12", 0},
        {"Hebrew", "he", "gtk20", "DejaVu Sans 12", 0},
        {"English, 2 degrees askew", "", "glib20", "Liberation Serif 12", 2},
        {"English, 5 degrees askew", "", "glib20", "DejaVu Serif 11", -5},
    };
    return samples;
}

std::vector<std::string> WriteScriptSamples(const std::vector<ScriptSample>& samples,
                                            const std::string& target) {
    std::vector<std::string> references;
    std::vector<std::string> wrap{"img2pdf", "--imgsize", "300dpi", "-o", target};
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const ScriptSample& sample = samples[i];
        const bool latin = sample.locale.empty() || sample.locale == "de" ||
                           sample.locale == "fr" || sample.locale == "es" || sample.locale == "pl";
        // The English pages take the messages of the German catalogue as they are written,
        // further on than the German page's.
        const std::vector<std::string> sentences = CatalogueSentences(
            "/usr/share/locale/" + (sample.locale.empty() ? "de" : sample.locale) +
                "/LC_MESSAGES/" + sample.domain + ".mo",
            latin, sample.locale.empty(), sample.locale.empty() ? 8 * (i + 1) : 8);
        std::string text;
        for (std::size_t s = sentences.size() - 8; s < sentences.size(); ++s) {
            text += sentences[s] + "\n";
        }
        const std::string source = target + ".page" + std::to_string(i);
        WriteFileBytes(source + ".txt", text);
        CheckRun(platform::RunCaptured({"pango-view", "--font=" + sample.font, "--dpi=300",
                                        "--width=468", "--wrap=word", "--margin=150",
                                        "--background=white", "-q", "-o", source + ".png",
                                        source + ".txt"}),
                 "pango-view", target);
        CheckRun(platform::RunCaptured(
                     {"convert", source + ".png", "-colorspace", "Gray", "-background", "white",
                      "-rotate", std::to_string(sample.degrees), "-depth", "8", source + ".png"}),
                 "convert", target);
        wrap.push_back(source + ".png");
        references.push_back(text);
    }
    CheckRun(platform::RunCaptured(wrap), "img2pdf", target);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        std::filesystem::remove(target + ".page" + std::to_string(i) + ".txt");
        std::filesystem::remove(target + ".page" + std::to_string(i) + ".png");
    }
    return references;
}

namespace {

// The words of a text for WordF1.
std::map<std::string, int> F1Words(const std::string& text) {
    std::map<std::string, int> words;
    std::string word;
    const auto flush = [&] {
        if (!word.empty()) {
            ++words[word];
            word.clear();
        }
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        std::string piece = text.substr(i, length);
        i += length;
        const bool ascii = cp < 0x80;
        const bool separator = (ascii && !std::isalnum(static_cast<int>(cp))) ||
                               (cp >= 0xA0 && cp <= 0xBF) || cp == 0xD7 || cp == 0xF7 ||
                               cp == 0x37E || cp == 0x387 || cp == 0x5BE || cp == 0x5C0 ||
                               cp == 0x5C3 || cp == 0x60C || cp == 0x61B || cp == 0x61F ||
                               (cp >= 0x2000 && cp <= 0x206F) || (cp >= 0x3000 && cp <= 0x303F) ||
                               (cp >= 0xFF01 && cp <= 0xFF0F) || (cp >= 0xFF1A && cp <= 0xFF20) ||
                               (cp >= 0xFF3B && cp <= 0xFF40) || (cp >= 0xFF5B && cp <= 0xFF65);
        const bool alone = (cp >= 0x2E80 && cp <= 0x2FFF) || (cp >= 0x3040 && cp <= 0x31FF) ||
                           (cp >= 0x3400 && cp <= 0x9FFF) || (cp >= 0xAC00 && cp <= 0xD7AF) ||
                           (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFF66 && cp <= 0xFF9F);
        if (separator || alone) {
            flush();
            if (alone) {
                ++words[piece];
            }
        } else {
            word += piece;
        }
    }
    flush();
    return words;
}

} // namespace

double WordF1(const std::string& reference, const std::string& recognised) {
    const std::map<std::string, int> wanted = F1Words(reference);
    const std::map<std::string, int> found = F1Words(recognised);
    int both = 0;
    int inWanted = 0;
    int inFound = 0;
    for (const auto& [word, count] : wanted) {
        inWanted += count;
        const auto there = found.find(word);
        both += there != found.end() ? std::min(count, there->second) : 0;
    }
    for (const auto& entry : found) {
        inFound += entry.second;
    }
    return inWanted + inFound == 0 ? 1.0 : 2.0 * both / (inWanted + inFound);
}

void WriteHugeScan(const std::string& source, const std::string& target, int side) {
    const auto check = [&](const platform::CapturedRun& run, const char* tool) {
        if (!run.started || run.exitCode != 0) {
            throw std::runtime_error(std::string(tool) + " failed for " + target + ": " +
                                     run.startError + run.standardError);
        }
    };
    if (side < 10000 || side > 99999) {
        throw std::runtime_error("WriteHugeScan: a side of five digits, please");
    }
    check(platform::RunCaptured({"pdftoppm",    "-f",    "1",    "-l",   "1",
                                 "-singlefile", "-r",    "300",  "-x",   "0",
                                 "-y",          "0",     "-W",   "2550", "-H",
                                 "2550",        "-gray", "-png", source, target + ".square"}),
          "pdftoppm");
    const std::string largest = target + ".14400";
    check(platform::RunCaptured(
              {"img2pdf", "--pagesize", "14400ptx14400pt", "-o", largest, target + ".square.png"}),
          "img2pdf");
    // In qpdf's plain form, whose streams are left as they are, "14400" stands only in the page
    // box and the image's placement; a number of the same length keeps every offset.
    check(platform::RunCaptured({"qpdf", "--qdf", "--stream-data=preserve",
                                 "--object-streams=disable", largest, target + ".qdf"}),
          "qpdf");
    std::string pdf = ReadFileBytes(target + ".qdf");
    const std::string number = std::to_string(side);
    for (std::size_t at = pdf.find("14400"); at != std::string::npos;
         at = pdf.find("14400", at + 5)) {
        pdf.replace(at, 5, number);
    }
    WriteFileBytes(target, pdf);
    for (const char* part : {".square.png", ".14400", ".qdf"}) {
        std::filesystem::remove(target + part);
    }
}

bool ProcessAlive(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string fields;
    if (!std::getline(stat, fields)) {
        return false;
    }
    const auto state = fields.rfind(") ");
    return state != std::string::npos && fields[state + 2] != 'Z';
}
#endif

void WriteTruncatedCopy(const std::string& source, const std::string& target, double keepFraction) {
    const std::string bytes = ReadFileBytes(source);
    WriteFileBytes(target, bytes.substr(0, static_cast<std::size_t>(bytes.size() * keepFraction)));
}

void WriteRepairableCopy(const std::string& source, const std::string& target) {
    std::string bytes = ReadFileBytes(source);
    // The table's entries are 20 bytes each after the "xref" and "0 <count>" lines; object 3
    // is the first page, which both pdfinfo and pdftotext need.
    const std::size_t table = bytes.rfind("xref\n0 ");
    const std::size_t entries = table == std::string::npos ? table : bytes.find('\n', table + 5);
    if (entries == std::string::npos) {
        throw std::runtime_error("no cross-reference table in " + source);
    }
    const std::size_t entry = entries + 1 + 3 * 20;
    const long offset = std::stol(bytes.substr(entry, 10));
    std::string digits = std::to_string(offset + 3);
    bytes.replace(entry, 10, std::string(10 - digits.size(), '0') + digits);
    WriteFileBytes(target, bytes);
}

std::string MakeTempFolder(const std::string& prefix) {
    // $TMPDIR (else /tmp) on POSIX, $TEMP on Windows: the harness points them into the test's
    // own folder.
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    std::random_device random;
    for (int attempt = 0; !error && attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / (prefix + "-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate, error)) {
            return Utf8Text(candidate);
        }
    }
    throw std::runtime_error("cannot create a folder for " + prefix + " in " + Utf8Text(base));
}

#ifdef _WIN32
std::string StandInProgram() {
    return platform::ExecutableFolder() + "test-stand-in.exe";
}
#endif

} // namespace larkspan::testsupport

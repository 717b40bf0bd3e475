#include "support/TestFiles.h"

#include "platform/Platform.h"

#include <chrono>
#include <filesystem>
#include <fstream>
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

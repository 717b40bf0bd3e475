#include "support/TestFiles.h"

#include "platform/Platform.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace larkspan::testsupport {

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
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

void WriteEncryptedCopy(const std::string& source, const std::string& target,
                        const std::string& userPassword, const std::string& ownerPassword) {
    const auto run = platform::RunCaptured(
        {"qpdf", "--encrypt", userPassword, ownerPassword, "256", "--", source, target});
    if (!run.started || run.exitCode != 0) {
        throw std::runtime_error("qpdf failed: " + run.startError + run.standardError);
    }
}

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
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("cannot create a folder from " + pattern);
    }
    return buffer.data();
}

} // namespace larkspan::testsupport

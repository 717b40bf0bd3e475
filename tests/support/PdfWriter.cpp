#include "support/PdfWriter.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace larkspan::testsupport {

namespace {

// Decodes UTF-8; a byte that starts no valid sequence becomes U+FFFD.
std::vector<char32_t> DecodeUtf8(const std::string& text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int extra = b < 0x80           ? 0
                          : (b >> 5) == 0x06 ? 1
                          : (b >> 4) == 0x0E ? 2
                          : (b >> 3) == 0x1E ? 3
                                             : -1;
        if (extra < 0 || i + extra >= text.size()) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? b : (b & (0x3F >> extra));
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += extra + 1;
    }
    return out;
}

// Windows-1252 (the WinAnsiEncoding of the standard fonts) for one character, '?' if none.
char ToWinAnsi(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<char>(cp);
    }
    static const struct {
        char32_t cp;
        unsigned char code;
    } kHigh[] = {{0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85},
                 {0x2020, 0x86}, {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A},
                 {0x2039, 0x8B}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92},
                 {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97},
                 {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C},
                 {0x017E, 0x9E}, {0x0178, 0x9F}};
    for (const auto& entry : kHigh) {
        if (entry.cp == cp) {
            return static_cast<char>(entry.code);
        }
    }
    return '?';
}

// A literal string "( ... )": the delimiters and the backslash escaped, every byte outside
// printable ASCII written as an octal escape so that no line end inside is reinterpreted.
void AppendLiteral(std::string& out, const std::string& bytes) {
    out += '(';
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (ch == '(' || ch == ')' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (b < 32 || b > 126) {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\%03o", b);
            out += buf;
        } else {
            out += ch;
        }
    }
    out += ')';
}

// A text string of the Info dictionary: plain ASCII as a literal string, anything else as
// UTF-16BE with a byte-order mark, which every reader takes as Unicode.
void AppendTextString(std::string& out, const std::string& utf8) {
    bool ascii = true;
    for (const char ch : utf8) {
        ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
    }
    if (ascii) {
        AppendLiteral(out, utf8);
        return;
    }
    static const char kHex[] = "0123456789ABCDEF";
    auto unit = [&](unsigned v) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            out += kHex[(v >> shift) & 0xF];
        }
    };
    out += "<FEFF";
    for (char32_t cp : DecodeUtf8(utf8)) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    out += '>';
}

std::string WinAnsi(const std::string& utf8) {
    std::string bytes;
    bytes.reserve(utf8.size());
    for (const char32_t cp : DecodeUtf8(utf8)) {
        bytes += ToWinAnsi(cp);
    }
    return bytes;
}

void AppendNumber(std::string& out, double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", value);
    out += buf;
}

// A size or a leading: whole numbers without decimals, so that the default 12 pt page reads
// "/F1 12 Tf 14 TL" as it always has.
std::string Points(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", value);
    std::string text = buf;
    while (text.back() == '0') {
        text.pop_back();
    }
    if (text.back() == '.') {
        text.pop_back();
    }
    return text;
}

std::string PageStream(const PdfPage& page, double fontSize) {
    const std::string font = "/F1 " + Points(fontSize) + " Tf\n";
    std::string stream = "BT\n" + font + Points(fontSize * 14 / 12) + " TL\n72 740 Td\n";
    std::size_t start = 0;
    for (bool first = true;; first = false) {
        const std::size_t end = page.lines.find('\n', start);
        if (!first) {
            stream += "T*\n";
        }
        AppendLiteral(stream, WinAnsi(page.lines.substr(start, end - start)));
        stream += " Tj\n";
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    stream += "ET\n";
    for (const PlacedText& placed : page.placed) {
        stream += "BT\n" + font;
        AppendNumber(stream, placed.x);
        stream += ' ';
        AppendNumber(stream, placed.y);
        stream += " Td\n";
        AppendLiteral(stream, WinAnsi(placed.text));
        stream += " Tj\nET\n";
    }
    return stream + page.drawing;
}

std::string ToUnicodeMap(const std::vector<std::pair<unsigned char, char32_t>>& map) {
    std::string cmap = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
                       "/CMapName /Tests def 1 begincodespacerange <00> <FF> endcodespacerange\n" +
                       std::to_string(map.size()) + " beginbfchar\n";
    char entry[32];
    for (const auto& [code, character] : map) {
        // UTF-16BE, with a surrogate pair past the first plane.
        const char32_t c = character;
        if (c < 0x10000) {
            std::snprintf(entry, sizeof entry, "<%02X> <%04X>\n", code, static_cast<unsigned>(c));
        } else {
            std::snprintf(entry, sizeof entry, "<%02X> <%04X%04X>\n", code,
                          static_cast<unsigned>(0xD800 + ((c - 0x10000) >> 10)),
                          static_cast<unsigned>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
        cmap += entry;
    }
    return cmap + "endbfchar endcmap CMapName currentdict /CMap defineresource pop end end\n";
}

class ObjectWriter {
public:
    explicit ObjectWriter(std::size_t objectCount) : offsets_(objectCount + 1, 0) {
        // The binary comment marks the file as binary for transfer programs.
        out_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    }
    void Begin(std::size_t number) {
        offsets_.at(number) = out_.size();
        out_ += std::to_string(number);
        out_ += " 0 obj\n";
    }
    void End() { out_ += "\nendobj\n"; }
    std::string& Out() { return out_; }

    std::string Finish(std::size_t root, std::size_t info) {
        const std::size_t xref = out_.size();
        out_ += "xref\n0 " + std::to_string(offsets_.size()) + "\n";
        out_ += "0000000000 65535 f \n";
        char entry[24];
        for (std::size_t n = 1; n < offsets_.size(); ++n) {
            // Each entry is exactly 20 bytes, its line end included.
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offsets_[n]);
            out_ += entry;
        }
        out_ += "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " +
                std::to_string(root) + " 0 R /Info " + std::to_string(info) + " 0 R >>\n";
        out_ += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return std::move(out_);
    }

private:
    std::string out_;
    std::vector<std::size_t> offsets_;
};

} // namespace

std::string BuildPdf(const PdfContent& content) {
    // Objects: 1 font, 2 info, then a page and its content stream per page, then the page
    // tree and the catalog.
    const std::size_t pageCount = content.pages.size();
    const std::size_t firstPage = 3;
    const std::size_t pagesTree = firstPage + 2 * pageCount;
    const std::size_t catalog = pagesTree + 1;
    const std::size_t cmap = content.toUnicode.empty() ? 0 : catalog + 1;
    ObjectWriter w(std::max(catalog, cmap));
    std::string& out = w.Out();
    out.reserve(512 + pageCount * 400);

    w.Begin(1);
    out += "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding";
    out += cmap == 0 ? " >>" : " /ToUnicode " + std::to_string(cmap) + " 0 R >>";
    w.End();

    w.Begin(2);
    out += "<<";
    const std::pair<const char*, const std::string*> fields[] = {{"/Title", &content.title},
                                                                 {"/Author", &content.author},
                                                                 {"/Subject", &content.subject},
                                                                 {"/Creator", &content.creator}};
    for (const auto& [key, value] : fields) {
        if (!value->empty()) {
            out += ' ';
            out += key;
            out += ' ';
            AppendTextString(out, *value);
        }
    }
    out += " /Producer (Larkspan tests) /CreationDate (D:20240102030405Z) >>";
    w.End();

    const std::string pagesRef = " " + std::to_string(pagesTree) + " 0 R";
    for (std::size_t i = 0; i < pageCount; ++i) {
        const std::size_t page = firstPage + 2 * i;
        w.Begin(page);
        out += "<< /Type /Page /Parent" + pagesRef +
               " /MediaBox [0 0 612 792] /Resources << /Font << /F1 1 0 R >> >> /Contents " +
               std::to_string(page + 1) + " 0 R >>";
        w.End();
        const std::string stream = PageStream(content.pages[i], content.fontSize);
        w.Begin(page + 1);
        out += "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n";
        out += stream;
        out += "endstream";
        w.End();
    }

    w.Begin(pagesTree);
    out += "<< /Type /Pages /Count " + std::to_string(pageCount) + " /Kids [";
    for (std::size_t i = 0; i < pageCount; ++i) {
        out += ' ';
        out += std::to_string(firstPage + 2 * i);
        out += " 0 R";
    }
    out += " ] >>";
    w.End();

    w.Begin(catalog);
    out += "<< /Type /Catalog /Pages" + pagesRef + " >>";
    w.End();
    if (cmap != 0) {
        const std::string map = ToUnicodeMap(content.toUnicode);
        w.Begin(cmap);
        out += "<< /Length " + std::to_string(map.size()) + " >>\nstream\n" + map + "endstream";
        w.End();
    }
    return w.Finish(catalog, 2);
}

PdfContent NumberedPages(int pageCount) {
    PdfContent content;
    const std::string total = std::to_string(pageCount);
    content.pages.reserve(pageCount);
    for (int i = 1; i <= pageCount; ++i) {
        const std::string n = std::to_string(i);
        content.pages.push_back("Page " + n + " of " + total + "\nLarkspan known words page " + n);
    }
    return content;
}

} // namespace larkspan::testsupport

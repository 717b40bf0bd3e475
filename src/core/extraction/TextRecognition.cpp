#include "core/extraction/TextRecognition.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace larkspan {

namespace {

// A whole number as pdftotext's option parser takes it (a sign, then digits), kept to what fits
// in 32 bits; nothing for anything else.
std::optional<std::int32_t> WholeNumber(std::string_view text) {
    std::size_t digits = 0;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        digits = 1;
    }
    if (text.size() == digits || text.size() - digits > 9 ||
        !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(digits), text.end(),
                     [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(std::strtol(std::string(text).c_str(), nullptr, 10));
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The text up to the next line feed (or the end), taken off the front of `rest`.
std::string_view TakeLine(std::string_view& rest) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    return line;
}

// The text with each byte that does not belong to a valid UTF-8 sequence (a stray continuation
// byte, a cut sequence, an overlong form, a surrogate, past U+10FFFF) replaced by U+FFFD.
std::string ValidUtf8(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80                    ? 1
                                   : lead >= 0xC2 && lead <= 0xDF ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        bool whole = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) {
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (whole && length > 2) {
            // The second byte's range where the lead byte alone does not rule out what is not
            // allowed.
            const auto second = static_cast<unsigned char>(text[i + 1]);
            whole = !(lead == 0xE0 && second < 0xA0) && !(lead == 0xED && second > 0x9F) &&
                    !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second > 0x8F);
        }
        if (whole) {
            valid.append(text.substr(i, length));
            i += length;
        } else {
            valid += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return valid;
}

std::string_view TrimEnd(std::string_view line) {
    while (!line.empty() && IsBlank(line.back())) {
        line.remove_suffix(1);
    }
    return line;
}

} // namespace

TextractRequest ReadTextractArguments(const std::vector<std::string>& arguments) {
    TextractRequest request;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "-f" || argument == "-l") {
            const auto number = hasValue ? WholeNumber(arguments[i + 1]) : std::nullopt;
            if (!number) {
                return {};
            }
            (argument == "-f" ? request.firstPage : request.lastPage) = *number;
            request.options.push_back(argument);
            request.options.push_back(arguments[++i]);
            continue;
        }
        if (argument == "-enc" || argument == "-eol" || argument == "-opw" || argument == "-upw") {
            if (!hasValue) {
                return {};
            }
            const std::string& value = arguments[i + 1];
            if (argument == "-enc" && value != "UTF-8") {
                return {}; // the page ends and the engine's text are UTF-8 only
            }
            if (argument == "-eol") {
                if (value == "unix") {
                    request.endOfLine = "\n";
                } else if (value == "dos") {
                    request.endOfLine = "\r\n";
                } else if (value == "mac") {
                    request.endOfLine = "\r";
                } else {
                    return {};
                }
            }
            if (argument == "-opw" || argument == "-upw") {
                request.passwordOptions.push_back(argument);
                request.passwordOptions.push_back(value);
            }
            request.options.push_back(argument);
            request.options.push_back(arguments[++i]);
            continue;
        }
        if (argument == "-layout") {
            request.layout = true;
        } else if (argument == "-raw") {
            request.raw = true;
        } else if (argument == "-nopgbrk") {
            request.pageBreaks = false;
        } else if (argument == "-q") {
            // nothing to know
        } else if (argument.size() > 1 && argument.front() == '-') {
            return {};
        } else {
            files.push_back(argument);
            continue;
        }
        request.options.push_back(argument);
    }
    if (files.size() != 2 || files[1] == "-" || files[0].empty() || files[1].empty()) {
        return {};
    }
    request.inputPath = files[0];
    request.outputPath = files[1];
    request.understood = true;
    return request;
}

std::vector<std::string> StreamingArguments(const TextractRequest& request, bool pageBreaks) {
    std::vector<std::string> arguments;
    for (std::size_t i = 0; i < request.options.size(); ++i) {
        const std::string& option = request.options[i];
        if (request.decrypted && (option == "-opw" || option == "-upw")) {
            ++i;
            continue;
        }
        if (!(pageBreaks && option == "-nopgbrk")) {
            arguments.push_back(option);
        }
    }
    arguments.push_back(request.documentPath.empty() ? request.inputPath : request.documentPath);
    arguments.emplace_back("-");
    return arguments;
}

std::vector<std::string_view> SplitAtPageEnds(std::string_view text) {
    std::vector<std::string_view> pages;
    for (std::size_t end = text.find('\f'); end != std::string_view::npos; end = text.find('\f')) {
        pages.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return pages;
}

bool IsBlankPage(std::string_view pageText) {
    return std::all_of(pageText.begin(), pageText.end(), IsBlank);
}

std::int32_t PagesWritten(std::int32_t firstPage, std::int32_t lastPage, std::int32_t pageCount) {
    const std::int32_t first = std::max(firstPage, 1);
    const std::int32_t last = lastPage < 1 || lastPage > pageCount ? pageCount : lastPage;
    return last < first ? 0 : last - first + 1;
}

std::optional<PageSize> ReadPageSize(std::string_view report, std::int32_t page) {
    // pdfinfo writes the page lines after the document's own strings (title and so on), so the
    // last line for the page is taken: a title cannot stand in for it.
    const std::string number = std::to_string(page);
    std::optional<PageSize> size;
    while (!report.empty()) {
        const std::string line(TakeLine(report));
        // "Page    3 size:  612 x 792 pts (letter)": the number is padded with blanks.
        std::size_t at = line.rfind("Page ", 0) == 0 ? line.find_first_not_of(' ', 5) : 0;
        if (at == 0 || at == std::string::npos || line.compare(at, number.size(), number) != 0) {
            continue;
        }
        at = line.find_first_not_of(' ', at + number.size());
        if (at == std::string::npos || line.compare(at, 5, "size:") != 0) {
            continue;
        }
        const char* values = line.c_str() + at + 5;
        char* after = nullptr;
        const double width = std::strtod(values, &after);
        const char* by = after;
        while (*by == ' ') {
            ++by;
        }
        char* afterHeight = nullptr;
        const double height = *by == 'x' ? std::strtod(by + 1, &afterHeight) : 0;
        if (after != values && afterHeight != by + 1 && std::isfinite(width) &&
            std::isfinite(height) && width > 0 && height > 0) {
            size = PageSize{width, height};
        }
    }
    return size;
}

int RecognitionResolution(const PageSize& size) {
    const double width = size.width / 72.0; // inches
    const double height = size.height / 72.0;
    const double dpi = std::min({static_cast<double>(kRecognitionDpi),
                                 std::sqrt(kMaxPagePixels / (width * height)),
                                 kMaxPageSide / std::max(width, height)});
    return dpi < 1 ? 0 : static_cast<int>(std::floor(dpi));
}

double PagePixels(const PageSize& size, int dpi) {
    return std::ceil(size.width / 72.0 * dpi) * std::ceil(size.height / 72.0 * dpi);
}

bool BlankImageReader::Feed(std::string_view bytes) {
    while (valid_ && !bytes.empty()) {
        if (state_ == State::Header) {
            // A byte at a time: the header is a few bytes, and where it ends is found exactly.
            header_ += bytes.front();
            bytes.remove_prefix(1);
            valid_ = header_.size() <= 256 && ReadHeader();
            continue;
        }
        const std::string_view pixels =
            bytes.substr(0, std::min<std::uint64_t>(pixelsLeft_, bytes.size()));
        for (const char pixel : pixels) {
            const int level = static_cast<unsigned char>(pixel);
            lowest_ = std::min(lowest_, level);
            highest_ = std::max(highest_, level);
        }
        bytes.remove_prefix(pixels.size());
        pixelsLeft_ -= pixels.size();
        if (pixelsLeft_ == 0) {
            blank_.push_back(highest_ - lowest_ <= kBlankTolerance);
            state_ = State::Header;
            header_.clear();
        }
    }
    return valid_;
}

// "P5", then width, height and the largest grey level as decimal numbers, each after white space
// or comments ("#" to the end of the line), then one white-space byte before the pixels. False
// when the header read so far cannot be one; moves on to the pixels once it is whole.
bool BlankImageReader::ReadHeader() {
    const auto space = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r';
    };
    const std::size_t magic = std::min<std::size_t>(header_.size(), 2);
    if (header_.compare(0, magic, "P5", magic) != 0) {
        return false;
    }
    std::size_t at = 2;
    if (header_.size() <= at) {
        return true;
    }
    std::uint64_t numbers[3] = {};
    for (std::uint64_t& number : numbers) {
        if (at < header_.size() && !space(header_[at]) && header_[at] != '#') {
            return false; // numbers are set apart
        }
        while (at < header_.size() && (space(header_[at]) || header_[at] == '#')) {
            if (header_[at] == '#') {
                at = header_.find('\n', at);
                if (at == std::string::npos) {
                    return true; // the comment goes on
                }
            }
            ++at;
        }
        const std::size_t start = at;
        while (at < header_.size() && header_[at] >= '0' && header_[at] <= '9') {
            ++at;
        }
        if (at == header_.size()) {
            return true; // the number may go on
        }
        if (at == start || at - start > 9) {
            return false;
        }
        number = std::strtoull(header_.c_str() + start, nullptr, 10);
    }
    if (!space(header_[at]) || numbers[0] == 0 || numbers[1] == 0 || numbers[2] == 0 ||
        numbers[2] > 255) {
        return false;
    }
    pixelsLeft_ = numbers[0] * numbers[1];
    lowest_ = 255;
    highest_ = 0;
    state_ = State::Pixels;
    return true;
}

std::vector<PageRun> PageRuns(const std::vector<std::size_t>& pages, std::size_t gap,
                              std::size_t most) {
    std::vector<PageRun> runs;
    for (const std::size_t page : pages) {
        if (!runs.empty() && page - runs.back().last <= gap && page - runs.back().first < most) {
            runs.back().last = page;
        } else {
            runs.push_back({page, page});
        }
    }
    return runs;
}

std::string FormatRecognisedText(std::string_view engineText, const TextractRequest& request) {
    const std::string valid = ValidUtf8(engineText);
    engineText = valid;
    std::string text;
    bool pendingEmptyLine = false;
    while (!engineText.empty()) {
        std::string line;
        for (const char c : TakeLine(engineText)) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '\t') {
                line += ' ';
            } else if (byte >= 0x20 && byte != 0x7f) {
                line += c;
            }
        }
        if (!request.layout) {
            // Single spaces between words, none before the first.
            std::string single;
            for (const char c : line) {
                if (c != ' ' || (!single.empty() && single.back() != ' ')) {
                    single += c;
                }
            }
            line = std::move(single);
        }
        line.resize(TrimEnd(line).size());
        if (line.empty()) {
            pendingEmptyLine = !text.empty() && !request.raw;
            continue;
        }
        if (pendingEmptyLine) {
            text += request.endOfLine;
            pendingEmptyLine = false;
        }
        text += line;
        text += request.endOfLine;
    }
    return text;
}

} // namespace larkspan

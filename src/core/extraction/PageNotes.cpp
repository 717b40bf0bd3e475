#include "core/extraction/PageNotes.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace larkspan {

namespace {

// Spans named in a message; the rest are counted.
constexpr std::size_t kShownSpans = 10;

bool IsPlainWord(std::string_view word) {
    return !word.empty() && word.size() <= 64 && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

std::optional<std::int64_t> Number(std::string_view digits) {
    if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0') ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
        const std::size_t blank = line.find(' ');
        words.push_back(line.substr(0, blank));
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    }
    return words;
}

std::string SpanText(const PageSpan& span) {
    return span.first == span.last ? std::to_string(span.first)
                                   : std::to_string(span.first) + "-" + std::to_string(span.last);
}

std::int64_t Pages(const PageSpan& span) {
    return std::int64_t{span.last} - span.first + 1;
}

std::string ListLine(const PageList& list) {
    std::string line = std::to_string(list.count);
    for (const PageSpan& span : list.spans) {
        line += ' ' + SpanText(span);
    }
    return line + '\n';
}

// "<count> <span>..." as written by ListLine: spans ascending and apart, no page below 1, and no
// more pages in them than the count says.
std::optional<PageList> ReadList(const std::vector<std::string_view>& words, std::size_t from) {
    if (words.size() <= from + 1 || words.size() - from - 1 > kListedSpans) {
        return std::nullopt;
    }
    PageList list;
    const auto count = Number(words[from]);
    if (!count || *count == 0) {
        return std::nullopt;
    }
    list.count = *count;
    std::int64_t listed = 0;
    for (std::size_t i = from + 1; i < words.size(); ++i) {
        const std::size_t dash = words[i].find('-');
        const auto first = Number(words[i].substr(0, dash));
        const auto last =
            dash == std::string_view::npos ? first : Number(words[i].substr(dash + 1));
        if (!first || !last || *first < 1 || *last < *first || *last > INT32_MAX ||
            (!list.spans.empty() && *first <= list.spans.back().last + 1)) {
            return std::nullopt;
        }
        list.spans.push_back({static_cast<std::int32_t>(*first), static_cast<std::int32_t>(*last)});
        listed += Pages(list.spans.back());
    }
    if (listed > list.count) {
        return std::nullopt;
    }
    return list;
}

// "3, 5-9 and 12", or "3, 5-9, 12 and 40 more" when not every page is named.
std::string PagesText(const PageList& list) {
    const std::size_t shown = std::min(list.spans.size(), kShownSpans);
    std::int64_t named = 0;
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < shown; ++i) {
        parts.push_back(SpanText(list.spans[i]));
        named += Pages(list.spans[i]);
    }
    if (named < list.count) {
        parts.push_back(std::to_string(list.count - named) + " more");
    }
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        text += i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ";
        text += parts[i];
    }
    return text;
}

} // namespace

PageList ListPages(std::vector<std::int32_t> pages) {
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    PageList list;
    list.count = static_cast<std::int64_t>(pages.size());
    for (const std::int32_t page : pages) {
        if (!list.spans.empty() && list.spans.back().last + 1 == page) {
            list.spans.back().last = page;
        } else if (list.spans.size() < kListedSpans) {
            list.spans.push_back({page, page});
        } else {
            break;
        }
    }
    return list;
}

std::string PageNotesLines(const PageNotes& notes) {
    std::string lines;
    if (notes.unread.count > 0) {
        lines += "unread " + ListLine(notes.unread);
    }
    for (const auto& [script, pages] : notes.withoutModel) {
        if (IsPlainWord(script) && pages.count > 0) {
            lines += "nomodel " + script + ' ' + ListLine(pages);
        }
    }
    return lines;
}

PageNotes ReadPageNotes(std::string_view bytes, bool cutAtStart) {
    PageNotes notes;
    // A line is whole when it ends in "\n" and starts the bytes or follows a "\n".
    std::size_t start = cutAtStart ? bytes.find('\n') : 0;
    while (start != std::string_view::npos && start < bytes.size()) {
        const std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) {
            break;
        }
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::vector<std::string_view> words = Words(line);
        if (words.size() >= 3 && words[0] == "unread") {
            if (auto list = ReadList(words, 1)) {
                notes.unread = std::move(*list);
            }
        } else if (words.size() >= 4 && words[0] == "nomodel" && IsPlainWord(words[1])) {
            if (auto list = ReadList(words, 2)) {
                notes.withoutModel[std::string(words[1])] = std::move(*list);
            }
        }
        start = end + 1;
    }
    return notes;
}

std::string PageNotesMessage(const PageNotes& notes) {
    std::vector<std::string> paragraphs;
    if (notes.unread.count > 0) {
        paragraphs.push_back(notes.unread.count == 1
                                 ? "Page " + PagesText(notes.unread) +
                                       " could not be recognised, so its text is missing from "
                                       "the text file."
                                 : "Pages " + PagesText(notes.unread) +
                                       " could not be recognised, so their text is missing from "
                                       "the text file.");
    }
    for (const auto& [script, pages] : notes.withoutModel) {
        const bool one = pages.count == 1;
        paragraphs.push_back((one ? "Page " : "Pages ") + PagesText(pages) +
                             (one ? " is" : " are") + " in " + script +
                             " script, for which no recognition model is installed: " +
                             (one ? "it was" : "they were") + " read with another model, so " +
                             (one ? "its" : "their") + " text may be wrong.");
    }
    std::string text;
    for (const std::string& paragraph : paragraphs) {
        text += (text.empty() ? "" : "\r\n\r\n") + paragraph;
    }
    return text;
}

} // namespace larkspan

#pragma once

// What the extractor has to tell about single pages of a job that succeeded: pages the engine
// could not read, and pages read without a model for their script. Anything the extractor
// prints is an error, so these travel in its progress file (JobProgress.h), as lines written
// just before the last count:
//   "unread <pages>"            pages whose text could not be recognised
//   "nomodel <Script> <pages>"  pages read with another model than their script's
// where <pages> is the number of pages, then at most kListedSpans spans such as "3" or "5-9".

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan {

// How much of the progress file's end the job reads for the notes: the notes are its last lines
// but one, and each is short (kListedSpans bounds it).
inline constexpr std::size_t kPageNotesTailBytes = 64 * 1024;
inline constexpr std::size_t kListedSpans = 50;

struct PageSpan {
    std::int32_t first = 0;
    std::int32_t last = 0;
    friend bool operator==(const PageSpan&, const PageSpan&) = default;
};

// A set of page numbers, as the notes carry it: how many, and the first of them as spans.
struct PageList {
    std::int64_t count = 0;
    std::vector<PageSpan> spans; // ascending, apart; all of them, or the first kListedSpans
    friend bool operator==(const PageList&, const PageList&) = default;
};

// Page numbers in any order, repeats allowed, as a PageList.
PageList ListPages(std::vector<std::int32_t> pages);

struct PageNotes {
    PageList unread;
    std::map<std::string, PageList> withoutModel; // by script name, such as "Cyrillic"
    bool Empty() const { return unread.count == 0 && withoutModel.empty(); }
    friend bool operator==(const PageNotes&, const PageNotes&) = default;
};

// The lines the extractor writes for `notes`, each ended by "\n"; "" when there are none. A
// script name that is not a plain word (letters, digits, "_") is not written.
std::string PageNotesLines(const PageNotes& notes);

// The notes among the lines of `bytes`, a progress file or (`cutAtStart`) the end of one, whose
// first line may be cut. Lines that are not notes (counts, a line cut or still being written,
// garbage) are passed over; a later note of the same kind replaces an earlier one.
PageNotes ReadPageNotes(std::string_view bytes, bool cutAtStart);

// The text of the box the window shows after the job; "" when there is nothing to tell.
std::string PageNotesMessage(const PageNotes& notes);

} // namespace larkspan

#pragma once

// textract.bin's text on its way from pdftotext to the output file: cut into pages as it streams
// in, kept in order while a blank page waits for the OCR engine, and the lines that tell another
// program how far the job has come. Nothing of it holds more than the pages that must wait.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace larkspan {

// Cuts pdftotext's text, arriving piece by piece, at its page ends (form feeds, see
// SplitAtPageEnds): each page's text, without its form feed, goes to `page` as soon as its end
// has arrived.
class PageCutter {
public:
    template <class OnPage> void Feed(std::string_view piece, OnPage&& page) {
        for (std::size_t end = piece.find('\f'); end != std::string_view::npos;
             end = piece.find('\f')) {
            ++pages_;
            if (rest_.empty()) {
                page(piece.substr(0, end));
            } else {
                rest_.append(piece.substr(0, end));
                page(std::string_view(rest_));
                rest_.clear();
            }
            piece.remove_prefix(end + 1);
        }
        rest_.append(piece);
    }

    // Page ends seen so far.
    std::size_t Pages() const { return pages_; }
    // The text after the last page end: a page still arriving or, once the text has ended, text
    // that belongs to no page (none is expected).
    std::string_view Rest() const { return rest_; }

private:
    std::string rest_;
    std::size_t pages_ = 0;
};

// The pages of the range in order, each given out only once every page before it is: a page
// with text at once, a blank page when the engine has recognised it or given up on it. Only the
// pages behind a waiting page are held.
class PageOrder {
public:
    // Adds the range's next page; returns its place (0 for the range's first page).
    std::size_t Add(std::string_view text, bool awaitsRecognition);
    // The engine is done with the waiting page at `place`: its text, or nothing when it found
    // none (the page then keeps the text it came with). False when that page was done already.
    bool Recognised(std::size_t place, std::optional<std::string> text);
    // The text a page still waiting for the engine came with; nothing for any other page.
    std::optional<std::string_view> WaitingText(std::size_t place) const;

    // Hands each page that is ready, from the front and in order, to `write` as its final text,
    // and forgets it.
    template <class Write> void TakeReady(Write&& write) {
        while (!held_.empty() && !held_.front().waiting) {
            write(std::string_view(held_.front().text));
            heldBytes_ -= held_.front().text.size();
            held_.pop_front();
            ++taken_;
        }
    }

    // Whether TakeReady would give out a page.
    bool HasReady() const { return !held_.empty() && !held_.front().waiting; }
    std::size_t Added() const { return taken_ + held_.size(); }
    std::size_t Taken() const { return taken_; }
    std::size_t HeldPages() const { return held_.size(); }
    std::size_t HeldBytes() const { return heldBytes_; }
    // Whether any page got text from the engine.
    bool AnyRecognised() const { return anyRecognised_; }

private:
    struct Page {
        std::string text;
        bool waiting = false;
    };
    std::deque<Page> held_;
    std::size_t taken_ = 0; // the place of held_.front()
    std::size_t heldBytes_ = 0;
    bool anyRecognised_ = false;
};

// The side channel of a job's progress: the extractor appends one such ASCII line, "<done>
// <total>\n", as pages are done.
std::string ProgressLine(std::int64_t done, std::int64_t total);

} // namespace larkspan

#include "core/extraction/TextStream.h"

#include <utility>

namespace larkspan {

std::size_t PageOrder::Add(std::string_view text, bool awaitsRecognition) {
    held_.push_back(Page{std::string(text), awaitsRecognition});
    heldBytes_ += text.size();
    return Added() - 1;
}

std::optional<std::string_view> PageOrder::WaitingText(std::size_t place) const {
    if (place < taken_ || place - taken_ >= held_.size() || !held_[place - taken_].waiting) {
        return std::nullopt;
    }
    return std::string_view(held_[place - taken_].text);
}

bool PageOrder::Recognised(std::size_t place, std::optional<std::string> text) {
    if (place < taken_ || place - taken_ >= held_.size()) {
        return false;
    }
    Page& page = held_[place - taken_];
    if (!page.waiting) {
        return false;
    }
    page.waiting = false;
    if (text) {
        heldBytes_ = heldBytes_ - page.text.size() + text->size();
        page.text = std::move(*text);
        anyRecognised_ = true;
    }
    return true;
}

std::string ProgressLine(std::int64_t done, std::int64_t total) {
    return std::to_string(done) + ' ' + std::to_string(total) + '\n';
}

} // namespace larkspan

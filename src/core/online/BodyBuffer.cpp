#include "core/online/BodyBuffer.h"

#include <algorithm>
#include <cstring>

namespace larkspan::online {

std::span<char> BodyBuffer::Room(std::size_t want) {
    freshBlock_ = {};
    if (want == 0) {
        return {};
    }
    if (output_ != nullptr && !blocks_.empty() && blocks_.back().used == blocks_.back().capacity) {
        Flush(); // the full block goes to the output and is filled again
    }
    if (blocks_.empty() || blocks_.back().used == blocks_.back().capacity) {
        const std::size_t capacity = output_ != nullptr
                                         ? kSpillBlockSize
                                         : static_cast<std::size_t>(std::clamp<std::uint64_t>(
                                               size_, kFirstBlockSize, kMaxBlockSize));
        // new char[] leaves the bytes uninitialised: the pages are touched first by the receive
        // that fills them, not by a zero-fill before it.
        blocks_.push_back({std::unique_ptr<char[]>(new char[capacity]), capacity, 0});
        freshBlock_ = {blocks_.back().data.get(), capacity};
    }
    Block& last = blocks_.back();
    return {last.data.get() + last.used, std::min(want, last.capacity - last.used)};
}

std::uint64_t BodyBuffer::Capacity() const {
    std::uint64_t capacity = 0;
    for (const Block& block : blocks_) {
        capacity += block.capacity;
    }
    return capacity;
}

void BodyBuffer::Commit(std::size_t n) {
    if (n == 0) {
        return;
    }
    Block& last = blocks_.back();
    n = std::min(n, last.capacity - last.used);
    last.used += n;
    size_ += n;
}

void BodyBuffer::Append(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::span<char> room = Room(bytes.size());
        std::memcpy(room.data(), bytes.data(), room.size());
        Commit(room.size());
        bytes.remove_prefix(room.size());
    }
}

std::vector<std::string_view> BodyBuffer::Pieces() const {
    std::vector<std::string_view> pieces;
    pieces.reserve(blocks_.size());
    for (const Block& block : blocks_) {
        if (block.used > 0) {
            pieces.emplace_back(block.data.get(), block.used);
        }
    }
    return pieces;
}

std::string BodyBuffer::ToString() const {
    std::string joined;
    joined.reserve(static_cast<std::size_t>(size_));
    for (const std::string_view piece : Pieces()) {
        joined += piece;
    }
    return joined;
}

void BodyBuffer::Flush() {
    if (output_ == nullptr) {
        return;
    }
    for (Block& block : blocks_) {
        if (block.used > 0) {
            output_->Write(std::string_view(block.data.get(), block.used));
            block.used = 0;
        }
    }
}

void BodyBuffer::Clear() {
    blocks_.clear();
    size_ = 0;
    freshBlock_ = {};
}

} // namespace larkspan::online

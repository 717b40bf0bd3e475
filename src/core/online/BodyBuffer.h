#pragma once

// A downloaded body held in memory: the "memory stream" DownloadToStream fills.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan::online {

// Where a body goes as it arrives when it is not kept whole in memory (a file being written).
// A failure throws (an EIdException), which ends the transfer.
class BodyOutput {
public:
    virtual ~BodyOutput() = default;
    virtual void Write(std::string_view bytes) = 0;
};

// Blocks filled in place and never moved, so growing copies nothing and never holds the body
// twice, as a doubling std::string would. Taken as bytes arrive and not zero-filled, each after
// the first is as large as the body so far (up to kMaxBlockSize): less than a block is spare.
class BodyBuffer {
public:
    static constexpr std::size_t kFirstBlockSize = 64 * 1024;
    static constexpr std::size_t kMaxBlockSize = 16 * 1024 * 1024;
    static constexpr std::size_t kSpillBlockSize = 1024 * 1024;

    // From now on the body goes to `output` through one block of kSpillBlockSize, handed over
    // whenever it is full, so a body of any size needs that much memory. Call before the first
    // byte; Flush hands over the rest. Size() counts every byte, Pieces() only those still held.
    void SpillTo(BodyOutput& output) { output_ = &output; }
    void Flush();

    std::uint64_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    // Bytes set aside: the body and the free tail of its last block.
    std::uint64_t Capacity() const;

    // Room for up to `want` more bytes at the end: the free tail of the last block, else a new
    // block. Never empty when want > 0; may be shorter than `want` at the end of a block. The
    // bytes become part of the body only through Commit.
    std::span<char> Room(std::size_t want);
    // The first n bytes of the last Room (at most its size) now belong to the body.
    void Commit(std::size_t n);
    // The block the last Room call started, empty when it used a free tail (for a hint to the
    // memory system that the block is about to be filled).
    std::span<char> FreshBlock() const { return freshBlock_; }

    void Append(std::string_view bytes);

    // The body in order, one view per block; valid until the buffer changes.
    std::vector<std::string_view> Pieces() const;
    // A joined copy, for small bodies and tests: it doubles the memory a large body needs.
    std::string ToString() const;

    void Clear();

private:
    struct Block {
        std::unique_ptr<char[]> data;
        std::size_t capacity = 0;
        std::size_t used = 0;
    };
    std::vector<Block> blocks_;
    std::uint64_t size_ = 0;
    std::span<char> freshBlock_;
    BodyOutput* output_ = nullptr;
};

} // namespace larkspan::online

#pragma once

// What every fuzz target shares: a check that stops the run on a broken invariant (builds keep
// NDEBUG, so assert would vanish) and a reader that cuts the fuzzer's bytes into parts.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* condition) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}

// Cuts the input from the front: single bytes that steer a run, then text parts.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    // The next byte, 0 once the input is used up.
    std::uint8_t Byte() {
        if (rest_.empty()) {
            return 0;
        }
        const auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }

    // The text up to the next `separator` (dropped), or all the rest.
    std::string_view Part(char separator = '\n') {
        const std::size_t end = rest_.find(separator);
        const std::string_view part = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return part;
    }

    std::string_view Rest() {
        const std::string_view all = rest_;
        rest_ = {};
        return all;
    }

    bool Empty() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

inline bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

} // namespace larkspan::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? static_cast<void>(0) : ::larkspan::fuzz::Fail(__FILE__, __LINE__, #condition))

#pragma once

// Integer arithmetic of the window metrics, shared by the dialogs that lay themselves out from
// the font's average character size.

#include <cstdint>

namespace larkspan {

// number * numerator / denominator in 64 bits, rounded half away from zero as the Win32 MulDiv
// does (182 / 8 = 22.75 gives 23, 5 / 2 gives 3); like MulDiv, -1 for a zero denominator or a
// result beyond 32 bits.
constexpr std::int32_t MulDiv(std::int32_t number, std::int32_t numerator,
                              std::int32_t denominator) {
    if (denominator == 0) {
        return -1;
    }
    const std::int64_t product = std::int64_t{number} * numerator;
    const std::int64_t absProduct = product < 0 ? -product : product;
    const std::int64_t absDenominator = denominator < 0 ? -std::int64_t{denominator} : denominator;
    const std::int64_t quotient = (absProduct + absDenominator / 2) / absDenominator;
    const std::int64_t result = (product < 0) != (denominator < 0) ? -quotient : quotient;
    if (result > INT32_MAX || result < INT32_MIN) {
        return -1;
    }
    return static_cast<std::int32_t>(result);
}

} // namespace larkspan

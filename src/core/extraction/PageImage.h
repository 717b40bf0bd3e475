#pragma once

// A rendered page as the recogniser handles it: grey levels, one byte a pixel, read from and
// written back to binary PGM (P5, as `pdftoppm -gray` writes it). A page is turned upright in
// quarter turns and straightened by the few degrees a sheet lies askew in a scanner, both here
// on plain bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan {

struct GreyImage {
    std::size_t width = 0;
    std::size_t height = 0;
    std::vector<std::uint8_t> pixels; // row after row, 0 black, 255 white
};

// One P5 image with a grey maximum of 255 and exactly its pixels after the header; nothing for
// anything else.
std::optional<GreyImage> ReadGreyImage(std::string_view pgm);
std::string WriteGreyImage(const GreyImage& image);

// The image turned clockwise by 90, 180 or 270 degrees (any other number: unchanged).
GreyImage TurnClockwise(const GreyImage& image, int degrees);

// The image at half its resolution, each pixel the mean of four (a last odd row or column is
// dropped).
GreyImage Halved(const GreyImage& image);

// How many degrees the lines of text on the image are turned clockwise from level (or, on a page
// lying sideways, from plumb), at most kMaxSkew either way: the angle at which the dark pixels
// line up into the sharpest rows or columns. 0 when no angle lines them up clearly better than
// the image as it is (a photograph, an empty page).
inline constexpr double kMaxSkew = 8;
double EstimateSkew(const GreyImage& image);

// The image turned counter-clockwise by `degrees`, which undoes a skew EstimateSkew found; the
// canvas grows to hold every pixel, and what was outside the image is white.
GreyImage Straighten(const GreyImage& image, double degrees);

} // namespace larkspan

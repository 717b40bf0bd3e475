#include "core/extraction/PageImage.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace larkspan {

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The next number of a PGM header at `at`, past blanks and comments; nothing past 2^31.
std::optional<std::size_t> HeaderNumber(std::string_view pgm, std::size_t& at) {
    while (at < pgm.size() && (Blank(pgm[at]) || pgm[at] == '#')) {
        if (pgm[at] == '#') {
            while (at < pgm.size() && pgm[at] != '\n') {
                ++at;
            }
        } else {
            ++at;
        }
    }
    std::size_t value = 0;
    const std::size_t start = at;
    for (; at < pgm.size() && pgm[at] >= '0' && pgm[at] <= '9' && at - start < 10; ++at) {
        value = value * 10 + static_cast<std::size_t>(pgm[at] - '0');
    }
    if (at == start || value > (std::size_t{1} << 31)) {
        return std::nullopt;
    }
    return value;
}

// A copy reduced so that its longer side holds about this many pixels: enough for lines of
// 10 pt text at 300 dpi to stay apart, and few enough that trying every angle is quick.
constexpr std::size_t kSkewSide = 1500;
// Angles tried: every half degree, then every twentieth around the best.
constexpr double kCoarseStep = 0.5;
constexpr double kFineStep = 0.05;
// The best angle must line the marks up this much more sharply than the image as it is.
constexpr double kClearlyBetter = 1.05;

struct Mark {
    float x;
    float y;
};

std::vector<Mark> DarkMarks(const GreyImage& image) {
    const std::size_t step =
        std::max<std::size_t>(1, (std::max(image.width, image.height) + kSkewSide - 1) / kSkewSide);
    std::vector<Mark> marks;
    for (std::size_t by = 0; by + step <= image.height; by += step) {
        for (std::size_t bx = 0; bx + step <= image.width; bx += step) {
            unsigned sum = 0;
            for (std::size_t y = by; y < by + step; ++y) {
                const std::uint8_t* row = &image.pixels[y * image.width + bx];
                for (std::size_t x = 0; x < step; ++x) {
                    sum += row[x];
                }
            }
            if (sum < 128 * step * step) {
                marks.push_back({static_cast<float>(bx / step), static_cast<float>(by / step)});
            }
        }
    }
    return marks;
}

// How sharply the marks line up into rows (or columns) turned clockwise by `degrees`: the sum
// of the squared counts of marks on each line, which is largest when the lines of text fall on
// as few lines of the projection as they can.
double Sharpness(const std::vector<Mark>& marks, double degrees, bool columns,
                 std::vector<double>& bins) {
    const double slope = std::tan(degrees * std::numbers::pi / 180);
    std::fill(bins.begin(), bins.end(), 0.0);
    const double offset = static_cast<double>(bins.size()) / 3;
    for (const Mark& mark : marks) {
        const double along = columns ? mark.x + mark.y * slope : mark.y - mark.x * slope;
        const auto bin = static_cast<std::ptrdiff_t>(std::floor(along + offset));
        if (bin >= 0 && bin < static_cast<std::ptrdiff_t>(bins.size())) {
            bins[static_cast<std::size_t>(bin)] += 1;
        }
    }
    double sum = 0;
    for (const double count : bins) {
        sum += count * count;
    }
    return sum;
}

} // namespace

std::optional<GreyImage> ReadGreyImage(std::string_view pgm) {
    if (!pgm.starts_with("P5")) {
        return std::nullopt;
    }
    std::size_t at = 2;
    const auto width = HeaderNumber(pgm, at);
    const auto height = width ? HeaderNumber(pgm, at) : std::nullopt;
    const auto grey = height ? HeaderNumber(pgm, at) : std::nullopt;
    if (!grey || *grey != 255 || *width == 0 || *height == 0 || at >= pgm.size() ||
        !Blank(pgm[at]) || (pgm.size() - at - 1) / *width != *height ||
        (pgm.size() - at - 1) % *width != 0) {
        return std::nullopt;
    }
    GreyImage image{*width, *height, {}};
    image.pixels.assign(pgm.begin() + static_cast<std::ptrdiff_t>(at + 1), pgm.end());
    return image;
}

std::string WriteGreyImage(const GreyImage& image) {
    std::string pgm =
        "P5\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    pgm.append(image.pixels.begin(), image.pixels.end());
    return pgm;
}

GreyImage TurnClockwise(const GreyImage& image, int degrees) {
    if (degrees != 90 && degrees != 180 && degrees != 270) {
        return image;
    }
    const std::size_t w = image.width;
    const std::size_t h = image.height;
    GreyImage turned{degrees == 180 ? w : h, degrees == 180 ? h : w, {}};
    turned.pixels.resize(image.pixels.size());
    for (std::size_t y = 0; y < h; ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            std::size_t to = 0;
            if (degrees == 90) {
                to = x * h + (h - 1 - y);
            } else if (degrees == 180) {
                to = (h - 1 - y) * w + (w - 1 - x);
            } else {
                to = (w - 1 - x) * h + y;
            }
            turned.pixels[to] = image.pixels[y * w + x];
        }
    }
    return turned;
}

GreyImage Halved(const GreyImage& image) {
    GreyImage half{image.width / 2, image.height / 2, {}};
    half.pixels.resize(half.width * half.height);
    for (std::size_t y = 0; y < half.height; ++y) {
        const std::uint8_t* top = &image.pixels[2 * y * image.width];
        const std::uint8_t* bottom = top + image.width;
        for (std::size_t x = 0; x < half.width; ++x) {
            const unsigned sum = top[2 * x] + top[2 * x + 1] + bottom[2 * x] + bottom[2 * x + 1];
            half.pixels[y * half.width + x] = static_cast<std::uint8_t>((sum + 2) / 4);
        }
    }
    return half;
}

double EstimateSkew(const GreyImage& image) {
    const std::vector<Mark> marks = DarkMarks(image);
    if (marks.size() < 100) {
        return 0;
    }
    std::vector<double> bins(3 * (kSkewSide + 2));
    struct Best {
        double degrees = 0;
        double sharpness = -1;
        bool columns = false;
    } best;
    for (const bool columns : {false, true}) {
        for (double degrees = -kMaxSkew; degrees <= kMaxSkew + 1e-9; degrees += kCoarseStep) {
            const double sharpness = Sharpness(marks, degrees, columns, bins);
            if (sharpness > best.sharpness) {
                best = {degrees, sharpness, columns};
            }
        }
    }
    const double around = best.degrees;
    for (double degrees = around - kCoarseStep; degrees <= around + kCoarseStep + 1e-9;
         degrees += kFineStep) {
        const double clamped = std::clamp(degrees, -kMaxSkew, kMaxSkew);
        const double sharpness = Sharpness(marks, clamped, best.columns, bins);
        if (sharpness > best.sharpness) {
            best.degrees = clamped;
            best.sharpness = sharpness;
        }
    }
    const double level = Sharpness(marks, 0, best.columns, bins);
    return best.sharpness > level * kClearlyBetter ? best.degrees : 0;
}

GreyImage Straighten(const GreyImage& image, double degrees) {
    const double radians = degrees * std::numbers::pi / 180;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const double w = static_cast<double>(image.width);
    const double h = static_cast<double>(image.height);
    GreyImage out;
    out.width = static_cast<std::size_t>(std::ceil(w * std::abs(c) + h * std::abs(s)));
    out.height = static_cast<std::size_t>(std::ceil(w * std::abs(s) + h * std::abs(c)));
    out.pixels.assign(out.width * out.height, 255);
    const double outX = static_cast<double>(out.width) / 2;
    const double outY = static_cast<double>(out.height) / 2;
    for (std::size_t y = 0; y < out.height; ++y) {
        const double dy = static_cast<double>(y) + 0.5 - outY;
        for (std::size_t x = 0; x < out.width; ++x) {
            const double dx = static_cast<double>(x) + 0.5 - outX;
            // Where this pixel was before the turn, in the source's pixel centres.
            const double sx = dx * c - dy * s + w / 2 - 0.5;
            const double sy = dx * s + dy * c + h / 2 - 0.5;
            if (sx < 0 || sy < 0 || sx > w - 1 || sy > h - 1) {
                continue;
            }
            const auto x0 = static_cast<std::size_t>(sx);
            const auto y0 = static_cast<std::size_t>(sy);
            const std::size_t x1 = std::min(x0 + 1, image.width - 1);
            const std::size_t y1 = std::min(y0 + 1, image.height - 1);
            const double fx = sx - static_cast<double>(x0);
            const double fy = sy - static_cast<double>(y0);
            const auto at = [&](std::size_t px, std::size_t py) {
                return static_cast<double>(image.pixels[py * image.width + px]);
            };
            const double top = at(x0, y0) * (1 - fx) + at(x1, y0) * fx;
            const double bottom = at(x0, y1) * (1 - fx) + at(x1, y1) * fx;
            out.pixels[y * out.width + x] =
                static_cast<std::uint8_t>(std::lround(top * (1 - fy) + bottom * fy));
        }
    }
    return out;
}

} // namespace larkspan

#include "image/Resample.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>
#include <vector>

#include "common/Error.h"

namespace pyrolith {

// The source pixels and weights that make one pixel along an axis.
struct RowResampler::Taps {
    std::int64_t first = 0;
    std::vector<float> weights;
};

namespace {

using Taps = RowResampler::Taps;

float CatmullRom(double t)
{
    t = std::abs(t);
    if (t < 1) {
        return static_cast<float>(1.5 * t * t * t - 2.5 * t * t + 1);
    }
    if (t < 2) {
        return static_cast<float>(-0.5 * t * t * t + 2.5 * t * t - 4 * t + 2);
    }
    return 0.0f;
}

std::vector<Taps> AxisTaps(std::int64_t in, std::int64_t out)
{
    std::vector<Taps> axis(static_cast<std::size_t>(out));
    const double scale = static_cast<double>(in) / static_cast<double>(out);
    for (std::int64_t i = 0; i < out; ++i) {
        Taps& taps = axis[static_cast<std::size_t>(i)];
        if (in == out) {
            taps.first = i;
            taps.weights = {1.0f};
        } else if (out < in) {
            // The area [i * scale, (i + 1) * scale) of the source.
            const double from = static_cast<double>(i) * scale;
            const double to = std::min(static_cast<double>(i + 1) * scale, static_cast<double>(in));
            taps.first = static_cast<std::int64_t>(std::floor(from));
            for (std::int64_t j = taps.first; static_cast<double>(j) < to && j < in; ++j) {
                const double overlap = std::min(to, static_cast<double>(j + 1)) -
                                       std::max(from, static_cast<double>(j));
                taps.weights.push_back(static_cast<float>(overlap / (to - from)));
            }
        } else {
            // Interpolation at the centre of the new pixel, edges repeated.
            const double centre = (static_cast<double>(i) + 0.5) * scale - 0.5;
            const auto base = static_cast<std::int64_t>(std::floor(centre));
            taps.first = std::clamp<std::int64_t>(base - 1, 0, in - 1);
            const std::int64_t last = std::clamp<std::int64_t>(base + 2, 0, in - 1);
            taps.weights.assign(static_cast<std::size_t>(last - taps.first + 1), 0.0f);
            for (std::int64_t j = base - 1; j <= base + 2; ++j) {
                const std::int64_t at = std::clamp<std::int64_t>(j, 0, in - 1);
                taps.weights[static_cast<std::size_t>(at - taps.first)] +=
                    CatmullRom(centre - static_cast<double>(j));
            }
        }
    }
    return axis;
}

std::string Integer(std::int64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace

void PictureRowRgb(const Bitmap& source, std::int32_t y, std::vector<std::uint8_t>& rgb)
{
    const auto width = static_cast<std::size_t>(source.width);
    rgb.resize(width * 3);
    if ((source.bitsPerPixel == 24 || source.bitsPerPixel == 32) && !source.hasMasks()) {
        const std::size_t step = source.bitsPerPixel / 8;
        const std::uint8_t* p = source.pixels.data() + static_cast<std::size_t>(y) * source.stride;
        for (std::size_t x = 0; x < width; ++x, p += step) {
            rgb[3 * x] = p[2];
            rgb[3 * x + 1] = p[1];
            rgb[3 * x + 2] = p[0];
        }
        return;
    }
    for (std::int32_t x = 0; x < source.width; ++x) {
        const Rgb c = source.pixel(x, y);
        const auto at = 3 * static_cast<std::size_t>(x);
        rgb[at] = c.r;
        rgb[at + 1] = c.g;
        rgb[at + 2] = c.b;
    }
}

std::int64_t ResampledRows(std::int32_t width, std::int32_t height, std::int64_t columns)
{
    const double rows = std::round(static_cast<double>(height) * static_cast<double>(columns) /
                                   static_cast<double>(width));
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::min(rows, 1e15)));
}

std::string ResizeTooLargeMessage(std::int64_t columns, std::int64_t rows)
{
    return "The resize width gives a picture of " + Integer(columns) + " x " + Integer(rows) +
           " pixels; Pyrolith engraves pictures of up to " + std::string(PictureSizeLimitText()) +
           ". Choose a smaller width or a larger distance per pixel.";
}

RowResampler::RowResampler(std::int32_t width, std::int32_t height, std::int64_t columns,
                           RowUse use, const BitmapLimits& limits)
    : columns_(columns), rows_(ResampledRows(width, height, columns)), use_(std::move(use))
{
    const std::uint64_t stride = BitmapRowBytes(static_cast<std::uint64_t>(columns), 24);
    if (columns > INT32_MAX || rows_ > INT32_MAX ||
        static_cast<std::uint64_t>(columns) >
            limits.maxPixelCount / static_cast<std::uint64_t>(rows_) ||
        stride > limits.maxPixelBytes / static_cast<std::uint64_t>(rows_)) {
        throw Error(ResizeTooLargeMessage(columns, rows_));
    }
    across_ = AxisTaps(width, columns);
    down_ = AxisTaps(height, rows_);
    sum_.assign(static_cast<std::size_t>(columns) * 3, 0.0f);
    out_.assign(static_cast<std::size_t>(columns) * 3, 0);
}

RowResampler::~RowResampler() = default;

void RowResampler::row(const std::uint8_t* rgb)
{
    const std::int64_t source = next_++;
    if (y_ >= rows_ || source < down_[static_cast<std::size_t>(y_)].first) {
        return; // a row no resampled row below needs
    }
    if (filtered_.empty()) {
        firstFiltered_ = source;
    }
    std::vector<float> filtered(static_cast<std::size_t>(columns_) * 3, 0.0f);
    for (std::size_t x = 0; x < across_.size(); ++x) {
        const Taps& taps = across_[x];
        const std::uint8_t* p = rgb + 3 * static_cast<std::size_t>(taps.first);
        float r = 0, g = 0, b = 0;
        for (const float w : taps.weights) {
            r += w * p[0];
            g += w * p[1];
            b += w * p[2];
            p += 3;
        }
        filtered[3 * x] = r;
        filtered[3 * x + 1] = g;
        filtered[3 * x + 2] = b;
    }
    filtered_.push_back(std::move(filtered));

    while (y_ < rows_) {
        const Taps& vertical = down_[static_cast<std::size_t>(y_)];
        if (firstFiltered_ + static_cast<std::int64_t>(filtered_.size()) <
            vertical.first + static_cast<std::int64_t>(vertical.weights.size())) {
            return; // the row needs source rows still to come
        }
        std::fill(sum_.begin(), sum_.end(), 0.0f);
        for (std::size_t k = 0; k < vertical.weights.size(); ++k) {
            const std::vector<float>& row = filtered_[static_cast<std::size_t>(
                vertical.first - firstFiltered_ + static_cast<std::int64_t>(k))];
            const float w = vertical.weights[k];
            for (std::size_t i = 0; i < sum_.size(); ++i) {
                sum_[i] += w * row[i];
            }
        }
        for (std::size_t i = 0; i < sum_.size(); ++i) {
            out_[i] = static_cast<std::uint8_t>(std::clamp(std::lround(sum_[i]), 0L, 255L));
        }
        use_(y_, out_.data());
        if (++y_ < rows_) {
            const std::int64_t first = down_[static_cast<std::size_t>(y_)].first;
            while (!filtered_.empty() && firstFiltered_ < first) {
                filtered_.pop_front();
                ++firstFiltered_;
            }
        }
    }
}

Bitmap ResampleToWidth(const Bitmap& source, std::int64_t columns, const BitmapLimits& limits,
                       const CancelCheck& cancel)
{
    if (source.empty() || columns < 1) {
        return source.empty() ? Bitmap{} : ResampleToWidth(source, source.width, limits, cancel);
    }
    Bitmap out;
    RowResampler resampler(
        source.width, source.height, columns,
        [&out](std::int64_t y, const std::uint8_t* rgb) {
            std::uint8_t* target = out.pixels.data() + static_cast<std::size_t>(y) * out.stride;
            for (std::size_t x = 0; x < static_cast<std::size_t>(out.width); ++x) {
                target[3 * x] = rgb[3 * x + 2];
                target[3 * x + 1] = rgb[3 * x + 1];
                target[3 * x + 2] = rgb[3 * x];
            }
        },
        limits);
    out.width = static_cast<std::int32_t>(columns);
    out.height = static_cast<std::int32_t>(resampler.rows());
    out.bitsPerPixel = 24;
    out.layout = PixelLayout::Rgb888;
    out.stride = static_cast<std::size_t>(BitmapRowBytes(static_cast<std::uint64_t>(columns), 24));
    out.pixels = PixelBuffer(out.stride * static_cast<std::size_t>(out.height));

    std::vector<std::uint8_t> rgb;
    for (std::int32_t y = 0; y < source.height; ++y) {
        ThrowIfCancelled(cancel);
        PictureRowRgb(source, y, rgb);
        resampler.row(rgb.data());
    }
    return out;
}

} // namespace pyrolith

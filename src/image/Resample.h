#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "common/Cancel.h"
#include "image/Bitmap.h"

namespace pyrolith {

// Row y of a picture, in any layout, as red, green and blue bytes.
void PictureRowRgb(const Bitmap& source, std::int32_t y, std::vector<std::uint8_t>& rgb);

// The rows of a resampled picture: round(height * columns / width), at least 1.
std::int64_t ResampledRows(std::int32_t width, std::int32_t height, std::int64_t columns);

// The picture resampled to `columns` columns and the height in proportion, as a 24-bit
// picture: area averaging on an axis that shrinks (each new pixel the mean of the area it
// covers), Catmull-Rom cubic interpolation on an axis that grows. A size beyond `limits`
// throws pyrolith::Error with the user's text.
Bitmap ResampleToWidth(const Bitmap& source, std::int64_t columns, const BitmapLimits& limits = {},
                       const CancelCheck& cancel = {});

// ResampleToWidth for a picture whose rows come one at a time from the top, which is never
// held whole: each source row goes in as red, green and blue bytes, and each resampled row
// comes out to `use` (its row, from 0, and `columns` pixels of red, green and blue bytes) as
// soon as the source rows it needs are in. The rows are ResampleToWidth's to the last bit.
class RowResampler {
public:
    using RowUse = std::function<void(std::int64_t y, const std::uint8_t* rgb)>;
    // A size beyond `limits` throws pyrolith::Error with the user's text.
    RowResampler(std::int32_t width, std::int32_t height, std::int64_t columns, RowUse use,
                 const BitmapLimits& limits = {});
    ~RowResampler();
    RowResampler(const RowResampler&) = delete;
    RowResampler& operator=(const RowResampler&) = delete;

    std::int64_t columns() const { return columns_; }
    std::int64_t rows() const { return rows_; }
    // The next source row: `width` pixels of red, green and blue bytes.
    void row(const std::uint8_t* rgb);

    struct Taps; // the source pixels and weights of one pixel along an axis

private:
    std::int64_t columns_;
    std::int64_t rows_;
    RowUse use_;
    std::vector<Taps> across_;
    std::vector<Taps> down_;
    std::int64_t next_ = 0; // the source row that comes next
    std::int64_t y_ = 0;    // the resampled row that comes out next
    // Source rows filtered across, from row firstFiltered_, while rows below still need them.
    std::deque<std::vector<float>> filtered_;
    std::int64_t firstFiltered_ = 0;
    std::vector<float> sum_;
    std::vector<std::uint8_t> out_;
};

// The message for a resampled size beyond the limits.
std::string ResizeTooLargeMessage(std::int64_t columns, std::int64_t rows);

} // namespace pyrolith

#pragma once

#include <cstdint>

#include "common/Cancel.h"
#include "image/Bitmap.h"

namespace pyrolith {

// The rows of a resampled picture: round(height * columns / width), at least 1.
std::int64_t ResampledRows(std::int32_t width, std::int32_t height, std::int64_t columns);

// The picture resampled to `columns` columns and the height in proportion, as a 24-bit
// picture: area averaging on an axis that shrinks (each new pixel the mean of the area it
// covers), Catmull-Rom cubic interpolation on an axis that grows. A size beyond `limits`
// throws pyrolith::Error with the user's text.
Bitmap ResampleToWidth(const Bitmap& source, std::int64_t columns, const BitmapLimits& limits = {},
                       const CancelCheck& cancel = {});

// The message for a resampled size beyond the limits.
std::string ResizeTooLargeMessage(std::int64_t columns, std::int64_t rows);

} // namespace pyrolith

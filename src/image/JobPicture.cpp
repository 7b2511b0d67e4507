#include "image/JobPicture.h"

#include "image/GrayLevels.h"
#include "image/PictureOptions.h"
#include "image/Resample.h"

namespace pyrolith {

std::optional<Bitmap> ResizedForJob(const Bitmap& source, const JobSettings& settings,
                                    const CancelCheck& cancel)
{
    const std::optional<std::int64_t> columns = ResizeColumns(settings);
    if (!columns || source.empty()) {
        return std::nullopt;
    }
    return ResampleToWidth(source, *columns, {}, cancel);
}

MonoBitmap MakeJobPicture(const Bitmap& source, const JobSettings& settings,
                          const CancelCheck& cancel)
{
    const std::optional<Bitmap> resized = ResizedForJob(source, settings, cancel);
    return MakeMonoBitmap(resized ? *resized : source, ConversionOptionsOf(settings), cancel);
}

bool EngravesPowerLevels(const JobSettings& settings)
{
    return ConversionOptionsOf(settings).mode == ImageMode::Grayscale;
}

GrayRaster MakeJobGrayLevels(const Bitmap& source, const JobSettings& settings,
                             const CancelCheck& cancel)
{
    const std::optional<Bitmap> resized = ResizedForJob(source, settings, cancel);
    return AdjustedGrayLevels(resized ? *resized : source, ConversionOptionsOf(settings).adjustments,
                              cancel);
}

} // namespace pyrolith

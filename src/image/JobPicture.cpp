#include "image/JobPicture.h"

#include "common/Error.h"
#include "image/GrayLevels.h"
#include "image/PictureOptions.h"
#include "image/PictureReader.h"
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

JobPicture ReadJobPicture(const std::filesystem::path& path, const JobSettings& settings,
                          const CancelCheck& cancel)
{
    JobPicture job;
    const ConversionOptions options = ConversionOptionsOf(settings);
    if (options.mode != ImageMode::Grayscale && !ResizeColumns(settings)) {
        job.picture = ReadPictureMono(path, options.adjustments, options.mode, options.threshold,
                                      {}, cancel);
        job.sourceWidth = job.picture.width();
        job.sourceHeight = job.picture.height();
        return job;
    }
    if (options.mode == ImageMode::Grayscale && !ResizeColumns(settings)) {
        GrayRaster gray = ReadPictureGrayLevels(path, {}, cancel);
        job.sourceWidth = gray.width;
        job.sourceHeight = gray.height;
        AdjustGrayLevels(gray, options.adjustments);
        job.gray = std::move(gray);
        return job;
    }
    const Bitmap source = ReadPicture(path, {}, cancel);
    if (source.layout == PixelLayout::Unrecognized) {
        throw Error(UnrecognizedFormatMessage());
    }
    job.sourceWidth = source.width;
    job.sourceHeight = source.height;
    if (options.mode == ImageMode::Grayscale) {
        job.gray = MakeJobGrayLevels(source, settings, cancel);
    } else {
        job.picture = MakeJobPicture(source, settings, cancel);
    }
    return job;
}

} // namespace pyrolith

#pragma once

#include <filesystem>
#include <optional>

#include "common/Cancel.h"
#include "image/Bitmap.h"
#include "image/GrayLevels.h"
#include "image/MonoBitmap.h"

namespace pyrolith {

struct JobSettings;

// The source resampled to the columns ResizeWidth asks for; empty when it asks for none (the
// job then engraves one source pixel per DistPerPixel).
std::optional<Bitmap> ResizedForJob(const Bitmap& source, const JobSettings& settings,
                                    const CancelCheck& cancel = {});

// The black-and-white image the job engraves: the source, resized when ResizeWidth asks,
// converted in the settings' mode. With the default settings this is MakeMonoBitmap(source).
MonoBitmap MakeJobPicture(const Bitmap& source, const JobSettings& settings,
                          const CancelCheck& cancel = {});

// Whether the job burns the power levels of a grey picture (ImageMode Grayscale) rather than
// a black-and-white image.
bool EngravesPowerLevels(const JobSettings& settings);

// The grey picture a Grayscale job engraves: the source, resized when ResizeWidth asks, as
// adjusted grey levels.
GrayRaster MakeJobGrayLevels(const Bitmap& source, const JobSettings& settings,
                             const CancelCheck& cancel = {});

// The picture file read and made into the job's black-and-white image, or in Grayscale mode
// into the grey levels the job burns. Without a resize the colour picture is never kept (the
// image is made while the picture is decoded), which spares memory and time on large
// pictures; the image is the same as MakeJobPicture(ReadPicture(path), settings).
struct JobPicture {
    std::int32_t sourceWidth = 0; // the picture as read, for the size line
    std::int32_t sourceHeight = 0;
    MonoBitmap picture; // empty in Grayscale mode
    GrayRaster gray;    // Grayscale mode: the adjusted grey levels the job burns
};
JobPicture ReadJobPicture(const std::filesystem::path& path, const JobSettings& settings,
                          const CancelCheck& cancel = {});

} // namespace pyrolith

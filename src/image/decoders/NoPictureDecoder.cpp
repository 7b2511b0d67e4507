// A build without libvips reads bitmaps only.

#include "image/PictureDecoder.h"

namespace pyrolith::detail {

bool DecoderAvailable()
{
    return false;
}

void DecodePicture(PictureFormat, const std::filesystem::path*, std::span<const std::uint8_t>,
                   const BitmapLimits&, const CancelCheck&, RowSink&)
{
}

void ReleaseThreadResources() {}

} // namespace pyrolith::detail
